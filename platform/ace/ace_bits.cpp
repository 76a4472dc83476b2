#include "platform/ace/ace_bits.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace ace {

namespace {

constexpr size_t kInputSize = 1 << 16;  // a multiple of 4

// The in-place sort whose tie order fixes which symbols get which codes:
// keys descending, symbols moved along. Reproduced step by step, including
// the special treatment of two-element ranges; the bound checks never change
// the result (the pivot stops both scans) but keep a damaged range in bounds.
void SortWidths(uint8_t* keys, uint16_t* syms, int lo, int hi) {
  int i = lo, j = hi;
  const uint8_t p = keys[hi];
  do {
    while (i < hi && keys[i] > p) ++i;
    while (j > lo && keys[j] < p) --j;
    if (i <= j) {
      std::swap(keys[i], keys[j]);
      std::swap(syms[i], syms[j]);
      ++i;
      --j;
    }
  } while (i < j);
  if (lo < j) {
    if (lo < j - 1) {
      SortWidths(keys, syms, lo, j);
    } else if (keys[lo] < keys[j]) {
      std::swap(keys[lo], keys[j]);
      std::swap(syms[lo], syms[j]);
    }
  }
  if (i < hi) {
    if (i < hi - 1) {
      SortWidths(keys, syms, i, hi);
    } else if (keys[i] < keys[hi]) {
      std::swap(keys[i], keys[hi]);
      std::swap(syms[i], syms[hi]);
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// TBitReader

TBitReader::TBitReader(TReadFn read) : read_(std::move(read)), in_(new uint8_t[kInputSize]) {}

uint32_t TBitReader::NextWord() {
  if (end_ - pos_ < 4 && !ended_) {
    // keep the 0..3 bytes left and fill the rest of the buffer
    const size_t left = end_ - pos_;
    std::memmove(in_.get(), in_.get() + pos_, left);
    pos_ = 0;
    end_ = left;
    while (end_ < kInputSize) {
      const size_t got = read_(in_.get() + end_, kInputSize - end_);
      if (got == 0) {
        ended_ = true;
        break;
      }
      end_ += std::min(got, kInputSize - end_);
    }
  }
  if (pos_ == end_) {
    pad_ += 32;
    return 0;
  }
  uint8_t w[4] = {0, 0, 0, 0};  // a last partial word is completed with zeros
  const size_t k = std::min<size_t>(4, end_ - pos_);
  std::memcpy(w, in_.get() + pos_, k);
  pos_ += k;
  return Le32(w);
}

void TBitReader::Refill() {
  // count_ < 32 here for every caller that asks for at most 32 bits
  while (count_ <= 32) {
    acc_ |= static_cast<uint64_t>(NextWord()) << (32 - count_);
    count_ += 32;
  }
}

uint32_t TBitReader::GolombRice(unsigned k, uint32_t cap) {
  uint32_t v = Read(k);
  while (Read(1)) {
    v += 1u << k;
    if (v > cap) Fail(TResult::DataError);
  }
  return v;
}

int32_t TBitReader::SignedGolombRice(unsigned k, uint32_t cap) {
  const uint32_t v = GolombRice(k, cap);
  return (v & 1) ? -static_cast<int32_t>(v >> 1) - 1 : static_cast<int32_t>(v >> 1);
}

// ---------------------------------------------------------------------------
// THuffman

void THuffman::Build(uint8_t* widths, unsigned n, unsigned maxWidth) {
  if (n == 0 || n > kMaxSymbols || maxWidth > 15) Fail(TResult::DataError);
  std::array<uint8_t, kMaxSymbols> keys{};
  std::array<uint16_t, kMaxSymbols> syms{};
  for (unsigned i = 0; i < n; ++i) {
    keys[i] = widths[i];
    syms[i] = static_cast<uint16_t>(i);
  }
  SortWidths(keys.data(), syms.data(), 0, static_cast<int>(n) - 1);
  unsigned used = 0;
  while (used < n && keys[used] != 0) ++used;
  if (used < 2) {
    // one symbol (or none): it gets the 1-bit code 0
    widths[syms[0]] = 1;
    used = 1;
  }
  maxWidth_ = maxWidth;
  table_.assign(size_t{1} << maxWidth, 0);
  std::fill(width_.begin(), width_.end(), 0);
  std::copy(widths, widths + n, width_.begin());
  // shortest widths first, and within a width the reverse of the sort order
  size_t fill = 0;
  for (unsigned k = used; k-- > 0;) {
    const uint16_t s = syms[k];
    const unsigned w = widths[s];
    if (w > maxWidth) Fail(TResult::DataError);
    const size_t run = size_t{1} << (maxWidth - w);
    if (fill + run > table_.size()) Fail(TResult::DataError);
    std::fill(table_.begin() + static_cast<std::ptrdiff_t>(fill),
              table_.begin() + static_cast<std::ptrdiff_t>(fill + run), s);
    fill += run;
  }
  fill_ = static_cast<uint32_t>(fill);
}

bool THuffman::CodeOf(unsigned s, uint32_t& code, unsigned& width) const {
  for (uint32_t v = 0; v < fill_; ++v)
    if (table_[v] == s) {
      width = width_[s];
      code = v >> (maxWidth_ - width);
      return true;
    }
  return false;
}

void THuffman::Read(TBitReader& br, unsigned maxWidth, unsigned alphabet) {
  unsigned n = br.Read(9) + 1;
  if (n > alphabet + 1) n = alphabet + 1;
  const unsigned lo = br.Read(4);
  const unsigned hi = br.Read(4);
  uint8_t codeWidths[16];
  for (unsigned i = 0; i <= hi; ++i) codeWidths[i] = static_cast<uint8_t>(br.Read(3));
  THuffman widthCode;
  widthCode.Build(codeWidths, hi + 1, 7);

  std::array<uint8_t, kMaxSymbols> raw{};
  unsigned count = 0;
  while (count < n) {
    const unsigned s = widthCode.Decode(br);
    if (s < hi) {
      raw[count++] = static_cast<uint8_t>(s);
    } else {
      // raw zeros: after the running sum they repeat the previous width
      const unsigned run = std::min(br.Read(4) + 4, n - count);
      for (unsigned k = 0; k < run; ++k) raw[count++] = 0;
    }
  }
  if (hi > 0)
    for (unsigned i = 1; i < n; ++i) raw[i] = static_cast<uint8_t>((raw[i] + raw[i - 1]) % hi);
  std::array<uint8_t, kMaxSymbols> widths{};
  for (unsigned i = 0; i < n; ++i) widths[i] = raw[i] ? static_cast<uint8_t>(raw[i] + lo) : 0;
  Build(widths.data(), n, maxWidth);
}

}  // namespace ace
