#include "engine/other/zidHaMethods.h"

namespace zid {

const TMethodTable& HaMethods() {
  static const TMethodTable table = {
      {0, nullptr, "Cpy"}, {1, nullptr, "Asc"}, {2, nullptr, "HSC"}, {14, nullptr, "<Dir>"}, {15, nullptr, "Special"},
  };
  return table;
}

}  // namespace zid
