// The entry list of one write operation: the entries of the old archive in
// archive order, then the files the scan adds, each with its action.
#pragma once

#include <any>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace zid {

// What the merge loop does with an item.
enum TCompAction : int {
  caCompress = 0,  // compress the file (new or replacing)
  caCopy = 1,      // copy the existing entry unchanged
  caDrop = 2,      // leave the existing entry out
  caRename = 3,    // copy the existing entry under a new name
};

struct TCompHeaderItem {
  // The stored name as the user sees it (UTF-8, "/" between folders).
  std::string Name;
  int Action = caCopy;

  // ---- a scanned file (caCompress) ----
  std::string SourcePath;  // full path; folders end with "/"
  bool IsDir = false;
  int64_t FileSize = 0;
  uint32_t FileDate = 0;   // DOS date-time of the file
  uint32_t FileAttr = 0;   // DOS attribute bits
  bool FromScan = false;   // the item came from this run's scan

  // ---- the entry as stored (old entries, and new ones once written) ----
  // Format-neutral: what the merge decisions and the totals read. Every
  // writer's ReadArchiveDirectory fills them, and its CompressEntry for a new entry.
  uint32_t StoredDate = 0;  // DOS date-time as stored (date in the high word)
  uint32_t StoredAttr = 0;  // DOS attribute bits as stored
  int64_t Offset = 0;       // where the entry starts: in the old archive until copied, then in the new one
  int64_t PackedSize = 0;   // 64-bit, includes an encryption header
  int64_t UnpackedSize = 0;
  uint32_t Crc = 0;

  // The writer's own record of the entry (its header as read or written,
  // any copyable type), which only that writer reads. Record<T>() makes an
  // empty one on first use; an item made from a scanned file has none.
  template <class T>
  T& Record() {
    if (!record_.has_value()) record_.emplace<T>();
    return std::any_cast<T&>(record_);
  }
  template <class T>
  const T& Record() const {
    return std::any_cast<const T&>(record_);
  }
  bool HasRecord() const { return record_.has_value(); }

 private:
  std::any record_;
};

class TCompHeaderObj {
 public:
  std::vector<TCompHeaderItem> Items;
  // The archive comment and whether a comment (archive or entry) changed.
  std::string ArchiveComment;
  bool CommentChanged = false;

  int Count() const { return static_cast<int>(Items.size()); }
  TCompHeaderItem& operator[](int i) { return Items[static_cast<size_t>(i)]; }
  const TCompHeaderItem& operator[](int i) const { return Items[static_cast<size_t>(i)]; }
  // The first item not dropped whose name equals name; -1 when none. Names
  // differ by case as file names do here ("Index.html" is not "index.html").
  // Looked up through an index of the names, so a scan of many files does
  // not search the whole list for each.
  int Find(const std::string& name) const;
  // Gives item i another name (the index follows).
  void Rename(int i, const std::string& newName);
  // Items that will be written (not dropped).
  int Kept() const;
  void Clear() {
    Items.clear();
    index_.clear();
    indexed_ = 0;
  }

 private:
  mutable std::unordered_map<std::string, std::vector<int>> index_;
  mutable size_t indexed_ = 0;
};

}  // namespace zid
