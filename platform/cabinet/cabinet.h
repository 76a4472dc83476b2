// The platform cabinet library: the calls of the Microsoft cabinet SDK as a
// C++ API of our own. FDI (fdi.h) reads cabinets and cabinet sets, FCI
// (fci.h) writes them. Both reach files only through the caller's callbacks:
// the library never opens, creates or deletes a path by itself.
//
// Contract shared by both halves:
// - The callbacks are std::function values; the context pointer of the SDK
//   is whatever they capture.
// - A callback may throw. The library then stops what it was doing, releases
//   what it holds for that call and lets the exception pass to its caller;
//   the context stays usable (FDI) or can still be destroyed (FCI).
// - Errors are reported in an ERF record given at creation: erfOper is the
//   library's error code, erfType a detail, fError set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace plat::cab {

// A handle the caller's open callback returned; kNoFile is "no file".
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// Open flags the library passes to the open callbacks (the C runtime's values).
enum : int {
  kOpenReadOnly = 0x0000,
  kOpenWriteOnly = 0x0001,
  kOpenReadWrite = 0x0002,
  kOpenAppend = 0x0008,
  kOpenCreate = 0x0100,
  kOpenTruncate = 0x0200,
  kOpenExclusive = 0x0400,
  kOpenBinary = 0x8000,
};
// Permission flags passed along with kOpenCreate.
enum : int { kModeRead = 0x0100, kModeWrite = 0x0080 };
// Seek origins of the seek callbacks.
enum : int { kSeekSet = 0, kSeekCur = 1, kSeekEnd = 2 };

// Compression values (the SDK's TCOMP): the type in the low four bits, the
// LZX window or the Quantum level and memory above it.
using TCOMP = uint16_t;
enum : TCOMP {
  tcompMASK_TYPE = 0x000F,
  tcompTYPE_NONE = 0x0000,
  tcompTYPE_MSZIP = 0x0001,
  tcompTYPE_QUANTUM = 0x0002,
  tcompTYPE_LZX = 0x0003,
  tcompBAD = 0x000F,
  tcompMASK_LZX_WINDOW = 0x1F00,
  tcompSHIFT_LZX_WINDOW = 8,
  tcompMASK_QUANTUM_LEVEL = 0x00F0,
  tcompSHIFT_QUANTUM_LEVEL = 4,
  tcompMASK_QUANTUM_MEM = 0x1F00,
  tcompSHIFT_QUANTUM_MEM = 8,
};

// The error record.
struct ERF {
  int erfOper = 0;  // the FDIERROR or FCIERR code
  int erfType = 0;  // detail: a TErfDetail, or the error a callback gave
  bool fError = false;
};

// Details this library puts in erfType beside its error codes.
enum TErfDetail : int {
  erfDetailNone = 0,
  erfDetailTruncated = 1,    // the data ends before the cabinet says it does
  erfDetailBadData = 2,      // compressed data that does not decode
  erfDetailBadChecksum = 3,  // a data block whose checksum does not match
  erfDetailBadHeader = 4,    // header records that contradict each other
};

// Memory callbacks.
using PFNALLOC = std::function<void*(size_t bytes)>;
using PFNFREE = std::function<void(void* memory)>;

}  // namespace plat::cab
