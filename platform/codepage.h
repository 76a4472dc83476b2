// The two code pages of the engine: "ANSI" is UTF-8 on this system, "OEM" is CP437.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

// Every CP437 byte has a character, so this never fails.
std::string OemToAnsi(std::string_view oem);
// UTF-8 -> CP437. Returns false (and leaves out untouched) when a character
// has no CP437 form or the input is not UTF-8: the caller keeps the name as it was.
bool AnsiToOem(std::string_view ansi, std::string& out);
bool IsValidUtf8(std::string_view s);
// Decodes one strict UTF-8 sequence at s[i] and advances i; -1 when invalid
// (overlong forms, surrogates, values past U+10FFFF, truncated sequences).
int32_t NextCodePoint(std::string_view s, size_t& i);
// Appends the UTF-8 form of one code point (up to U+10FFFF).
void AppendUtf8(std::string& out, uint32_t cp);
bool IsAscii(std::string_view s);

}  // namespace plat
