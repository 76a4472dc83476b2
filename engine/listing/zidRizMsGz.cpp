// The directory reader's walker for atMsGZ archives (signature 13 5D 65 8C).
//
// The archive header holds, at offset 41, the offset of a table of folder
// records; each record has a 6-byte head whose 16-bit value at offset 2 is the
// record's whole length. The file entries follow that table. Each entry has
// a 29-byte head: original size at 2, packed size at 6, data offset at 10,
// date and time at 14 (the date word first), attributes at 18, the distance
// to the next entry at 22 and the name length at 28; the name follows.
#include <algorithm>
#include <string>

#include "engine/base/zidBytes.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"

namespace zid {

namespace {

constexpr int kArchiveHeadSize = 54;
constexpr int kTableOffsetAt = 41;
constexpr int kRecordHeadSize = 6;
constexpr int kEntryHeadSize = 29;

class TMsGzWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override;
  void Step(TRizER& r) override;
};

void TMsGzWalker::Setup(TRizER& r) {
  r.SetHeaderLength(0);
  uint8_t head[kArchiveHeadSize];
  if (r.ReadAt(0, head, kArchiveHeadSize) != kArchiveHeadSize) return;
  const int64_t size = r.WalkSize();
  int64_t pos = Get32(head + kTableOffsetAt);
  if (pos >= size) pos = size;
  // Every record moves the position on by at least its head, so the table ends.
  while (pos < size) {
    uint8_t rec[kRecordHeadSize];
    if (r.ReadAt(pos, rec, 1) != 1 || rec[0] == 0) break;
    if (r.ReadAt(pos, rec, kRecordHeadSize) != kRecordHeadSize) {
      pos = size;
      break;
    }
    const uint16_t length = Get16(rec + 2);
    pos += kRecordHeadSize;
    if (length == 0) break;
    if (length < kRecordHeadSize) {  // a record shorter than its own head
      r.ReportError(r.GetArchiveFile(), std::string(), r.VolumeName, E_BADFILEHEADER);
      return;
    }
    pos += length - kRecordHeadSize;
  }
  r.StartOffset = std::min(pos, size);
  r.SetHeaderLength(kEntryHeadSize);
}

void TMsGzWalker::Step(TRizER& r) {
  const uint8_t* h = r.HeaderBuf();
  const int64_t start = r.HeaderOffset();
  const uint8_t nameLen = h[28];
  const uint32_t distance = Get32(h + 22);
  // The next entry cannot begin inside this one's head and name.
  if (distance < static_cast<uint32_t>(kEntryHeadSize) + nameLen) return EndWalkBadHeader(r);
  std::string name;
  if (!ReadBytes(r, r.NextOffset, nameLen, name)) return EndWalkBadHeader(r);
  const uint32_t attr = Get32(h + 18);
  const bool folder = (attr & 0x10) != 0;
  if (r.AcceptName(r.DecodeName(name, true), r.RecurseDirs)) {
    r.UnpackedSize = Get32(h + 2);
    r.PackedSize = Get32(h + 6);
    r.FileDate = SwappedDosDateToFileDate(Get32(h + 14));
    r.ExternalAttr = r.InternalAttr = attr;
    r.CRC = 0;
    r.Encrypted = false;
    r.MethodId = 0;
    r.MethodName.clear();
    r.VersionMadeBy = r.VersionNeeded = 0;
    r.ReportEntry(folder, false, Get32(h + 10));
  }
  MoveWalkTo(r, start, distance);
}

}  // namespace

std::unique_ptr<TRizWalker> MakeMsGzWalker(TArcType) { return std::make_unique<TMsGzWalker>(); }

}  // namespace zid
