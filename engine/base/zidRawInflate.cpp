#include "engine/base/zidRawInflate.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>

namespace zid {

struct TRawInflater::TState {
  inflate_state z;
};

TRawInflater::TRawInflater() : s_(new TState) { Reset(); }
TRawInflater::~TRawInflater() = default;

void TRawInflater::Reset() {
  isal_inflate_init(&s_->z);
  s_->z.crc_flag = ISAL_DEFLATE;  // raw: no wrapper, no checksum of its own
}

int TRawInflater::Step(const uint8_t* in, uint32_t inLen, uint8_t* out, uint32_t outLen, uint32_t& inUsed,
                       uint32_t& outMade) {
  inflate_state& z = s_->z;
  z.next_in = const_cast<uint8_t*>(in);
  z.avail_in = inLen;
  z.next_out = out;
  z.avail_out = outLen;
  const int r = isal_inflate(&z);
  inUsed = inLen - z.avail_in;
  outMade = outLen - z.avail_out;
  return r < 0 ? drInvalidData : drOk;
}

bool TRawInflater::Finished() const { return s_->z.block_state == ISAL_BLOCK_FINISH; }

// The decoder loads input eight bytes at a time; what it holds beyond the
// final block's last bit is whole bytes of what follows the stream.
uint32_t TRawInflater::OverRead() const { return Finished() ? static_cast<uint32_t>(s_->z.read_in_length / 8) : 0; }

namespace {

constexpr int64_t kInChunk = 65536;
constexpr int64_t kOutChunk = 262144;
// A stream of at most kInChunk bytes that declares at most this much output
// is decoded in one call (see InflateRaw).
constexpr int64_t kWholeOut = kOutChunk / 2;

// The decoders and the buffers, kept for the next stream of the thread: a ZIP
// of many small entries would otherwise allocate 400 KiB per entry.
struct TInflateBuffers {
  TRawInflater inflater;
  uint8_t in[kInChunk];
  uint8_t out[kOutChunk];
};

struct TWholeDecoder {
  TWholeDecoder() : d(libdeflate_alloc_decompressor()) {}
  ~TWholeDecoder() { libdeflate_free_decompressor(d); }
  libdeflate_decompressor* d;
};

}  // namespace

bool InflateWhole(const uint8_t* in, size_t inLen, uint8_t* out, size_t outCap, size_t* made) {
  thread_local TWholeDecoder whole;
  *made = 0;
  return whole.d != nullptr &&
         libdeflate_deflate_decompress(whole.d, in, inLen, out, outCap, made) == LIBDEFLATE_SUCCESS;
}

int InflateRaw(const TDecodeJob& job, int64_t& produced) {
  thread_local std::unique_ptr<TInflateBuffers> buffers;
  if (!buffers) buffers.reset(new TInflateBuffers);
  TInflateBuffers& b = *buffers;

  produced = 0;
  int64_t taken = 0;
  uint32_t pos = 0, end = 0;
  bool inputEnded = false;
  const int64_t expected = job.expectedSize;
  const int64_t budget = job.source.budget;
  // A small stream whole: libdeflate decodes it in one call, without the
  // table set-up igzip goes through per stream, which is most of the time of
  // a tiny entry. Whatever it does not finish cleanly goes to igzip from the
  // same bytes, so damaged data ends the way it always did.
  if (budget >= 0 && budget <= kInChunk && expected >= 0 && expected <= kWholeOut && job.source.read &&
      !DecodeCancelled(job)) {
    while (taken < budget) {
      const int64_t got = job.source.read(b.in + taken, budget - taken);
      if (got <= 0) break;
      taken += std::min(got, budget - taken);
    }
    size_t made = 0;
    if (InflateWhole(b.in, static_cast<size_t>(taken), b.out, kOutChunk, &made)) {
      const int64_t n = std::min<int64_t>(static_cast<int64_t>(made), expected);
      if (n > 0) {
        if (job.sink.write(b.out, n) != n) return drOutputFailed;
        produced = n;
        if (job.progress) job.progress(produced);
      }
      return drOk;
    }
    end = static_cast<uint32_t>(taken);
    inputEnded = taken < budget;
  }
  // igzip's state is set up only here: a small entry that libdeflate decoded
  // never pays for it.
  b.inflater.Reset();
  for (;;) {
    if (DecodeCancelled(job)) return drCancelled;
    if (pos == end && !inputEnded) {
      int64_t want = kInChunk;
      if (budget >= 0) want = std::min(want, budget - taken);
      const int64_t got = (want > 0 && job.source.read) ? job.source.read(b.in, want) : 0;
      if (got <= 0) {
        inputEnded = true;
      } else {
        taken += std::min(got, want);
        pos = 0;
        end = static_cast<uint32_t>(std::min(got, want));
      }
    }
    if (expected >= 0 && produced >= expected) return drOk;  // the declared size is reached; the CRC check judges the rest
    // The decoder always gets the whole buffer: given less than its window,
    // igzip decodes through a buffer of its own and copies out, which costs
    // more than a small entry's decoding. What passes the size is cut.
    uint32_t used = 0, made = 0;
    const int r = b.inflater.Step(b.in + pos, end - pos, b.out, static_cast<uint32_t>(kOutChunk), used, made);
    pos += used;
    if (expected >= 0) made = static_cast<uint32_t>(std::min<int64_t>(made, expected - produced));
    if (made > 0) {
      if (job.sink.write(b.out, made) != made) return drOutputFailed;
      produced += made;
      if (job.progress) job.progress(produced);
    }
    if (r != drOk) return r;
    if (b.inflater.Finished()) return drOk;
    // Nothing moved: with the input at its end the data was cut short.
    if (made == 0 && used == 0) {
      if (inputEnded) return drInputExhausted;
      if (pos < end) return drInvalidData;  // would spin on input it will not take
    }
  }
}

}  // namespace zid
