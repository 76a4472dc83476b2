#include "engine/base/zidHuffman.h"

namespace zid {

namespace {

uint32_t Reverse(uint32_t code, unsigned len) {
  uint32_t r = 0;
  for (unsigned i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

}  // namespace

template <bool MsbFirst>
typename THuffTableT<MsbFirst>::TBuildResult THuffTableT<MsbFirst>::Build(const uint8_t* lengths, unsigned count,
                                                                          unsigned rootBits, bool complement) {
  // a refused set leaves a table of invalid codes, never an empty one
  table_.assign(size_t{1} << rootBits, TEntry{});
  used_ = 0;
  root_ = rootBits;
  unsigned lenCount[kMaxCodeLen + 1] = {};
  for (unsigned i = 0; i < count; ++i) {
    if (lengths[i] > kMaxCodeLen) return hbBadLength;
    ++lenCount[lengths[i]];
  }
  int64_t left = 1;
  for (unsigned len = 1; len <= kMaxCodeLen; ++len) {
    left = (left << 1) - lenCount[len];
    if (left < 0) return hbOverSubscribed;
  }
  // first canonical code of each length; unused symbols take no code
  uint32_t next[kMaxCodeLen + 1] = {};
  uint32_t code = 0;
  lenCount[0] = 0;
  for (unsigned len = 1; len <= kMaxCodeLen; ++len) {
    code = (code + lenCount[len - 1]) << 1;
    next[len] = code;
  }

  // Each code as the table sees it: `key` holds the code's first `len` bits,
  // and its first rootBits bits pick the root slot. For LSB-first the key is
  // the reversed code (first bit lowest); for MSB-first it is the code itself.
  const uint32_t rootSize = 1u << rootBits;
  auto rootSlot = [&](uint32_t key, unsigned len) -> uint32_t {
    if constexpr (MsbFirst) {
      return key >> (len - rootBits);
    } else {
      return key & (rootSize - 1);
    }
  };
  std::vector<uint32_t> codes(count);
  // the longest code under each root slot, to size its sub-table
  std::vector<uint8_t> subMax(rootSize, 0);
  for (unsigned s = 0; s < count; ++s) {
    unsigned len = lengths[s];
    if (len == 0) continue;
    ++used_;
    uint32_t c = next[len]++;
    if (complement) c ^= (1u << len) - 1;
    if constexpr (MsbFirst) {
      codes[s] = c;
    } else {
      codes[s] = Reverse(c, len);
    }
    if (len > rootBits) {
      uint32_t r = rootSlot(codes[s], len);
      if (len > subMax[r]) subMax[r] = static_cast<uint8_t>(len);
    }
  }
  for (uint32_t r = 0; r < rootSize; ++r) {
    if (subMax[r] == 0) continue;
    unsigned subBits = subMax[r] - rootBits;
    TEntry link;
    link.value = static_cast<uint32_t>(table_.size());
    link.len = static_cast<uint8_t>(subMax[r]);
    link.sub = static_cast<uint8_t>(subBits);
    table_[r] = link;
    table_.resize(table_.size() + (size_t{1} << subBits));
  }
  for (unsigned s = 0; s < count; ++s) {
    unsigned len = lengths[s];
    if (len == 0) continue;
    TEntry e;
    e.value = s;
    e.len = static_cast<uint8_t>(len);
    if constexpr (MsbFirst) {
      if (len <= rootBits) {
        // every slot whose first len bits are the code
        uint32_t first = codes[s] << (rootBits - len);
        uint32_t n = 1u << (rootBits - len);
        for (uint32_t i = 0; i < n; ++i) table_[first + i] = e;
      } else {
        const TEntry& link = table_[rootSlot(codes[s], len)];
        // the sub-table is indexed by the link's sub bits after the root bits
        uint32_t below = codes[s] & ((1u << (len - rootBits)) - 1);
        uint32_t first = below << (link.sub - (len - rootBits));
        uint32_t n = 1u << (link.sub - (len - rootBits));
        for (uint32_t i = 0; i < n; ++i) table_[link.value + first + i] = e;
      }
    } else {
      if (len <= rootBits) {
        for (uint32_t i = codes[s]; i < rootSize; i += 1u << len) table_[i] = e;
      } else {
        const TEntry& link = table_[codes[s] & (rootSize - 1)];
        uint32_t subSize = 1u << link.sub;
        for (uint32_t j = codes[s] >> rootBits; j < subSize; j += 1u << (len - rootBits)) table_[link.value + j] = e;
      }
    }
  }
  return left > 0 ? hbIncomplete : hbOk;
}

template class THuffTableT<false>;
template class THuffTableT<true>;

}  // namespace zid
