// The self-extractor search: an archive appended to an executable stub.
#include <cstring>

#include "engine/base/zidBytes.h"
#include "engine/base/zidDetectSteps.h"
#include "engine/base/zidPeResource.h"

namespace zid {

namespace {

constexpr uint8_t kLocalSigBytes[4] = {0x50, 0x4B, 0x03, 0x04};

// Stub lengths of ARC and PAK self-extractors.
constexpr int64_t kArcStubLengths[] = {6674, 6867, 7716, 8601, 13138};

// The archive start a ZIP directory search gives, unless it found no record
// at all: then the position found by other means stays.
void PreferZipDirectory(TByteSource& src, TArchiveDetection& d, int64_t found) {
  const int64_t dir = LocateZipDirectory(src, d);
  d.ArcStartOffset = d.ZipStructureFlags != 0 ? dir : found;
}

TArcType KnownStubs(TByteSource& src, TArchiveDetection& d, const uint8_t* head) {
  const int64_t size = d.FileSize;
  // The stub positions all lie inside the 32767 bytes of head.
  for (int64_t pos : kArcStubLengths) {
    if (size <= pos + 2) break;
    const uint8_t b0 = head[pos], b1 = head[pos + 1];
    if (b0 != 0x1A) continue;
    if (b1 == 0x08 || b1 == 0x09) {
      d.ArcStartOffset = pos;
      return atArcExe;
    }
    if (b1 == 0x0A || b1 == 0x0B) {
      d.ArcStartOffset = pos;
      return atPakExe;
    }
  }
  // "-lh?-" with the level byte not compared.
  if (size > 1949 && head[1947] == '-' && head[1948] == 'l' && head[1949] == 'h' && head[1951] == '-') {
    d.ArcStartOffset = 1945;
    return atLhaExe;
  }
  for (int64_t pos : {int64_t{7612}, int64_t{25661}}) {
    if (size > pos + 4 && std::memcmp(head + pos, kLocalSigBytes, 4) == 0) {
      PreferZipDirectory(src, d, pos);
      return atZipExe;
    }
  }
  return atNA;
}

// Parses the decimal offset a stub keeps as a string; false for anything else.
bool ParseOffset(const std::string& s, int64_t& out) {
  if (s.empty()) return false;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');  // at most five digits
  }
  out = v;
  return true;
}

// The offset some stubs keep in string resources 1..7.
bool StringResources(TByteSource& src, TArchiveDetection& d, TArcType& result) {
  TPeStringTable table;
  if (!table.Open(src)) return false;
  for (uint32_t id = 1; id <= 7; ++id) {
    const std::string text = table.LoadString(id, 5);
    int64_t offset = 0;
    if (text.empty() || !ParseOffset(text, offset) || offset >= d.FileSize) return false;
    d.ArcStartOffset = offset;
    uint8_t b[14] = {};
    const int64_t got = src.ReadAt(offset, b, sizeof b);
    if (HasAceMarker(b)) {
      result = atAceExe;
      return true;
    }
    if (got != 14) continue;
    const TArcType t = ClassifySignature(src, d, TSignatureMode::SelfExtractor, b);
    if (t == atNA) continue;
    if (IsZipFamily(t)) PreferZipDirectory(src, d, offset);
    result = t;
    return true;
  }
  return false;
}

// The end of the DOS image, from the page counts of the executable header.
TArcType ImageEnd(TByteSource& src, TArchiveDetection& d, const uint8_t* head) {
  const int64_t lastPageBytes = Get16(head + 2);
  const int64_t pages = Get16(head + 4);
  const int64_t imageEnd = (pages - 1) * 512 + lastPageBytes;
  if (imageEnd <= 0 || imageEnd + 4 >= d.FileSize) return atNA;
  uint8_t b[4] = {};
  src.ReadAt(imageEnd, b, 4);
  // ARJ stubs leave two bytes before the archive's 60 EA.
  const int64_t start = (b[2] == 0x60 && b[3] == 0xEA) ? imageEnd + 2 : imageEnd;
  d.ArcStartOffset = start;
  if (start + 4 >= d.FileSize) return atNA;
  uint8_t s[4] = {};
  if (src.ReadAt(start, s, 4) != 4 || std::memcmp(s, kLocalSigBytes, 4) == 0) return atNA;
  const TArcType t = ClassifySignature(src, d, TSignatureMode::SelfExtractor, s);
  return IsRecognised(t) ? t : atNA;
}

}  // namespace

TArcType SelfExtractorSearch(TByteSource& src, TArchiveDetection& d, const uint8_t* head) {
  TArcType result = KnownStubs(src, d, head);
  if (result != atNA) return result;
  if (StringResources(src, d, result)) return result;
  result = ImageEnd(src, d, head);
  if (result != atNA) return result;

  // A stale end record signature must not be taken for this file's.
  std::memset(d.EndRecord.data(), 0, 4);
  d.ArcStartOffset = LocateZipDirectory(src, d);
  if (d.ArcStartOffset > 0) return atZipExe;

  const TScanResult scan = ScanForSignature(src, d, 17000);
  d.ArcStartOffset = scan.Offset & 0xFFFFFFFF;
  return scan.Type;
}

}  // namespace zid
