// The match finder of the LZH encoder: a sliding window over the input, a
// binary search tree of the dictionary's strings per hash of their first four
// bytes, and a chain of positions per hash of their first three.
//
// Inserting the string at the cursor walks its tree from the root; the walk
// passes both lexicographic neighbours of the new string, and one of them
// shares the longest prefix with it, so a match of four bytes or more found
// there is the longest one in the dictionary (among equally long ones, the
// first met). The new string becomes the root, which keeps the walks short
// on real data. A node whose string lies outside the dictionary ends the
// walk: every node below it is older still. When no string shares four
// bytes, the three-byte chain gives the nearest one that shares three.
// Walks stop after kMaxWalk nodes, a guard against contrived inputs that no
// ordinary file comes near.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace zid {

class TLzhMatchFinder {
 public:
  static constexpr uint32_t kMaxMatch = 256;
  static constexpr uint32_t kMinMatch = 3;
  static constexpr uint32_t kMaxWalk = 4096;
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
  // Returns the longest match's length (0 when shorter than kMinMatch) and
  // its distance (1 = the previous byte).
  uint32_t Next(uint32_t& distance);

 private:
  void Slide();
  // Enters the string at pos into its tree; returns the longest match found
  // when longer than kMinMatch (else kMinMatch), its distance in `distance`.
  uint32_t Insert(uint32_t pos, const uint8_t* cur, uint32_t limit, uint32_t& distance);

  TRead read_;
  uint32_t dicSize_;
  uint32_t mask_;
  uint32_t bufSize_;
  std::unique_ptr<uint8_t[]> buf_;
  std::unique_ptr<uint32_t[]> head_;
  std::unique_ptr<uint32_t[]> son_;
  // Chains of the positions by their first three bytes, for matches of exactly three.
  std::unique_ptr<uint32_t[]> head3_;
  std::unique_ptr<uint32_t[]> prev3_;
  // Positions start one dictionary past 0, the empty link, so that an empty
  // link always lies out of reach; buf_[0] holds position base_.
  uint32_t base_;
  uint32_t cur_;
  uint32_t end_;
  bool eof_ = false;
  int64_t bytesRead_ = 0;
};

}  // namespace zid
