// Archive types and the engine's exception.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zid {

// The kinds of archive the detector tells apart, in their stored order.
enum TArcType : uint8_t {
  atNA,
  atUnsupported,
  atFileOpenErr,
  atUnknown,
  atAce,
  atAceExe,
  atArc,
  atArcExe,
  atArj,
  atArjExe,
  atBh,
  atBhExe,
  atCab,
  atCabExe,
  atGZip,
  atHA,
  atJar,
  atJarExe,
  atLha,
  atLhaExe,
  atLzh,
  atLzhExe,
  atMsGZ,
  atPak,
  atPakExe,
  atRar,
  atRarExe,
  atTar,
  atTarGZip,
  atUUE,
  atZip,
  atZipExe,
  atZipDS,
  atZipMV,
  atZoo,
  // Read through libarchive (engine/other/zidLibArchive.h).
  atSevenZip,
  atIso,
  atCpio,
  // Single-stream filters read through libraries (a tar inside is walked as it is decoded).
  atXz,
  atBzip2,
  atZstd,
  atLz4,
};
constexpr int kArcTypeCount = 42;

// The engine's exception: its message is the text of an error code.
class E_RAISE : public std::runtime_error {
 public:
  explicit E_RAISE(const std::string& msg, int code = 0, bool reported = false)
      : std::runtime_error(msg), Code(code), Reported(reported) {}
  // The error code when the raiser knew it (0: see the message).
  int Code;
  // OnError has been told already.
  bool Reported;
};

}  // namespace zid
