// The file scanner: pattern merging, the folder walks and the entry filter.
#include "engine/base/zidFileScan.h"

#include <algorithm>
#include <utility>

#include "platform/datetime.h"
#include "platform/hooks.h"
#include "platform/paths.h"

namespace zid {

namespace {

bool HasWildcards(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

bool IsDirEntry(const plat::FindData& e) { return (e.attr & plat::faDirectory) != 0 && !e.isLink; }

bool IsDotOrDotDot(const std::string& name) { return name == "." || name == ".."; }

// One attribute set against an attribute word.
bool AttrTest(uint32_t attr, TzidFileAttributes set) {
  return (set.Contains(fsEncrypted) && (attr & plat::faEncrypted)) ||
         (set.Contains(fsArchive) && (attr & plat::faArchive)) ||
         (set.Contains(fsZeroAttr) && (attr == 0 || attr == plat::faNormal)) ||
         (set.Contains(fsDirectory) && (attr & plat::faDirectory)) ||
         (set.Contains(fsReadOnly) && (attr & plat::faReadOnly)) ||
         (set.Contains(fsHidden) && (attr & plat::faHidden)) ||
         (set.Contains(fsSysFile) && (attr & plat::faSysFile)) ||
         (set.Contains(fsCompressed) && (attr & plat::faCompressed));
}

bool SameMask(const std::string& a, const std::string& b) {
  return NormalizeMask(a) == NormalizeMask(b) || plat::SameText(a, b);
}

// Adds mask n to the masks of one folder, dropping what the other covers.
// A mask stands in for another only when that is certain: "*" covers all,
// and a mask covers a wildcard-free name it matches. Reading one wildcard
// mask as a name of the other can drop files ("a*" read as a name matches
// "a?", yet "a*" finds "abc" and "a?" does not), so that is never done.
void MergeMask(std::vector<std::string>& masks, const std::string& n) {
  if (NormalizeMask(n) == "*") {
    masks.assign(1, n);
    return;
  }
  for (auto& m : masks) {
    if (SameMask(m, n) || NormalizeMask(m) == "*") return;
    if (!HasWildcards(n) && MatchesMask(n, m)) return;
    if (!HasWildcards(m) && MatchesMask(m, n)) {
      m = n;
      return;
    }
  }
  masks.push_back(n);
}

}  // namespace

TzidFileScan::TzidFileScan()
    : Hook([](TzidFileScan& s, const std::string& dir, void*, const plat::FindData& e) {
        return s.DefaultHook(dir, e);
      }),
      RootDirHook([](TzidFileScan& s, const std::string& dir) {
        if (s.OnRootDirChange) s.OnRootDirChange(s, dir);
      }),
      DriveList([] { return plat::ListDrives(); }) {}

void TzidFileScan::SetFileSpec(const std::vector<std::string>& masks) {
  fileSpec_ = masks;
  fileSpecAssigned_ = true;
}

void TzidFileScan::SetRootDir(const std::string& dir) {
  rootDir_ = dir.empty() ? std::string() : plat::IncludeTrailingPathDelimiter(plat::ToNative(dir));
}

void TzidFileScan::SetSorted(TzidSortOptions kind) {
  if (kind == files_.SortKind) return;
  files_.SortKind = kind;
  files_.Sort();
  if (files_.Count() > 0) FireFinished();
}

void TzidFileScan::FireFinished() {
  if (OnFinished) OnFinished(*this, filesCount_, filesSize_);
}

bool TzidFileScan::AcceptsAttributes(uint32_t attr) const {
  const bool accepted = (attr & plat::faNotContentIndexed) != 0 || AttrTest(attr, Attributes);
  return accepted && !AttrTest(attr, AttributesEx);
}

bool TzidFileScan::DefaultHook(const std::string& dirWithSlash, const plat::FindData& entry) {
  auto obj = std::make_unique<TFileObject>();
  if (!IsDirEntry(entry)) obj->Name = entry.name;
  obj->Path = dirWithSlash;
  const auto size = static_cast<uint64_t>(entry.size < 0 ? 0 : entry.size);
  obj->SizeLow = static_cast<uint32_t>(size);
  obj->SizeHigh = static_cast<uint32_t>(size >> 32);
  obj->Attributes = entry.attr;
  obj->DateTime = plat::UnixToDosDateTime(entry.mtime);
  files_.Insert(std::move(obj));
  return true;
}

void TzidFileScan::Scan() {
  files_.Clear();
  filesCount_ = 0;
  filesSize_ = 0;
  *cancel_ = false;
  try {
    if (RecurseDirs)
      ScanRecursive();
    else
      ScanFlat();
  } catch (...) {
    FireFinished();
    throw;
  }
  FireFinished();
}

std::string TzidFileScan::ResolveDir(const std::string& pattern) const {
  std::string dir = plat::ToNative(plat::ExtractFilePath(pattern));
  if (dir.empty()) dir = rootDir_;
  if (dir.empty()) dir = plat::IncludeTrailingPathDelimiter(plat::GetCurrentDir());
  return dir;
}

void TzidFileScan::ScanRecursive() {
  if (!fileSpecAssigned_) {
    if (rootDir_.empty()) return;
    const std::string probe = rootDir_.size() > 1 ? plat::ExcludeTrailingPathDelimiter(rootDir_) : rootDir_;
    if (!plat::DirectoryExists(probe)) return;
    TMaskList all;
    all.Add("*");
    Walk(rootDir_, all);
    return;
  }
  std::erase_if(fileSpec_, [](const std::string& s) { return plat::Trim(s).empty(); });
  // Every pattern's folder is settled before the first walk: RootDir changes
  // to each base as it is walked, and a later pattern without a folder still
  // means the RootDir the scan started with.
  std::vector<std::string> bases;
  bases.reserve(fileSpec_.size());
  for (const auto& pattern : fileSpec_) bases.push_back(ResolveDir(pattern));
  auto consume = [&](size_t i) {
    fileSpec_.erase(fileSpec_.begin() + static_cast<std::ptrdiff_t>(i));
    bases.erase(bases.begin() + static_cast<std::ptrdiff_t>(i));
  };
  while (!fileSpec_.empty() && !*cancel_) {
    const std::string base = bases[0];
    std::vector<std::string> masks{plat::ExtractFileName(fileSpec_[0])};
    // Folders are compared exactly: names differing in case are different
    // folders on this system.
    for (size_t i = 1; i < fileSpec_.size();) {
      if (bases[i] != base) {
        ++i;
        continue;
      }
      MergeMask(masks, plat::ExtractFileName(fileSpec_[i]));
      consume(i);
    }
    TMaskList compiled(masks);
    SetRootDir(base);
    if (RootDirHook) RootDirHook(*this, base);
    consume(0);
    Walk(base, compiled);
  }
}

std::vector<std::string> TzidFileScan::BaseFolders(const std::string& base) const {
  if (ScanOptions != soScanDrvs) return {base};
  std::vector<std::string> roots;
  if (!DriveList) return roots;
  for (const auto& d : DriveList()) {
    switch (d.type) {
      case plat::DriveType::Fixed:
      case plat::DriveType::Remote:
      case plat::DriveType::CdRom:
      case plat::DriveType::RamDisk:
        if (!d.root.empty()) roots.push_back(plat::IncludeTrailingPathDelimiter(d.root));
        break;
      default:  // removable disks (floppies, sticks) and the unknown are left alone
        break;
    }
  }
  return roots;
}

void TzidFileScan::Walk(const std::string& base, const TMaskList& masks) {
  for (const auto& root : BaseFolders(base)) {
    if (*cancel_) return;
    WalkTree(root, masks);
  }
}

// Depth first in enumeration order; each subfolder right after its own entry.
// The folders being walked are kept on an explicit stack, each frame holding
// its listing and how far it got, and one path string grows and shrinks with
// the stack.
void TzidFileScan::WalkTree(const std::string& root, const TMaskList& masks) {
  struct Frame {
    size_t dirLen;
    std::vector<plat::FindData> entries;
    size_t next = 0;
    std::pair<uint64_t, uint64_t> id{};
  };
  std::string dir = plat::IncludeTrailingPathDelimiter(root);
  std::vector<Frame> stack;
  auto enter = [&] {
    Frame f{dir.size(), {}, 0};
    if (FollowLinks) {
      // A folder that is one of its own ancestors (a link leading back up) is
      // not walked again: that is a loop, not more files.
      plat::FileIdentity(dir, f.id.first, f.id.second);
      for (const Frame& up : stack)
        if (f.id.second != 0 && up.id == f.id) {
          stack.push_back(std::move(f));
          return;
        }
    }
    if (OnRecurseDir) OnRecurseDir(*this, dir);
    if (!plat::ListDirectory(dir, f.entries)) f.entries.clear();  // unreadable: skipped
    stack.push_back(std::move(f));
  };
  enter();
  while (!stack.empty() && !*cancel_) {
    Frame& top = stack.back();
    if (top.next >= top.entries.size()) {
      stack.pop_back();
      if (!stack.empty()) dir.resize(stack.back().dirLen);
      continue;
    }
    plat::FindData entry = std::move(top.entries[top.next++]);
    if (IsDotOrDotDot(entry.name)) continue;
    if (entry.isLink && FollowLinks && !plat::ResolveLink(dir + entry.name, entry)) continue;
    ProcessEntry(dir, entry, &masks);
    plat::ProcessMessages();
    if (IsDirEntry(entry) && ((entry.attr & plat::faHidden) == 0 || IncludeHiddenDirs)) {
      dir += entry.name;
      dir += plat::kPathDelim;
      enter();
    }
  }
}

// Each pattern is looked up as it stands (its folder relative to the current
// one); only the pattern's own wildcards select, no mask list applies. A
// pattern without wildcards names exactly one entry: the file system tells
// case apart, so "a.txt" does not also pick "A.txt".
void TzidFileScan::ScanFlat() {
  const std::vector<std::string> patterns = fileSpec_;
  for (const auto& raw : patterns) {
    if (*cancel_) return;
    const std::string pattern = plat::Trim(raw);
    if (pattern.empty()) continue;
    std::string dir = plat::ToNative(plat::ExtractFilePath(pattern));
    if (dir.empty()) dir = plat::IncludeTrailingPathDelimiter(plat::GetCurrentDir());
    const std::string name = plat::ExtractFileName(pattern);
    const bool wild = HasWildcards(name);
    const TInternalMask mask(name);
    for (const auto& folder : BaseFolders(dir)) {
      if (*cancel_) return;
      std::vector<plat::FindData> entries;
      if (!plat::ListDirectory(folder, entries)) continue;
      std::erase_if(entries, [&](const plat::FindData& e) {
        if (IsDotOrDotDot(e.name)) return true;
        return wild ? !mask.Matches(e.name) : e.name != name;
      });
      if (entries.empty()) continue;
      if (RootDirHook) RootDirHook(*this, folder);
      for (auto& e : entries) {
        if (*cancel_) return;
        if (e.isLink && FollowLinks && !plat::ResolveLink(plat::IncludeTrailingPathDelimiter(folder) + e.name, e))
          continue;
        ProcessEntry(folder, e, nullptr);
        plat::ProcessMessages();
      }
    }
  }
}

void TzidFileScan::ProcessEntry(const std::string& dir, const plat::FindData& entry, const TMaskList* masks) {
  if (!AcceptsAttributes(entry.attr)) return;
  const bool hooked = UpdateList && Hook;
  if (IsDirEntry(entry)) {
    if (hooked) Hook(*this, dir + entry.name + plat::kPathDelim, HookData, entry);
    return;
  }
  if (masks && !masks->Matches(entry.name)) return;
  if (hooked) {
    if (!Hook(*this, dir, HookData, entry)) return;
    ++filesCount_;
    filesSize_ += entry.size;
    if (OnScanFile) OnScanFile(*this, entry.name, filesCount_, filesSize_);
    return;
  }
  ++filesCount_;
  filesSize_ += entry.size;
}

}  // namespace zid
