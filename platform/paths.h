// Path helpers in the engine's manner. "\" and "/" are both separators on
// input; the native separator is "/".
#pragma once

#include <string>
#include <string_view>

namespace plat {

constexpr char kPathDelim = '/';

inline bool IsPathDelim(char c) { return c == '/' || c == '\\'; }
// Turns every "\" into "/".
std::string ToNative(std::string_view path);
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);
// Folder part including its trailing separator ("" when there is none).
std::string ExtractFilePath(std::string_view path);
// Folder part without the trailing separator.
std::string ExtractFileDir(std::string_view path);
std::string ExtractFileName(std::string_view path);
// Extension with its dot ("" when the name has none); a dot in a folder does not count.
std::string ExtractFileExt(std::string_view path);
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// ASCII upper/lower case; other bytes unchanged.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);  // ASCII case-insensitive
std::string Trim(std::string_view s);

}  // namespace plat
