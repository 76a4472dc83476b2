#include "engine/other/zidPakCrush.h"

#include <array>
#include <climits>
#include <memory>

#include "engine/base/zidBitReader.h"

namespace zid {

namespace {

constexpr int kCodes = 8192;
constexpr int kEnd = 256;
constexpr int kFirstString = 257;
constexpr int kRecent = 500;           // the window of codes the mode follows
constexpr int kStringsForPlain = 375;  // this many strings in it: no flag bits

struct TCrushState {
  std::array<int16_t, kCodes> parent;
  std::array<uint8_t, kCodes> chr;
  std::array<int, kCodes> usage{};
  std::array<bool, kRecent> wasString{};
  std::array<uint8_t, kCodes> text;
  int count = kFirstString;
  int prev = -1;
  int width = 1, bump = 2;
  bool flagged = true;
  int recentStrings = 0, ring = 0;
  int usageAt = kFirstString;

  TCrushState() {
    for (int i = 0; i < 256; ++i) {
      parent[i] = -1;
      chr[i] = static_cast<uint8_t>(i);
    }
  }
  // The first byte of a string; -1 when its chain loops.
  int FirstByte(int s) const {
    for (int steps = 0; parent[s] >= 0; ++steps) {
      if (steps >= kCodes) return -1;
      s = parent[s];
    }
    return chr[s];
  }
  void SetBump() { bump = (1 << width) - (flagged ? 0 : 0x100); }
};

}  // namespace

int PakUncrush(const TDecodeJob& job) {
  TBitReader br(job.source);
  TOutWindow out(job, 32768);
  auto st = std::make_unique<TCrushState>();
  TCrushState& s = *st;
  const int ended = job.expectedSize < 0 ? drOk : drInputExhausted;
  while (!out.Full()) {
    if (DecodeCancelled(job)) return drCancelled;
    int code;
    if (s.flagged) {
      code = br.Get(1) ? static_cast<int>(br.Get(s.width)) + 256 : static_cast<int>(br.Get(8));
    } else {
      code = static_cast<int>(br.Get(s.width));
      if (code < 0x100) code ^= 0xFF;  // literals come inverted in this mode
    }
    if (br.Overrun()) return ended == drOk ? out.Finish() : ended;
    if (code == kEnd) break;
    const bool full = s.count == kCodes;
    if (code > s.count || (code == s.count && (full || s.prev < 0))) return drInvalidData;
    // a string just used, and every string it extends, is kept longest
    s.usage[code] = 4;
    for (int k = code == s.count ? s.prev : s.parent[code], steps = 0; k >= 0; k = s.parent[k]) {
      if (++steps > kCodes) return drInvalidData;
      s.usage[k] = 4;
    }
    if (s.wasString[s.ring]) --s.recentStrings;
    s.wasString[s.ring] = code >= 0x100;
    if (code >= 0x100) ++s.recentStrings;
    s.ring = (s.ring + 1) % kRecent;
    const bool flagged = s.recentStrings < kStringsForPlain;
    if (flagged != s.flagged) {
      s.flagged = flagged;
      s.SetBump();
    }
    if (s.prev < 0) {
      s.prev = code;
    } else if (!full) {
      const int first = s.FirstByte(code == s.count ? s.prev : code);
      if (first < 0) return drInvalidData;
      s.parent[s.count] = static_cast<int16_t>(s.prev);
      s.chr[s.count] = static_cast<uint8_t>(first);
      s.usage[s.count] = 2;
      ++s.count;
      s.prev = code;
    } else {
      // the table is full: the next string takes the place of a little used one
      int index = s.usageAt, least = 0, leastUsage = INT_MAX;
      do {
        if (++index == kCodes) index = kFirstString;
        if (s.usage[index] < leastUsage) {
          least = index;
          leastUsage = s.usage[index];
        }
        if (--s.usage[index] == 0) break;
      } while (index != s.usageAt);
      s.usageAt = index;
      s.parent[least] = static_cast<int16_t>(s.prev);
      const int first = s.FirstByte(code);
      if (first < 0) return drInvalidData;
      s.chr[least] = static_cast<uint8_t>(first);
      s.usage[least] = 2;
      s.prev = code;
    }
    int n = 0;
    for (int k = s.prev; k >= 0; k = s.parent[k]) {
      if (n == kCodes) return drInvalidData;
      s.text[n++] = s.chr[k];
    }
    while (n > 0)
      if (!out.Put(s.text[--n])) return out.Status() != drOk ? out.Status() : out.Finish();
    if (s.count - kFirstString >= s.bump) {
      ++s.width;
      s.SetBump();
    }
  }
  return out.Finish();
}

}  // namespace zid
