#include "engine/zip/zidUnZipDecode.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/base/zidFilterStreams.h"
#include "engine/zip/zidExplode.h"
#include "engine/zip/zidInflate.h"
#include "engine/zip/zidUnreduce.h"
#include "engine/zip/zidUnshrink.h"
#include "platform/files.h"

namespace zid {

namespace {

constexpr int64_t kChunk = 32768;

int64_t oneCallCap = int64_t{32} << 20;

// Compressed bytes held in memory, read as a stream (the zlib path over data
// the one-call decoder refused).
class TBytesStream : public TStream32 {
 public:
  TBytesStream(const uint8_t* p, int64_t n) : p_(p), n_(n) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t k = std::max<int64_t>(0, std::min(count, n_ - pos_));
    if (k > 0) std::memcpy(buffer, p_ + pos_, static_cast<size_t>(k));
    pos_ += k;
    return k;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, int origin) override {
    if (origin == plat::soFromBeginning) pos_ = offset;
    else if (origin == plat::soFromCurrent) pos_ += offset;
    else pos_ = n_ + offset;
    pos_ = std::clamp<int64_t>(pos_, 0, n_);
    return pos_;
  }
  int64_t Size() override { return n_; }

 private:
  const uint8_t* p_;
  int64_t n_;
  int64_t pos_ = 0;
};

// The buffers and the decompressor of the one-call path, kept for the next
// entry of the thread.
struct TOneCallState {
  std::vector<uint8_t> in, out;
  libdeflate_decompressor* d = nullptr;
  ~TOneCallState() {
    if (d != nullptr) libdeflate_free_decompressor(d);
  }
};

// Stored data: blocks of min(32 KiB, bytes left), never past the declared size.
int CopyStored(TStream32& input, const TDecodeJob& job, int64_t& produced) {
  thread_local std::unique_ptr<uint8_t[]> buf(new uint8_t[kChunk]);
  const int64_t expected = job.expectedSize;
  for (;;) {
    if (DecodeCancelled(job)) return drCancelled;
    int64_t want = kChunk;
    if (expected >= 0) want = std::min(want, expected - produced);
    if (want <= 0) return drOk;
    int64_t got = input.Read(buf.get(), want);
    if (got <= 0) return expected < 0 ? drOk : drInputExhausted;
    if (job.sink.write(buf.get(), got) != got) return drOutputFailed;
    produced += got;
    if (job.progress) job.progress(produced);
  }
}

// Method 8 through the stream inflater, in chunks of min(32 KiB, bytes left).
int InflateStream(TStream32& input, const TDecodeJob& job, int64_t& produced) {
  CodecControl control;
  control.Cancel = const_cast<bool*>(job.cancel);
  TDecompressStream ds(input, control, -15);
  std::unique_ptr<uint8_t[]> buf(new uint8_t[kChunk]);
  const int64_t expected = job.expectedSize;
  for (;;) {
    if (DecodeCancelled(job)) return drCancelled;
    int64_t want = kChunk;
    if (expected >= 0) want = std::min(want, expected - produced);
    if (want <= 0) return drOk;
    const int64_t before = ds.TotalOut();
    const int64_t r = ds.Read(buf.get(), want);
    const int64_t made = ds.TotalOut() - before;
    if (made > 0) {
      if (job.sink.write(buf.get(), made) != made) return drOutputFailed;
      produced += made;
      if (job.progress) job.progress(produced);
    }
    if (r == -5) return drInputExhausted;  // zlib's Z_BUF_ERROR: the data ended early
    if (r < 0) return drInvalidData;
    if (ds.Finished()) return drOk;
    if (made == 0 && r == 0) return drInputExhausted;
  }
}

// Method 8 with both sizes known and below the cap: the whole entry is read
// and decoded in one call into a reused buffer. Data the call refuses (bad,
// cut short, or longer than declared) goes through the zlib path from memory,
// so every failure keeps the code and the partial output of that path.
int InflateOneCall(TStream32& input, int64_t compressedSize, const TDecodeJob& job, int64_t& produced) {
  thread_local TOneCallState st;
  const int64_t expected = job.expectedSize;
  if (st.d == nullptr) st.d = libdeflate_alloc_decompressor();
  if (st.d == nullptr) return InflateStream(input, job, produced);
  if (st.in.size() < static_cast<size_t>(compressedSize)) st.in.resize(static_cast<size_t>(compressedSize));
  if (st.out.size() < static_cast<size_t>(expected)) st.out.resize(static_cast<size_t>(expected));
  int64_t got = 0;
  while (got < compressedSize) {
    if (DecodeCancelled(job)) return drCancelled;
    const int64_t r = input.Read(st.in.data() + got, std::min<int64_t>(compressedSize - got, 1 << 20));
    if (r <= 0) break;
    got += r;
  }
  if (DecodeCancelled(job)) return drCancelled;
  size_t outLen = 0;
  const libdeflate_result r = libdeflate_deflate_decompress(st.d, st.in.data(), static_cast<size_t>(got), st.out.data(),
                                                            static_cast<size_t>(expected), &outLen);
  if (r != LIBDEFLATE_SUCCESS) {
    TBytesStream mem(st.in.data(), got);
    return InflateStream(mem, job, produced);
  }
  if (outLen > 0 && job.sink.write(st.out.data(), static_cast<int64_t>(outLen)) != static_cast<int64_t>(outLen))
    return drOutputFailed;
  produced = static_cast<int64_t>(outLen);
  if (job.progress) job.progress(produced);
  return drOk;
}

}  // namespace

void SetInflateOneCallCap(int64_t bytes) { oneCallCap = bytes; }

bool IsSupportedZipMethod(uint16_t method) { return method <= 6 || method == 8 || method == 9; }

int DecodeZipMethod(uint16_t method, uint16_t gpFlags, TStream32& input, int64_t compressedSize, TDecodeJob job,
                    int64_t& produced) {
  produced = 0;
  SetDeflate64(method == 9);
  if (!IsSupportedZipMethod(method)) return kMethodUnsupported;
  if (method == 0) return CopyStored(input, job, produced);
  if (method == 8) {
    if (compressedSize > 0 && compressedSize <= oneCallCap && job.expectedSize >= 0 &&
        job.expectedSize <= oneCallCap)
      return InflateOneCall(input, compressedSize, job, produced);
    return InflateStream(input, job, produced);
  }

  job.source.budget = compressedSize;
  job.source.read = [&input](uint8_t* buf, int64_t count) { return input.Read(buf, count); };
  auto sink = job.sink.write;
  job.sink.write = [&produced, sink](const uint8_t* buf, int64_t count) {
    int64_t n = sink(buf, count);
    if (n > 0) produced += n;
    return n;
  };
  int r;
  switch (method) {
    case 1: r = Unshrink(job); break;
    case 6: r = Explode(job, ExplodeOptionsFromFlags(gpFlags)); break;
    case 9: r = InflateWindow(job, true); break;
    default: r = Unreduce(job, method - 1); break;
  }
  SetDeflate64(false);
  return r;
}

}  // namespace zid
