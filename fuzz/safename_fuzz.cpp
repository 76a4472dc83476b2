// Entry names from hostile archives: the split never climbs out and never crashes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/zidSafeName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view name(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  if (zid::SplitEntryPath(name, parts)) {
    for (const std::string& p : parts) {
      if (p.empty() || p == "." || p == ".." || p.find('/') != std::string::npos || p.find('\\') != std::string::npos)
        __builtin_trap();
    }
  }
  return 0;
}
