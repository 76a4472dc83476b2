// The directory reader's ARJ walker: ARJ archives, their self-extractors and
// volume sets. An entry continued over volumes is reported once, with the
// sizes of all its parts; the walk then goes on in the volume where it ends.
// At the end of a volume whose main header announces a next one, the walk
// asks for it (x.a01, x.a02 ... beside the first) and goes on there.
#include <set>
#include <string>

#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidArjHeader.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace {

constexpr int kPrefixSize = 4;  // id and basic header size: what the loop reads per step

class TArjWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override;
  void Step(TRizER& r) override;

 private:
  static TArjReadAt Reader(TRizER& r) {
    return [&r](int64_t pos, void* buf, int64_t n) { return r.ReadAt(pos, buf, n); };
  }
  // Opens the next volume (or, past a missing one, the first later one there)
  // and reads its main header; *next gets its first entry.
  TZipCommon::TSetVolume NextVolume(TRizER& r, int64_t* next);
  // When the headers of this volume are used up and a next volume exists, moves there.
  void EndOfVolume(TRizER& r);
  void Fill(TRizER& r, const TArjHeader& h, int64_t packed, int64_t unpacked);

  uint8_t mainFlags_ = 0;
  int volume_ = 1;
  std::set<std::string> visited_;
};

void TArjWalker::Setup(TRizER& r) {
  r.SetHeaderLength(0);
  TArjHeader main;
  std::string why;
  if (ReadArjHeader(Reader(r), r.StartOffset, main, &why) != TArjRead::Ok) {
    r.ReportError(r.GetArchiveFile(), why.empty() ? "no main header" : why, r.VolumeName, E_BADFILEHEADER);
    return;
  }
  mainFlags_ = main.flags;
  r.ArchiveComment = main.rawComment;
  volume_ = std::max(1, r.VolumeNumber());
  visited_.insert(plat::ExpandFileName(r.GetArchiveFile()));
  r.StartOffset = main.dataOffset;
  r.SetHeaderLength(kPrefixSize);
}

TZipCommon::TSetVolume TArjWalker::NextVolume(TRizER& r, int64_t* next) {
  using V = TZipCommon::TSetVolume;
  const char letter = r.VolumeLetter() ? r.VolumeLetter() : 'a';
  const std::string archive = r.GetArchiveFile();
  int number = volume_ + 1;
  const V got = r.RequestSetVolume(ArjVolumeName(archive, volume_, letter), number,
                                   [&](const std::string&, int n) { return ArjVolumeName(archive, n - 1, letter); });
  if (!TZipCommon::VolumeOpened(got)) return got;
  volume_ = number;
  r.ArchiveSwitched();
  if (!visited_.insert(plat::ExpandFileName(r.VolumeName)).second) {
    r.ReportError(r.GetArchiveFile(), "the volume set leads back to " + r.VolumeName, r.VolumeName, E_BADFILEHEADER);
    return V::None;
  }
  TArjHeader main;
  std::string why;
  if (ReadArjHeader(Reader(r), 0, main, &why) != TArjRead::Ok) {
    r.ReportError(r.GetArchiveFile(), why.empty() ? "no main header" : why, r.VolumeName, E_BADFILEHEADER);
    return V::None;
  }
  mainFlags_ = main.flags;
  *next = main.dataOffset;
  return got;
}

void TArjWalker::EndOfVolume(TRizER& r) {
  if (!(mainFlags_ & kArjVolume) || r.Cancelled()) return;
  uint8_t pre[kPrefixSize];
  const int64_t got = r.ReadAt(r.NextOffset, pre, kPrefixSize);
  if (got == kPrefixSize && pre[0] == 0x60 && pre[1] == 0xEA && (pre[2] | pre[3]) != 0) return;  // more here
  int64_t next = 0;
  if (TZipCommon::VolumeOpened(NextVolume(r, &next))) r.NextOffset = next;
  else r.EndWalk();
}

void TArjWalker::Fill(TRizER& r, const TArjHeader& h, int64_t packed, int64_t unpacked) {
  r.FileDate = h.UnixHost() ? UnixToFileDate(h.dosDate) : DosDateToFileDate(h.dosDate);
  r.VersionMadeBy = h.version;
  r.VersionNeeded = h.minVersion;
  r.PackedSize = packed;
  r.UnpackedSize = unpacked;
  r.CRC = h.crc;
  r.Encrypted = (h.flags & kArjGarbled) != 0;
  r.MethodId = h.method;
  r.MethodName = h.fileType == kArjFolder ? "<Dir>" : ArjMethods().Name(h.method);
  r.InternalAttr = r.ExternalAttr = h.accessMode;
}

void TArjWalker::Step(TRizER& r) {
  const int64_t pos = r.HeaderOffset();
  TArjHeader h;
  std::string why;
  const TArjRead rr = ReadArjHeader(Reader(r), pos, h, &why);
  if (rr == TArjRead::End) {
    r.NextOffset = pos;
    EndOfVolume(r);
    if (r.NextOffset == pos) r.EndWalk();
    return;
  }
  if (rr == TArjRead::Bad) return ResyncOrEnd(r, ArjResyncProbe(Reader(r)), why);
  r.NextOffset = h.NextOffset();
  // The rest of an entry begun in an earlier volume was counted with its start.
  if ((h.flags & kArjExtFile) || h.fileType == kArjLabel || h.fileType == kArjChapter) return EndOfVolume(r);

  int64_t packed = h.packedSize;
  int64_t unpacked = h.originalSize;
  bool ended = false;
  for (TArjHeader part = h; (part.flags & kArjVolume) && !ended;) {
    int64_t next = 0;
    const TZipCommon::TSetVolume got = NextVolume(r, &next);
    if (!TZipCommon::VolumeOpened(got)) {
      ended = true;
      break;
    }
    // The rest of the entry is in the gap: the walk goes on after it (its
    // parts there, if any, are passed over as parts of an earlier entry).
    if (got == TZipCommon::TSetVolume::PastGap) {
      r.NextOffset = next;
      break;
    }
    if (ReadArjHeader(Reader(r), next, part, &why) != TArjRead::Ok || !(part.flags & kArjExtFile)) {
      r.ReportError(r.GetArchiveFile(), "the next volume does not continue " + h.rawName, r.VolumeName,
                    E_BADFILEHEADER);
      ended = true;
      break;
    }
    packed += part.packedSize;
    unpacked += part.originalSize;
    r.NextOffset = part.NextOffset();
  }
  if (r.AcceptName(ArjEntryName(h, r.TranslateOemChar), r.RecurseDirs)) {
    Fill(r, h, packed, unpacked);
    r.ReportEntry(h.fileType == kArjFolder, true, pos);
  }
  if (ended) return r.EndWalk();
  EndOfVolume(r);
}

}  // namespace

std::unique_ptr<TRizWalker> MakeArjWalker(TArcType) { return std::make_unique<TArjWalker>(); }

}  // namespace zid
