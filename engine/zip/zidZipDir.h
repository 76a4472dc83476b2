// The entry list of a ZIP archive as the extractor needs it: from the central
// directory (with the search that corrects offsets of archives whose stub was
// added in front without fixing them), or, for a damaged archive, from the
// local headers one after the other.
//
// The list never trusts counts or offsets of the headers: records are read
// while their signatures hold and the file lasts, every local header is
// looked at before its entry is accepted, and entries whose data would
// overlap data already accepted (one local header shared by several central
// records, the shape of "zip bombs") are refused.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/zip/zidZipRecords.h"

namespace zid {

class TStream32;

// One entry of the list.
struct TZipDirEntry {
  std::string name;         // UTF-8, separators as stored ("/" or "\")
  bool fromCentral = false;
  TCentralHeader central;   // the central record (when fromCentral)
  uint16_t versionMadeBy = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosDate = 0;     // date in the high word, time in the low word
  uint32_t crc = 0;
  int64_t compressedSize = 0;    // includes the 12-byte encryption header
  int64_t uncompressedSize = 0;
  uint32_t externalAttr = 0;
  int disk = 0;                  // 0-based disk (volume) of the local header
  int64_t localOffset = 0;       // of the local header, on its disk
};

// What went wrong with one entry while the list was built; the entry is left out.
using TZipDirError = std::function<void(int code, const std::string& name, const std::string& extra)>;

struct TZipDirOptions {
  bool translateOem = true;
  // Spanned or multi-volume: offsets are per disk and are not checked here.
  bool spanned = false;
  // ZipOffsetAdjust of the detection.
  int64_t offsetAdjust = 0;
  // Which entries to record (by their name); null records every entry.
  std::function<bool(const std::string& name)> wanted;
  // Polled between records; true stops the walk.
  std::function<bool()> cancelled;
  TZipDirError error;
};

// Walks the central directory of `arc` from dirStart. `nextDisk`, when
// given, is called at the end of the stream while the directory goes on
// (spanned sets): it opens the next disk and gives its stream, or null when
// there is none. Returns false when no central record was found at dirStart.
bool ReadCentralDirectory(TStream32& arc, int64_t dirStart, const TZipDirOptions& opt,
                          std::vector<TZipDirEntry>& list, const std::function<TStream32*()>& nextDisk = nullptr);

// Walks local headers from `start` (a spanning marker there is skipped);
// stops at the first record that is not a local header or runs past the end.
void ReadLocalHeaders(TStream32& arc, int64_t start, const TZipDirOptions& opt, std::vector<TZipDirEntry>& list);

// The local header of an entry at `offset`: its fixed part and where its data
// starts. False when there is no local header there (or it is cut short).
struct TLocalInfo {
  TLocalHeader header;
  TEntrySizes sizes;         // from the local header and its extra field
  int64_t dataOffset = 0;
  std::string rawName;
  std::string extra;
};
bool ReadLocalInfo(TStream32& arc, int64_t offset, TLocalInfo& info);

}  // namespace zid
