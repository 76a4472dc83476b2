// FDI: reading cabinets and cabinet sets (stored, MSZIP, LZX and Quantum
// folders, reserved areas, data checksums), modelled on the SDK calls
// FDICreate, FDIIsCabinet, FDICopy and FDIDestroy.
//
// Stored, LZX and Quantum folders are decoded by libmspack, MSZIP folders by
// TMsZipFolder (ISA-L's inflater, about twice as fast); this layer gives both
// a file system made of the caller's callbacks (cabinets are read through
// open/read/seek/close, decoded bytes go to the write callback with the
// handle the caller chose) and turns their work into the SDK's notifications.
//
// FDICopy walks the file records of one cabinet in order:
//   fdintCABINET_INFO  once: psz1 next cabinet name (a file name only, "" when
//                      none), psz2 next disk name, psz3 the cabinet's path,
//                      setID, iCabinet.
//   fdintPARTIAL_FILE  a file that began in an earlier cabinet (or lies in a
//                      folder that did) and cannot be decoded from this one:
//                      psz1 name, psz2 previous cabinet name, psz3 its disk,
//                      cb size, attribs.
//   fdintCOPY_FILE     any other file: psz1 name (stored bytes), cb size, date,
//                      time, attribs, iFolder. The handler returns 0 to skip
//                      the file, -1 to abort, or a handle: the data is then
//                      written to it through the write callback and
//                      fdintCLOSE_FILE_INFO follows (psz1, hf, date, time,
//                      attribs, cb = 1 for the execute attribute; the handler
//                      closes the file and returns 1, or 0 / -1 to abort).
//                      Instead, the handler may call `copy(hf)` itself while
//                      it handles the notification: the data is written
//                      then and there, copy returns whether it decoded to its
//                      end (the ERF record says why not), no
//                      fdintCLOSE_FILE_INFO follows, and the walk goes on
//                      unless the handler returns -1.
//   fdintNEXT_CABINET  the file's folder goes on in the next cabinet of the set:
//                      psz1 its name, psz2 its disk, psz3 the folder it is
//                      looked for in, fdie why the previous try failed (or
//                      FDIERROR_NONE). The handler may change psz1 and psz3;
//                      -1 aborts.
// Cabinets opened through fdintNEXT_CABINET stay loaded: a following FDICopy
// of one of them continues the set (its files that began earlier come as
// fdintPARTIAL_FILE, the others decode with the history of the whole folder).
//
// Any other failure ends FDICopy with false and the error in the ERF record
// (a walk that ends well leaves it clear):
//   FDIERROR_CABINET_NOT_FOUND  the open callback failed
//   FDIERROR_NOT_A_CABINET      no "MSCF" header, or a version other than 1.x
//   FDIERROR_CORRUPT_CABINET    bad records or data (erfType: TErfDetail)
//   FDIERROR_ALLOC_FAIL         the alloc callback failed
//   FDIERROR_TARGET_FILE        the write callback wrote less than given
//   FDIERROR_WRONG_CABINET      the next cabinet does not continue this one
//   FDIERROR_USER_ABORT         a notification returned -1
// After a decoding failure of a file whose handle came from fdintCOPY_FILE,
// that handle is closed through the close callback.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/cabinet/cabinet.h"

namespace plat::cab {

enum FDIERROR : int {
  FDIERROR_NONE = 0,
  FDIERROR_CABINET_NOT_FOUND = 1,
  FDIERROR_NOT_A_CABINET = 2,
  FDIERROR_UNKNOWN_CABINET_VERSION = 3,
  FDIERROR_CORRUPT_CABINET = 4,
  FDIERROR_ALLOC_FAIL = 5,
  FDIERROR_BAD_COMPR_TYPE = 6,
  FDIERROR_MDI_FAIL = 7,
  FDIERROR_TARGET_FILE = 8,
  FDIERROR_RESERVE_MISMATCH = 9,
  FDIERROR_WRONG_CABINET = 10,
  FDIERROR_USER_ABORT = 11,
};

// CPU types of FDICreate (accepted and not needed here).
enum : int { cpuUNKNOWN = -1, cpu80286 = 0, cpu80386 = 1 };

// File callbacks of FDI. open returns kNoFile on failure; read and write
// return the bytes moved or -1; seek returns the new position or -1; close
// returns 0 on success.
using PFNOPEN = std::function<FileHandle(const std::string& name, int oflag, int pmode)>;
using PFNREAD = std::function<int64_t(FileHandle hf, void* buffer, int64_t count)>;
using PFNWRITE = std::function<int64_t(FileHandle hf, const void* buffer, int64_t count)>;
using PFNCLOSE = std::function<int(FileHandle hf)>;
using PFNSEEK = std::function<int64_t(FileHandle hf, int64_t distance, int origin)>;

struct FDICABINETINFO {
  int64_t cbCabinet = 0;
  uint16_t cFolders = 0;
  uint16_t cFiles = 0;
  uint16_t setID = 0;
  uint16_t iCabinet = 0;
  bool fReserve = false;
  bool hasprev = false;
  bool hasnext = false;
};

enum FDINOTIFICATIONTYPE {
  fdintCABINET_INFO,
  fdintPARTIAL_FILE,
  fdintCOPY_FILE,
  fdintCLOSE_FILE_INFO,
  fdintNEXT_CABINET,
  fdintENUMERATE,
};

struct FDINOTIFICATION {
  int64_t cb = 0;
  std::string psz1;
  std::string psz2;
  std::string psz3;
  FileHandle hf = kNoFile;
  uint16_t date = 0;
  uint16_t time = 0;
  uint16_t attribs = 0;
  uint16_t setID = 0;
  uint16_t iCabinet = 0;
  uint16_t iFolder = 0;
  FDIERROR fdie = FDIERROR_NONE;
  // fdintCOPY_FILE only: decodes the file into hf now (see above).
  std::function<bool(FileHandle hf)> copy;
};

using PFNFDINOTIFY = std::function<FileHandle(FDINOTIFICATIONTYPE type, FDINOTIFICATION& n)>;

struct FdiContext;
using HFDI = FdiContext*;

// nullptr on failure (perf then says why).
HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, ERF* perf);
// Whether the open file hf holds a cabinet at its start; fills info. Reads
// through the read and seek callbacks; the position is left anywhere.
bool FDIIsCabinet(HFDI hfdi, FileHandle hf, FDICABINETINFO* info);
// Walks cabinet pszCabPath + pszCabinet (see above). flags is not used.
bool FDICopy(HFDI hfdi, const std::string& pszCabinet, const std::string& pszCabPath, int flags,
             const PFNFDINOTIFY& pfnfdin);
bool FDIDestroy(HFDI hfdi);

}  // namespace plat::cab
