// Wildcard matcher: any mask against any name must end, quickly, without
// reading outside either. The first byte splits the input into mask and name.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/zidMask.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t split = data[0] % size;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string_view mask = rest.substr(0, split);
  const std::string_view name = rest.substr(split);
  zid::TInternalMask m;
  const bool ok = m.Compile(mask);
  const bool hit = m.Matches(name);
  if (!ok && hit) __builtin_trap();  // a mask that did not compile matches nothing
  zid::TMaskList list;
  list.Add(mask);
  list.Matches(name);
  return 0;
}
