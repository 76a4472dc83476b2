#include "engine/other/zidHaMethods.h"

#include "engine/other/zidCopyStored.h"
#include "engine/other/zidHaAsc.h"
#include "engine/other/zidHaHsc.h"

namespace zid {

namespace {
int Copy(const TDecodeJob& job, const TMethod&, uint32_t) { return CopyStored(job); }
int Asc(const TDecodeJob& job, const TMethod&, uint32_t) { return HaAscDecode(job); }
int Hsc(const TDecodeJob& job, const TMethod&, uint32_t) { return HaHscDecode(job); }
}  // namespace

const TMethodTable& HaMethods() {
  static const TMethodTable table = {
      {0, nullptr, "Cpy", Copy}, {1, nullptr, "Asc", Asc},     {2, nullptr, "HSC", Hsc},
      {14, nullptr, "<Dir>"},    {15, nullptr, "Special"},
  };
  return table;
}

}  // namespace zid
