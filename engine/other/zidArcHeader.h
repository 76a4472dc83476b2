// ARC and PAK entry headers, as the detector, the directory reader and the
// extractor read them.
//
// Every entry has a 29-byte header: marker 0x1A, method, a 13-byte NUL-padded
// name, packed size, date, time (the date word first), CRC-16 and original
// size. Method 0 ends the archive. The oldest writers used method 1 with a
// 25-byte header that has no original size (it equals the packed size).
//
// ARC 6 stores a folder as a method-30 entry whose data is a nested archive
// holding the folder's entries; that nested archive ends with a method-31
// marker (0x1A 0x1F). Methods 20-29 are ARC 6 comment and information
// records, skipped like entries.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/base/zidResync.h"

namespace zid {

constexpr int kArcHeaderSize = 29;
constexpr int kArcOldHeaderSize = 25;  // method 1: no original size
constexpr int kArcNameField = 13;
constexpr uint8_t kArcMarker = 0x1A;
constexpr uint8_t kArcMethodEnd = 0;
constexpr uint8_t kArcMethodOld = 1;
constexpr uint8_t kArcMethodFolder = 30;
constexpr uint8_t kArcMethodFolderEnd = 31;
constexpr int64_t kArcFolderEndSize = 2;

enum class TArcRecord { Entry, Folder, FolderEnd, End, Bad };

struct TArcHeader {
  TArcRecord record = TArcRecord::Bad;
  uint8_t method = 0;
  std::string name;  // as stored, without the NUL padding
  uint32_t packedSize = 0;
  uint32_t originalSize = 0;
  uint32_t dosDate = 0;  // date in the high word, time in the low word
  uint32_t dateFirst = 0;  // as stored: the date word first
  uint16_t crc = 0;
  int headerSize = kArcHeaderSize;  // bytes before the data
  // Where the next header is (the data of a folder is the nested archive).
  int64_t Next(int64_t pos) const;
};

// Parses the header at h (n bytes of it are there; a full one is 29).
TArcHeader ParseArcHeader(const uint8_t* h, int n);

// Reads n bytes at pos; returns the count read (short at the end of the file).
using TArcReadAt = std::function<int64_t(int64_t pos, void* buf, int64_t n)>;

// Whether an archive of entry headers starts at pos in a file of `size`
// bytes: a first header of a known method with a NUL-terminated name of
// printable bytes and sizes inside the file, and where those sizes put the
// next header, another such header or the end of the archive (the file may
// end there too). Text and program files are not taken for archives.
bool ArcHeaderPlausible(const TArcReadAt& read, int64_t pos, int64_t size);

// Where a walk takes up again after a damaged header. ARC headers carry no
// checksum: the next header that ArcHeaderPlausible takes.
TResyncProbe ArcResyncProbe(const TArcReadAt& read, int64_t size);

}  // namespace zid
