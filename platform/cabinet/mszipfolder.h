// Reading an MSZIP folder without libmspack: the folder's CFDATA blocks are
// walked over the cabinets of the set it spans, each block's data checksum
// is verified (a zero checksum means none was written), and the blocks go
// through TMsZipDecoder. A block cut at the end of one cabinet (its first
// part has cbUncomp 0) is joined with its rest at the start of the next.
//
// The reader keeps its place: files of one folder read in order decode the
// folder once; a file that lies behind the place starts the folder again.
// The cabinets are reached through the FDI caller's callbacks; the one being
// read stays open until the reader moves on, is closed or is destroyed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/cabinet/fdi.h"
#include "platform/cabinet/mszipdec.h"

namespace plat::cab {

class TMsSystem;

// The blocks of a folder that one cabinet holds.
struct TFolderPart {
  std::string path;       // the cabinet, as the open callback takes it
  int64_t dataStart = 0;  // offset of the first CFDATA record (coffCabStart)
  uint16_t blocks = 0;    // cCFData
  uint8_t reserve = 0;    // cbCFData: reserved bytes in each CFDATA record
};

class TMsZipFolder {
 public:
  // parts: the folder's pieces in set order (at least one).
  TMsZipFolder(TMsSystem& io, std::vector<TFolderPart> parts);
  ~TMsZipFolder();
  TMsZipFolder(const TMsZipFolder&) = delete;
  TMsZipFolder& operator=(const TMsZipFolder&) = delete;

  // Writes the folder's bytes [offset, offset + length) to hf through the
  // write callback. False with error and detail set (FDIERROR_CORRUPT_CABINET
  // with a TErfDetail, FDIERROR_TARGET_FILE when the write callback took
  // less, FDIERROR_CABINET_NOT_FOUND when a cabinet does not open); the next
  // call then starts the folder again. An exception from a callback closes
  // the cabinet and passes.
  bool Copy(int64_t offset, int64_t length, FileHandle hf, FDIERROR& error, int& detail);
  // Closes the cabinet being read (the place is kept).
  void CloseCabinet();

 private:
  enum class Next { Ok, End, Truncated, BadData, BadChecksum, NotFound };
  void Restart();
  Next ReadBlock();
  Next ReadRecord(uint16_t& cbData, uint16_t& cbUncomp);
  bool ReadFull(void* buf, int64_t n);

  TMsSystem& io_;
  std::vector<TFolderPart> parts_;
  TMsZipDecoder decoder_;
  std::vector<uint8_t> packed_;  // the block being read
  size_t packedLen_ = 0;
  FileHandle hf_ = kNoFile;  // the cabinet of parts_[part_]
  size_t part_ = 0;
  uint32_t block_ = 0;       // blocks of parts_[part_] read so far
  bool started_ = false;
  int64_t pos_ = 0;          // folder offset of cur_[used_]
  const uint8_t* cur_ = nullptr;
  size_t curLen_ = 0;
  size_t used_ = 0;
};

}  // namespace plat::cab
