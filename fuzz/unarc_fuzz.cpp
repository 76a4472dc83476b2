// ARC and PAK on arbitrary bytes: the detector's header check, then whole-file
// extraction taken as ARC (bit 0x01 of byte 0: PAK; 0x02: with a password;
// 0x80: test instead of extract) into a temporary folder emptied after each
// run. Any outcome is fine except a crash, a hang, or a file written outside
// the folder.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/other/zidArcHeader.h"
#include "engine/other/zidUnArc.h"
#include "fuzz_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t* in = data + 1;
  const int64_t n = static_cast<int64_t>(size - 1);
  zid::ArcHeaderPlausible(
      [in, n](int64_t pos, void* buf, int64_t count) -> int64_t {
        if (pos < 0 || pos >= n) return 0;
        const int64_t k = count < n - pos ? count : n - pos;
        std::memcpy(buf, in + pos, static_cast<size_t>(k));
        return k;
      },
      0, n);
  static const fuzzextract::TScratch scratch("unarc_fuzz", "in.arc");
  if (!scratch.Write(in, size - 1)) return 0;
  {
    zid::TUnArc un;
    un.SetArchiveFile(scratch.Input());
    if (un.GetArcType() != zid::atArc && un.GetArcType() != zid::atPak) {
      un.Detection().ArcType = (data[0] & 1) ? zid::atPak : zid::atArc;
      un.Detection().ArcStartOffset = 0;
    }
    un.FileSpec = {"*.*"};
    if (data[0] & 2) un.Password = "secret";
    if (data[0] & 0x80) {
      un.OutputMode = zid::omTest;
      un.ExtractTest();
    } else {
      un.SetExtractDir(scratch.Out());
      un.CreateStoredDirs = true;
      un.Extract();
    }
  }
  scratch.Check();
  return 0;
}
