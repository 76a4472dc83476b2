#include "engine/other/zidRarMethods.h"

namespace zid {

const TMethodTable& RarMethods() {
  static const TMethodTable table = {
      {0x30, nullptr, "Stored"}, {0x31, nullptr, "Fastest"}, {0x32, nullptr, "Fast"},
      {0x33, nullptr, "Normal"}, {0x34, nullptr, "Good"},    {0x35, nullptr, "Best"},
  };
  return table;
}

}  // namespace zid
