#include "platform/cabinet/mszipdec.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/cabinet/cabformat.h"

namespace plat::cab {

namespace {
constexpr size_t kWindow = 32768;
}  // namespace

// The history is the last (up to) 32 KiB of output, in order. A full-size
// block becomes the whole history by swapping the two buffers.
struct TMsZipDecoder::TState {
  inflate_state z;
  // One byte more than a block: a stream that runs past its size shows.
  uint8_t a[kMaxBlockUncompressed + 1];
  uint8_t b[kMaxBlockUncompressed + 1];
  uint8_t* out = a;
  uint8_t* history = b;
  size_t historyLen = 0;
};

TMsZipDecoder::TMsZipDecoder() : s_(new TState) { isal_inflate_init(&s_->z); }
TMsZipDecoder::~TMsZipDecoder() = default;

void TMsZipDecoder::Reset() { s_->historyLen = 0; }

const uint8_t* TMsZipDecoder::Decode(const uint8_t* data, size_t cb, size_t uncomp) {
  TState& s = *s_;
  if (uncomp == 0 || uncomp > static_cast<size_t>(kMaxBlockUncompressed) || cb < 3 || data[0] != 'C' ||
      data[1] != 'K')
    return nullptr;
  inflate_state& z = s.z;
  isal_inflate_reset(&z);
  z.crc_flag = ISAL_DEFLATE;
  if (s.historyLen > 0 && isal_inflate_set_dict(&z, s.history, static_cast<uint32_t>(s.historyLen)) != ISAL_DECOMP_OK)
    return nullptr;
  z.next_in = const_cast<uint8_t*>(data + 2);
  z.avail_in = static_cast<uint32_t>(cb - 2);
  z.next_out = s.out;
  z.avail_out = static_cast<uint32_t>(uncomp + 1);
  if (isal_inflate(&z) != ISAL_DECOMP_OK || z.block_state != ISAL_BLOCK_FINISH || z.avail_out != 1) return nullptr;
  const uint8_t* result = s.out;
  if (uncomp == kWindow) {
    std::swap(s.out, s.history);
    s.historyLen = kWindow;
  } else {
    // Short blocks: the history keeps its tail and takes the block behind it.
    const size_t keep = std::min(s.historyLen, kWindow - uncomp);
    std::memmove(s.history, s.history + s.historyLen - keep, keep);
    std::memcpy(s.history + keep, s.out, uncomp);
    s.historyLen = keep + uncomp;
  }
  return result;
}

}  // namespace plat::cab
