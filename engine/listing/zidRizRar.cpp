// The directory reader's RAR walker: the block format of RAR 1.5 to 4.x
// (engine/other/zidRarHeader.h), self-extractors and volume sets (.rar,
// .r00 ... or .part1.rar ...), and RAR 5 archives (zidRar5Header.h).
//
// A file that continues in the next volume is listed once, from its last
// part, with the packed sizes of all parts added up.
#include <algorithm>
#include <limits>
#include <set>
#include <string>

#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidRar5Header.h"
#include "engine/other/zidRarHeader.h"
#include "engine/other/zidRarMethods.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace {

constexpr int kBlockHeadSize = 7;

class TRarWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override;
  void Step(TRizER& r) override;

 private:
  void FileBlock(TRizER& r, const TRarBlock& b);
  void Rar5Step(TRizER& r);
  void NextVolume(TRizER& r);

  bool rar5_ = false;
  uint16_t mainFlags_ = 0;
  int64_t runningPacked_ = 0;
  int volume_ = 0;  // the open volume, 0 for the first
  std::set<std::string> visited_;
};

// The archive comment: a service block "CMT" whose data are stored (a
// packed one would need the decoder; it is left out of the listing).
void StoredComment(TRizER& r, int64_t at, uint64_t size) {
  if (size == 0 || size > 65536) return;
  std::string text(static_cast<size_t>(size), '\0');
  if (r.ReadAt(at, text.data(), static_cast<int64_t>(size)) == static_cast<int64_t>(size)) r.ArchiveComment = text;
}

TRarReadAt Reader(TRizER& r) {
  return [&r](int64_t pos, void* buf, int64_t n) { return r.ReadAt(pos, buf, n); };
}

void TRarWalker::Setup(TRizER& r) {
  r.SetHeaderLength(0);
  volume_ = std::max(r.VolumeNumber(), 0);
  visited_.insert(plat::ExpandFileName(r.GetArchiveFile()));
  int64_t first = 0;
  const int code = ReadRarVolumeHead(Reader(r), r.StartOffset, first, mainFlags_, &rar5_);
  if (code != 0 && !rar5_) {
    r.ReportError(r.GetArchiveFile(), code == E_PASSWORDPROTECTED ? "the headers are encrypted" : std::string(),
                  r.VolumeName, code == E_READERROR ? E_BADFILEHEADER : code);
    return;
  }
  r.StartOffset = first;
  r.SetHeaderLength(kBlockHeadSize);
}

void TRarWalker::Step(TRizER& r) {
  if (rar5_) return Rar5Step(r);
  TRarBlock b;
  const TRarRead got = ReadRarBlock(Reader(r), r.HeaderOffset(), b);
  if (got == TRarRead::End) return r.EndWalk();
  if (got == TRarRead::Bad) return EndWalkBadHeader(r);
  if (b.type == kRarTypeEnd) {
    if ((mainFlags_ & kRarMainVolume) && (b.flags & kRarEndNextVolume)) return NextVolume(r);
    return r.EndWalk();
  }
  if (b.type == kRarTypeService && b.nameField == "CMT" && b.method == 0x30) StoredComment(r, b.DataOffset(), b.dataSize);
  if (b.type != kRarTypeFile || (b.flags & kRarSkipIfUnknown)) return MoveWalkTo(r, b.offset, b.NextOffset() - b.offset);
  // The sizes of a file header that fails its CRC cannot be trusted.
  if (!b.crcOk) {
    r.ReportError(r.GetArchiveFile(), "a file header fails its CRC check", r.VolumeName, E_BADFILEHEADER);
    return r.EndWalk();
  }
  FileBlock(r, b);
}

void TRarWalker::FileBlock(TRizER& r, const TRarBlock& b) {
  constexpr uint64_t kMaxSize = std::numeric_limits<int64_t>::max();
  const int64_t part = static_cast<int64_t>(std::min(b.dataSize, kMaxSize));
  runningPacked_ = (b.flags & kRarSplitBefore) && runningPacked_ <= std::numeric_limits<int64_t>::max() - part
                       ? runningPacked_ + part
                       : part;
  if (b.flags & kRarSplitAfter) return NextVolume(r);

  uint32_t attr = b.DosAttributes();
  const bool folder = b.IsFolder();
  if (folder) attr |= 0x10;
  if (r.AcceptName(RarEntryName(b, r.TranslateOemChar), r.RecurseDirs)) {
    r.FileDate = DosDateToFileDate(b.dosDate);
    r.VersionMadeBy = b.unpVer;
    r.VersionNeeded = 0;
    r.CRC = b.crc;
    r.Encrypted = (b.flags & kRarEncrypted) != 0;
    r.MethodId = b.method;
    r.MethodName = folder ? std::string("<Dir>") : RarMethods().Name(b.method);
    r.ExternalAttr = attr;
    r.InternalAttr = 0;
    r.PackedSize = runningPacked_;
    r.UnpackedSize = static_cast<int64_t>(std::min(b.unpacked, kMaxSize));
    r.ReportEntry(folder, false, b.offset);
  }
  MoveWalkTo(r, b.offset, b.NextOffset() - b.offset);
}

