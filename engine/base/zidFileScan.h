// The file scanner: turns path patterns into the files a writer compresses.
//
// TzidFileScan walks folders (recursively or not), filters entries by
// wildcard masks (zidMask.h) and by attributes, hands every accepted entry to
// a hook and keeps running totals. Without an owner's hook it collects the
// entries itself in Files(), optionally sorted.
//
// On this system:
//  - "/" separates folders; RootDir starts as "/" (the system's root stands
//    in for the first fixed drive).
//  - Hidden means a name starting with "." (plat::faHidden). Only "." and
//    ".." are left out of a walk; other dot-names go through the attribute
//    filter like any entry, and hidden folders are entered only with
//    IncludeHiddenDirs.
//  - Symbolic links are described, never followed: a link to a folder is
//    handed to the hook like a file and never entered, since following links
//    could loop or leave the tree being archived.
//  - The recursive walk keeps its own stack instead of recursing, so deep
//    trees cannot exhaust the call stack; a folder whose path the system
//    refuses (longer than it allows) is skipped like an unreadable one.
//  - Unreadable folders, and files that vanish during a scan, are skipped
//    silently. Names that are not valid UTF-8 pass through unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/zidConsts.h"
#include "engine/base/zidMask.h"
#include "platform/drives.h"
#include "platform/files.h"

namespace zid {

enum TfsScanOptions : uint8_t { soScanDir, soScanDrvs };
enum TzidSortOptions : uint8_t { soUnsort, soByName, soByType, soBySize, soByTime, soByPath };

// One collected entry.
struct TFileObject {
  std::string Name;  // "" for a folder
  std::string Path;  // folder with trailing "/" (for a folder: the folder itself)
  uint32_t SizeLow = 0;
  uint32_t SizeHigh = 0;
  uint32_t Attributes = 0;  // plat::fa* bits
  uint32_t DateTime = 0;    // DOS date-time of the last write, local time

  int64_t Size() const { return static_cast<int64_t>((uint64_t{SizeHigh} << 32) | SizeLow); }
};

// An owning list of entries.
class TBaseFilesList {
 public:
  virtual ~TBaseFilesList() = default;
  int Count() const { return static_cast<int>(items_.size()); }
  TFileObject& operator[](int i) { return *items_[static_cast<size_t>(i)]; }
  const TFileObject& operator[](int i) const { return *items_[static_cast<size_t>(i)]; }

 protected:
  std::vector<std::unique_ptr<TFileObject>> items_;
};

// Kept in the order of SortKind: unsorted entries are appended, sorted ones
// inserted by binary search before the first entry that does not compare
// lower, so among equal keys the entry found last comes first.
class TFilesList : public TBaseFilesList {
 public:
  TzidSortOptions SortKind = soUnsort;
  bool CaseSensitive = false;  // off: names, extensions and paths ignore ASCII case

  // Returns the index the entry was placed at.
  virtual int Insert(std::unique_ptr<TFileObject> item);
  virtual void Delete(int index);
  virtual void Clear();
  // Re-sorts the whole list by SortKind (quicksort, middle pivot).
  virtual void Sort();
  // <0, 0, >0 by SortKind; always 0 for soUnsort.
  virtual int Compare(const TFileObject& a, const TFileObject& b) const;
  // The first index whose entry does not compare lower than item (Count() when none).
  virtual int Find(const TFileObject& item) const;

 private:
  void QuickSort(int lo, int hi);
};

class TzidFileScan;

// Hook: (scanner, folder with trailing "/", caller pointer, entry) -> accepted.
using TScanHook = std::function<bool(TzidFileScan& sender, const std::string& dirWithSlash, void* user,
                                     const plat::FindData& entry)>;
// Root-directory hook: receives each new base folder.
using TRootDirHook = std::function<void(TzidFileScan& sender, const std::string& dir)>;

using TOnScanFile = std::function<void(TzidFileScan& sender, const std::string& fileName, int filesCount,
                                       int64_t filesSize)>;
using TOnScanFinished = std::function<void(TzidFileScan& sender, int filesCount, int64_t filesSize)>;
using TOnRootDirChange = std::function<void(TzidFileScan& sender, const std::string& dir)>;
using TOnRecurseDir = std::function<void(TzidFileScan& sender, const std::string& directory)>;

class TzidFileScan {
 public:
  TzidFileScan();
  TzidFileScan(const TzidFileScan&) = delete;
  TzidFileScan& operator=(const TzidFileScan&) = delete;

