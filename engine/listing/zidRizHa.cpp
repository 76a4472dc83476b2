// The directory reader's HA walker (the headers: engine/other/zidHaHeader.h).
//
// The walk reads each header together with the byte before it (the high
// byte of the count for the first entry, the last host byte of the previous
// entry after that). The stored time is not used: HA entries are listed with
// the current date and time.
#include <string>

#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidHaHeader.h"
#include "engine/other/zidHaMethods.h"
#include "platform/datetime.h"

namespace zid {

namespace {

constexpr int64_t kFirstBlock = kHaFirstEntry - 1;  // one byte before the first entry header
constexpr int kBlockSize = kHaFixedSize + 1;        // that byte and the fixed header bytes

class THaWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override {
    r.StartOffset = kFirstBlock;
    r.SetHeaderLength(kBlockSize);
  }
  void Step(TRizER& r) override;
};

void THaWalker::Step(TRizER& r) {
  THaEntry e;
  auto read = [&r](int64_t p, void* buf, int64_t n) { return r.ReadAt(p, buf, n); };
  // An unknown method means the walk has left the entries.
  if (ReadHaEntry(read, r.HeaderOffset() + 1, e) != THaRead::Ok) return EndWalkBadHeader(r);
  const bool folder = e.method == kHaMethodDir;
  if (r.AcceptName(HaEntryName(e, r.TranslateOemChar), r.RecurseDirs)) {
    r.FileDate = plat::Now();
    r.VersionMadeBy = r.VersionNeeded = static_cast<uint16_t>(e.version);
    r.PackedSize = e.packedSize;
    r.UnpackedSize = e.originalSize;
    r.CRC = e.crc;
    r.Encrypted = false;
    r.MethodId = static_cast<uint16_t>(e.method);
    r.MethodName = HaMethods().Name(e.method);
    r.ExternalAttr = r.InternalAttr = folder ? 0x10 : 0x20;
    r.ReportEntry(folder, false, r.HeaderOffset());
  }
  // The next block starts with the last host byte of this entry.
  MoveWalkTo(r, e.dataOffset - 1, e.packedSize);
}

}  // namespace

std::unique_ptr<TRizWalker> MakeHaWalker(TArcType) { return std::make_unique<THaWalker>(); }

}  // namespace zid
