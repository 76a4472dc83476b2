// Wildcard masks: compilation into states and matching with star backtracking.
#include "engine/base/zidMask.h"

namespace zid {

namespace {

// Bytes taken by the character at pos: a valid UTF-8 sequence counts as one
// character, any other byte stands alone.
size_t CharLen(std::string_view s, size_t pos) {
  const auto lead = static_cast<unsigned char>(s[pos]);
  size_t len = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
  }
  if (len == 1 || pos + len > s.size()) return 1;
  for (size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if (b < 0x80 || b > 0xBF) return 1;
  }
  return len;
}

}  // namespace

bool TInternalMask::Compile(std::string_view mask, TMaskCase letters) {
  states_.clear();
  fold_ = letters == TMaskCase::Fold;
  valid_ = false;
  endsWithDot_ = !mask.empty() && mask.back() == '.';
  bool skip = false;
  int starRuns = 0;
  for (char c : mask) {
    if (c == '*') {
      skip = true;
    } else if (c == '?') {
      // After a star a "?" adds nothing: the star's run already covers it.
      if (!skip) states_.push_back({Kind::AnyChar, false, 0});
    } else {
      states_.push_back({Kind::Literal, skip, Folded(c)});
      if (skip) ++starRuns;
      skip = false;
    }
  }
  states_.push_back({Kind::End, skip, 0});
  if (skip) ++starRuns;
  if (starRuns > kMaxMaskStars) {
    states_.clear();
    return false;
  }
  valid_ = true;
  return true;
}

bool TInternalMask::MatchFrom(std::string_view name) const {
  struct Back {
    size_t state;
    size_t pos;
  };
  Back back[kMaxMaskStars];  // one remembered position per star run at most
  int backCount = 0;
  const size_t n = name.size();
  size_t si = 0;
  size_t p = 0;
  while (si < states_.size()) {
    const State& s = states_[si];
    if (s.skipTo) {
      if (s.kind == Kind::End) return true;  // a trailing star takes the rest
      size_t q = p;
      while (q < n && Folded(name[q]) != s.ch) ++q;
      // No later occurrence: resuming an earlier star would only start the
      // search further right, so the name cannot match.
      if (q >= n) return false;
      // Remember where this star resumes. Resuming at the end of the name
      // finds nothing and ends the match as above.
      while (backCount > 0 && back[backCount - 1].state >= si) --backCount;
      back[backCount++] = {si, q + 1};
      p = q + 1;
      ++si;
      continue;
    }
    bool ok = false;
    switch (s.kind) {
      case Kind::AnyChar:
        if (p < n) {
          p += CharLen(name, p);
          ok = true;
        }
        break;
      case Kind::Literal:
        if (p < n && Folded(name[p]) == s.ch) {
          ++p;
          ok = true;
        }
        break;
      case Kind::End:
        ok = (p == n);
        break;
    }
    if (ok) {
      ++si;
      continue;
    }
    if (backCount == 0) return false;
    --backCount;
    si = back[backCount].state;
    p = back[backCount].pos;
  }
  return true;
}

bool TInternalMask::Matches(std::string_view name) const {
  if (!valid_) return false;
  if (endsWithDot_ && name.find('.') == std::string_view::npos) {
    std::string dotted(name);
    dotted.push_back('.');
    return MatchFrom(dotted);
  }
  return MatchFrom(name);
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  return TInternalMask(mask).Matches(name);
}

std::string NormalizeMask(std::string_view mask) {
  if (mask.empty() || mask == "*.*") return "*";
  return std::string(mask);
}

void TMaskList::Assign(const std::vector<std::string>& masks) {
  masks_.clear();
  masks_.reserve(masks.size());
  for (const auto& m : masks) Add(m);
}

void TMaskList::Add(std::string_view mask) { masks_.emplace_back(NormalizeMask(mask)); }

bool TMaskList::Matches(std::string_view name) const {
  for (const auto& m : masks_)
    if (m.Matches(name)) return true;
  return false;
}

}  // namespace zid
