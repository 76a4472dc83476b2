#include "engine/base/zidSafeName.h"

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
  out.clear();
  if (cut) cut->clear();
  auto refuse = [&](const char* reason) {
    if (why) *why = reason;
    out.clear();
    return false;
  };
  if (name.find('\0') != std::string_view::npos) return refuse("the name holds a NUL byte");
  size_t i = CutPrefixes(name);
  if (cut) *cut = std::string(name.substr(0, i));
  while (i < name.size()) {
    size_t j = i;
    while (j < name.size() && name[j] != '/' && (name[j] != '\\' || !backslash)) ++j;
    std::string_view part = name.substr(i, j - i);
    if (part.empty() || part == ".") {
      // nothing
    } else if (part == "..") {
      // ".." takes back the folder before it; one with nothing left to take
      // back would climb out, and is dropped (as cabextract and unzip do).
      if (out.empty()) {
        if (cut) *cut += "../";
      } else {
        out.pop_back();
      }
    } else {
      out.emplace_back(part);
    }
    i = j + 1;
  }
  if (out.empty()) return refuse("the name is empty");
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
