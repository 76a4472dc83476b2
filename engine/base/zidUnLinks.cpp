// Link entries in the extract loop: symbolic links whose target stays inside
// the extraction folder, and second names (hard links) of files extracted
// earlier in the same run. Both are made through platform/safeopen, which
// never follows a link among the folders, and both replace an existing file
// or link of their name whole (made under a temporary name, renamed over).
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/zidSafeName.h"
#include "engine/base/zidUnBase.h"
#include "platform/files.h"
#include "platform/safeopen.h"

namespace zid {

namespace {

// A target as a message shows it: control bytes as "?", long ones cut.
std::string Shown(const std::string& target) {
  constexpr size_t kShown = 200;
  std::string s = target.substr(0, kShown);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  if (target.size() > kShown) s += "...";
  return s;
}

std::string KindOf(const TEntry& e) { return e.isHardLink ? "hard link to " : "symbolic link to "; }

}  // namespace

// ".." is taken only in front: after a name it would climb out of wherever
// that name leads, and the name may be a link (made by this very archive,
// later even) whose folder is not the one the text suggests.
std::string TUnBase::LinkTargetProblem(const std::string& target, size_t linkDepth) {
  if (target.empty()) return "its target is empty";
  if (target.find('\0') != std::string::npos) return "its target holds a NUL byte";
  if (static_cast<int64_t>(target.size()) > kMaxLinkTarget) return "its target is longer than 4096 bytes";
  if (target[0] == '/' || target[0] == '\\') return "it points outside the folder";
  size_t depth = linkDepth;
  bool named = false;
  size_t pos = 0;
  while (pos <= target.size()) {
    size_t end = target.find_first_of("/\\", pos);
    if (end == std::string::npos) end = target.size();
    const std::string_view c(target.data() + pos, end - pos);
    if (c == "..") {
      if (depth == 0) return "it points outside the folder";
      if (named) return "\"..\" after a folder name could lead outside the folder";
      --depth;
    } else if (!c.empty() && c != ".") {
      named = true;
      ++depth;
    }
    pos = end + 1;
  }
  return std::string();
}

bool TUnBase::AppendLinkData(const uint8_t* buf, int64_t count) {
  if (static_cast<int64_t>(linkData_->size()) + count > kMaxLinkTarget) {
    ReportError(FileName, "symbolic link: not created, its target is longer than 4096 bytes", VolumeName,
                E_BADFILENAME);
    return false;
  }
  linkData_->append(reinterpret_cast<const char*>(buf), static_cast<size_t>(count));
  return true;
}

bool TUnBase::DecodeLinkData(const TEntry& e, TFuncRef<bool()> decode, std::string& target, bool& pass) {
  pass = false;
  if (e.unpackedSize > kMaxLinkTarget) {
    ReportError(FileName, "symbolic link: not created, its target is longer than 4096 bytes", VolumeName,
                E_BADFILENAME);
    SkipEntry(e.packedSize);
    return false;
  }
  struct TCapture {
    std::string*& slot;
    ~TCapture() { slot = nullptr; }
  } capture{linkData_};
  target.clear();
  linkData_ = &target;
  entryDone_ = 0;
  entryTotal_ = e.unpackedSize;
  lastWasCR_ = false;
  BeginChecksum(e.crcKind);
  if (!decode()) return false;
  pass = CheckCrc(e.crcKind, e.crc);
  return true;
}

bool TUnBase::MakeLink(const TEntry& e, const std::string& target) {
  if (OutputRefused(0)) return false;
  const bool atRoot = outRoot_ == extractDir_;
  if (e.isHardLink) {
    std::vector<std::string> source;
    std::string cut;
    // A target that climbs out names no file of this extraction.
    if (!atRoot || !SplitEntryPath(target, source, nullptr, &cut, !e.unixName) ||
        cut.find("..") != std::string::npos) {
      ReportError(FileName, KindOf(e) + Shown(target) + ": not created", VolumeName, E_UNKNOWNFILETYPE);
      return false;
    }
    if (source == outRel_) return true;  // the entry names itself: the file is there
    if (!plat::CreateHardLinkBeneath(outRoot_, source, outRel_)) {
      ReportError(FileName, KindOf(e) + Shown(target) + ": " + plat::ErrorText(plat::LastError()), VolumeName,
                  E_OPENERROR);
      return false;
    }
    return true;
  }
  // A name given by OnFileExists / OnRenameFile lies elsewhere: its target may only go down from there.
  const std::string why = LinkTargetProblem(target, atRoot ? outRel_.size() - 1 : 0);
  if (!why.empty()) {
    ReportError(FileName, KindOf(e) + Shown(target) + ": not created, " + why, VolumeName, E_BADFILENAME);
    return false;
  }
  if (!plat::CreateSymlinkBeneath(outRoot_, outRel_, target, OutputTime(e))) {
    ReportError(FileName, KindOf(e) + Shown(target) + ": " + plat::ErrorText(plat::LastError()), VolumeName,
                E_OPENERROR);
    return false;
  }
  return true;
}

// Where links are not made: a link whose target is its data went the way of
// a file; a link named in its header is refused on disk (flat or appended
// output) and passes a test or a memory run with nothing to write.
TUnBase::TEntryResult TUnBase::ExtractLink(const TEntry& e, TFuncRef<bool()> decode,
                                           const std::function<bool(const std::string&)>& verify) {
  if (!MakesLinks() && DiskOutput()) {
    ReportError(FileName, KindOf(e) + Shown(e.linkTarget) + ": not created", VolumeName, E_UNKNOWNFILETYPE);
    SkipEntry(e.packedSize);
    return CloseReport(TVerdict::Failed, TEntryResult::Refused);
  }
  if (!BeginEntry(e)) {
    SkipEntry(e.packedSize);
    return CloseReport(TVerdict::Skipped, TEntryResult::Skipped);
  }
  if (e.encrypted && verify && !CheckPassword(verify)) {
    SkipEntry(e.packedSize);
    return CloseReport(TVerdict::Failed, TEntryResult::Skipped, E_PASSWORDFAILED);
  }
  bool pass = !Cancelled();
  bool made = true;
  if (!MakesLinks()) {
    SkipEntry(e.packedSize);
  } else if (e.linkInData) {
    std::string target;
    made = DecodeLinkData(e, decode, target, pass) && (!pass || MakeLink(e, target));
  } else {
    SkipEntry(e.packedSize);
    made = !pass || MakeLink(e, e.linkTarget);
  }
  if (!made) return CloseReport(TVerdict::Failed, TEntryResult::Failed);
  if (pass && MakesLinks()) report_.outputPath = outPath_;
  return EndEntry(pass);
}

}  // namespace zid
