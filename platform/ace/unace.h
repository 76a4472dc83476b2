// The ACE decompression library: the five calls and four callbacks through
// which an archiver drives it, the way it would drive an outside ACE library.
//
//   TUnAce lib;
//   lib.ACEInitDll(init);                 // callbacks and buffer sizes; 0 = ready
//   lib.ACEReadArchiveData(path, data);   // the main header (and comment)
//   lib.ACEList(path, files);             // a start-of-entry state per member
//   lib.ACETest(path, files, password);   // decodes the selected members
//   lib.ACEExtract(path, files, password, targetDir, excludePath);
//
// The library never creates files. Decoded bytes reach the consumer through
// the state callback (kStateProgress with a data block); the consumer writes
// them where it wants, and is the one to make stored names safe (they may
// hold "..", roots or drive prefixes). Extract differs from Test only in the
// output path it proposes with each entry and in the overwrite request.
//
// Members are decoded in archive order, across volumes (asked for through
// the change-volume request) and with the history of a solid archive; a
// member that the consumer skips in a solid archive is still decoded, its
// output dropped. Every member's CRC-32 is checked. Encrypted members are
// checked against the password before a single byte goes out: the member is
// decoded once with the output dropped, and only a password under which it
// decodes with a good CRC is used (ACE keeps no password check value);
// otherwise the library asks again through the password request.
//
// Hostile input: the history is 4 MiB at most, every length is checked
// against what remains, and every loop consumes input or produces output.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/ace/ace_base.h"

