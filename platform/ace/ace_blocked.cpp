#include "platform/ace/ace_blocked.h"

#include <algorithm>
#include <vector>

#include "platform/ace/ace_pic.h"
#include "platform/ace/ace_sound.h"

namespace ace {

namespace {

enum : unsigned { kModeLz77 = 0, kModeDelta = 1, kModeExe = 2, kModeSound8 = 3, kModeSound32B = 6, kModePic = 7 };

// LZ77 output is handed to the filters in pieces of about this size.
constexpr uint64_t kChunk = 1 << 16;

struct TMode {
  unsigned mode = kModeLz77;
  unsigned deltaDist = 0;
  unsigned deltaLen = 0;
  unsigned exeMode = 0;
};

// The EXE filter over a stream: x86 CALL (E8) and JMP (E9) operands hold
// absolute targets; the position of the opcode within the member is taken
// off again. An opcode needs 4 bytes after it inside its block, so the last
// 4 bytes stay unresolved until the block goes on or ends.
class TExeFilter {
 public:
  // A new EXE block; bytes held back from the previous one come first.
  void Begin(unsigned exeMode) { mode_ = exeMode; }
  // The block's next bytes; `offset` is the member offset of p[0].
  void Feed(const uint8_t* p, size_t n, uint64_t offset, TOutput& out) {
    if (buf_.empty()) base_ = offset;
    buf_.insert(buf_.end(), p, p + n);
    size_t i = 0;
    while (i + 4 < buf_.size()) {
      const uint8_t op = buf_[i];
      if (op == 0xE8 && mode_ != 0) {
        Rebase32(i);
        i += 5;
      } else if (op == 0xE8 || op == 0xE9) {
        Rebase16(i);
        i += 3;
      } else {
        ++i;
      }
    }
    Emit(i, out);
  }
  // The block ends. Before another EXE block, the bytes from the first E8 or
  // E9 after the stopping point on are held back and scanned again there;
  // otherwise everything goes out as it is.
  void End(bool nextIsExe, TOutput& out) {
    size_t keep = buf_.size();
    if (nextIsExe)
      for (size_t j = 1; j < buf_.size(); ++j)
        if (buf_[j] == 0xE8 || buf_[j] == 0xE9) {
          keep = j;
          break;
        }
    Emit(keep, out);
  }

 private:
  void Rebase16(size_t i) {
    const uint16_t v = static_cast<uint16_t>(buf_[i + 1] | (buf_[i + 2] << 8));
    const uint16_t r = static_cast<uint16_t>(v - static_cast<uint16_t>(base_ + i));
    buf_[i + 1] = static_cast<uint8_t>(r);
    buf_[i + 2] = static_cast<uint8_t>(r >> 8);
  }
  void Rebase32(size_t i) {
    const uint32_t v = Le32(&buf_[i + 1]);
    const uint32_t r = v - static_cast<uint32_t>(base_ + i);
    for (int k = 0; k < 4; ++k) buf_[i + 1 + k] = static_cast<uint8_t>(r >> (8 * k));
  }
  void Emit(size_t n, TOutput& out) {
    if (n == 0) return;
    out.Put(buf_.data(), n);
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(n));
    base_ += n;
  }

  unsigned mode_ = 0;
  std::vector<uint8_t> buf_;
  uint64_t base_ = 0;
};

class TBlockedDecoder {
 public:
  TBlockedDecoder(TBitReader& br, THistory& hist, TOutput& out, uint64_t size, bool blocked)
      : br_(br), hist_(hist), out_(out), size_(size), lz_(br, hist, blocked) {}

  void Run() {
    lz_.Reset();
    while (generated_ < size_) {
      if (havePending_) {
        if (pending_.mode != mode_.mode) {
          if (pending_.mode >= kModeSound8 && pending_.mode <= kModeSound32B) sound_.Reset(pending_.mode);
          if (pending_.mode == kModePic) pic_.Start(br_);
        }
        mode_ = pending_;
        havePending_ = false;
      }
      switch (mode_.mode) {
        case kModeLz77:
        case kModeExe: LzBlock(); break;
        case kModeDelta: DeltaBlock(); break;
        case kModePic: PicBlock(); break;
        default: SoundBlock(); break;
      }
    }
    exe_.End(false, out_);
    out_.Flush();
  }

 private:
  void ReadModeInstruction() {
    TMode m;
    m.mode = br_.Read(8);
    if (m.mode == kModeDelta) {
      m.deltaDist = br_.Read(8);
      m.deltaLen = br_.Read(17);
    } else if (m.mode == kModeExe) {
      m.exeMode = br_.Read(8);
    } else if (m.mode > kModePic) {
      Fail(TResult::DataError);
    }
    pending_ = m;
    havePending_ = true;
  }

