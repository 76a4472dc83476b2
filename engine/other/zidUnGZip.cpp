#include "engine/other/zidUnGZip.h"

#include <vector>

#include "engine/base/zidNames.h"
#include "engine/base/zidStreams.h"
#include "engine/filter/zidFilteredData.h"
#include "engine/filter/zidFilters.h"
#include "engine/other/zidDelzw.h"
#include "engine/other/zidGunzip.h"
#include "engine/other/zidTarHeader.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace {

constexpr uint8_t kLzwMagic1 = 0x9D;
constexpr uint8_t kPackMagic1 = 0x1E;  // pack, recognised but not decoded
constexpr uint8_t kLzhMagic1 = 0xA0;   // SCO LZH, recognised but not decoded

std::string LowerExt(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return std::string();
  return plat::LowerCase(name.substr(dot));
}

std::string Stem(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Reads the archive from offset 0 a byte at a time through a block buffer.
class TByteCursor {
 public:
  explicit TByteCursor(TStream32& s) : s_(s) { s_.Seek(0, plat::soFromBeginning); }
  int Next() {
    if (pos_ == len_) {
      len_ = s_.Read(buf_.data(), static_cast<int64_t>(buf_.size()));
      pos_ = 0;
      if (len_ <= 0) {
        len_ = 0;
        return -1;
      }
    }
    return buf_[static_cast<size_t>(pos_++)];
  }

 private:
  TStream32& s_;
  std::vector<uint8_t> buf_ = std::vector<uint8_t>(8192);
  int64_t pos_ = 0;
  int64_t len_ = 0;
};

}  // namespace

std::string GzipMemberName(const std::string& archivePath, const std::string* storedName, bool textFlag) {
  const std::string archiveName = plat::ExtractFileName(archivePath);
  std::string n;
  bool fromArchive = true;
  if (storedName != nullptr) {
    // Only the last component counts: the entry lands beside the archive.
    const size_t sep = storedName->find_last_of("/\\");
    n = sep == std::string::npos ? *storedName : storedName->substr(sep + 1);
    if (n.empty() || n == "." || n == "..") n.clear();
    else fromArchive = false;
  }
  if (fromArchive) n = archiveName;
  const std::string ext = LowerExt(n);
  bool tarExt = false;
  for (const TFilter& f : Filters())
    for (const char* t : f.tarExtensions) tarExt = tarExt || ext == t;
  if (tarExt) n = Stem(n) + ".tar";
  else if (ext == ".tar") {
  } else if (fromArchive || (!ext.empty() && ext == LowerExt(archiveName))) {
    n = Stem(n);
  }
  if (textFlag && LowerExt(n).empty()) n += ".txt";
  if (n.empty() || plat::LowerCase(n) == plat::LowerCase(archiveName)) n += ".out";
  return n;
}