  // Path patterns; assigning copies the list. A recursive scan consumes it
  // (the list is empty afterwards). Until it is assigned a recursive scan
  // walks RootDir with the mask "*".
  const std::vector<std::string>& FileSpec() const { return fileSpec_; }
  void SetFileSpec(const std::vector<std::string>& masks);

  // Folder for patterns without one; a trailing "/" is added on assignment.
  const std::string& RootDir() const { return rootDir_; }
  void SetRootDir(const std::string& dir);

  bool RecurseDirs = true;
  // An entry must carry at least one of Attributes and none of AttributesEx.
  TzidFileAttributes Attributes{fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};
  TzidFileAttributes AttributesEx;
  bool IncludeHiddenDirs = false;
  // Symbolic links are taken as what they lead to (a file, or a folder walked
  // like any other; a folder reached twice, as through a link loop, is walked
  // once). Off: links are entries of their own, which the attribute filter
  // usually leaves out.
  bool FollowLinks = false;
  bool UpdateList = true;  // pass accepted entries to the hook
  TfsScanOptions ScanOptions = soScanDir;

  TzidSortOptions Sorted() const { return files_.SortKind; }
  // Re-sorts the collected list; fires OnFinished when it is not empty.
  void SetSorted(TzidSortOptions kind);

  TOnScanFile OnScanFile;
  TOnScanFinished OnFinished;
  TOnRootDirChange OnRootDirChange;
  TOnRecurseDir OnRecurseDir;

  // Starts as DefaultHook (collects into Files()); an owner installs its own.
  // Empty: accepted entries are only counted and OnScanFile does not fire.
  TScanHook Hook;
  void* HookData = nullptr;  // the caller pointer handed to Hook
  // Starts as a hook that fires OnRootDirChange.
  TRootDirHook RootDirHook;
  // The drives soScanDrvs walks; starts as plat::ListDrives (tests replace it).
  std::function<std::vector<plat::DriveInfo>()> DriveList;

  // Shares a cancel flag with an owner (nullptr: the scanner's own flag).
  void SetCancelFlag(bool* flag) { cancel_ = flag ? flag : &ownCancel_; }
  bool* CancelFlag() const { return cancel_; }
  void Cancel() { *cancel_ = true; }
  bool Cancelled() const { return *cancel_; }

  // One scan; OnFinished fires at its end on every path (also when a
  // handler throws: the exception goes on afterwards).
  void Scan();

  int FilesCount() const { return filesCount_; }
  int64_t FilesSize() const { return filesSize_; }
  const TFilesList& Files() const { return files_; }
  TFilesList& Files() { return files_; }

  // The attribute filter over a platform attribute word.
  bool AcceptsAttributes(uint32_t attr) const;

  // Standalone collection: inserts a TFileObject for the entry; true.
  bool DefaultHook(const std::string& dirWithSlash, const plat::FindData& entry);

 private:
  void ScanRecursive();
  void ScanFlat();
  void Walk(const std::string& base, const TMaskList& masks);
  void WalkTree(const std::string& root, const TMaskList& masks);
  std::string ResolveDir(const std::string& pattern) const;
  void ProcessEntry(const std::string& dir, const plat::FindData& entry, const TMaskList* masks);
  void FireFinished();
  std::vector<std::string> BaseFolders(const std::string& base) const;

  std::vector<std::string> fileSpec_;
  bool fileSpecAssigned_ = false;
  std::string rootDir_ = "/";
  TFilesList files_;
  int filesCount_ = 0;
  int64_t filesSize_ = 0;
  bool ownCancel_ = false;
  bool* cancel_ = &ownCancel_;
};

}  // namespace zid
