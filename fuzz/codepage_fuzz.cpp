// Entry names from archives pass through the code-page conversions; they must
// never crash and must keep their round-trip promises on any bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);

  // Any OEM bytes give valid UTF-8 that converts back to the same bytes.
  std::string ansi = plat::OemToAnsi(in);
  if (!plat::IsValidUtf8(ansi)) abort();
  std::string back;
  if (!plat::AnsiToOem(ansi, back) || back != in) abort();

  // Arbitrary bytes as ANSI: either refused untouched or converted to the
  // same number of characters, which then convert back exactly.
  std::string oem = "sentinel";
  if (plat::AnsiToOem(in, oem)) {
    if (!plat::IsValidUtf8(in) || plat::OemToAnsi(oem) != in) abort();
  } else if (oem != "sentinel") {
    abort();
  }
  if (plat::IsAscii(in) && !plat::IsValidUtf8(in)) abort();
  return 0;
}
