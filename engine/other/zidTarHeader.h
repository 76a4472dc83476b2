// Tar headers: the 512-byte records of V7, ustar, GNU and star archives and
// the records that only qualify the entry after them (GNU long names 'L' and
// 'K', pax extended headers 'x', global pax headers 'g'), read into one entry
// with its full name. The extractor and the directory reader share it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/zidMethods.h"
#include "engine/base/zidResync.h"

namespace zid {

constexpr int kTarBlock = 512;

// Header field offsets.
constexpr int kTarName = 0, kTarNameLen = 100;
constexpr int kTarMode = 100;
constexpr int kTarSize = 124;
constexpr int kTarMtime = 136;
constexpr int kTarChecksum = 148;
constexpr int kTarType = 156;
constexpr int kTarLink = 157;
constexpr int kTarMagic = 257;

// The checksum field against the sum of the header with that field taken as
// spaces; old writers summed signed bytes, so either sum is accepted.
bool TarChecksumOk(const uint8_t* h);
bool TarBlockIsZero(const uint8_t* h);
// A numeric field: octal digits (leading spaces, ending at a NUL or space), or
// the GNU base-256 form (first byte with bit 7 set). False for anything else
// and for negative values.
bool TarNumber(const uint8_t* field, int len, int64_t& value);

// One entry as the archive describes it, its qualifying records applied.
struct TTarItem {
  int64_t headerOffset = 0;  // the first record of the entry (a long name or pax header, or the header itself)
  int64_t dataOffset = 0;
  int64_t storedSize = 0;    // data bytes behind the header (sparse: the stored pieces only)
  int64_t size = 0;          // the file's size (sparse: its real size)
  std::string name;          // raw bytes, "/" separated; pax names are UTF-8
  bool nameUtf8 = false;
  std::string linkName;
  char type = '0';
  uint32_t mode = 0;
  int64_t mtime = 0;
  uint32_t checksum = 0;     // the entry header's checksum field
  bool sparse = false;       // GNU 'S' entries and pax sparse files
  // A sparse file's pieces (offset in the file, length), stored one after
  // another from dataOffset; the rest of the file is holes.
  std::vector<std::pair<int64_t, int64_t>> sparseMap;
  bool truncated = false;    // the data run past the end of the file

  bool IsDir() const { return type == '5' || type == 'D'; }
  bool IsLink() const { return type == '1' || type == '2'; }
  bool IsDevice() const { return type == '3' || type == '4' || type == '6'; }
};

enum class TTarStep {
  Entry,      // an entry was read
  End,        // a zero block or the end of the file where a header would start
  BadHeader,  // a checksum that does not match, an unreadable number, an oversized record
  Truncated,  // the file ends inside a header or a qualifying record
};

// Walks the entries of a tar archive from a start offset. Every step moves
// forward by at least one block, so a walk always ends.
class TTarScanner {
 public:
  // readAt(pos, buf, n) returns the bytes read (short at the end of the file).
  using TReadAt = std::function<int64_t(int64_t pos, uint8_t* buf, int64_t n)>;
  TTarScanner(TReadAt readAt, int64_t fileSize, int64_t start = 0);

  TTarStep Next(TTarItem& item);
  // Where the next entry's records start.
  int64_t Offset() const { return pos_; }
  // The offset of the record a BadHeader or Truncated step refers to.
  int64_t ErrorOffset() const { return errorPos_; }
  // The End step came from the end of the file, not from a zero block: the
  // archive may have been cut between two entries (worth a warning).
  bool EndedWithoutEndBlock() const { return noEndBlock_; }
  // Goes on at pos after a damaged header; the records read for the damaged entry are dropped.
  void Resync(int64_t pos);

 private:
  void ClearPending();
  bool ReadRecordData(int64_t at, int64_t size, std::string& out);
  // GNU's sparse format 1.0 keeps the map in front of the data.
  bool ReadMapInData(TTarItem& item);
  void ApplyPax(const std::string& records);

  TReadAt readAt_;
  int64_t fileSize_;
  int64_t pos_;
  int64_t errorPos_ = 0;
  bool noEndBlock_ = false;
  // Pending values from the records in front of an entry.
  std::string longName_, longLink_, paxPath_, paxLink_;
  bool haveLongName_ = false, haveLongLink_ = false, havePaxPath_ = false, havePaxLink_ = false;
  int64_t paxSize_ = -1, paxMtime_ = -1, paxRealSize_ = -1;
  bool paxSparse_ = false;
  int paxSparseMajor_ = 0;
  std::vector<std::pair<int64_t, int64_t>> paxMap_;
};

// Where a walk takes up again after a damaged header: the next block whose
// header checksum matches.
TResyncProbe TarResyncProbe(const TTarScanner::TReadAt& readAt);

// The words of the warning for an archive without its end blocks.
inline constexpr const char* kTarNoEndBlock = "the archive ends without its end blocks: it may have been cut short";

// TAR stores its members as they are.
const TMethodTable& TarMethods();

}  // namespace zid
