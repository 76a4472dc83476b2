// Reads numbered strings from the string table resource of a PE executable,
// treating the file as data only. Self-extractor stubs keep the offset of
// their archive there.
//
// Every offset in the image is bounds-checked against the file; a file that
// is not a PE image, or has no string table, simply yields no strings.
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/zidByteSource.h"

namespace zid {

class TPeStringTable {
 public:
  // Locates the string table (resource type 6). False when the file is not a
  // PE image or carries no string table; LoadString then finds nothing.
  bool Open(TByteSource& src);
  bool IsOpen() const { return src_ != nullptr; }
  // The string with that id, at most maxChars characters; "" when absent.
  // Characters outside ASCII come out as "?" (callers only parse digits).
  std::string LoadString(uint32_t id, size_t maxChars) const;

 private:
  // Looks up `id` (or, with anyId, the first entry) in the resource directory
  // at `dirOffset` (relative to the resource root). Gives the entry's target,
  // also relative to the root, and whether it is another directory.
  bool FindEntry(uint32_t dirOffset, uint32_t id, bool anyId, uint32_t& target, bool& isDir) const;
  // File offset of an image address; -1 when no section holds it.
  int64_t RvaToOffset(uint32_t rva) const;
  int64_t ResourceOffset(uint32_t offset) const;  // root-relative -> file offset

  static constexpr int kMaxSections = 96;
  struct Section {
    uint32_t rva = 0, virtualSize = 0, rawSize = 0, rawOffset = 0;
  };
  TByteSource* src_ = nullptr;
  Section sections_[kMaxSections];
  int sectionCount_ = 0;
  uint32_t resourceRva_ = 0;    // the root resource directory
  uint32_t stringTypeDir_ = 0;  // the directory of type 6, root-relative
};

}  // namespace zid
