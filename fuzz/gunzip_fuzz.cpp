// The gzip stream decoder on arbitrary bytes (after the frame's 4-byte
// prefix: byte 0 bit 0 declares the size in bytes 1-3): member headers with
// every optional field, several members, trailers. Any result but a crash, a
// hang or output past the declared size is fine; a clean result must have
// produced exactly what the report says.
#include "engine/other/zidGunzip.h"
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int64_t declared = (data[0] & 1) ? fuzzframe::Size24(data) : -1;
  zid::TGunzipReport report;
  const int r = fuzzframe::RunDecoder(data, size, declared,
                                      [&](const zid::TDecodeJob& job) { return zid::Gunzip(job, &report); });
  if (r == zid::drOk && report.members < 1) __builtin_trap();
  return 0;
}
