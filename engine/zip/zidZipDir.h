// The entries of a ZIP archive as the extractor needs them: from the central
// directory (records read by the shared record reader, see zidZipReader.h),
// or, for a damaged archive, from the local headers one after the other.
// An entry holds only what extraction needs; the local header is read when
// the entry is extracted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/zip/zidZipReader.h"

namespace zid {

class TStream32;

// One entry.
struct TZipDirEntry {
  std::string name;         // UTF-8, separators as stored ("/" or "\")
  bool fromCentral = false;
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

// The entry of a checked central record.
TZipDirEntry EntryOfCentral(const TCheckedRecord& c, bool translateOem);

// How a walk over local headers ended.
enum class TLocalWalkEnd {
  End,         // a record that is not a local header, or the end of the file
  Cut,         // the file ends inside a local header
  Descriptor,  // sizes only in a data descriptor: the walk cannot go on
  Cancelled,
};

// Walks local headers from `start` (a spanning marker there is skipped) and
// gives every entry to `visit`. `lastName` receives the name of the entry the
// walk stopped at (Descriptor) or "" for a cut header. With `damaged` given,
// bytes that are neither a local header nor the directory's records are a
// damaged region: it gets the region's words and the walk goes on at the
// next local header that looks real.
TLocalWalkEnd WalkLocalHeaders(TStream32& arc, int64_t start, bool translateOem, const std::function<bool()>& cancelled,
                               const std::function<void(const TZipDirEntry&)>& visit, std::string& lastName,
                               const std::function<void(const std::string&)>& damaged = nullptr);

}  // namespace zid
