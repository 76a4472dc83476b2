// Entry names from archives pass through the code-page conversions; they must
// never crash and must keep their round-trip promises on any bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/charset.h"
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

  // The pages of legacy names: any bytes give valid UTF-8 with exactly the
  // stored separators and dots (escapes never make a "/", "\" or "."), and
  // a name without escapes converts back to its bytes.
  auto count = [](std::string_view s, char c) { return std::count(s.begin(), s.end(), c); };
  for (const char* page : {"CP866", "CP1252", "CP932", "GBK", "BIG5", "CP949", "UTF-8"}) {
    const std::string shown = plat::DecodeCharset(in, page);
    if (!plat::IsValidUtf8(shown)) abort();
    if (count(shown, '/') != count(in, '/') || count(shown, '.') != count(in, '.')) abort();
    // A "\" byte may be the second byte of a CJK character, never anything else.
    const bool oneByte = std::string_view(page) == "CP866" || std::string_view(page) == "CP1252";
    if ((oneByte || std::string_view(page) == "UTF-8") && count(shown, '\\') != count(in, '\\')) abort();
    std::string stored;
    if (count(shown, '%') == count(in, '%') && (!plat::EncodeCharset(shown, page, stored) || stored != in)) {
      // CP932 and BIG5 have a few characters with two byte forms; the rest must round-trip.
      if (std::string_view(page) != "CP932" && std::string_view(page) != "BIG5") abort();
    }
  }
  // The guess over names cut from the input never crashes and names a page.
  std::vector<std::string> names;
  for (size_t i = 0; i < size; i += 24) names.emplace_back(in.substr(i, 24));
  if (plat::CanonicalCharset(plat::DetectCharset(names)).empty()) abort();
  return 0;
}
