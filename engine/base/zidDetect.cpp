// The detector's entry points: assignment, re-evaluation, the detector
// proper with its plain search, the volume fields and the drive check.
#include "engine/base/zidDetect.h"

#include <cstring>
#include <vector>

#include "engine/base/zidDetectSteps.h"
#include "engine/base/zidDiskManager.h"
#include "engine/base/zidStreams.h"
#include "engine/filter/zidFilters.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

const std::array<const char*, kArcTypeCount> ArcTypeNames = {
    "Not avail. ",  // eleven characters: the table has always had this trailing blank
    "Unsupport.", "File Error", "Unknown   ", "ACE       ", "ACE SFX   ", "ARC       ", "ARC SFX   ",
    "ARJ       ", "ARJ SFX   ", "BH        ", "BH  SFX   ", "CAB       ", "CAB SFX   ", "GZip      ",
    "HA        ", "Java JAR  ", "JJAR SFX  ", "LHA       ", "LHA SFX   ", "LZH       ", "LZH SFX   ",
    "MsGZ     \t",  // padded with a tab in its last place
    "PAK       ", "PAK SFX   ", "RAR       ", "RAR SFX   ", "TAR       ", "TarGzip   ", "UUE       ",
    "ZIP       ", "ZIP SFX   ", "Zip Span  ", "Zip MVol  ", "ZOO       ",
    "7z        ", "ISO 9660  ", "cpio      ",
    "XZ        ", "BZip2     ", "Zstd      ", "LZ4       ",
};

const char* ArcTypeEnumName(TArcType t) {
  static const char* const kNames[kArcTypeCount] = {
      "atNA",     "atUnsupported", "atFileOpenErr", "atUnknown", "atAce",    "atAceExe", "atArc",
      "atArcExe", "atArj",         "atArjExe",      "atBh",      "atBhExe",  "atCab",    "atCabExe",
      "atGZip",   "atHA",          "atJar",         "atJarExe",  "atLha",    "atLhaExe", "atLzh",
      "atLzhExe", "atMsGZ",        "atPak",         "atPakExe",  "atRar",    "atRarExe", "atTar",
      "atTarGZip", "atUUE",        "atZip",         "atZipExe",  "atZipDS",  "atZipMV",  "atZoo",
      "atSevenZip", "atIso",       "atCpio",
      "atXz",     "atBzip2",       "atZstd",        "atLz4",
  };
  return t < kArcTypeCount ? kNames[t] : "atNA";
}

bool IsRecognised(TArcType t) {
  return t != atNA && t != atUnsupported && t != atFileOpenErr && t != atUnknown && t < kArcTypeCount;
}

bool IsZipFamily(TArcType t) { return t == atJar || t == atJarExe || t == atZip || t == atZipExe; }

bool HasAceMarker(const uint8_t* b) { return std::memcmp(b + 7, "**ACE**", 7) == 0; }

namespace {

// Reads through a stream for the detector; positions outside the file read nothing.
class TStreamSource : public TByteSource {
 public:
  explicit TStreamSource(TStream32& s) : stream_(s), size_(s.Size()) {
    if (size_ < 0) size_ = 0;
  }
  int64_t Size() const override { return size_; }
  int64_t ReadAt(int64_t pos, void* buf, int64_t count) override {
    if (pos < 0 || pos >= size_ || count <= 0) return 0;
    if (count > size_ - pos) count = size_ - pos;
    if (stream_.Seek(pos, plat::soFromBeginning) != pos) return 0;
    const int64_t n = stream_.Read(buf, count);
    return n < 0 ? 0 : n;
  }

 private:
  TStream32& stream_;
  int64_t size_;
};

}  // namespace

TArcType PlainSearch(TByteSource& src, TArchiveDetection& d, const uint8_t* head, int64_t headLen) {
  // Some writers pad the front with zeros; the archive starts at the first other byte.
  int64_t p = 0;
  if (head[0] == 0) {
    while (p < headLen && head[p] == 0) ++p;
    if (headLen - p > 132 && head[130] == '-' && head[131] == 'l') {
      d.ArcStartOffset = 128;
      return atLha;
    }
  }
  // The filters read through libraries, by their signatures at the start.
  if (p == 0) {
    const TFilter* f = FilterBySignature(head, headLen);
    if (f != nullptr && f->type != atGZip) return f->type;
  }
  TArcType type = ClassifySignature(src, d, TSignatureMode::Plain, head + p);
  if (type == atUnknown) return type;
  if (IsZipFamily(type)) {
    d.ArcStartOffset = LocateZipDirectory(src, d);
    if (!(d.ZipStructureFlags & htLocal) && d.ArcStartOffset == 0) {
      d.ArcStartOffset = p;
      d.ZipStructureFlags |= htLocal;
    }
  } else if (type == atZipDS || type == atZipMV) {
    d.ArcStartOffset = LocateZipDirectory(src, d);
    if (d.ZipStructureFlags == 0) d.ZipStructureFlags = htLocal;
  } else if (HasAceMarker(head)) {
    type = atAce;
  }
  if (IsRecognised(type)) return type;

  if (HasAceMarker(head)) return atAce;
  if (IsUuencoded(src)) return atUUE;
  if (IsTar(src, d)) return atTar;
  if (IsIso9660(src)) return atIso;
  d.ArcStartOffset = LocateZipDirectory(src, d);
  if (d.ArcStartOffset > 0) {
    return TZipTailFields::ThisDisk(d.EndRecord.data()) == 0 ? atZip : CheckSpannedDisk(d.ArchiveFile);
  }
  const TScanResult scan = ScanForSignature(src, d, 0);
  d.ArcStartOffset = scan.Offset;
  return scan.Type;
}

