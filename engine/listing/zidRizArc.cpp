// The directory reader's ARC walker: ARC and PAK archives and their
// self-extractors.
//
// Every entry has a 29-byte header: marker 0x1A, method, a 13-byte NUL-padded
// name, packed size, date, time (the date word first), CRC-16 and original
// size. Method 0 ends the archive. The oldest writers used method 1 with a
// 25-byte header that has no original size.
//
// ARC 6 stores a folder as a method-30 entry whose data is a nested archive
// holding the folder's entries; that nested archive ends with a method-31
// marker (0x1A 0x1F). The walk steps into the nested archive, so its entries
// are listed with the folder names in front, and the marker leaves the folder.
#include <string>
#include <vector>

#include "engine/base/zidBytes.h"
#include "engine/other/zidArcMethods.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"

namespace zid {

namespace {

constexpr int kHeaderSize = 29;
constexpr int kOldHeaderSize = 25;  // method 1: no original size
constexpr int kNameField = 13;
constexpr uint8_t kMarker = 0x1A;
constexpr uint8_t kMethodEnd = 0;
constexpr uint8_t kMethodOld = 1;
constexpr uint8_t kMethodFolder = 30;
constexpr uint8_t kMethodFolderEnd = 31;
constexpr int64_t kFolderEndSize = 2;
// Deeper nesting than any real archive has; a damaged one could otherwise
// build folder prefixes as long as the file.
constexpr size_t kMaxDepth = 64;

class TArcWalker : public TRizWalker {
 public:
  explicit TArcWalker(TArcType type) : pak_(type == atPak || type == atPakExe) {}

  void Setup(TRizER& r) override {
    prefix_.clear();
    levels_.clear();
    r.SetHeaderLength(kHeaderSize);
  }

  void Step(TRizER& r) override;

 private:
  bool pak_;
  std::string prefix_;          // the folders the walk is in, each with a trailing "/"
  std::vector<size_t> levels_;  // prefix_ length before each folder was entered
};

void TArcWalker::Step(TRizER& r) {
  const uint8_t* h = r.HeaderBuf();
  const int64_t start = r.HeaderOffset();
  if (h[0] != kMarker) return EndWalkBadHeader(r);
  const uint8_t method = h[1];
  if (method == kMethodEnd) return r.EndWalk();
  if (method == kMethodFolderEnd) {
    if (levels_.empty()) return r.EndWalk();
    prefix_.resize(levels_.back());
    levels_.pop_back();
    return MoveWalkTo(r, start, kFolderEndSize);
  }

  size_t nameLen = 0;
  while (nameLen < kNameField && h[2 + nameLen] != 0) ++nameLen;
  const std::string name = r.DecodeName(std::string(reinterpret_cast<const char*>(h + 2), nameLen), true);
  const uint32_t packed = Get32(h + 15);
  const bool folder = method == kMethodFolder;
  const int headerSize = method == kMethodOld ? kOldHeaderSize : kHeaderSize;

  const bool accepted = r.AcceptName(prefix_ + name, r.RecurseDirs);
  if (accepted) {
    r.FileDate = SwappedDosDateToFileDate(Get32(h + 19));
    r.CRC = Get16(h + 23);
    r.MethodId = method;
    r.MethodName = (pak_ ? PakMethods() : ArcMethods()).Name(method);
    r.PackedSize = folder ? 0 : packed;
    r.UnpackedSize = folder ? 0 : (method == kMethodOld ? packed : Get32(h + 25));
    r.ExternalAttr = r.InternalAttr = folder ? 0x10 : 0x20;
    r.VersionMadeBy = r.VersionNeeded = 0;
    r.Encrypted = false;
    r.ReportEntry(folder, false, start);
  }

  if (!folder) return MoveWalkTo(r, start, static_cast<uint64_t>(headerSize) + packed);
  // Into the folder: its nested archive follows the header.
  if (levels_.size() >= kMaxDepth) return EndWalkBadHeader(r);
  levels_.push_back(prefix_.size());
  prefix_ += name + "/";
  MoveWalkTo(r, start, kHeaderSize);
}

}  // namespace

std::unique_ptr<TRizWalker> MakeArcWalker(TArcType type) { return std::make_unique<TArcWalker>(type); }

}  // namespace zid
