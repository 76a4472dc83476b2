#include "engine/other/zidPackFilter.h"

#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace zid {

namespace {

constexpr size_t kOutBlock = 65536;

bool EndsWith(const std::string& s, const char* ext) {
  const std::string e(ext);
  if (s.size() <= e.size()) return false;
  for (size_t i = 0; i < e.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - e.size() + i])) != e[i]) return false;
  return true;
}

class TPassSink : public TPackSink {
 public:
  explicit TPassSink(TOut out) : out_(std::move(out)) {}
  bool Write(const uint8_t* buf, int64_t n) override { return n <= 0 || out_(buf, n); }
  bool Finish() override { return true; }

 private:
  TOut out_;
};

class TGzipSink : public TPackSink {
 public:
  TGzipSink(TPackEffort effort, TOut out) : out_(std::move(out)), buf_(kOutBlock) {
    const int level = effort == peFast ? 1 : effort == peMax ? 9 : 6;
    // windowBits 15 + 16: a gzip header and trailer around the Deflate stream.
    ok_ = deflateInit2(&z_, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    init_ = ok_;
  }
  ~TGzipSink() override {
    if (init_) deflateEnd(&z_);
  }
  bool Write(const uint8_t* buf, int64_t n) override { return Run(buf, n, Z_NO_FLUSH); }
  bool Finish() override { return Run(nullptr, 0, Z_FINISH); }

 private:
  bool Run(const uint8_t* buf, int64_t n, int flush) {
    while (ok_ && (n > 0 || flush == Z_FINISH)) {
      const uInt piece = static_cast<uInt>(std::min<int64_t>(n, 1 << 30));
      z_.next_in = const_cast<Bytef*>(buf);
      z_.avail_in = piece;
      int r;
      do {
        z_.next_out = buf_.data();
        z_.avail_out = static_cast<uInt>(buf_.size());
        r = deflate(&z_, flush);
        if (r == Z_STREAM_ERROR) return ok_ = false;
        const int64_t made = static_cast<int64_t>(buf_.size() - z_.avail_out);
        if (made > 0 && !out_(buf_.data(), made)) return ok_ = false;
      } while (z_.avail_out == 0 || (flush == Z_FINISH && r != Z_STREAM_END));
      if (flush == Z_FINISH) return ok_;
      buf += piece;
      n -= piece;
    }
    return ok_;
  }

  TOut out_;
  std::vector<uint8_t> buf_;
  z_stream z_{};
  bool ok_ = false, init_ = false;
};

class TXzSink : public TPackSink {
 public:
  TXzSink(TPackEffort effort, TOut out) : out_(std::move(out)), buf_(kOutBlock) {
    const uint32_t preset = effort == peFast ? 1 : effort == peMax ? 9 : 6;
    ok_ = lzma_easy_encoder(&s_, preset, LZMA_CHECK_CRC64) == LZMA_OK;
  }
  ~TXzSink() override { lzma_end(&s_); }
  bool Write(const uint8_t* buf, int64_t n) override { return Run(buf, n, LZMA_RUN); }
  bool Finish() override { return Run(nullptr, 0, LZMA_FINISH); }

 private:
  bool Run(const uint8_t* buf, int64_t n, lzma_action action) {
    if (!ok_) return false;
    s_.next_in = buf;
    s_.avail_in = static_cast<size_t>(std::max<int64_t>(0, n));
    for (;;) {
      s_.next_out = buf_.data();
      s_.avail_out = buf_.size();
      const lzma_ret r = lzma_code(&s_, action);
      if (r != LZMA_OK && r != LZMA_STREAM_END) return ok_ = false;
      const int64_t made = static_cast<int64_t>(buf_.size() - s_.avail_out);
      if (made > 0 && !out_(buf_.data(), made)) return ok_ = false;
      if (action == LZMA_FINISH ? r == LZMA_STREAM_END : s_.avail_in == 0 && s_.avail_out != 0) return true;
    }
  }

  TOut out_;
  std::vector<uint8_t> buf_;
  lzma_stream s_ = LZMA_STREAM_INIT;
  bool ok_ = false;
};

class TZstdSink : public TPackSink {
 public:
  TZstdSink(TPackEffort effort, TOut out) : out_(std::move(out)), buf_(ZSTD_CStreamOutSize()), c_(ZSTD_createCCtx()) {
    const int level = effort == peFast ? 1 : effort == peMax ? 19 : 3;
    ok_ = c_ != nullptr && !ZSTD_isError(ZSTD_CCtx_setParameter(c_, ZSTD_c_compressionLevel, level)) &&
          !ZSTD_isError(ZSTD_CCtx_setParameter(c_, ZSTD_c_checksumFlag, 1));
  }
  ~TZstdSink() override { ZSTD_freeCCtx(c_); }
  bool Write(const uint8_t* buf, int64_t n) override { return Run(buf, n, ZSTD_e_continue); }
  bool Finish() override { return Run(nullptr, 0, ZSTD_e_end); }

 private:
  bool Run(const uint8_t* buf, int64_t n, ZSTD_EndDirective mode) {
    if (!ok_) return false;
    ZSTD_inBuffer in{buf, static_cast<size_t>(std::max<int64_t>(0, n)), 0};
    for (;;) {
      ZSTD_outBuffer o{buf_.data(), buf_.size(), 0};
      const size_t left = ZSTD_compressStream2(c_, &o, &in, mode);
      if (ZSTD_isError(left)) return ok_ = false;
      if (o.pos > 0 && !out_(buf_.data(), static_cast<int64_t>(o.pos))) return ok_ = false;
      if (mode == ZSTD_e_end ? left == 0 : in.pos == in.size) return true;
    }
  }

  TOut out_;
  std::vector<uint8_t> buf_;
  ZSTD_CCtx* c_;
  bool ok_ = false;
};

}  // namespace

TPackFilter PackFilterOf(const std::string& path) {
  if (EndsWith(path, ".tar.gz") || EndsWith(path, ".tgz")) return TPackFilter::Gzip;
  if (EndsWith(path, ".tar.xz") || EndsWith(path, ".txz")) return TPackFilter::Xz;
  if (EndsWith(path, ".tar.zst") || EndsWith(path, ".tzst")) return TPackFilter::Zstd;
  return TPackFilter::None;
}

const char* PackFilterName(TPackFilter f) {
  switch (f) {
    case TPackFilter::Gzip: return "gzip";
    case TPackFilter::Xz: return "xz";
    case TPackFilter::Zstd: return "zstd";
    default: return "none";
  }
}

std::unique_ptr<TPackSink> MakePackSink(TPackFilter f, TPackEffort effort, TPackSink::TOut out) {
  switch (f) {
    case TPackFilter::Gzip: return std::make_unique<TGzipSink>(effort, std::move(out));
    case TPackFilter::Xz: return std::make_unique<TXzSink>(effort, std::move(out));
    case TPackFilter::Zstd: return std::make_unique<TZstdSink>(effort, std::move(out));
    default: return std::make_unique<TPassSink>(std::move(out));
  }
}

}  // namespace zid
