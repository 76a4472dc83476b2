// Entry names as stored -> names as this system shows them (UTF-8).
#pragma once

#include <string>
#include <string_view>

namespace zid {

// How a stored name's bytes are to be read.
struct TNameOrigin {
  bool utf8 = false;        // the archive marks the name as UTF-8
  bool unixHost = false;    // made on a Unix host: raw UTF-8 bytes are taken as they are
  bool translateOem = true; // the component's TranslateOemChar
};

// Decodes a stored name: marked UTF-8 names as they are; names from Unix
// hosts that are valid UTF-8 as they are (such writers store UTF-8 without a
// mark, and reading them as CP437 would mangle every accented name);
// otherwise CP437 when translateOem is set, else the bytes unchanged.
std::string DecodeEntryName(std::string_view raw, const TNameOrigin& origin);

}  // namespace zid
