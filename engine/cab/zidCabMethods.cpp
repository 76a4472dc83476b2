#include "engine/cab/zidCabMethods.h"

namespace zid {

const TMethodTable& CabMethods() {
  static const TMethodTable table = {
      {0, nullptr, "Stored", nullptr, 0, 0, cmStore, "store"},
      {1, nullptr, "MsZIP", nullptr, 15, 0, cmMsZip, "mszip"},
      {2, nullptr, "Quantum", nullptr, 0, 0, cmQuantum, "quantum"},
      {3, nullptr, "Lzx", nullptr, 0, 0, cmLzx, "lzx"},
  };
  return table;
}

std::string CabMethodName(int type) {
  const int t = type & 0x0F;
  if (t >= 4) return "Lzx" + std::to_string(t);
  return CabMethods().Name(t);
}

}  // namespace zid