namespace ace {

// Answers of every callback.
enum : int { kAnswerOk = 0, kAnswerNo = 1, kAnswerCancel = 2 };

// Information callback: (code, text). The library goes on whatever the
// answer, except that kAnswerCancel stops the call.
enum : int {
  kInfoVolume = 281,    // a volume was opened (text: its path)
  kInfoStart = 282,     // a call begins to process an archive (text: its path)
  kInfoFileDone = 320,  // a member was processed (text: its stored name)
};

// Error callback: (code, file, text). The call ends after it with the same
// code as its result. Failures of single members are not errors of the call:
// they come with the member's CRC state.
enum : int {
  kErrorOpen = 1,         // the archive or a volume cannot be opened
  kErrorRead = 2,         // reading failed
  kErrorNotAce = 3,       // no ACE main header
  kErrorHeader = 4,       // a damaged block header (CRC, lengths)
  kErrorTruncated = 5,    // a header runs past the end of its volume
  kErrorVolumeOrder = 6,  // a volume that does not follow the previous one, or a broken split member
  kErrorCancelled = 7,    // a callback answered kAnswerCancel (result of the call only)
  kErrorNotReady = 8,     // ACEInitDll was not called (result of the call only)
};

// Request callback codes.
enum : int {
  kRequestChangeVolume = 801,  // volumeName in: the proposal, out: the file to open; kAnswerNo = not there
  kRequestOverwrite = 832,     // outputPath exists; kAnswerOk = replace it, kAnswerNo = skip the member
  kRequestPassword = 835,      // password out; kAnswerNo = skip the member
};

// State callback codes.
enum : int {
  kStateProgress = 7,    // data/size: decoded bytes (data is null while output is dropped)
  kStateCrc = 8,         // the member ended: result, CRC verdict, the final stored CRC
  kStateStartFile = 1040,
};

// What the library tells of a member.
struct TEntryInfo {
  std::string name;         // stored name, raw bytes; "\" separates folders
  uint64_t packedSize = 0;  // packed bytes read so far (the first segment's at the start)
  uint64_t origSize = 0;
  uint32_t crc = 0;         // the header's CRC field (of a split member, its first segment's)
  uint32_t time = 0;        // DOS date-time
  uint32_t attr = 0;
  uint16_t flags = 0;
  uint8_t compType = 0;     // 0 stored, 1 LZ77 (ACE 1.0), 2 blocked (ACE 2.0)
  uint8_t compQual = 0;
  unsigned dictBits = 0;
  bool isDir = false;
  bool encrypted = false;
  bool solid = false;       // decoded with the history of the members before it
  bool split = false;       // continues in the next volume
  int volume = 0;           // main-header number of the volume with its first segment
  int index = 0;            // 0, 1, 2 ... in archive order (members of a call)
};

struct TRequest {
  int code = 0;
  const TEntryInfo* entry = nullptr;  // the member concerned, when there is one
  int volume = 0;                     // change-volume: main-header number of the volume asked for
  std::string volumeName;
  std::string password;               // in: the one that failed (empty: none was given)
  std::string outputPath;
};

struct TState {
  int code = 0;
  const TEntryInfo* entry = nullptr;
  // kStateStartFile. Answer kAnswerOk to have the member decoded (its bytes
  // then come with kStateProgress), kAnswerNo to skip it, kAnswerCancel to
  // stop. The handler may also decode the member itself, within the
  // callback: decode() runs the member to its end (progress and CRC states
  // fire meanwhile) and returns a TResult; checkPassword(p) tries one
  // password on an encrypted member first (Ok, and the member then decodes
  // with it; CrcError, DataError or Truncated when it is wrong; Ok at once
  // for a member that needs none) so that the handler can settle the
  // password, asking as it likes, before it opens any output.
  std::string outputPath;  // ACEExtract: target folder plus stored path (or file name), unchecked
  std::function<int()> decode;
  std::function<int(const std::string&)> checkPassword;
  // kStateProgress
  const uint8_t* data = nullptr;
  size_t size = 0;
  uint64_t done = 0;        // bytes of the member decoded so far
  uint64_t packedDone = 0;  // packed bytes of the member read so far
  // kStateCrc
  int result = 0;           // a TResult
  bool crcOk = false;
  uint32_t storedCrc = 0;   // from the member's last header
  uint32_t computedCrc = 0;
};

struct TInitDll {
  std::string tempDir;                       // kept (at most 255 bytes); the library writes nothing there
  uint32_t maxArchiveTestBytes = 0x1FFFF;    // how far to look for the archive behind a stub (at least 512 KiB are searched)
  uint32_t maxFileBufSize = 0x2FFFF;         // bytes per progress block
  uint32_t commentBufSize = 8191;            // longest comment returned
  std::function<int(int code, const std::string& text)> info;
  std::function<int(int code, const std::string& file, const std::string& text)> error;
  std::function<int(TRequest& request)> request;
  std::function<int(TState& state)> state;
};

// Which members a call processes: masks separated (and ended) by CR (0x0D);
// "*" and "?" wildcards, case-insensitive, "/" and "\" alike, "*.*" = "*".
struct TFileSet {
  std::string sourceDir;
  std::string fileList;
  std::string excludeList;
  bool fullMatch = true;  // masks against the whole stored path, else against the file name
};

struct TArchiveData {
  uint8_t verExtract = 0;
  uint8_t verCreated = 0;
  uint8_t host = 0;
  int volume = 0;
  uint16_t flags = 0;
  uint32_t time = 0;
  bool solid = false;
  bool multiVolume = false;
  bool locked = false;
  bool sfx = false;
  int64_t start = 0;    // offset of the main header
  std::string av;
  std::string comment;  // unpacked, at most commentBufSize bytes
};

// This build carries the library itself: loading it cannot fail.
constexpr bool kLibraryPresent = true;

class TUnAce {
 public:
  // The entry points by name, as a loader resolves them: true for
  // "ACEInitDll", "ACEReadArchiveData", "ACEList", "ACETest", "ACEExtract".
  static bool HasEntryPoint(const std::string& name);

  // 0 on success (the callbacks may be empty: they then answer kAnswerOk).
  int ACEInitDll(const TInitDll& init);
  // The calls return 0 or an error code (kError...).
  int ACEReadArchiveData(const std::string& archive, TArchiveData& data);
  int ACEList(const std::string& archive, const TFileSet& files);
  int ACETest(const std::string& archive, const TFileSet& files, const std::string& password);
  int ACEExtract(const std::string& archive, const TFileSet& files, const std::string& password,
                 const std::string& targetDir, bool excludePath);

 private:
  TInitDll init_;
  bool ready_ = false;
};

// The archive comment from its packed form; empty when damaged.
std::string UnpackComment(const std::string& packed, size_t maxBytes);

}  // namespace ace
