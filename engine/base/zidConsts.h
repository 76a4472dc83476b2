// Constants and small types shared by the engine's components.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace zid {

// File attributes as the scanner filters them (bit positions, in order).
enum TzidFileAttribute : uint8_t {
  fsZeroAttr,
  fsReadOnly,
  fsHidden,
  fsSysFile,
  fsVolumeID,
  fsDirectory,
  fsArchive,
  fsCompressed,
  fsEncrypted,
};

// A set of TzidFileAttribute values.
class TzidFileAttributes {
 public:
  constexpr TzidFileAttributes() = default;
  constexpr TzidFileAttributes(std::initializer_list<TzidFileAttribute> items) {
    for (auto a : items) bits_ |= Bit(a);
  }
  constexpr bool Contains(TzidFileAttribute a) const { return (bits_ & Bit(a)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr void Include(TzidFileAttribute a) { bits_ |= Bit(a); }
  constexpr void Exclude(TzidFileAttribute a) { bits_ &= static_cast<uint16_t>(~Bit(a)); }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool operator==(const TzidFileAttributes&) const = default;

 private:
  static constexpr uint16_t Bit(TzidFileAttribute a) { return static_cast<uint16_t>(1u << a); }
  uint16_t bits_ = 0;
};

}  // namespace zid
