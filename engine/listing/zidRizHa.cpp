// The directory reader's HA walker.
//
// An HA archive is "HA", a 16-bit entry count and the entries. An entry
// header is a type byte (method in the low four bits, version in the high
// four), packed size, original size, CRC-32 and a time stamp (4 bytes each),
// then two NUL-terminated strings, the folder path and the name, then a
// length byte and that many bytes of host-specific information (two on DOS:
// the host id and the attribute byte), then the packed data.
//
// The walk reads each header together with the byte before it (the high
// byte of the count for the first entry, the last host byte of the previous
// entry after that). The stored time is not used: HA entries are listed with
// the current date and time.
#include <string>

#include "engine/base/zidBytes.h"
#include "engine/other/zidHaMethods.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "platform/datetime.h"

namespace zid {

namespace {

constexpr int64_t kFirstBlock = 3;  // one byte before the first entry header
constexpr int kBlockSize = 18;      // that byte and the 17 header bytes
constexpr size_t kMaxString = 4096;
constexpr int kMethodCopy = 0, kMethodAsc = 1, kMethodHsc = 2, kMethodDir = 14, kMethodSpecial = 15;
constexpr uint8_t kSeparator = 0xFF;  // folder separator of stored paths

bool KnownMethod(int m) {
  return m == kMethodCopy || m == kMethodAsc || m == kMethodHsc || m == kMethodDir || m == kMethodSpecial;
}

class THaWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override {
    r.StartOffset = kFirstBlock;
    r.SetHeaderLength(kBlockSize);
  }
  void Step(TRizER& r) override;
};

void THaWalker::Step(TRizER& r) {
  const uint8_t* h = r.HeaderBuf() + 1;
  const int method = h[0] & 0x0F;
  // Nothing else in the header can be checked: an unknown method means the
  // walk has left the entries.
  if (!KnownMethod(method)) return EndWalkBadHeader(r);
  const uint32_t packed = Get32(h + 1);
  const uint32_t original = Get32(h + 5);
  const uint32_t crc = Get32(h + 9);

  std::string path, name;
  const int64_t afterPath = ReadCString(r, r.NextOffset, kMaxString, path);
  if (afterPath < 0) return EndWalkBadHeader(r);
  const int64_t afterName = ReadCString(r, afterPath, kMaxString, name);
  if (afterName < 0) return EndWalkBadHeader(r);
  uint8_t infoLen = 0;
  if (r.ReadAt(afterName, &infoLen, 1) != 1) return EndWalkBadHeader(r);

  for (char& c : path)
    if (static_cast<uint8_t>(c) == kSeparator) c = '/';
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  const bool folder = method == kMethodDir;
  if (r.AcceptName(r.DecodeName(path + name, true), r.RecurseDirs)) {
    r.FileDate = plat::Now();
    r.VersionMadeBy = r.VersionNeeded = h[0] >> 4;
    r.PackedSize = packed;
    r.UnpackedSize = original;
    r.CRC = crc;
    r.Encrypted = false;
    r.MethodId = static_cast<uint16_t>(method);
    r.MethodName = HaMethods().Name(method);
    r.ExternalAttr = r.InternalAttr = folder ? 0x10 : 0x20;
    r.ReportEntry(folder, false, r.HeaderOffset());
  }
  // The next block starts with the last host byte of this entry.
  MoveWalkTo(r, afterName + infoLen, packed);
}

}  // namespace

std::unique_ptr<TRizWalker> MakeHaWalker(TArcType) { return std::make_unique<THaWalker>(); }

}  // namespace zid