void TRarWalker::Rar5Step(TRizER& r) {
  TRar5Block b;
  std::string why;
  const TRarRead got = ReadRar5Block(Reader(r), r.HeaderOffset(), b, &why);
  if (got == TRarRead::End) return r.EndWalk();
  if (got == TRarRead::Bad) return EndWalkBadHeader(r);
  if (b.type == kRar5TypeCrypt) {
    r.ReportError(r.GetArchiveFile(), "the headers are encrypted", r.VolumeName, E_PASSWORDPROTECTED);
    return r.EndWalk();
  }
  if (b.type == kRar5TypeEnd) {
    if (b.endFlags & kRar5EndNextVolume) return NextVolume(r);
    return r.EndWalk();
  }
  if (b.type == kRar5TypeService && b.name == "CMT" && b.Method() == 0) StoredComment(r, b.DataOffset(), b.dataSize);
  if (b.type != kRar5TypeFile) return MoveWalkTo(r, b.offset, b.NextOffset() - b.offset);
  constexpr uint64_t kMaxSize = std::numeric_limits<int64_t>::max();
  const int64_t part = static_cast<int64_t>(std::min(b.dataSize, kMaxSize));
  runningPacked_ = b.SplitBefore() && runningPacked_ <= std::numeric_limits<int64_t>::max() - part
                       ? runningPacked_ + part
                       : part;
  if (b.SplitAfter()) return NextVolume(r);
  const uint32_t attr = b.DosAttributes();
  if (r.AcceptName(b.name, r.RecurseDirs)) {
    r.FileDate = b.mtime >= 0 ? UnixToFileDate(b.mtime) : kInvalidFileDate;
    r.VersionMadeBy = 50;
    r.VersionNeeded = 0;
    r.CRC = b.crc;
    r.Encrypted = b.encrypted;
    r.MethodId = kRarMethodStored + b.Method();
    r.MethodName = b.IsFolder() ? std::string("<Dir>") : RarMethods().Name(kRarMethodStored + b.Method());
    r.ExternalAttr = attr;
    r.InternalAttr = 0;
    r.PackedSize = runningPacked_;
    r.UnpackedSize = static_cast<int64_t>(std::min(b.unpacked, kMaxSize));
    r.ReportEntry(b.IsFolder(), false, b.offset);
  }
  MoveWalkTo(r, b.offset, b.NextOffset() - b.offset);
}

void TRarWalker::NextVolume(TRizER& r) {
  const bool newNumbering = rar5_ || (mainFlags_ & kRarMainNewNumbering);
  const std::string next = RarNextVolumeName(r.VolumeName.empty() ? r.GetArchiveFile() : r.VolumeName, newNumbering);
  int number = volume_ + 2;
  const TZipCommon::TSetVolume got =
      next.empty() ? TZipCommon::TSetVolume::None
                   : r.RequestSetVolume(next, number, [newNumbering](const std::string& after, int) {
                       return RarNextVolumeName(after, newNumbering);
                     });
  if (!TZipCommon::VolumeOpened(got)) return r.EndWalk();
  volume_ = number - 1;
  // Past a missing volume, a file that goes on from it is listed from the parts there.
  if (got == TZipCommon::TSetVolume::PastGap) runningPacked_ = 0;
  r.ArchiveSwitched();
  // A set whose volumes lead back to one already walked would never end.
  if (!visited_.insert(plat::ExpandFileName(r.VolumeName)).second) return EndWalkBadHeader(r);
  int64_t first = 0;
  bool rar5 = false;
  const int code = ReadRarVolumeHead(Reader(r), 0, first, mainFlags_, &rar5);
  if (code == E_READERROR) r.RaiseError(r.VolumeName, std::string(), r.VolumeName, E_READERROR);
  if ((code != 0 && !rar5) || rar5 != rar5_) {
    r.ReportError(r.VolumeName, std::string(), r.VolumeName, code == E_READERROR || code == 0 ? E_BADFILEHEADER : code);
    return r.EndWalk();
  }
  r.NextOffset = first;
}

}  // namespace

std::unique_ptr<TRizWalker> MakeRarWalker(TArcType) { return std::make_unique<TRarWalker>(); }

}  // namespace zid
