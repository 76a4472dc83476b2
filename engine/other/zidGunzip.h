// The gzip stream decoder (RFC 1952): member headers with their optional
// fields, raw Deflate through the stream inflater, and each member's trailer (CRC-32 and
// length) compared with what was decoded. Members that follow one another
// (cat a.gz b.gz, pigz) decode into one output, as gzip -d does; bytes after
// the last member that do not start another one are ignored (tape padding).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/base/zidDecoder.h"
#include "engine/base/zidMethods.h"

namespace zid {

constexpr uint8_t kGzipMagic0 = 0x1F;
constexpr uint8_t kGzipMagic1 = 0x8B;
constexpr uint8_t kGzipOldMagic1 = 0x9E;  // gzip before 0.5: the same layout
constexpr uint8_t kGzipDeflate = 8;

// Header flags.
constexpr uint8_t kGzText = 0x01;
constexpr uint8_t kGzHeaderCrc = 0x02;
constexpr uint8_t kGzExtra = 0x04;
constexpr uint8_t kGzName = 0x08;
constexpr uint8_t kGzComment = 0x10;
constexpr uint8_t kGzEncrypted = 0x20;
constexpr uint8_t kGzReserved = 0xC0;
// Extra flags: set by gzip -9 (slowest method); the engine reads it as "not text".
constexpr uint8_t kGzXflBinary = 0x02;

constexpr int kGzipHeaderSize = 10;
constexpr int kGzipTrailerSize = 8;
// A stored name longer than this is cut (the field itself is still skipped whole).
constexpr size_t kGzipMaxName = 1024;

// The fixed part and the fields of one member header.
struct TGzipHeader {
  uint8_t method = 0;
  uint8_t flags = 0;
  uint32_t mtime = 0;  // Unix seconds, 0 when unknown
  uint8_t extraFlags = 0;
  uint8_t os = 0;
  bool hasName = false;
  std::string name;        // the name field's bytes, without its NUL
  int64_t headerSize = 0;  // bytes from the magic to the compressed data
};

enum class TGzipParse {
  Ok,
  NotGzip,      // the magic is not 1F 8B / 1F 9E
  Truncated,    // the input ended inside the header
  Reserved,     // reserved flag bits set
  Encrypted,    // flag bit 5: an encrypted member, which nothing decodes
  BadMethod,    // a compression method other than Deflate
};

// Reads a header byte by byte: next() gives the next byte or -1 at the end.
TGzipParse ParseGzipHeader(const std::function<int()>& next, TGzipHeader& h);

// What Gunzip found besides its result.
struct TGunzipReport {
  int members = 0;
  bool trailersOk = true;   // every member's CRC-32 and length matched
  int64_t produced = 0;
};

// Decodes the gzip stream in job.source from its first byte. Returns drOk when
// every member decoded to its end (report->trailersOk tells whether their
// trailers agreed), drInputExhausted when the data, a trailer or a following
// member's header was cut short, drInvalidData for a bad first header, a bad
// Deflate stream or a damaged following member, drOutputFailed, drCancelled.
// Output never passes job.expectedSize when that is known (drInvalidData).
int Gunzip(const TDecodeJob& job, TGunzipReport* report);

// GZIP-family magic numbers passed as the method for the old single-stream formats.
constexpr int kGzPackMagic = 0x1F1E;
constexpr int kGzLzhMagic = 0x1FA0;
// The listing's methods of compress and the filters read through libraries
// (xz, bzip2 and zstd by their ZIP method numbers).
constexpr int kGzLzwMethod = 144;
constexpr int kGzBzip2Method = 12;
constexpr int kGzZstdMethod = 93;
constexpr int kGzXzMethod = 95;
constexpr int kGzLz4Method = 0x184D2204;

// The methods of GZIP headers, and the magic numbers of the old
// single-stream formats the same extractor reads.
const TMethodTable& GZipMethods();

}  // namespace zid
