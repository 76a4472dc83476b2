// The archive-type detector every component carries: from a file's bytes it
// decides the TArcType and where the format reader starts. It knows archives
// appended to executable stubs (self-extractors), finds the ZIP central
// directory, and derives volume numbers from extensions.
//
// Detection never throws and never reads past the file: truncated records,
// end records pointing outside the file and absurd sizes make the test at
// hand fail. It reads at most 32767 bytes at the start, a few fixed
// positions, 32768 bytes at the end (plus four 32768-byte windows from the
// start when no directory is found), 5000 bytes for the uuencode test, two
// tar headers and eleven 32768-byte blocks in the signature scan.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/base/zidByteSource.h"
#include "engine/base/zidGbls.h"
#include "engine/base/zidZipSigs.h"

namespace zid {

class TStream32;

// Ten-character display names, indexed by type.
extern const std::array<const char*, kArcTypeCount> ArcTypeNames;
// The enumerator's own name ("atZip").
const char* ArcTypeEnumName(TArcType t);

// Not one of atNA, atUnsupported, atFileOpenErr, atUnknown.
bool IsRecognised(TArcType t);
// atJar, atJarExe, atZip, atZipExe.
bool IsZipFamily(TArcType t);

// ArchiveDate when the file's creation time cannot be read: 1980-01-01 00:01.
constexpr uint32_t kDefaultArchiveDate = 0x00210020;

// The detection state of a component.
struct TArchiveDetection {
  std::string ArchiveFile;  // "/" separators
  TArcType ArcType = atNA;
  int64_t FileSize = 0;
  // Where the format reader begins: the first header, or for the ZIP family
  // the central directory.
  int64_t ArcStartOffset = 0;
  THeaderTypeState ZipStructureFlags = 0;
  int64_t ZipCommentPos = 0;  // just behind the fixed part of the end record
  // Actual central directory position minus the stored one.
  int32_t ZipOffsetAdjust = 0;
  // Copies of the ZIP records found, bodies deciphered when the archive has
  // enciphered headers. EndRecord holds 22 or 26 bytes.
  std::array<uint8_t, kLargeEndRecordSize> EndRecord{};
  std::array<uint8_t, kZip64LocatorSize> Zip64Locator{};
  std::array<uint8_t, kZip64EndRecordSize> Zip64EndRecord{};
  std::array<uint8_t, kCentralHeaderSize> CentralHeader{};
  std::array<uint8_t, kLocalHeaderSize> LocalHeader{};
  uint32_t ArchiveDate = kDefaultArchiveDate;  // local DOS date-time
  int32_t VolumeNumber = 0;
  char VolumeLetter = 0;
};

// Where ClassifySignature looks: the start of a file, or where an archive
// behind a stub should begin.
enum class TSignatureMode { Plain, SelfExtractor };

struct TScanResult {
  int64_t Offset = 0;
  TArcType Type = atNA;
};

// Assigning ArchiveFile: a missing file clears the name and gives atNA;
// otherwise the file is opened (read, deny none), detected and, for a
// recognised type, the volume fields are derived.
void AssignArchiveFile(TArchiveDetection& d, const std::string& name);
// Assigning ArcType: the value is ignored and the stored file detected again;
// a file that cannot be opened (read, deny write) gives atFileOpenErr.
TArcType ReevaluateArcType(TArchiveDetection& d);

// The detector proper over an open stream; fills d and returns d.ArcType.
// The stream's progress hook is detached meanwhile. d.ArchiveFile names the
// file (for the .jar rule, the creation date and the drive query).
TArcType DetectArcType(TStream32& stream, TArchiveDetection& d);
TArcType DetectArcType(TByteSource& src, TArchiveDetection& d);

// The four signature bytes b[0..3]. Some results act on d: an ARC stub sets
// ArcStartOffset 7716, ZIP directory records query the drive and locate the
// directory.
TArcType ClassifySignature(TByteSource& src, TArchiveDetection& d, TSignatureMode mode, const uint8_t* b);
// The fallback scan from start (17000 for executables, 0 otherwise).
TScanResult ScanForSignature(TByteSource& src, TArchiveDetection& d, int64_t start);
// When the rules above find nothing: the first 16 MiB and the last 64 KiB
// searched for every family's header (the format table's probes); the first
// offset whose header checks wins. ZIP found so gets its local-header fields.
TScanResult DeepScan(TByteSource& src, TArchiveDetection& d);
// Finds the end record and the central directory; fills ZipStructureFlags,
// ZipCommentPos, ZipOffsetAdjust and the record copies. Returns the directory
// position, a local header position from the forward fallback, 0 when there
// is nothing, or -1 when the fallback read windows and found nothing.
int64_t LocateZipDirectory(TByteSource& src, TArchiveDetection& d);
// atZipDS on a removable disk labelled "PKBACK#...", atZipMV on other drives,
// atNA when the drive query fails.
TArcType CheckSpannedDisk(const std::string& archiveFile);
// VolumeNumber and VolumeLetter from the extension (ACE, ARJ, JAR, RAR only).
void SetVolumeFields(TArchiveDetection& d);

// The uuencode and tar tests over the start of the file.
bool IsUuencoded(TByteSource& src);
// True for a tar header (at 0, or behind a "V" volume header at 512);
// sets d.ArcStartOffset to 512 behind a volume header, -1 when it fails.
bool IsTar(TByteSource& src, TArchiveDetection& d);
// An ISO 9660 image: "CD001" in the volume descriptor at 0x8001.
bool IsIso9660(TByteSource& src);

// Creation time of a file as a local DOS date-time; kDefaultArchiveDate when
// it cannot be read.
uint32_t ArchiveCreationDate(const std::string& fileName);

}  // namespace zid
