#include "engine/base/zidSafeName.h"

#include <array>

namespace zid {

namespace {

bool IsSep(char c) { return c == '/' || c == '\\'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Skips one component and the separators after it.
size_t SkipComponent(std::string_view s, size_t i) {
  while (i < s.size() && !IsSep(s[i])) ++i;
  while (i < s.size() && IsSep(s[i])) ++i;
  return i;
}

// Position behind every prefix that would make the name absolute.
size_t CutPrefixes(std::string_view s) {
  size_t i = 0;
  if (s.size() >= 2 && IsSep(s[0]) && IsSep(s[1])) {
    // "\\?\..." and "\\.\..." are device paths: cut the marker, then what follows
    // is judged again (usually a drive). "\\srv\share\..." loses server and share.
    if (s.size() >= 4 && (s[2] == '?' || s[2] == '.') && IsSep(s[3])) {
      i = 4;
      if (s.substr(i, 4) == "UNC\\" || s.substr(i, 4) == "UNC/") i = SkipComponent(s, SkipComponent(s, i + 4));
    } else {
      // A network name only when something follows server and share;
      // "//x" and "//x/y" are plain roots.
      size_t j = 2;
      while (j < s.size() && IsSep(s[j])) ++j;
      size_t rest = SkipComponent(s, SkipComponent(s, j));
      i = rest < s.size() ? rest : j;
    }
  }
  // Any number of drive prefixes and roots, in any order ("C:\", "C:", "/").
  for (;;) {
    if (i + 1 < s.size() && IsLetter(s[i]) && s[i + 1] == ':') {
      i += 2;
    } else if (i < s.size() && IsSep(s[i])) {
      ++i;
    } else {
      break;
    }
  }
  return i;
}

}  // namespace

bool SplitEntryPath(std::string_view name, std::vector<std::string>& out, std::string* why, std::string* cut,
                    bool backslash) {
  // The strings of the previous name are reused: most names of an archive
  // have about as many parts, and this runs once per entry.
  size_t used = 0;
  if (cut) cut->clear();
  auto refuse = [&](const char* reason) {
    if (why) *why = reason;
    out.clear();
    return false;
  };
  if (name.find('\0') != std::string_view::npos) return refuse("the name holds a NUL byte");
  size_t i = CutPrefixes(name);
  if (cut && i > 0) cut->assign(name.data(), i);
  const char other = backslash ? '\\' : '/';
  const size_t size = name.size();
  while (i < size) {
    size_t j = i;
    while (j < size && name[j] != '/' && name[j] != other) ++j;
    const std::string_view part(name.data() + i, j - i);
    if (part.empty() || (part[0] == '.' && part.size() == 1)) {
      // nothing
    } else if (part[0] == '.' && part.size() == 2 && part[1] == '.') {
      // ".." takes back the folder before it; one with nothing left to take
      // back would climb out, and is dropped (as cabextract and unzip do).
      if (used == 0) {
        if (cut) *cut += "../";
      } else {
        --used;
      }
    } else if (used < out.size()) {
      out[used++].assign(part);
    } else {
      out.emplace_back(part);
      ++used;
    }
    i = j + 1;
  }
  out.resize(used);
  if (used == 0) return refuse("the name is empty");
  return true;
}

// Bytes a plain name is looked at for: separators, dots, NUL and the drive colon.
constexpr std::array<bool, 256> kLook = [] {
  std::array<bool, 256> t{};
  t['/'] = t['\\'] = t['.'] = t['\0'] = t[':'] = true;
  return t;
}();

bool PlainEntryPath(std::string_view name, bool backslash, size_t* parts) {
  const size_t n = name.size();
  if (n == 0) return false;
  const auto* s = reinterpret_cast<const unsigned char*>(name.data());
  size_t count = 1;
  size_t start = 0;  // where the current component begins
  for (size_t i = 0;; ++i) {
    while (i < n && !kLook[s[i]]) ++i;
    if (i == n) break;
    const unsigned char c = s[i];
    if (c == '\0') return false;
    if (c == ':') {
      if (i == 1) return false;  // "C:": a drive prefix
      continue;
    }
    if (c == '.') {
      // "." and ".." as whole components
      const size_t end = i + 1 < n && s[i + 1] == '.' ? i + 2 : i + 1;
      if (i == start && (end == n || s[end] == '/' || (backslash && s[end] == '\\'))) return false;
      continue;
    }
    if (c == '\\' && !backslash) continue;
    if (i == start) return false;  // a root or an empty component
    start = i + 1;
    ++count;
  }
  if (start == n) return false;  // ends in a separator
  *parts = count;
  return true;
}

std::string JoinComponents(const std::vector<std::string>& components, size_t count) {
  std::string r;
  for (size_t i = 0; i < count && i < components.size(); ++i) {
    if (i) r += '/';
    r += components[i];
  }
  return r;
}

}  // namespace zid
