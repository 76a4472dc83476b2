// FCI: writing cabinets, modelled on the SDK calls FCICreate, FCIAddFile,
// FCIFlushCabinet, FCIFlushFolder and FCIDestroy.
//
// Files are added one after the other into folders; a folder is one
// compressed stream. A new folder starts when the compression value changes,
// when the folder's compressed size has reached cbFolderThresh, or when the
// next file would take it past the format's limit (65535 blocks of 32 KiB).
// Data are kept in temporary files (named by the get-temp-file callback and
// reached through the file callbacks) until the cabinet is written by
// FCIFlushCabinet, or earlier when it reaches cb bytes: then the
// get-next-cabinet callback names the next cabinet of the set, the current
// one is written with that name, and the folder being filled continues in
// the next cabinet (its files split between the two are marked as such).
//
// Compression values this library writes: tcompTYPE_NONE (stored blocks) and
// tcompTYPE_MSZIP ("CK" blocks of at most 32 KiB, raw deflate through zlib,
// each block primed with the 32 KiB before it, so that blocks are compressed
// on several threads and written in order). Any other value, including
// LZX and Quantum and a stored or MSZIP type with bits set above it, makes
// FCIAddFile fail with FCIERR_BAD_COMPR_TYPE before the source is opened:
// nothing is ever written under a method it is not. fFailOnIncompressible
// can never trigger: a block that does not shrink is written as deflate's
// stored blocks, well within the format's block limit.
//
// Failures (the ERF record, erfOper):
//   FCIERR_OPEN_SRC          get-open-info could not open the source (erfType: its error)
//   FCIERR_READ_SRC          a read failed, or the source changed size while read
//   FCIERR_ALLOC_FAIL        the alloc callback failed
//   FCIERR_TEMP_FILE         no temporary file could be made, written or read
//   FCIERR_BAD_COMPR_TYPE    see above
//   FCIERR_CAB_FILE          the cabinet could not be created or written
//   FCIERR_USER_ABORT        a callback asked to stop (status -1, get-next-cabinet false)
//   FCIERR_CAB_FORMAT_LIMIT  a name of more than 255 bytes, a file too large
//                            for a folder, more than 65535 files or folders
// A failure before FCIAddFile read any data leaves the context as it was, and
// so does a failed read when no cabinet was written meanwhile (the file's
// data are taken back); any other failure is final: every later call fails
// with the same error, and only FCIDestroy is left to do.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/cabinet/cabinet.h"

