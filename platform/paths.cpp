#include "platform/paths.h"

namespace plat {

namespace {

// Position just past the last separator, 0 when there is none.
size_t NameStart(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathDelim(path[i - 1])) return i;
  }
  return 0;
}

// Position of the extension's dot in the last component, npos when none.
size_t ExtStart(std::string_view path) {
  size_t start = NameStart(path);
  for (size_t i = path.size(); i > start; --i) {
    if (path[i - 1] == '.') return i - 1;
  }
  return std::string_view::npos;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string ToNative(std::string_view path) {
  std::string out(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  if (out.empty() || !IsPathDelim(out.back())) out += kPathDelim;
  return out;
}

// The root folder keeps its separator: "/" without it would name the current folder.
std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  if (out.size() > 1 && IsPathDelim(out.back())) out.pop_back();
  return out;
}

std::string ExtractFilePath(std::string_view path) { return std::string(path.substr(0, NameStart(path))); }

std::string ExtractFileDir(std::string_view path) {
  size_t start = NameStart(path);
  if (start == 0) return "";
  if (start == 1) return std::string(path.substr(0, 1));  // the root folder
  return std::string(path.substr(0, start - 1));
}

std::string ExtractFileName(std::string_view path) { return std::string(path.substr(NameStart(path))); }

std::string ExtractFileExt(std::string_view path) {
  size_t dot = ExtStart(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  size_t dot = ExtStart(path);
  std::string out(path.substr(0, dot == std::string_view::npos ? path.size() : dot));
  out += ext;
  return out;
}

std::string UpperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// Blanks and control characters go from both ends.
std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

}  // namespace plat
