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

THuffTable::TBuildResult THuffTable::Build(const uint8_t* lengths, unsigned count, unsigned rootBits,
                                           bool complement) {
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

  const uint32_t rootSize = 1u << rootBits;
  std::vector<uint32_t> codes(count);
  // the longest code under each root slot, to size its sub-table
  std::vector<uint8_t> subMax(rootSize, 0);
  for (unsigned s = 0; s < count; ++s) {
    unsigned len = lengths[s];
    if (len == 0) continue;
    ++used_;
    uint32_t c = next[len]++;
    if (complement) c ^= (1u << len) - 1;
    codes[s] = Reverse(c, len);
    if (len > rootBits) {
      uint32_t r = codes[s] & (rootSize - 1);
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
    if (len <= rootBits) {
      for (uint32_t i = codes[s]; i < rootSize; i += 1u << len) table_[i] = e;
    } else {
      const TEntry& link = table_[codes[s] & (rootSize - 1)];
      uint32_t subSize = 1u << link.sub;
      for (uint32_t j = codes[s] >> rootBits; j < subSize; j += 1u << (len - rootBits)) table_[link.value + j] = e;
    }
  }
  return left > 0 ? hbIncomplete : hbOk;
}

}  // namespace zid