namespace plat::cab {

enum FCIERROR : int {
  FCIERR_NONE = 0,
  FCIERR_OPEN_SRC = 1,
  FCIERR_READ_SRC = 2,
  FCIERR_ALLOC_FAIL = 3,
  FCIERR_TEMP_FILE = 4,
  FCIERR_BAD_COMPR_TYPE = 5,
  FCIERR_CAB_FILE = 6,
  FCIERR_USER_ABORT = 7,
  FCIERR_MCI_FAIL = 8,
  FCIERR_CAB_FORMAT_LIMIT = 9,
};

// The cabinet parameters.
struct CCAB {
  uint32_t cb = 0x7FFFFFFF;              // largest cabinet to write
  uint32_t cbFolderThresh = 0x7FFFFFFF;  // compressed size after which a new folder starts
  uint32_t cbReserveCFHeader = 0;        // reserved bytes in the header (at most 60000)
  uint32_t cbReserveCFFolder = 0;        // per folder record (at most 255)
  uint32_t cbReserveCFData = 0;          // per data block (at most 255)
  int iCab = 0;                          // number of this cabinet in the set
  int iDisk = 0;
  bool fFailOnIncompressible = false;
  uint16_t setID = 0;
  std::string szDisk;                    // disk name written for the next cabinet
  std::string szCab;                     // cabinet file name
  std::string szCabPath;                 // its folder, ending with a separator (or empty)
  // Threads compressing MSZIP blocks: 0 one per core, 1 none beside the
  // caller's. The cabinet's bytes are the same for any number.
  int cWorkers = 0;
};

// Status kinds of the status callback.
enum : unsigned { statusFile = 0, statusFolder = 1, statusCabinet = 2 };

// Callbacks. err receives the caller's error number on failure.
using PFNFCIFILEPLACED =
    std::function<int(const CCAB& ccab, const std::string& file, int64_t cbFile, bool fContinuation)>;
using PFNFCIOPEN = std::function<FileHandle(const std::string& name, int oflag, int pmode, int& err)>;
using PFNFCIREAD = std::function<int64_t(FileHandle hf, void* memory, int64_t cb, int& err)>;
using PFNFCIWRITE = std::function<int64_t(FileHandle hf, const void* memory, int64_t cb, int& err)>;
using PFNFCICLOSE = std::function<int(FileHandle hf, int& err)>;
using PFNFCISEEK = std::function<int64_t(FileHandle hf, int64_t dist, int seektype, int& err)>;
using PFNFCIDELETE = std::function<int(const std::string& name, int& err)>;
// Fills name with a path for a new temporary file of at most cbTempName - 1 bytes.
using PFNFCIGETTEMPFILE = std::function<bool(std::string& name, size_t cbTempName)>;
// ccab arrives with iCab one higher; the callback sets szCab, szCabPath (and
// szDisk) of the next cabinet. cbPrevCab: estimated size of the one before.
using PFNFCIGETNEXTCABINET = std::function<bool(CCAB& ccab, uint32_t cbPrevCab)>;
// statusFile: cb1 packed, cb2 unpacked bytes of a block; statusFolder: cb1
// bytes of the folder done, cb2 its size; statusCabinet: cb1 estimated, cb2
// actual size. -1 stops the library.
using PFNFCISTATUS = std::function<int64_t(unsigned typeStatus, uint32_t cb1, uint32_t cb2)>;
// Opens the source for reading and gives its DOS date, time and attributes
// (kAttrNameIsUtf marks a stored name in UTF-8). kNoFile on failure.
using PFNFCIGETOPENINFO = std::function<FileHandle(const std::string& name, uint16_t& date, uint16_t& time,
                                                   uint16_t& attribs, int& err)>;

struct FciContext;
using HFCI = FciContext*;

HFCI FCICreate(ERF* perf, PFNFCIFILEPLACED pfnfcifp, PFNALLOC pfna, PFNFREE pfnf, PFNFCIOPEN pfnopen,
               PFNFCIREAD pfnread, PFNFCIWRITE pfnwrite, PFNFCICLOSE pfnclose, PFNFCISEEK pfnseek,
               PFNFCIDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, const CCAB& ccab);
// Adds the file pszSourceFile under the stored name pszFileName (bytes as
// they are to be stored, "\" between folders).
bool FCIAddFile(HFCI hfci, const std::string& pszSourceFile, const std::string& pszFileName, bool fExecute,
                const PFNFCIGETNEXTCABINET& pfnfcignc, const PFNFCISTATUS& pfnfcis,
                const PFNFCIGETOPENINFO& pfnfcigoi, TCOMP typeCompress);
// Ends the folder being filled and writes the cabinet. fGetNextCab: the set
// goes on; the cabinet names the next one (asked through pfnfcignc).
bool FCIFlushCabinet(HFCI hfci, bool fGetNextCab, const PFNFCIGETNEXTCABINET& pfnfcignc,
                     const PFNFCISTATUS& pfnfcis);
// Ends the folder being filled; the next file starts a new one.
bool FCIFlushFolder(HFCI hfci, const PFNFCIGETNEXTCABINET& pfnfcignc, const PFNFCISTATUS& pfnfcis);
// Deletes the temporary files and frees the context.
bool FCIDestroy(HFCI hfci);

}  // namespace plat::cab
