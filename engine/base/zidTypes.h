// Enumerations and small types shared by the archive components.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zid {

// A list of strings (masks, passwords, extensions) as the components hold them.
using TStrings = std::vector<std::string>;

enum TCompressMethod : uint8_t {
  cmStore, cmDeflate, cmFuse, cmFrozen5, cmFrozen6, cmMsZip, cmLzx, cmQuantum,
  cmUUEncode, cmXXEncode, cmBase64, cmTarred, cmTarGzip,
};
enum TCpuType : uint8_t { cptAuto, cpt80286, cpt80386, cpt80486 };
enum TDateAttribute : uint8_t { daFileDate, daSysDate, daMaxFileDate };
enum TOverwriteMode : uint8_t { omOverwrite, omSkip };
enum TStoredDirNames : uint8_t {
  sdNone, sdAbsolute, sdAbsoluteNoDrv, sdAbsoluteNoRoot, sdRelative, sdRelativeStoreStart,
  sdExplorer_Auto, sdExplorer_UserDefineDefaultDir,
};
enum TSwitch : uint8_t { swAdd, swRefresh, swMove, swDelete, swRead };
enum TDeleteOptions : uint8_t { doFinal, doAllowUndo };
enum TCompressionMethod : uint8_t { cmInMemory, cmTempFile };
enum TDeflateType : uint8_t { dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX };

// A set of compression methods (bit n = method n).
class TCompressMethods {
 public:
  TCompressMethods() = default;
  TCompressMethods(std::initializer_list<TCompressMethod> ms) {
    for (auto m : ms) bits_ |= 1u << m;
  }
  explicit TCompressMethods(const std::vector<TCompressMethod>& ms) {
    for (auto m : ms) bits_ |= 1u << m;
  }
  bool Contains(TCompressMethod m) const { return (bits_ >> m) & 1u; }

 private:
  uint32_t bits_ = 0;
};

// Where extracted bytes go.
enum TOutputMode : uint8_t {
  omToFile = 0,      // a file on disk
  omToStream1 = 1,   // a stream the caller attached
  omToStream2 = 2,   // the second attached stream
  omToMemory = 3,    // a memory block of the caller; the position advances
  omTest = 6,        // nowhere: decode and check only
  omAppendFile = 7,  // a file on disk opened for appending
};

}  // namespace zid
