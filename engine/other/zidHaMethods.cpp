#include "engine/other/zidHaMethods.h"

#include "engine/other/zidCopyStored.h"

namespace zid {

namespace {
int Copy(const TDecodeJob& job, const TMethod&, uint32_t) { return CopyStored(job); }
}  // namespace

const TMethodTable& HaMethods() {
  static const TMethodTable table = {
      {0, nullptr, "Cpy", Copy}, {1, nullptr, "Asc"},         {2, nullptr, "HSC"},
      {14, nullptr, "<Dir>"},    {15, nullptr, "Special"},
  };
  return table;
}

}  // namespace zid