  // LZ77 symbols into the history up to `hard` bytes; the new bytes go to
  // fn(bytes, count, member offset of the first) piece by piece. True when a
  // mode instruction ended the run.
  template <class F>
  bool LzRun(uint64_t hard, F&& fn) {
    uint64_t done = 0;
    for (;;) {
      const uint64_t from = hist_.Total();
      uint64_t offset = generated_;
      uint64_t produced = 0;
      const uint64_t left = hard - done;
      const TLz77::TStop stop = lz_.Decode(left, std::min(left, kChunk), produced);
      done += produced;
      generated_ += produced;
      hist_.ForEachPiece(from, [&](const uint8_t* p, size_t n) {
        fn(p, n, offset);
        offset += n;
      });
      if (stop == TLz77::TStop::Mode) return true;
      if (stop == TLz77::TStop::Limit) return false;
    }
  }

  void LzBlock() {
    const bool exe = mode_.mode == kModeExe;
    if (exe) exe_.Begin(mode_.exeMode);
    else exe_.End(false, out_);
    const bool mode = LzRun(size_ - generated_, [&](const uint8_t* p, size_t n, uint64_t offset) {
      if (exe) exe_.Feed(p, n, offset, out_);
      else out_.Put(p, n);
    });
    if (mode) ReadModeInstruction();
    if (exe) exe_.End(havePending_ && pending_.mode == kModeExe, out_);
  }

  void DeltaBlock() {
    exe_.End(false, out_);
    const unsigned dist = mode_.deltaDist, len = mode_.deltaLen;
    if (dist == 0 || len == 0 || len % dist != 0) Fail(TResult::DataError);
    delta_.clear();
    bool instructionSeen = false;
    while (delta_.size() < len) {
      // a block that would run past the member's end is malformed
      const uint64_t room = size_ - generated_;
      if (room == 0) Fail(TResult::DataError);
      const bool mode = LzRun(std::min<uint64_t>(len - delta_.size(), room), [&](const uint8_t* p, size_t n, uint64_t) {
        delta_.insert(delta_.end(), p, p + n);
      });
      if (!mode) continue;
      if (delta_.empty()) {
        // an instruction before the first byte: the block is empty
        ReadModeInstruction();
        return;
      }
      // one instruction inside the block takes effect after it; a second is malformed
      if (instructionSeen) Fail(TResult::DataError);
      instructionSeen = true;
      ReadModeInstruction();
    }
    for (uint8_t& b : delta_) {
      b = static_cast<uint8_t>(b + deltaCarry_);
      deltaCarry_ = b;
    }
    // the stream holds the block plane by plane: interleave them again
    const unsigned perPlane = len / dist;
    interleaved_.resize(len);
    for (unsigned j = 0; j < perPlane; ++j)
      for (unsigned k = 0; k < dist; ++k) interleaved_[j * dist + k] = delta_[k * perPlane + j];
    out_.Put(interleaved_.data(), interleaved_.size());
  }

  void SoundBlock() {
    exe_.End(false, out_);
    const uint64_t limit = (size_ - generated_) & ~uint64_t{3};
    // a tail of 1 to 3 bytes cannot come from a sound block: no progress possible
    if (limit == 0) Fail(TResult::DataError);
    uint64_t produced = 0;
    const bool mode = sound_.DecodeBlock(br_, limit, hist_, out_, produced);
    generated_ += produced;
    if (mode) ReadModeInstruction();
  }

  void PicBlock() {
    exe_.End(false, out_);
    uint64_t produced = 0;
    const bool mode = pic_.DecodeBlock(br_, size_ - generated_, hist_, out_, produced);
    generated_ += produced;
    if (mode) ReadModeInstruction();
  }

  TBitReader& br_;
  THistory& hist_;
  TOutput& out_;
  uint64_t size_;
  uint64_t generated_ = 0;  // bytes of this member in the history so far
  TLz77 lz_;
  TMode mode_;
  TMode pending_;
  bool havePending_ = false;
  uint8_t deltaCarry_ = 0;
  std::vector<uint8_t> delta_;
  std::vector<uint8_t> interleaved_;
  TExeFilter exe_;
  TSoundDecoder sound_;
  TPicDecoder pic_;
};

}  // namespace

void DecodeCompressed(TBitReader& br, THistory& hist, TOutput& out, uint64_t size, bool blocked) {
  hist.Allocate();
  TBlockedDecoder d(br, hist, out, size, blocked);
  d.Run();
}

}  // namespace ace
