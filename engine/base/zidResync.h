// Taking a walk up again after a damaged header: the families whose headers
// follow one another (LHA, ARJ, ZOO, ARC and PAK, TAR) look for the next
// place a good header starts and go on from there, as arj and 7-Zip do, so
// one overwritten header loses one entry instead of every entry after it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/base/zidByteSource.h"

namespace zid {

// How a family knows a good header: where its signature sits (none: every
// `align`-th position from the damaged one is asked) and the check of the
// header starting at a position (its CRC or checksum where the format has
// one, plausible sizes and names otherwise).
struct TResyncProbe {
  std::string_view magic;
  unsigned magicAt = 0;
  int64_t align = 1;
  std::function<bool(int64_t start)> good;
};

// Reads n bytes at pos; returns the count read (short at the end of the file).
using TResyncReadAt = std::function<int64_t(int64_t pos, void* buf, int64_t n)>;

// The first position after `damaged` (never at or before it, so a walk that
// resynchronises always moves on) and before `end` where a good header
// starts; -1 when there is none.
int64_t FindNextHeader(const TResyncReadAt& read, int64_t damaged, int64_t end, const TResyncProbe& probe);

// A byte source over a walk's read function (the deep scan's checks read through one).
class TReadAtSource : public TByteSource {
 public:
  TReadAtSource(TResyncReadAt read, int64_t size) : read_(std::move(read)), size_(size) {}
  int64_t Size() const override { return size_; }
  int64_t ReadAt(int64_t pos, void* buf, int64_t count) override {
    if (pos < 0 || pos >= size_ || count <= 0) return 0;
    return read_(pos, buf, std::min(count, size_ - pos));
  }

 private:
  TResyncReadAt read_;
  int64_t size_;
};

struct TProbe;
// The deep scan's probe of a family (zidFormats.h) as a resync probe over src,
// for the families whose every header passes it (LHA).
TResyncProbe ResyncByProbe(const TProbe& probe, TByteSource& src);

// The words of the one warning for a damaged region: where it starts, how
// long it is and where the walk goes on (next < 0: nothing good follows).
std::string DamagedRegionText(const std::string& why, int64_t damaged, int64_t next, int64_t end);

// The damaged regions a scan passed over, each reported in its place among
// the entries when they are extracted.
class TLostRegions {
 public:
  void Clear() { marks_.clear(), next_ = 0; }
  bool Empty() const { return marks_.empty(); }
  // A region found after `entriesBefore` entries of the scan's list.
  void Add(size_t entriesBefore, std::string text) { marks_.emplace_back(entriesBefore, std::move(text)); }
  // Hands report the words of every region in front of entry i (i = the
  // list's size: those after the last entry), each once.
  template <class F>
  void Before(size_t i, F&& report) {
    for (; next_ < marks_.size() && marks_[next_].first <= i; ++next_) report(marks_[next_].second);
  }

 private:
  std::vector<std::pair<size_t, std::string>> marks_;
  size_t next_ = 0;
};

}  // namespace zid
