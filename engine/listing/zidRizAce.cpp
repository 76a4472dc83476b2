// The directory reader's ACE walker: ACE archives, their self-extractors and
// volume sets, read from the block headers directly. Only file blocks are
// entries; any other block ends the walk. A member split over volumes is
// reported once, with its first header's name and date and with the packed
// sizes and the CRC of all its parts (the walk reads ahead through the next
// volumes, x.c00, x.c01 ... beside the first), and the walk goes on in the
// volume where the member ends.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/other/zidUnACE2.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "platform/ace/ace_headers.h"
#include "platform/ace/unace.h"

namespace zid {

namespace {

class TAceWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override;
  void Step(TRizER& r) override;

 private:
  // The whole block at pos (4 + HEAD_SIZE bytes) into block_; false when the file ends first.
  bool ReadBlock(TRizER& r, int64_t pos);
  // Reads the main block at pos; *next gets the first block after it.
  bool ReadMain(TRizER& r, int64_t pos, int64_t* next);
  // Opens the volume after the current one; *next gets its first block.
  bool NextVolume(TRizER& r, int64_t* next);

  std::vector<uint8_t> block_;
  std::string comment_;  // the main header's, packed
  uint8_t created_ = 0;
  int volume_ = 0;
};

bool TAceWalker::ReadBlock(TRizER& r, int64_t pos) {
  uint8_t head[4];
  if (r.ReadAt(pos, head, 4) != 4) return false;
  block_.resize(4 + ace::Le16(head + 2));
  return r.ReadAt(pos, block_.data(), static_cast<int64_t>(block_.size())) == static_cast<int64_t>(block_.size());
}

bool TAceWalker::ReadMain(TRizER& r, int64_t pos, int64_t* next) {
  ace::TMainHeader m;
  if (!ReadBlock(r, pos) || !ace::ParseMainHeader(block_.data(), block_.size(), m))
    return false;
  created_ = m.verCreated;
  volume_ = m.volume;
  comment_ = m.comment;
  *next = pos + static_cast<int64_t>(block_.size());
  return true;
}

void TAceWalker::Setup(TRizER& r) {
  r.SetHeaderLength(0);
  int64_t first = 0;
  if (!ReadMain(r, r.StartOffset, &first)) {
    r.ReportError(r.GetArchiveFile(), "no ACE main header", r.VolumeName, E_BADFILEHEADER);
    return;
  }
  if (!comment_.empty()) r.ArchiveComment = ace::UnpackComment(comment_, static_cast<size_t>(r.ZipCmntBufSize));
  r.StartOffset = first;
  r.SetHeaderLength(static_cast<int>(ace::kFileFixedSize));
}

bool TAceWalker::NextVolume(TRizER& r, int64_t* next) {
  const int expected = volume_ + 1;
  const std::string name = ace::ExistingVolumeCase(ace::VolumePath(r.GetArchiveFile(), expected));
  if (!r.RequestVolume(name, expected)) return false;
  r.ArchiveSwitched();
  // Each volume names its place in the set: a wrong one (or a set leading back) ends the walk.
  if (!ReadMain(r, 0, next) || volume_ != expected) {
    r.ReportError(r.GetArchiveFile(), "not volume " + std::to_string(expected) + " of the set", r.VolumeName,
                  E_BADFILEHEADER);
    return false;
  }
  return true;
}

void TAceWalker::Step(TRizER& r) {
  const int64_t pos = r.HeaderOffset();
  const uint8_t type = r.HeaderBuf()[4];
  if (type != ace::kTypeFile && type != ace::kTypeFile64) return r.EndWalk();
  ace::TFileHeader h;
  if (!ReadBlock(r, pos) || !ace::ParseFileHeader(block_.data(), block_.size(), h)) return EndWalkBadHeader(r);
  MoveWalkTo(r, pos, block_.size() + h.packSize);
  // the rest of a member begun before the first volume listed: nothing to report
  if (h.FromPrev()) return;

  uint64_t packed = h.packSize;
  uint32_t crc = h.crc;
  bool ended = false;
  for (ace::TFileHeader part = h; part.ToNext();) {
    int64_t next = 0;
    if (!NextVolume(r, &next)) {
      ended = true;
      break;
    }
    if (!ReadBlock(r, next) || !ace::ParseFileHeader(block_.data(), block_.size(), part) || !part.FromPrev() ||
        part.name != h.name) {
      r.ReportError(r.GetArchiveFile(), "the next volume does not continue " + h.name, r.VolumeName,
                    E_BADFILEHEADER);
      ended = true;
      break;
    }
    packed += part.packSize;
    crc = part.crc;  // a split member's CRC is its last part's
    // in the new volume, past the part (the volume number check keeps the walk going forward)
    const uint64_t room = static_cast<uint64_t>(r.WalkSize() - next);
    const uint64_t step = block_.size() + part.packSize;
    r.NextOffset = step >= room ? r.WalkSize() : next + static_cast<int64_t>(step);
  }
  if (r.AcceptName(r.DecodeName(h.name, false, true), r.RecurseDirs)) {
    r.FileDate = DosDateToFileDate(h.time);
    r.VersionMadeBy = r.VersionNeeded = created_;
    r.PackedSize = static_cast<int64_t>(std::min<uint64_t>(packed, INT64_MAX / 4));
    r.UnpackedSize = static_cast<int64_t>(std::min<uint64_t>(h.origSize, INT64_MAX / 4));
    r.CRC = crc;
    r.Encrypted = h.Encrypted();
    r.MethodId = h.compQual;
    // Quality 1 (fastest) to 5 (best) as the method table counts them from 0.
    r.MethodName = h.IsDir()                        ? "<Dir>"
                   : h.compType == ace::kCompStored ? "Stored"
                   : h.compQual == 0                ? AceMethods().Name(-1)
                                                    : AceMethods().Name(h.compQual - 1);
    r.InternalAttr = h.attr & 0xFFFF;
    r.ExternalAttr = h.attr;
    r.ReportEntry(h.IsDir(), false, pos);
  }
  if (ended) r.EndWalk();
}

}  // namespace

std::unique_ptr<TRizWalker> MakeAceWalker(TArcType) { return std::make_unique<TAceWalker>(); }

}  // namespace zid