TArcType DetectArcType(TByteSource& src, TArchiveDetection& d) {
  d.ZipCommentPos = 0;
  d.ZipOffsetAdjust = 0;
  d.ArcStartOffset = -1;
  d.ZipStructureFlags = 0;
  d.EndRecord.fill(0);
  d.Zip64Locator.fill(0);
  d.Zip64EndRecord.fill(0);
  d.CentralHeader.fill(0);
  d.LocalHeader.fill(0);
  d.FileSize = src.Size();
  TArcType result = atNA;

  if (d.FileSize > 19) {
    std::vector<uint8_t> head(kDetectHeadBuffer, 0);
    const int64_t headLen = src.ReadAt(0, head.data(), std::min(kDetectHeadRead, d.FileSize));
    if (head[0] == 'M' && head[1] == 'Z')
      result = SelfExtractorSearch(src, d, head.data());
    else
      result = PlainSearch(src, d, head.data(), headLen);
    if (result == atNA) {
      // nothing found by the rules: the deep scan looks further
      const TScanResult deep = DeepScan(src, d);
      if (IsRecognised(deep.Type)) {
        result = deep.Type;
        d.ArcStartOffset = deep.Offset;
      }
    }
    if (IsRecognised(result)) {
      if (d.ArcStartOffset == -1) d.ArcStartOffset = 0;
      if (result == atZip && plat::LowerCase(plat::ExtractFileExt(d.ArchiveFile)) == ".jar") result = atJar;
    }
  }
  d.ArchiveDate = ArchiveCreationDate(d.ArchiveFile);
  d.ArcType = result;
  return result;
}

TArcType DetectArcType(TStream32& stream, TArchiveDetection& d) {
  TProgressDetach detach(stream);
  TStreamOnRead onRead = std::move(stream.OnRead);
  stream.OnRead = nullptr;
  TStreamSource src(stream);
  const TArcType result = DetectArcType(src, d);
  stream.OnRead = std::move(onRead);
  return result;
}

void AssignArchiveFile(TArchiveDetection& d, const std::string& name) {
  const std::string native = plat::ToNative(name);
  if (native.empty() || !plat::FileExists(native)) {
    d.ArcType = atNA;
    d.ArchiveFile.clear();
    return;
  }
  d.ArchiveFile = native;
  TFileStream32 file(native, plat::fmOpenRead | plat::fmShareDenyNone);
  if (!file.IsOpen()) {
    d.ArcType = atNA;
    return;
  }
  DetectArcType(file, d);
  file.Close();
  SetVolumeFields(d);
}

TArcType ReevaluateArcType(TArchiveDetection& d) {
  if (d.ArchiveFile.empty()) return d.ArcType;
  TFileStream32 file(d.ArchiveFile, plat::fmOpenRead | plat::fmShareDenyWrite);
  if (!file.IsOpen()) {
    d.ArcType = atFileOpenErr;
    return d.ArcType;
  }
  return DetectArcType(file, d);
}

void SetVolumeFields(TArchiveDetection& d) {
  if (!IsRecognised(d.ArcType)) return;
  d.VolumeNumber = 0;
  d.VolumeLetter = 0;
  const char* fallbackExt;
  switch (d.ArcType) {
    case atAce:
      d.VolumeLetter = 'C';
      fallbackExt = "Ace";
      break;
    case atArj:
      d.VolumeLetter = 'a';
      fallbackExt = "Arj";
      break;
    case atJar:
    case atJarExe:
      d.VolumeLetter = 'j';
      fallbackExt = "Jar";
      break;
    case atRar:
    case atRarExe:
      d.VolumeLetter = 'q';
      fallbackExt = "Rar";
      break;
    default:
      return;
  }
  std::string ext = plat::ExtractFileExt(d.ArchiveFile);
  ext = ext.empty() ? std::string(fallbackExt) : ext.substr(1);
  size_t digits = ext.size();
  while (digits > 0 && ext[digits - 1] >= '0' && ext[digits - 1] <= '9') --digits;
  if (digits < ext.size() && !ext.empty()) {
    int64_t value = 0;
    for (size_t i = digits; i < ext.size(); ++i) {
      value = value * 10 + (ext[i] - '0');
      if (value > 0x7FFFFFF0) value = 0x7FFFFFF0;  // an absurd volume number stays in range
    }
    d.VolumeNumber = static_cast<int32_t>(value + 1);
    d.VolumeLetter = ext[0];
  } else {
    d.VolumeNumber = d.ArcType == atArj ? 1 : 0;
  }
}

TArcType CheckSpannedDisk(const std::string& archiveFile) {
  // A relative name lives on the drive of the current folder.
  const std::string path =
      !archiveFile.empty() && plat::IsPathDelim(archiveFile[0]) ? archiveFile : plat::GetCurrentDir();
  TDiskManager drive;  // no error routine: a failed query just means "not spanned"
  if (!drive.GetDriveInfo(path)) return atNA;
  if (drive.DriveType != plat::DriveType::Removable) return atZipMV;
  std::string label = drive.VolumeLabel.substr(0, drive.VolumeLabel.find(' '));
  return plat::UpperCase(label) == "PKBACK#" ? atZipDS : atZipMV;
}

uint32_t ArchiveCreationDate(const std::string& fileName) {
  if (fileName.empty()) return kDefaultArchiveDate;
  const plat::FileInfo info = plat::FileStat(fileName);
  if (!info.exists || info.ctime <= 0) return kDefaultArchiveDate;
  const uint32_t dos = plat::UnixToDosDateTime(info.ctime);
  return dos == 0 ? kDefaultArchiveDate : dos;
}

}  // namespace zid
