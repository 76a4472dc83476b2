// The output filters a written tar goes through: gzip (zlib), xz (liblzma)
// and zstd (libzstd), chosen by the archive's extension. Each one is a sink:
// Write takes plain bytes in any pieces, Finish ends the compressed stream;
// the compressed bytes go to the `out` callback as they come. Both return
// false once `out` refused bytes or the library failed; nothing is written
// after that.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zid {

enum class TPackFilter : uint8_t { None, Gzip, Xz, Zstd };

// By the end of the name: .tar.gz/.tgz, .tar.xz/.txz, .tar.zst/.tzst; anything else None.
TPackFilter PackFilterOf(const std::string& path);
// "gzip", "xz", "zstd", "none" (for messages).
const char* PackFilterName(TPackFilter f);

// Effort: 0 fast, 1 normal, 2 as small as the filter makes it.
enum TPackEffort : int { peFast = 0, peNormal = 1, peMax = 2 };

class TPackSink {
 public:
  using TOut = std::function<bool(const uint8_t* buf, int64_t n)>;
  virtual ~TPackSink() = default;
  virtual bool Write(const uint8_t* buf, int64_t n) = 0;
  virtual bool Finish() = 0;
};

// None passes the bytes through unchanged.
std::unique_ptr<TPackSink> MakePackSink(TPackFilter f, TPackEffort effort, TPackSink::TOut out);

}  // namespace zid
