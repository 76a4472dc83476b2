// Code pages of entry names stored without a mark of their encoding: their
// names, conversion through iconv, and the guess of an archive's page.
//
// A byte that a page cannot map is shown as "%XX" (two upper-case hex
// digits): visible, reversible by eye, and never a "/", "\" or "..", so an
// escaped name cannot climb out of the extraction folder or split into
// folders. Nothing is dropped. Every page allowed here is ASCII-compatible,
// so the separators and dots of a name are the stored ones.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plat {

// The page this system reads when it knows nothing better.
inline constexpr const char* kDefaultNamePage = "CP437";

// The canonical name of a code page ("cp866", "IBM866" and "866" give
// "CP866"; "Shift_JIS", "SJIS" give "CP932"; "GBK" stays "GBK"); any other
// ASCII-compatible page iconv knows is given in upper case. Empty when the
// name is not a code page this system can read names in.
std::string CanonicalCharset(std::string_view name);

// Stored bytes in `charset` (a canonical name) as UTF-8; an unmappable or
// cut byte becomes "%XX".
std::string DecodeCharset(std::string_view raw, const std::string& charset);
// UTF-8 in `charset`; false (out untouched) when a character has no form
// there or the input is not UTF-8.
bool EncodeCharset(std::string_view utf8, const std::string& charset, std::string& out);

// The page of a set of names from one archive (the stored bytes of the names
// that carry no mark of their encoding): libuchardet's guess, checked
// against the names and kept to the DOS, Windows and CJK pages; CP437 when
// the names are plain ASCII or the guess is unsure.
std::string DetectCharset(const std::vector<std::string>& names);

}  // namespace plat
