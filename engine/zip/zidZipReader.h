// The one reader of ZIP directory records, shared by the extractor, the
// writer (reading an existing archive) and the listing walker, so that all
// three see the same entries and make the same checks.
//
// TZipRecordReader reads the central directory through one buffered window
// (a record never costs more than the copy out of the window) and goes on
// with the next disk of a spanned set when one ends inside the directory.
// TZipDirCheck holds the checks of every entry's place in the archive: the
// local header offset inside its disk, the data ending before the directory,
// and no two entries sharing bytes (several central records pointing into
// the same data is the shape of "zip bombs"). ScanCentralDirectory runs both
// over a whole directory and compares what it found with the end record.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/zip/zidZipRecords.h"

namespace zid {

class TStream32;
struct TArchiveDetection;

// General purpose flags the readers look at.
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kFlagMaskedHeaders = 0x2000;  // the central directory is encrypted

// Why an entry cannot be decoded although its records are sound (strong
// encryption, an encrypted directory, AES without a 0x9901 field this reader
// knows); empty when nothing stands in the way. extra: the local extra field.
std::string UnsupportedEncryption(uint16_t flags, uint16_t method, std::string_view extra);

// One central record as read; the views stay valid until the next record.
struct TCentralRecord {
  TCentralHeader header;  // deciphered
  bool enciphered = false;
  std::string_view rawName;  // deciphered
  std::string_view extra;
  std::string_view comment;
  TEntrySizes sizes;  // 32-bit fields completed by the extra field
};

class TZipRecordReader {
 public:
  // Reads records from `start` of `s`. nextDisk, when given, opens the next
  // disk of a spanned set at the end of a stream and gives its stream (null
  // when there is none). The stream may be moved between calls: the reader
  // seeks before it reads.
  TZipRecordReader(TStream32& s, int64_t start, std::function<TStream32*()> nextDisk = nullptr);

  // The next central record. False at the end of the directory (a record
  // that is not a central header) or when the file ends inside a record
  // (Cut() is then true).
  bool NextCentral(TCentralRecord& rec);
  bool Cut() const { return cut_; }
  // Bytes of the directory consumed by the records read so far.
  int64_t BytesRead() const { return consumed_; }
  // Offset of the next record in the current stream.
  int64_t Position() const { return bufStart_ + static_cast<int64_t>(pos_); }
  TStream32& Stream() { return *s_; }

 private:
  // Makes n bytes from pos_ available; false when the data ends first.
  bool Ensure(size_t n) { return len_ - pos_ >= n || Refill(n); }
  bool Refill(size_t n);

  TStream32* s_;
  std::function<TStream32*()> nextDisk_;
  std::vector<uint8_t> buf_;
  std::string scratch_;  // a deciphered name
  int64_t bufStart_;     // stream offset of buf_[0]
  size_t pos_ = 0;
  size_t len_ = 0;
  int64_t readPos_;      // stream offset of the next byte to read into buf_
  int64_t consumed_ = 0;
  bool cut_ = false;
};

// The local header of an entry at `offset`, read with its name and extra
// field in one read.
struct TLocalInfo {
  TLocalHeader header;
  TEntrySizes sizes;  // from the local header and its extra field
  int64_t dataOffset = 0;
  std::string rawName;
  std::string extra;
};
enum class TLocalRead { Ok, NotFound, Cut };
// NotFound: no local signature at offset; Cut: the file ends inside the header.
TLocalRead ReadLocalRecord(TStream32& arc, int64_t offset, TLocalInfo& info);
inline bool ReadLocalInfo(TStream32& arc, int64_t offset, TLocalInfo& info) {
  return ReadLocalRecord(arc, offset, info) == TLocalRead::Ok;
}

// Where the directory of an archive is and what its end record says.
struct TZipLayout {
  int64_t dirStart = 0;      // where the first central record was found
  int64_t endRecordPos = 0;  // of the end record (the directory ends before it)
  int64_t fileSize = 0;
  int64_t offsetAdjust = 0;  // added to stored local header offsets
  int dirDisk = 0;           // disk holding the directory start (spanned sets)
  bool spanned = false;      // offsets are per disk and other disks' sizes unknown
  uint64_t declaredEntries = 0;
  uint64_t declaredSize = 0;
  bool endRecordCut = false;     // the file ends inside the end record
  bool commentCut = false;       // ... or inside the archive comment
  bool countsWrap = true;        // the 16-bit count of a plain end record (no zip64 record)
};
TZipLayout ZipLayoutOf(const TArchiveDetection& d, int64_t fileSize);

// Where an entry's local header may lie: not before the file, and on the
// directory's disk with its header and data ending before the directory.
// Returns 0 or E_BADLOCALOFFSET (why says more).
int CheckEntryPlace(const TZipLayout& layout, int disk, int64_t offset, int64_t compressedSize, std::string& why);

// Finds entries that share bytes. While the entries come in the order of
// their offsets one range is enough; an entry out of order asks for the
// whole list (Complete() false), which the caller then gives by a second walk.
class TZipOverlapCheck {
 public:
  explicit TZipOverlapCheck(bool keepAll) : keepAll_(keepAll) {}
  void Add(uint32_t index, int disk, int64_t start, int64_t compressedSize);
  bool Complete() const { return keepAll_ || ordered_; }
  // Indexes of the entries whose bytes begin inside an entry starting before
  // them (or at the same place, earlier in the directory), ascending.
  std::vector<uint32_t> Overlapping();

 private:
  struct TRange {
    int disk;
    int64_t start, end;
    uint32_t index;
  };
  bool keepAll_;
  bool ordered_ = true;
  TRange last_{-1, 0, 0, 0};
  std::vector<uint32_t> found_;
  std::vector<TRange> ranges_;
};

// A record, where its local header is and what the place check found.
struct TCheckedRecord {
  const TCentralRecord* rec = nullptr;
  uint32_t index = 0;
  int64_t localOffset = 0;  // adjusted (and corrected) offset of the local header
  int problem = 0;          // 0 or E_BADLOCALOFFSET
  std::string why;
  bool overlaps = false;    // known only when the overlaps were given (TZipScanOptions::overlapping)
};

struct TZipScanOptions {
  // The overlaps found by an earlier walk: this walk marks those records and
  // does not look for overlaps again.
  const std::vector<uint32_t>* overlapping = nullptr;
  // The correction an earlier walk found (with overlapping).
  int64_t correction = 0;
  std::function<bool()> cancelled;  // polled between records
  std::function<TStream32*()> nextDisk;
};

// What a whole directory walk found beside the entries.
struct TZipScan {
  bool found = false;                  // a central record was found at dirStart
  uint32_t records = 0;
  bool cut = false;                    // the file ends inside the directory
  bool stopped = false;                // cancelled, or the visitor said stop
  std::vector<uint32_t> overlapping;   // see TZipOverlapCheck
  std::vector<std::string> warnings;   // counts and sizes that disagree with the end record
  int64_t correction = 0;              // moves every local offset (stub added without fixing them)
};

// Walks the directory of `arc` from layout.dirStart and gives every record to
// `visit` (which may be empty; returning false stops the walk). Without
// opt.overlapping, the first record's local header decides the correction of
// an archive whose stub was added in front without fixing its offsets, and
// the overlaps are looked for (by a second walk when the offsets are out of
// order). At the end the records are compared with the end record.
void ScanCentralDirectory(TStream32& arc, const TZipLayout& layout, const TZipScanOptions& opt, TZipScan& scan,
                          const std::function<bool(const TCheckedRecord&)>& visit);

}  // namespace zid
