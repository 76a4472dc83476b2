// The match finder of the LZH encoder: a sliding window over the input and
// hash chains of the dictionary's positions by their first four bytes, the
// newest first, as zlib keeps them; for a match of exactly three bytes the
// newest position sharing them (only a near one pays for itself).
//
// A search walks its chain from the nearest position back, at most `chain`
// links, and stops early at a match of `nice` bytes; among equally long
// matches it keeps the nearest. Positions inside a match taken only join
// their chain (Skip), which is what makes this finder cheap: the work per
// byte is one hash and one store, plus the walks at the positions where the
// parser looks for a match.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace zid {

class TLzhMatchFinder {
 public:
  static constexpr uint32_t kMaxMatch = 256;
  static constexpr uint32_t kMinMatch = 3;
  static constexpr uint32_t kRenumberAt = 0xC0000000u;

  using TRead = std::function<int64_t(uint8_t* buf, int64_t count)>;

  // Distances stay below 2^dicBit. `start`: the number of the first position
  // (0: the usual); positions are renumbered before they reach the top of 32
  // bits, and a test can start near that point.
  TLzhMatchFinder(unsigned dicBit, TRead read, uint32_t start = 0);

  // Reads more input when fewer than two longest matches are left before the
  // end of what was read. False when the input has ended and nothing is left.
  bool Fill();
  // Bytes read (plain input taken so far).
  int64_t BytesRead() const { return bytesRead_; }
  // Bytes from the cursor to the end of what was read.
  uint32_t Available() const { return end_ - cur_; }
  // The bytes from the cursor on (Available() of them).
  const uint8_t* Text() const { return buf_.get() + (cur_ - base_); }

  // Enters the string at the cursor into the dictionary and moves past it.
  // Returns the length of the longest match found that is longer than `beat`
  // (0 when there is none, or none of kMinMatch bytes) and its distance
  // (1 = the previous byte), looking at most `chain` candidates and stopping
  // at a match of `nice` bytes.
  uint32_t Next(uint32_t& distance, uint32_t beat = kMinMatch - 1, uint32_t chain = 4096,
                uint32_t nice = kMaxMatch);
  // Enters the string at the cursor into the dictionary and moves past it, without a search.
  void Skip();

 private:
  void Slide();
  // Joins the position to its chain; returns the previous head, and the
  // newest position with the same first three bytes in near3.
  uint32_t Link(uint32_t pos, const uint8_t* cur, uint32_t& near3);

  TRead read_;
  uint32_t dicSize_;
  uint32_t mask_;
  uint32_t bufSize_;
  std::unique_ptr<uint8_t[]> buf_;
  std::unique_ptr<uint32_t[]> head_;
  std::unique_ptr<uint32_t[]> prev_;
  std::unique_ptr<uint32_t[]> head3_;
  // Positions start one dictionary past 0, the empty link, so that an empty
  // link always lies out of reach; buf_[0] holds position base_.
  uint32_t base_;
  uint32_t cur_;
  uint32_t end_;
  bool eof_ = false;
  int64_t bytesRead_ = 0;
};

}  // namespace zid
