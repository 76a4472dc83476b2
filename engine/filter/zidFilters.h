// The single-stream compression filters: gzip, Unix compress, xz, bzip2,
// zstd and lz4 (frame format). A filter is one record of the table below:
// the file type the detector gives it, how its first bytes look, and how to
// open a reader of its decoded bytes. The GZIP extractor and walker serve
// every filter through the table (a .tar inside any of them is walked as it
// is decoded); ZIP's methods 12, 14, 93 and 95 decode through the same
// libraries.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/base/zidDecoder.h"
#include "engine/base/zidGbls.h"

namespace zid {

// Decoded bytes in order. Read gives up to n bytes (fewer is not the end), 0
// once the data have ended, or a negative TDecodeResult: drInputExhausted
// when the input ended inside the stream, drInvalidData for corrupt data or
// a failed checksum, drCancelled. After a failure every Read fails the same.
class TFilterReader {
 public:
  virtual ~TFilterReader() = default;
  virtual int64_t Read(uint8_t* buf, int64_t n) = 0;
};

// A decoder that takes input and gives output one step at a time (the
// libraries' own shape). Step decodes from in[0..inLen) into out[0..outLen):
// drOk (more to come), kStepStreamEnd once the stream ended (inUsed stops at
// its last byte), or a negative TDecodeResult. inEnd: no input follows in.
class TStepDecoder {
 public:
  virtual ~TStepDecoder() = default;
  virtual int Step(const uint8_t* in, size_t inLen, bool inEnd, size_t& inUsed, uint8_t* out, size_t outLen,
                   size_t& outMade) = 0;
};
constexpr int kStepStreamEnd = 1;

struct TFilter {
  const char* name;        // "xz"
  TArcType type;           // what the detector calls a file of it
  int method;              // its entry in GZipMethods() (the listing's method name)
  // The first bytes of a stream of it (at least kFilterSignatureLen are given, zero-padded).
  bool (*matches)(const uint8_t* head);
  // A step decoder (nullptr for the engine's own decoders, which push).
  std::unique_ptr<TStepDecoder> (*makeStep)();
  // The engine's own push decoder (zidDecoder.h), when makeStep is nullptr.
  int (*push)(const TDecodeJob& job);
  // Extensions that stand for ".tar" plus this filter (".txz").
  std::vector<const char*> tarExtensions;
};
constexpr int kFilterSignatureLen = 16;

const std::vector<TFilter>& Filters();
const TFilter* FilterOfType(TArcType type);
// The filter whose signature the bytes carry; nullptr for none.
const TFilter* FilterBySignature(const uint8_t* head, int64_t len);

// A reader of the filter's decoded bytes from source. Streams that follow one
// another (xz, bzip2, zstd, lz4 written by parallel compressors, cat) decode
// as one; bytes after the last that do not start another are ignored.
std::unique_ptr<TFilterReader> OpenFilter(const TFilter& f, TDecodeSource source, const bool* cancel);
// A reader over a step decoder made by make (a new one for each stream that follows).
std::unique_ptr<TFilterReader> StepReader(std::function<std::unique_ptr<TStepDecoder>()> make, TDecodeSource source,
                                          const bool* cancel, bool (*matches)(const uint8_t*) = nullptr);

// Runs a reader into job.sink, never past job.expectedSize (more data is
// drInvalidData). The result of a push decode: drOk at the end of the data.
int DrainFilter(TFilterReader& r, const TDecodeJob& job, int64_t& produced);

// The libraries' decoders (one file each).
std::unique_ptr<TStepDecoder> MakeXzStep();
std::unique_ptr<TStepDecoder> MakeBzip2Step();
std::unique_ptr<TStepDecoder> MakeZstdStep();
std::unique_ptr<TStepDecoder> MakeLz4Step();
// Raw LZMA1 with its 5 property bytes (ZIP's method 14), up to expected bytes.
std::unique_ptr<TStepDecoder> MakeLzmaRawStep(const uint8_t* props, int64_t expected);

}  // namespace zid
