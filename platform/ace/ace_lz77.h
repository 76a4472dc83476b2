// The LZ77 layer shared by ACE 1.0 members and the LZ77, DELTA and EXE
// blocks of ACE 2.0: the history every mode writes into, and the decoder of
// the symbol blocks (a main table, a length table and a symbol count).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ace/ace_bits.h"

namespace ace {

// The history of decoded bytes: a 4 MiB ring (the largest distance the
// alphabet can express), allocated on first use. In a solid archive it
// carries over from member to member.
class THistory {
 public:
  static constexpr uint32_t kSize = 1u << 22;
  static constexpr uint32_t kMask = kSize - 1;

  void Allocate() {
    if (!buf_) buf_.reset(new uint8_t[kSize]);  // never read before it is written (Available)
  }
  // Forgets what was decoded (a member of a non-solid archive starts empty).
  void Clear() { filled_ = 0; }
  // Absolute count of bytes written so far; the ring index is Total() & kMask.
  uint64_t Total() const { return total_; }
  // How far back a match may reach.
  uint64_t Available() const { return filled_ < kSize ? filled_ : kSize; }
  uint8_t At(uint64_t absolute) const { return buf_[absolute & kMask]; }
  void Put(uint8_t b) {
    buf_[total_ & kMask] = b;
    ++total_;
    ++filled_;
  }
  void Append(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) Put(p[i]);
  }
  // Copies `len` bytes from `dist` back (1 = the previous byte); overlapping
  // copies repeat the pattern.
  void Copy(uint32_t dist, uint32_t len) {
    uint64_t from = total_ - dist;
    for (uint32_t k = 0; k < len; ++k) Put(buf_[(from++) & kMask]);
  }
  // Passes the bytes [from, Total()) to fn in at most two pieces (the ring may wrap).
  template <class F>
  void ForEachPiece(uint64_t from, F&& fn) const {
    while (from < total_) {
      const uint32_t idx = static_cast<uint32_t>(from & kMask);
      const uint64_t n = std::min<uint64_t>(total_ - from, kSize - idx);
      fn(buf_.get() + idx, static_cast<size_t>(n));
      from += n;
    }
  }

  // A copy of the state (the bytes a match may still reach), to decode a
  // member twice: the password check, then the output.
  struct TSnapshot {
    std::vector<uint8_t> bytes;
    uint64_t total = 0;
    uint64_t filled = 0;
  };
  void Save(TSnapshot& s) const;
  void Restore(const TSnapshot& s);

 private:
  std::unique_ptr<uint8_t[]> buf_;
  uint64_t total_ = 0;
  uint64_t filled_ = 0;
};

// The LZ77 symbol decoder. Its tables, the symbols left in the current block
// and the recent-distance cache survive mode switches within a member.
class TLz77 {
 public:
  enum class TStop { Limit, Soft, Mode };

  TLz77(TBitReader& br, THistory& hist, bool modesAllowed) : br_(br), hist_(hist), modes_(modesAllowed) {}
  // The start of a member: cache zeros, tables read at the first symbol.
  void Reset();
  // Decodes into the history until `hard` bytes were produced (a match may
  // not cross it: data error), or at least `soft` (<= hard) bytes, or a mode
  // instruction (symbol 283, ACE 2.0 only; the caller reads its parameters).
  // `produced` is advanced by the bytes written.
  TStop Decode(uint64_t hard, uint64_t soft, uint64_t& produced);

 private:
  void ReadBlockHeader();

  TBitReader& br_;
  THistory& hist_;
  bool modes_;
  THuffman main_;
  THuffman lengths_;
  uint32_t left_ = 0;                   // main symbols left in the block
  std::array<uint32_t, 4> recent_{};    // oldest first
};

}  // namespace ace
