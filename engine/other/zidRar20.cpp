#include "engine/other/zidRar20.h"

#include <cstdlib>
#include <cstring>

namespace zid {

namespace {

constexpr unsigned kLengthCodes = 28, kShortCodes = 8;
constexpr unsigned kLzTableSize = TRar20Decoder::kMainCodes + TRar20Decoder::kDistCodes + TRar20Decoder::kRepCodes;
// Main-table symbols past the literals.
constexpr int kRepeatLast = 256, kFirstOldDist = 257, kFirstShort = 261, kNewTables = 269, kFirstLong = 270;
constexpr int kAudioNewTables = 256;
constexpr unsigned kCancelCheck = 1u << 14;

// A base and a count of extra bits per code; each base is the one before
// plus the range of the one before's extra bits.
struct TCodeRanges {
  uint32_t base[48];
  uint8_t bits[48];
  constexpr TCodeRanges(const uint8_t* extra, unsigned n, uint32_t first) : base(), bits() {
    uint32_t b = first;
    for (unsigned i = 0; i < n; ++i) {
      base[i] = b;
      bits[i] = extra[i];
      b += 1u << extra[i];
    }
  }
};

constexpr uint8_t kLengthExtra[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                                2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
constexpr uint8_t kDistExtra[TRar20Decoder::kDistCodes] = {
    0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
    11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
constexpr uint8_t kShortExtra[kShortCodes] = {2, 2, 3, 4, 5, 6, 6, 6};
constexpr TCodeRanges kLengths(kLengthExtra, kLengthCodes, 0);
constexpr TCodeRanges kDists(kDistExtra, TRar20Decoder::kDistCodes, 0);
constexpr TCodeRanges kShorts(kShortExtra, kShortCodes, 0);

uint32_t ReadRange(TMsbBitReader& br, const TCodeRanges& r, unsigned code) {
  return r.base[code] + (r.bits[code] ? br.Get(r.bits[code]) : 0);
}

bool Built(TMsbHuffTable& t, const uint8_t* lengths, unsigned n, unsigned root) {
  const auto r = t.Build(lengths, n, root);
  return r == TMsbHuffTable::hbOk || r == TMsbHuffTable::hbIncomplete;
}

constexpr const char* kOverfull = "a Huffman table with more codes than its lengths allow";
constexpr const char* kBadCode = "a code that is not in its Huffman table";

}  // namespace

void TRar20Decoder::Reset() {
  std::memset(lengths_, 0, sizeof lengths_);
  tablesRead_ = false;
  audio_ = false;
  channels_ = 1;
  channel_ = 0;
  channelDelta_ = 0;
  for (TAudio& a : audioState_) a = TAudio();
  std::memset(oldDist_, 0, sizeof oldDist_);
  oldDistPos_ = 0;
  lastDist_ = lastLength_ = 0;
}

bool TRar20Decoder::ReadTables(TMsbBitReader& br, std::string& problem) {
  tablesRead_ = false;
  const bool audio = br.Get(1) != 0;
  if (br.Get(1) == 0) std::memset(lengths_, 0, sizeof lengths_);
  unsigned size = kLzTableSize;
  if (audio) {
    channels_ = br.Get(2) + 1;
    if (channel_ >= channels_) channel_ = 0;
    size = kAudioCodes * channels_;
  }
  uint8_t levels[kLevelCodes];
  for (uint8_t& l : levels) l = static_cast<uint8_t>(br.Get(4));
  TMsbHuffTable levelTable;
  if (!Built(levelTable, levels, kLevelCodes, 8)) {
    problem = kOverfull;
    return false;
  }
  uint8_t table[kMaxChannels * kAudioCodes] = {};
  for (unsigned i = 0; i < size;) {
    const int n = levelTable.Decode(br);
    if (n < 0 || br.Overrun()) {
      problem = n < 0 ? kBadCode : "the tables end with the data";
      return false;
    }
    if (n < 16) {
      table[i] = static_cast<uint8_t>((n + lengths_[i]) & 0xF);
      ++i;
      continue;
    }
    unsigned count = 0;
    uint8_t value = 0;
    if (n == 16) {
      if (i == 0) {
        problem = "a table that repeats a length before the first";
        return false;
      }
      count = br.Get(2) + 3;
      value = table[i - 1];
    } else {
      count = n == 17 ? br.Get(3) + 3 : br.Get(7) + 11;
    }
    for (; count > 0 && i < size; --count) table[i++] = value;
  }
  audio_ = audio;
  bool ok = true;
  if (audio) {
    for (unsigned c = 0; c < channels_; ++c) ok = ok && Built(audioTables_[c], table + c * kAudioCodes, kAudioCodes, 9);
  } else {
    ok = Built(main_, table, kMainCodes, 10) && Built(dist_, table + kMainCodes, kDistCodes, 8) &&
         Built(rep_, table + kMainCodes + kDistCodes, kRepCodes, 8);
  }
  if (!ok) {
    problem = kOverfull;
    return false;
  }
  std::memcpy(lengths_, table, size);
  tablesRead_ = true;
  return true;
}

uint8_t TRar20Decoder::DecodeAudio(int delta) {
  TAudio& v = audioState_[channel_];
  ++v.count;
  v.d[3] = v.d[2];
  v.d[2] = v.d[1];
  v.d[1] = v.lastDelta - v.d[0];
  v.d[0] = v.lastDelta;
  const int predicted = ((8 * v.lastChar + v.k[0] * v.d[0] + v.k[1] * v.d[1] + v.k[2] * v.d[2] +
                          v.k[3] * v.d[3] + v.k[4] * channelDelta_) >> 3) & 0xFF;
  const int ch = (predicted - delta) & 0xFF;
  // The error of each candidate predictor, to steer the weights every 32 bytes.
  const int d = static_cast<int8_t>(delta) * 8;
  const int others[5] = {v.d[0], v.d[1], v.d[2], v.d[3], channelDelta_};
  v.dif[0] += static_cast<uint32_t>(std::abs(d));
  for (int i = 0; i < 5; ++i) {
    v.dif[1 + 2 * i] += static_cast<uint32_t>(std::abs(d - others[i]));
    v.dif[2 + 2 * i] += static_cast<uint32_t>(std::abs(d + others[i]));
  }
  channelDelta_ = v.lastDelta = static_cast<int8_t>(ch - v.lastChar);
  v.lastChar = ch;
  if ((v.count & 0x1F) == 0) {
    uint32_t least = v.dif[0];
    unsigned best = 0;
    v.dif[0] = 0;
    for (unsigned i = 1; i < 11; ++i) {
      if (v.dif[i] < least) {
        least = v.dif[i];
        best = i;
      }
      v.dif[i] = 0;
    }
    if (best > 0) {
      int& k = v.k[(best - 1) / 2];
      if (best & 1) {
        if (k >= -16) --k;
      } else if (k < 16) {
        ++k;
      }
    }
  }
  return static_cast<uint8_t>(ch);
}

bool TRar20Decoder::CopyMatch(uint32_t length, uint32_t dist, std::string& problem) {
  oldDist_[oldDistPos_] = dist;
  oldDistPos_ = (oldDistPos_ + 1) & 3;
  lastDist_ = dist;
  lastLength_ = length;
  if (window_.Copy(dist, length)) return true;
  problem = "a match that reaches " + std::to_string(dist) + " bytes back, before the start of the data";
  return false;
}

int TRar20Decoder::Decode(const TDecodeJob& job, std::string& problem) {
  TMsbBitReader br(job.source);
  if (!tablesRead_ && !ReadTables(br, problem)) return br.Overrun() ? drInputExhausted : drInvalidData;
  unsigned tick = 0;
  while (!window_.Done()) {
    if (window_.Status() != drOk) return window_.Status();
    if (br.Overrun()) return drInputExhausted;
    if (++tick == kCancelCheck) {
      tick = 0;
      if (DecodeCancelled(job)) return drCancelled;
    }
    if (audio_) {
      const int sym = audioTables_[channel_].Decode(br);
      if (sym < 0) {
        problem = kBadCode;
        return drInvalidData;
      }
      if (sym == kAudioNewTables) {
        if (!ReadTables(br, problem)) return br.Overrun() ? drInputExhausted : drInvalidData;
        continue;
      }
      window_.Put(DecodeAudio(sym));
      if (++channel_ == channels_) channel_ = 0;
      continue;
    }
    const int sym = main_.Decode(br);
    if (sym < 0) {
      problem = kBadCode;
      return drInvalidData;
    }
    if (sym < 256) {
      window_.Put(static_cast<uint8_t>(sym));
      continue;
    }
    uint32_t length = 0, dist = 0;
    if (sym >= kFirstLong) {
      length = ReadRange(br, kLengths, sym - kFirstLong) + 3;
      const int code = dist_.Decode(br);
      if (code < 0) {
        problem = kBadCode;
        return drInvalidData;
      }
      dist = ReadRange(br, kDists, code) + 1;
      if (dist >= 0x2000) length += dist >= 0x40000 ? 2 : 1;
    } else if (sym == kNewTables) {
      if (!ReadTables(br, problem)) return br.Overrun() ? drInputExhausted : drInvalidData;
      continue;
    } else if (sym == kRepeatLast) {
      length = lastLength_;
      dist = lastDist_;
    } else if (sym < kFirstShort) {
      dist = oldDist_[(oldDistPos_ - (sym - kFirstOldDist + 1)) & 3];
      const int code = rep_.Decode(br);
      if (code < 0) {
        problem = kBadCode;
        return drInvalidData;
      }
      length = ReadRange(br, kLengths, code) + 2;
      if (dist >= 0x101) length += dist >= 0x40000 ? 3 : dist >= 0x2000 ? 2 : 1;
    } else {
      dist = ReadRange(br, kShorts, sym - kFirstShort) + 1;
      length = 2;
    }
    if (!CopyMatch(length, dist, problem)) return drInvalidData;
  }
  if (br.Overrun()) return drInputExhausted;
  const int status = window_.Finish();
  if (status != drOk) return status;
  // The switch to the next entry's tables may close this entry's data.
  if (br.InputBits(48) > 32) {
    const int sym = audio_ ? audioTables_[channel_].Decode(br) : main_.Decode(br);
    if (sym == (audio_ ? kAudioNewTables : kNewTables)) {
      std::string ignored;
      if (!ReadTables(br, ignored)) tablesRead_ = false;
    }
  }
  return drOk;
}

}  // namespace zid
