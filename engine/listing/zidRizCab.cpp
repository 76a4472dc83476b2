// The directory reader's CAB walker: cabinets and their self-extractors,
// and cabinet sets, read from the CFHEADER, CFFOLDER and CFFILE records
// themselves (no decoding, no cabinet library).
//
// The file records are taken where the extractor's decoder takes them, right
// behind the folder records, so the list shows what extraction writes. Each
// entry shows the compression of its own folder. A set is followed through
// the next-cabinet names (file names beside the current cabinet, never the
// cabinet itself); a file that goes on from one cabinet into the next is
// listed once, with the first.
#include <set>
#include <string>

#include "engine/cab/zidCabMethods.h"
#include "engine/cab/zidCabGbls.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "platform/cabinet/cabformat.h"

namespace zid {

namespace {

namespace cab = plat::cab;

constexpr uint32_t kAttrFolder = 0x10;
// Cabinets one walk follows at most.
constexpr size_t kMaxCabinets = 1000;

class TCabWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override;
  void Step(TRizER& r) override;

 private:
  // Reads the header of the cabinet at base; false after reporting 25114.
  bool ReadCabinet(TRizER& r, int64_t base, const std::string& extra);
  bool FolderType(TRizER& r, int index, uint16_t& type);
  void NextCabinet(TRizER& r);

  cab::CabHeader header_;
  int64_t base_ = 0;
  int filesLeft_ = 0;
  std::set<std::string> visited_;
  std::string current_;
  int cachedFolder_ = -1;
  uint16_t cachedType_ = 0;
};

cab::ReadAtFn Reader(TRizER& r) {
  return [&r](int64_t pos, void* buf, int64_t n) { return r.ReadAt(pos, buf, n); };
}

bool TCabWalker::ReadCabinet(TRizER& r, int64_t base, const std::string& extra) {
  if (cab::ReadHeader(Reader(r), base, header_) != cab::ParseResult::Ok) {
    r.ReportError(r.GetArchiveFile(), extra, r.VolumeName, E_BADFILEHEADER);
    r.SetHeaderLength(0);
    r.EndWalk();
    return false;
  }
  base_ = base;
  filesLeft_ = header_.cFiles;
  cachedFolder_ = -1;
  r.SetHeaderLength(filesLeft_ > 0 ? cab::kFileFixedSize : 0);
  r.NextOffset = base + header_.filesOffset;
  return true;
}

void TCabWalker::Setup(TRizER& r) {
  current_ = r.GetArchiveFile();
  visited_ = {current_};
  if (ReadCabinet(r, r.StartOffset, std::string())) r.StartOffset = r.NextOffset;
  if (filesLeft_ == 0 && header_.HasNext()) NextCabinet(r);
}

bool TCabWalker::FolderType(TRizER& r, int index, uint16_t& type) {
  if (index != cachedFolder_) {
    cab::CabFolder f;
    if (cab::ReadFolder(Reader(r), base_, header_, index, f) != cab::ParseResult::Ok) return false;
    cachedFolder_ = index;
    cachedType_ = f.typeCompress;
  }
  type = cachedType_;
  return true;
}

void TCabWalker::Step(TRizER& r) {
  const int64_t start = r.HeaderOffset();
  cab::CabFile f;
  int64_t next = 0;
  uint16_t type = 0;
  if (cab::ReadFileRecord(Reader(r), start, f, next) != cab::ParseResult::Ok ||
      (f.iFolder < cab::kFolderContinuedFromPrev && f.iFolder >= header_.cFolders) ||
      !FolderType(r, f.FolderIndex(header_.cFolders), type))
    return EndWalkBadHeader(r);
  --filesLeft_;
  r.NextOffset = next;

  // Listed already with the cabinet it began in.
  const bool listedBefore = visited_.size() > 1 && f.FromPrev();
  if (!listedBefore && r.AcceptName(CabEntryName(f.name, f.attribs, r.TranslateOemChar), r.RecurseDirs)) {
    r.FileDate = DosDateToFileDate((uint32_t{f.date} << 16) | f.time);
    r.VersionMadeBy = header_.versionMinor;
    r.VersionNeeded = header_.versionMajor;
    r.PackedSize = r.UnpackedSize = f.cbFile;
    r.CRC = 0;
    r.Encrypted = false;
    r.MethodId = type;
    r.MethodName = CabMethodName(type);
    r.ExternalAttr = r.InternalAttr = f.attribs;
    r.ReportEntry((f.attribs & kAttrFolder) != 0, false, start);
  }
  if (filesLeft_ > 0) return;
  if (!header_.HasNext()) return r.EndWalk();
  NextCabinet(r);
}

// The cabinet after the current one, through the volume request.
void TCabWalker::NextCabinet(TRizER& r) {
  r.SetHeaderLength(0);
  r.EndWalk();
  const std::string path = NextCabinetPath(current_, header_.nextCabinet);
  if (path.empty() || visited_.count(path) != 0 || visited_.size() >= kMaxCabinets) return;
  const std::string names = header_.nextCabinet + " " + header_.nextDisk;
  if (!r.RequestVolume(path, header_.iCabinet + 2)) return;
  current_ = r.VolumeName;
  visited_.insert(current_);
  r.ArchiveSwitched();
  if (!ReadCabinet(r, 0, names)) return;
  if (filesLeft_ == 0 && header_.HasNext()) NextCabinet(r);
}

}  // namespace

std::unique_ptr<TRizWalker> MakeCabWalker(TArcType) { return std::make_unique<TCabWalker>(); }

}  // namespace zid
