// Every filter of engine/filter and ZIP's methods through the same libraries
// on arbitrary bytes. Byte 0 picks the filter (its value modulo the number of
// filters plus four ZIP methods) and with bit 7 set declares the size in
// bytes 1-3; the data follow. Any result but a crash, a hang or output past
// the declared size is fine.
#include "engine/filter/zidFilters.h"
#include "engine/zip/zidUnZipDecode.h"
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  static const uint16_t kZipMethods[] = {12, 14, 93, 95};
  const std::vector<zid::TFilter>& filters = zid::Filters();
  const size_t pick = (data[0] & 0x7F) % (filters.size() + 4);
  const int64_t declared = (data[0] & 0x80) ? fuzzframe::Size24(data) : -1;
  fuzzframe::RunDecoder(data, size, declared, [&](const zid::TDecodeJob& job) {
    if (pick >= filters.size()) return zid::DecodeZipMethod(kZipMethods[pick - filters.size()], 0, job);
    int64_t produced = 0;
    return zid::DrainFilter(*zid::OpenFilter(filters[pick], job.source, job.cancel), job, produced);
  });
  return 0;
}
