// What CAB creation and extraction share: the file-handle table that serves
// the cabinet library's file callbacks, the library error as an exception,
// the library-present flag, and the rules for entry names and next-cabinet
// names that the extractor and the directory reader both follow.
#pragma once

#include "engine/base/zidFormats.h"
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "engine/base/zidStreams.h"

namespace zid {

// The compression types of the cabinet writer's Quantum setting.
enum TCompressionType : uint8_t { ctStore, ctMsZip, ctLzx };

// Codes of the volume prompts of cabinet sets.
constexpr int kErrFirstDiskOfSet = 25901;   // "Extraction of this cabinet requires first disk of set"
constexpr int kErrNotInSet = 25904;         // "Cabinet does not belong with this set"

// A library failure the engine has no code of its own for.
class ECabinetError : public std::runtime_error {
 public:
  ECabinetError(int errorCode, int errorType);
  int ErrorCode() const { return errorCode_; }
  int ErrorType() const { return errorType_; }

 private:
  int errorCode_;
  int errorType_;
};

// Whether the cabinet library can be used (the library is linked in, so this
// stays true unless a test turns it off; creation and extraction then fail
// with 25261, as they do when the library does not initialise).
bool& CabinetLibraryPresent();

// The file operations of the cabinet library's callbacks, in the order the
// library defines them. Handles are positive; -1 is "no file". err receives 0
// or the platform's error number (-1 for an unknown handle).
class TCabinetFileHandler {
 public:
  virtual ~TCabinetFileHandler() = default;
  virtual intptr_t Open(const std::string& name, int oflag, int pmode, int& err) = 0;
  virtual int64_t Read(intptr_t hf, void* buffer, int64_t count, int& err) = 0;
  virtual int64_t Write(intptr_t hf, const void* buffer, int64_t count, int& err) = 0;
  virtual int Close(intptr_t hf, int& err) = 0;
  virtual int64_t Seek(intptr_t hf, int64_t distance, int origin, int& err) = 0;
  virtual int Delete(const std::string& name, int& err) = 0;
};

// The handle table over file streams. Two kinds of names can be mapped:
// one whose opens reach a stream the caller owns (the write loop's new
// archive, which the library then writes into instead of the named file)
// and one whose file is seen from an offset on (a cabinet behind a
// self-extractor stub). A mapped name is never deleted.
class TStreamCabinetFileHandler : public TCabinetFileHandler {
 public:
  ~TStreamCabinetFileHandler() override;

  // base: where the cabinet begins in the stream.
  void MapStream(const std::string& name, TStream32* stream, int64_t base = 0);
  void MapOffset(const std::string& name, int64_t base);
  void ClearMaps();
  // Closes every stream still open.
  void CloseAll();
  int OpenCount() const { return static_cast<int>(open_.size()); }

  intptr_t Open(const std::string& name, int oflag, int pmode, int& err) override;
  int64_t Read(intptr_t hf, void* buffer, int64_t count, int& err) override;
  int64_t Write(intptr_t hf, const void* buffer, int64_t count, int& err) override;
  int Close(intptr_t hf, int& err) override;
  int64_t Seek(intptr_t hf, int64_t distance, int origin, int& err) override;
  int Delete(const std::string& name, int& err) override;

 private:
  struct TOpenFile {
    std::unique_ptr<TFileStream32> owned;
    TStream32* stream = nullptr;
    int64_t base = 0;
  };
  TOpenFile* Find(intptr_t hf);

  std::map<intptr_t, TOpenFile> open_;
  intptr_t nextHandle_ = 100;
  std::map<std::string, std::pair<TStream32*, int64_t>> streams_;
  std::map<std::string, int64_t> offsets_;
};

// An entry name as stored in a CFFILE record, for this system: a name marked
// with the name-is-UTF attribute (0x80) is UTF-8, any other is CP437 (with
// translateOem; otherwise its bytes are kept).
std::string CabEntryName(const std::string& raw, uint16_t attribs, bool translateOem);

// The path of the cabinet a cabinet names as its next one. Only the file-name
// part of the stored name counts (no folders: the next cabinet lies beside the
// current one); when no file of that exact name exists, a file whose name
// differs only in case is taken. "" when nothing usable remains: an empty
// name, "." or "..", or the current cabinet itself.
std::string NextCabinetPath(const std::string& currentCabinet, const std::string& storedNextName);
// folder + name, or folder + the name of a file there that differs from name only in case.
std::string ResolveCabinetName(const std::string& folder, const std::string& name);

// The deep scan's test: a cabinet header with zero reserved fields, version
// 1.3, at least one folder and file, and sizes that fit in the file.
extern const TProbe kCabProbe;

}  // namespace zid