void TUnGZip::ProcessArchive() {
  memberChecks_ = false;
  TStream32* s = ArchiveStream();
  if (s == nullptr) {
    ArchiveFailed(E_READERROR);
    return;
  }
  uint8_t head[kFilterSignatureLen] = {};
  const TFilter* filter = FilterBySignature(head, ReadFullAt(*s, 0, head, kFilterSignatureLen));
  TByteCursor cursor(*s);
  const int m0 = cursor.Next(), m1 = cursor.Next();
  if (m0 != kGzipMagic0 && (filter == nullptr || filter->makeStep == nullptr)) {
    ArchiveFailed(E_BADFILEHEADER, "not a gzip or compress file");
    return;
  }
  const std::string archive = GetArchiveFile();
  TEntry e;
  e.packedSize = ArchiveSize();
  e.crcKind = 0;  // the trailers are compared by the decoder
  e.attr = 0x20;
  const plat::FileInfo fi = plat::FileStat(archive);
  e.unixTime = fi.exists ? fi.mtime : -1;
  TKind kind;
  bool translate = AsciiTranslation;
  int failCode = 0;
  std::string failText;
  if (filter != nullptr && filter->makeStep != nullptr) {
    kind = TKind::Library;
    translate = false;
    e.storedName = GzipMemberName(archive, nullptr, false);
  } else if (m1 == kGzipMagic1 || m1 == kGzipOldMagic1) {
    kind = TKind::Gzip;
    TGzipHeader h;
    const int first[2] = {m0, m1};
    int given = 0;
    const TGzipParse p = ParseGzipHeader([&] { return given < 2 ? first[given++] : cursor.Next(); }, h);
    if (p == TGzipParse::Truncated || p == TGzipParse::Reserved) {
      ArchiveFailed(p == TGzipParse::Truncated ? E_READERROR : E_BADFILEHEADER, "gzip header");
      return;
    }
    std::string stored;
    if (h.hasName) {
      TNameOrigin origin;
      origin.unixHost = true;
      origin.translateOem = TranslateOemChar;
      stored = DecodeEntryName(h.name, origin);
    }
    e.storedName = GzipMemberName(archive, h.hasName ? &stored : nullptr, (h.flags & kGzText) != 0);
    if (h.mtime != 0) e.unixTime = h.mtime;
    if (h.extraFlags & kGzXflBinary) translate = false;
    if (p == TGzipParse::Encrypted) failCode = E_PASSWORDPROTECTED;
    if (p == TGzipParse::BadMethod) {
      failCode = E_UNSUPPORTEDMETHOD;
      failText = GZipMethods().Described(h.method);
    }
    // For progress: the length the last member's trailer gives.
    uint8_t t[4] = {};
    if (ArchiveSize() >= kGzipHeaderSize + kGzipTrailerSize && s->Seek(ArchiveSize() - 4, plat::soFromBeginning) >= 0 &&
        s->Read(t, 4) == 4)
      e.unpackedSize = t[0] | (t[1] << 8) | (t[2] << 16) | (static_cast<int64_t>(t[3]) << 24);
  } else if (m1 == kLzwMagic1 || m1 == kPackMagic1 || m1 == kLzhMagic1) {
    kind = m1 == kLzwMagic1 ? TKind::Lzw : TKind::Unsupported;
    e.storedName = GzipMemberName(archive, nullptr, false);
    if (kind == TKind::Unsupported) {
      failCode = E_UNSUPPORTEDMETHOD;
      failText = m1 == kPackMagic1 ? "pack" : "LZH";
    } else {
      uint8_t h[kLzwHeaderSize] = {kGzipMagic0, kLzwMagic1, 0};
      const int flags = cursor.Next();
      h[2] = static_cast<uint8_t>(flags < 0 ? 0 : flags);
      switch (flags < 0 ? TLzwHeader::BadWidth : CheckLzwHeader(h)) {
        case TLzwHeader::ReservedBits: failCode = E_INCOMPLETECODESET; break;
        case TLzwHeader::BadWidth:
          failCode = E_CORRUPTINPUT;
          failText = "maximum code width " + std::to_string(h[2] & 0x1F);
          break;
        default: break;
      }
    }
  } else {
    ArchiveFailed(E_BADFILEHEADER, "not a gzip or compress file");
    return;
  }
  e.dosDate = e.unixTime >= 0 ? plat::UnixToDosDateTime(e.unixTime) : 0;

  if (failCode != 0) return RejectEntry(e, failCode, failText);
  if (filter != nullptr && ExtractNestedTar(*filter, e.storedName)) return;
  memberChecks_ = true;
  ExtractEntry(e, [this, kind, translate, filter] { return Decode(kind, translate, filter); });
  memberChecks_ = false;
}

bool TUnGZip::Decode(TKind kind, bool translate, const TFilter* filter) {
  trailersOk_ = true;
  asciiTranslate_ = translate;
  int64_t produced = 0;
  const TDecodeJob job = EntryJob(EntrySource(0, ArchiveSize()), -1, produced);
  int r;
  if (kind == TKind::Library) {
    int64_t drained = 0;
    r = DrainFilter(*OpenFilter(*filter, job.source, job.cancel), job, drained);
  } else if (kind == TKind::Gzip) {
    TGunzipReport report;
    r = Gunzip(job, &report);
    trailersOk_ = report.trailersOk;
  } else {
    r = Delzw(job);
  }
  asciiTranslate_ = false;
  return DecodeResultOk(r, produced, -1);
}

bool TUnGZip::CheckCrc(uint8_t crcKind, uint32_t stored) {
  if (memberChecks_) return !Cancelled() && trailersOk_;
  return TUnTarBase::CheckCrc(crcKind, stored);
}

bool TUnGZip::ExtractNestedTar(const TFilter& filter, const std::string& tarName) {
  if (OutputMode != omToFile && OutputMode != omTest) return false;
  TStream32* s = ArchiveStream();
  const int64_t size = ArchiveSize();
  TFilteredData data([this, s, size, &filter] { return OpenFilter(filter, StreamSource(*s, 0, size), CancelFlag()); });
  uint8_t b[kTarBlock];
  if (data.ReadAt(0, b, kTarBlock) != kTarBlock || !TarChecksumOk(b) || TarBlockIsZero(b)) return false;
  if (!OnNestedTarFile) {
    ReportError(tarName, "OnNestedTarFile", VolumeName, E_REQUIREDEVENT);
    return false;
  }
  bool doUnTar = false;
  OnNestedTarFile(this, tarName, doUnTar);
  if (!doUnTar) return false;
  const int before = Stats().extracted;
  // Its size is known once decoded: the walk ends where the bytes do.
  ExtractTarStream([&data](int64_t pos, uint8_t* buf, int64_t n) { return data.ReadAt(pos, buf, n); },
                   int64_t{1} << 60);
  if (data.Status() != drOk && data.Status() != drCancelled && !Cancelled())
    ArchiveFailed(data.Status() == drInputExhausted ? E_READERROR : E_BADBLOCK, filter.name);
  if (Stats().extracted > before && OnChangeArchive) OnChangeArchive(this, tarName, atTar);
  return true;
}

}  // namespace zid
