// Raw Deflate (no zlib or gzip wrapper) through zlib itself, independent of
// our own codecs: the reference stream the inflater tests and benchmarks
// decode. Header-only, with no test framework, so benchmarks can use it too.
#pragma once

#include <zlib.h>

#include <string>

namespace testutil {

// data deflated in one call at `level` (window bits -15); *status, when given,
// gets what the final deflate() returned (Z_STREAM_END when all went out).
inline std::string RawDeflate(const std::string& data, int level = 6, int* status = nullptr) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&z, Z_FINISH);
  if (status) *status = result;
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace testutil
