#include "engine/base/zidCompBase.h"

#include "engine/base/zidMask.h"
#include "engine/base/zidStreams.h"
#include "platform/charset.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

TCustomCClass::TCustomCClass() = default;

TCompBase::TCompBase() {
  Attributes = TzidFileAttributes{fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};
  StoreFilesOfType = {".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ",  ".HA",
                      ".JAR", ".LHA", ".LZH", ".PAK", ".PK3", ".PK_", ".RAR", ".TAR",
                      ".TGZ", ".UUE", ".UU",  ".WAR", ".XXE", ".Z",   ".ZIP", ".ZOO"};
}

TCompBase::~TCompBase() = default;

void TCompBase::SetCompressMethod(TCompressMethod m) {
  if (supported_.Contains(m)) compressMethod_ = m;
}

void TCompBase::SetArchiveFile(const std::string& name) {
  std::string full = name.empty() ? std::string() : plat::ExpandFileName(plat::ToNative(name));
  if (!full.empty() && plat::ExtractFileExt(full).empty() && !DefaultExt.empty()) full += DefaultExt;
  det_.ArchiveFile = full;
  det_.ArcStartOffset = -1;
  cancel_ = false;
}

// ---- default hooks: a plain base refuses every step ------------------------------------

bool TCompBase::ReadArchiveDirectory(TStream32&, TCompHeaderObj&) { return false; }
bool TCompBase::CompressEntry(TStream32&, TCompHeaderObj&, int) { return false; }
bool TCompBase::CopyEntry(TStream32&, TStream32&, TCompHeaderObj&, int) { return false; }
bool TCompBase::CopyRenamedEntry(TStream32&, TStream32&, TCompHeaderObj&, int) { return false; }
bool TCompBase::FinishArchive(TStream32&, TCompHeaderObj&) { return false; }

// ---- stored names -------------------------------------------------------------------------

namespace {

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && plat::SameText(s.substr(0, prefix.size()), prefix);
}

// Drops "//server/share/" from a network path; local paths have no drive here.
std::string WithoutDrive(const std::string& path) {
  if (path.rfind("//", 0) == 0) {
    size_t server = path.find('/', 2);
    if (server == std::string::npos) return "/";
    size_t share = path.find('/', server + 1);
    return share == std::string::npos ? "/" : path.substr(share);
  }
  return path;
}

}  // namespace

std::string TCompBase::StoredNamePage() const {
  if (NameCharset.empty()) return std::string();
  const std::string page = plat::CanonicalCharset(NameCharset);
  return page == "UTF-8" ? std::string() : page;
}

std::string TCompBase::StoredNameBytes(const std::string& name) const {
  const std::string page = StoredNamePage();
  std::string bytes;
  if (page.empty() || !plat::EncodeCharset(name, page, bytes)) return name;
  return bytes;
}

std::string TCompBase::StoredName(const std::string& fullPath, const std::string& root) const {
  const std::string path = plat::ToNative(fullPath);
  const std::string rootDir = root.empty() ? std::string() : plat::IncludeTrailingPathDelimiter(root);
  switch (StoredDirNames) {
    case sdNone:
      if (!path.empty() && path.back() == '/') return plat::ExtractFileName(plat::ExcludeTrailingPathDelimiter(path)) + "/";
      return plat::ExtractFileName(path);
    case sdAbsolute:
      return path;
    case sdAbsoluteNoDrv:
      return WithoutDrive(path);
    case sdAbsoluteNoRoot: {
      std::string s = WithoutDrive(path);
      if (!s.empty() && s[0] == '/') s.erase(0, 1);
      return s;
    }
    case sdRelative:
      if (!rootDir.empty() && StartsWithNoCase(path, rootDir)) return path.substr(rootDir.size());
      return path;
    case sdRelativeStoreStart: {
      const std::string parent = plat::ExtractFilePath(plat::ExcludeTrailingPathDelimiter(rootDir));
      if (!parent.empty() && StartsWithNoCase(path, parent)) return path.substr(parent.size());
      return path;
    }
    case sdExplorer_Auto:
    case sdExplorer_UserDefineDefaultDir: {
      std::string base = baseDir_.empty() ? rootDir : plat::IncludeTrailingPathDelimiter(baseDir_);
      if (!base.empty() && StartsWithNoCase(path, base)) return path.substr(base.size());
      return path;
    }
  }
  return path;
}

uint32_t TCompBase::EntryDate(uint32_t fileDate) const {
  switch (DateAttribute) {
    case daSysDate:
      return plat::DateTimeToDosDateTime(plat::Now());
    case daMaxFileDate:
      return MaxFileDate != 0 ? MaxFileDate : fileDate;
    default:
      return fileDate;
  }
}

bool TCompBase::StoreByType(const std::string& name) const {
  const std::string ext = plat::ExtractFileExt(name);
  if (ext.empty()) return false;
  for (const auto& e : StoreFilesOfType)
    if (plat::SameText(e, ext)) return true;
  return false;
}

// ---- publishing events ----------------------------------------------------------------------

void TCompBase::TmpMoveBegin(TStream32&, const std::string& finalName, bool* cancel, const std::string& tempName) {
  if (!OnTmpFileMoveBegin) return;
  bool c = *cancel;
  OnTmpFileMoveBegin(this, finalName, tempName, c);
  *cancel = c;
}

void TCompBase::TmpMoveEnd(TStream32&, const std::string& finalName) {
  if (OnTmpFileMoveEnd) OnTmpFileMoveEnd(this, finalName);
}

void TCompBase::TmpProgress(const std::string& finalName, int64_t done, int64_t total) {
  if (OnTmpFileProgress) OnTmpFileProgress(this, finalName, done, total);
}

void TCompBase::TmpReportError(int eCode, const std::string& fileName) {
  ReportError(fileName, "", VolumeName, eCode);
}

// ---- the entry list ----------------------------------------------------------------------------

int TCompHeaderObj::Find(const std::string& name) const {
  if (indexed_ > Items.size()) {
    index_.clear();
    indexed_ = 0;
  }
  for (; indexed_ < Items.size(); ++indexed_) index_[Items[indexed_].Name].push_back(static_cast<int>(indexed_));
  const auto it = index_.find(name);
  if (it == index_.end()) return -1;
  // An entry may hold items renamed since: the name is checked again.
  for (int i : it->second)
    if (static_cast<size_t>(i) < Items.size() && Items[i].Action != caDrop && Items[i].Name == name) return i;
  return -1;
}

void TCompHeaderObj::Rename(int i, const std::string& newName) {
  Items[static_cast<size_t>(i)].Name = newName;
  if (static_cast<size_t>(i) < indexed_) index_[newName].push_back(i);
}

int TCompHeaderObj::Kept() const {
  int n = 0;
  for (const auto& it : Items)
    if (it.Action != caDrop) ++n;
  return n;
}

void TCompBase::SumTotals(const TCompHeaderObj& list) {
  TotalPackedSize = 0;
  TotalUnpackedSize = 0;
  for (const TCompHeaderItem& it : list.Items) {
    if (it.Action == caDrop) continue;
    TotalPackedSize += it.PackedSize;
    TotalUnpackedSize += it.UnpackedSize;
  }
}

}  // namespace zid
