// The scanner's collected list: sorted insertion and re-sorting.
#include <utility>

#include "engine/base/zidFileScan.h"
#include "platform/paths.h"

namespace zid {

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Byte order, ignoring ASCII case unless caseSensitive.
int CompareText(const std::string& a, const std::string& b, bool caseSensitive) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(caseSensitive ? a[i] : Upper(a[i]));
    auto y = static_cast<unsigned char>(caseSensitive ? b[i] : Upper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int CompareSigned(int32_t a, int32_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

int TFilesList::Compare(const TFileObject& a, const TFileObject& b) const {
  switch (SortKind) {
    case soUnsort:
      return 0;
    case soByName:
      return CompareText(a.Name, b.Name, CaseSensitive);
    case soByType:
      return CompareText(plat::ExtractFileExt(a.Name), plat::ExtractFileExt(b.Name), CaseSensitive);
    case soByPath:
      return CompareText(a.Path, b.Path, CaseSensitive);
    case soBySize:
      // The low 32 bits as a signed number, as the list has always ordered them.
      return CompareSigned(static_cast<int32_t>(a.SizeLow), static_cast<int32_t>(b.SizeLow));
    case soByTime:
      return CompareSigned(static_cast<int32_t>(a.DateTime), static_cast<int32_t>(b.DateTime));
  }
  return 0;
}

int TFilesList::Find(const TFileObject& item) const {
  int lo = 0;
  int hi = Count();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (Compare(*items_[static_cast<size_t>(mid)], item) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

int TFilesList::Insert(std::unique_ptr<TFileObject> item) {
  if (SortKind == soUnsort) {
    items_.push_back(std::move(item));
    return Count() - 1;
  }
  const int at = Find(*item);
  items_.insert(items_.begin() + at, std::move(item));
  return at;
}

void TFilesList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  items_.erase(items_.begin() + index);
}

void TFilesList::Clear() { items_.clear(); }

void TFilesList::Sort() {
  if (SortKind == soUnsort || Count() < 2) return;
  QuickSort(0, Count() - 1);
}

// Hoare partition around the middle element; the smaller part recurses and
// the larger one loops, so the depth stays logarithmic.
void TFilesList::QuickSort(int lo, int hi) {
  while (lo < hi) {
    int i = lo;
    int j = hi;
    const TFileObject* pivot = items_[static_cast<size_t>(lo + (hi - lo) / 2)].get();
    do {
      while (Compare(*items_[static_cast<size_t>(i)], *pivot) < 0) ++i;
      while (Compare(*items_[static_cast<size_t>(j)], *pivot) > 0) --j;
      if (i <= j) {
        std::swap(items_[static_cast<size_t>(i)], items_[static_cast<size_t>(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - lo < hi - i) {
      if (lo < j) QuickSort(lo, j);
      lo = i;
    } else {
      if (i < hi) QuickSort(i, hi);
      hi = j;
    }
  }
}

}  // namespace zid
