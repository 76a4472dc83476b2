#include "engine/zip/zidZipReader.h"

#include <algorithm>
#include <cstring>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidBytes.h"
#include "engine/base/zidDetect.h"
#include "engine/base/zidStreams.h"
#include "engine/zip/zidAes.h"
#include "engine/zip/zidCrypt.h"
#include "platform/files.h"

namespace zid {

namespace {

constexpr size_t kWindow = 65536;
// A local header is read with this much behind it: name and extra field
// nearly always fit, so one read does.
constexpr int64_t kLocalRead = 256;
constexpr int64_t kSearchWindow = 32768;

// The first local signature in the 32 KiB after `from`, or -1.
int64_t SearchLocalHeader(TStream32& arc, int64_t from) {
  std::vector<uint8_t> buf(kSearchWindow + 3);
  const int64_t n = ReadFullAt(arc, from, buf.data(), static_cast<int64_t>(buf.size()));
  for (int64_t i = 0; i + 4 <= n; ++i)
    if (buf[i] == 0x50 && IsLocalSig(Get32(&buf[i]))) return from + i;
  return -1;
}

}  // namespace

std::string UnsupportedEncryption(uint16_t flags, uint16_t method, std::string_view extra) {
  TAesExtra aes;
  if (method == kMethodAes && !FindAesExtra(reinterpret_cast<const uint8_t*>(extra.data()), extra.size(), aes))
    return "AES encryption without a WinZip AES field is not supported";
  if (flags & kFlagMaskedHeaders) return "an encrypted central directory is not supported";
  if ((flags & kFlagEncrypted) && (flags & kFlagStrongEncryption)) return "strong encryption is not supported";
  return std::string();
}

// ---------------------------------------------------------------------------
// The central records

TZipRecordReader::TZipRecordReader(TStream32& s, int64_t start, std::function<TStream32*()> nextDisk)
    : s_(&s), nextDisk_(std::move(nextDisk)), buf_(kWindow), bufStart_(start), readPos_(start) {}

bool TZipRecordReader::Refill(size_t n) {
  if (pos_ > 0) {
    std::memmove(buf_.data(), buf_.data() + pos_, len_ - pos_);
    len_ -= pos_;
    bufStart_ += static_cast<int64_t>(pos_);
    pos_ = 0;
  }
  if (buf_.size() < n) buf_.resize(n);
  while (len_ < n) {
    int64_t got = 0;
    if (s_->Seek(readPos_, plat::soFromBeginning) == readPos_)
      got = s_->Read(buf_.data() + len_, static_cast<int64_t>(buf_.size() - len_));
    if (got > 0) {
      len_ += static_cast<size_t>(got);
      readPos_ += got;
      continue;
    }
    // The end of this stream: a spanned set goes on at the start of the next disk.
    TStream32* next = nextDisk_ ? nextDisk_() : nullptr;
    if (next == nullptr) return false;
    s_ = next;
    readPos_ = 0;
    bufStart_ = -static_cast<int64_t>(len_);
  }
  return true;
}

bool TZipRecordReader::NextCentral(TCentralRecord& rec) {
  if (cut_) return false;
  if (!Ensure(4)) {
    cut_ = true;
    return false;
  }
  const uint32_t sig = Get32(&buf_[pos_]);
  if (!IsCentralSig(sig)) return false;
  if (!Ensure(kCentralHeaderSize)) {
    cut_ = true;
    return false;
  }
  uint8_t head[kCentralHeaderSize];
  std::memcpy(head, &buf_[pos_], sizeof head);
  rec.enciphered = IsEncipheredSig(sig);
  TCryptKeys keys{};
  if (rec.enciphered) keys = DecryptHeaderRecord(head, hrCentral);
  rec.header.Read(head);
  const TCentralHeader& h = rec.header;
  const size_t total = kCentralHeaderSize + h.NameLength + h.ExtraLength + h.CommentLength;
  if (!Ensure(total)) {
    cut_ = true;
    return false;
  }
  const char* p = reinterpret_cast<const char*>(&buf_[pos_]) + kCentralHeaderSize;
  if (rec.enciphered) {
    // The name continues the cipher stream of its record body.
    scratch_.assign(p, h.NameLength);
    keys.Decrypt(scratch_.data(), h.NameLength);
    rec.rawName = scratch_;
  } else {
    rec.rawName = std::string_view(p, h.NameLength);
  }
  rec.extra = std::string_view(p + h.NameLength, h.ExtraLength);
  rec.comment = std::string_view(p + h.NameLength + h.ExtraLength, h.CommentLength);
  rec.sizes = TEntrySizes{h.CompressedSize, h.UncompressedSize, h.LocalHeaderOffset};
  ParseExtraField(reinterpret_cast<const uint8_t*>(rec.extra.data()), rec.extra.size(), true, rec.sizes);
  pos_ += total;
  consumed_ += static_cast<int64_t>(total);
  return true;
}

// ---------------------------------------------------------------------------
// Local headers

namespace {

// Name and extra field from the record's bytes (header first).
void TakeNameAndExtra(const uint8_t* record, TLocalInfo& info) {
  const auto* p = reinterpret_cast<const char*>(record) + kLocalHeaderSize;
  info.rawName.assign(p, info.header.NameLength);
  info.extra.assign(p + info.header.NameLength, info.header.ExtraLength);
}

TLocalRead LocalRecordRead(TLocalInfo& info, int64_t offset, int64_t headerBytes) {
  info.sizes = TEntrySizes{info.header.CompressedSize, info.header.UncompressedSize, offset};
  ParseExtraField(reinterpret_cast<const uint8_t*>(info.extra.data()), info.extra.size(), false, info.sizes);
  info.dataOffset = offset + headerBytes;
  return TLocalRead::Ok;
}

}  // namespace

TLocalRead ReadLocalRecord(TStream32& arc, int64_t offset, TLocalInfo& info) {
  if (offset < 0) return TLocalRead::NotFound;
  // Straight from the stream's read-ahead window where it holds the record.
  if (const uint8_t* p = arc.Peek(offset, kLocalHeaderSize);
      p != nullptr && IsLocalSig(Get32(p)) && !IsEncipheredSig(Get32(p))) {
    info.header.Read(p);
    const int64_t want = static_cast<int64_t>(kLocalHeaderSize) + info.header.NameLength + info.header.ExtraLength;
    if (const uint8_t* q = arc.Peek(offset, want)) {
      TakeNameAndExtra(q, info);
      return LocalRecordRead(info, offset, want);
    }
  }
  uint8_t buf[kLocalHeaderSize + kLocalRead];
  const int64_t got = ReadFullAt(arc, offset, buf, sizeof buf);
  if (got < 4 || !IsLocalSig(Get32(buf))) return TLocalRead::NotFound;
  if (got < static_cast<int64_t>(kLocalHeaderSize)) return TLocalRead::Cut;
  const bool enciphered = IsEncipheredSig(Get32(buf));
  TCryptKeys keys{};
  if (enciphered) keys = DecryptHeaderRecord(buf, hrLocal);
  info.header.Read(buf);
  const int64_t n = info.header.NameLength;
  const int64_t x = info.header.ExtraLength;
  const int64_t want = static_cast<int64_t>(kLocalHeaderSize) + n + x;
  if (want <= got) {
    TakeNameAndExtra(buf, info);
  } else {
    std::string rest(static_cast<size_t>(n + x), '\0');
    if (ReadFullAt(arc, offset + static_cast<int64_t>(kLocalHeaderSize), rest.data(), n + x) != n + x)
      return TLocalRead::Cut;
    info.rawName = rest.substr(0, static_cast<size_t>(n));
    info.extra = rest.substr(static_cast<size_t>(n));
  }
  if (enciphered) keys.Decrypt(info.rawName.data(), n);
  return LocalRecordRead(info, offset, want);
}

// ---------------------------------------------------------------------------
// The checks

TZipLayout ZipLayoutOf(const TArchiveDetection& d, int64_t fileSize) {
  TZipLayout l;
  l.dirStart = d.ArcStartOffset;
  l.fileSize = fileSize;
  l.offsetAdjust = d.ZipOffsetAdjust;
  l.endRecordPos = fileSize;
  if (!(d.ZipStructureFlags & htEnding)) return l;
  TEndRecord end;
  end.Read(d.EndRecord.data());
  l.endRecordPos = d.ZipCommentPos - static_cast<int64_t>(end.Size());
  l.endRecordCut = d.ZipCommentPos > fileSize;
  l.commentCut = !l.endRecordCut && d.ZipCommentPos + end.CommentLength > fileSize;
  l.dirDisk = end.DirectoryDisk;
  l.declaredEntries = end.TotalEntries;
  l.declaredSize = end.DirectorySize;
  if (d.ZipStructureFlags & htEnding64) {
    TZip64EndRecord z;
    z.Read(d.Zip64EndRecord.data());
    if (end.TotalEntries == 0xFFFF) l.declaredEntries = z.TotalEntries;
    if (end.DirectorySize == 0xFFFFFFFF) l.declaredSize = z.DirectorySize;
    if (end.DirectoryDisk == 0xFFFF) l.dirDisk = static_cast<int>(z.DirectoryDisk);
    l.countsWrap = end.TotalEntries != 0xFFFF;
  }
  return l;
}

int CheckEntryPlace(const TZipLayout& layout, int disk, int64_t offset, int64_t compressedSize, std::string& why) {
  if (offset < 0) {
    why = "the local header would lie before the start of the file";
    return E_BADLOCALOFFSET;
  }
  if (layout.spanned && disk != layout.dirDisk) return 0;
  const int64_t limit = layout.dirStart;
  if (offset + static_cast<int64_t>(kLocalHeaderSize) > limit) {
    why = "the local header would lie past the start of the central directory";
    return E_BADLOCALOFFSET;
  }
  if (compressedSize < 0 || compressedSize > limit - offset - static_cast<int64_t>(kLocalHeaderSize)) {
    why = "the entry's data would run into the central directory";
    return E_BADLOCALOFFSET;
  }
  return 0;
}

void TZipOverlapCheck::Add(uint32_t index, int disk, int64_t start, int64_t compressedSize) {
  const TRange r{disk, start, start + static_cast<int64_t>(kLocalHeaderSize) + std::max<int64_t>(0, compressedSize),
                 index};
  if (keepAll_) {
    ranges_.push_back(r);
    return;
  }
  if (!ordered_) return;
  if (disk > last_.disk || (disk == last_.disk && start >= last_.end)) {
    last_ = r;
  } else if (disk == last_.disk && start >= last_.start) {
    found_.push_back(index);
  } else {
    ordered_ = false;
  }
}

std::vector<uint32_t> TZipOverlapCheck::Overlapping() {
  if (!keepAll_) return found_;
  std::sort(ranges_.begin(), ranges_.end(), [](const TRange& a, const TRange& b) {
    if (a.disk != b.disk) return a.disk < b.disk;
    if (a.start != b.start) return a.start < b.start;
    return a.index < b.index;
  });
  std::vector<uint32_t> out;
  int disk = -1;
  int64_t end = 0;
  for (const TRange& r : ranges_) {
    if (r.disk != disk) {
      disk = r.disk;
      end = r.end;
      continue;
    }
    if (r.start < end) {
      out.push_back(r.index);  // its bytes belong to the entry before it
      continue;
    }
    end = r.end;
  }
  std::sort(out.begin(), out.end());
  return out;
}

namespace {

// One walk over the directory records.
void Walk(TStream32& arc, const TZipLayout& layout, const TZipScanOptions& opt, TZipScan& scan,
          TZipOverlapCheck* overlap, const std::function<bool(const TCheckedRecord&)>& visit) {
  TZipRecordReader rd(arc, layout.dirStart, opt.nextDisk);
  TCentralRecord rec;
  TCheckedRecord c;
  c.rec = &rec;
  const bool decideCorrection = opt.overlapping == nullptr;
  size_t nextOverlap = 0;
  scan.records = 0;
  for (uint32_t index = 0;; ++index) {
    if (opt.cancelled && opt.cancelled()) {
      scan.stopped = true;
      break;
    }
    if (!rd.NextCentral(rec)) break;
    scan.found = true;
    ++scan.records;
    const int disk = rec.header.DiskNumberStart;
    int64_t offset = rec.sizes.LocalHeaderOffset + (layout.spanned ? 0 : layout.offsetAdjust);
    if (decideCorrection && index == 0 && !layout.spanned) {
      // A stub added in front without fixing the offsets: the first local
      // header lies a little after its stored place, and so do all others.
      TLocalInfo li;
      if (ReadLocalRecord(arc, offset, li) == TLocalRead::NotFound && offset >= -1) {
        const int64_t found = SearchLocalHeader(arc, offset + 1);
        if (found >= 0) scan.correction = found - offset;
      }
    }
    offset += scan.correction;
    c.index = index;
    c.localOffset = offset;
    c.why.clear();
    c.problem = CheckEntryPlace(layout, disk, offset, rec.sizes.CompressedSize, c.why);
    if (overlap && c.problem == 0) overlap->Add(index, disk, offset, rec.sizes.CompressedSize);
    c.overlaps = false;
    if (opt.overlapping) {
      const std::vector<uint32_t>& o = *opt.overlapping;
      while (nextOverlap < o.size() && o[nextOverlap] < index) ++nextOverlap;
      c.overlaps = nextOverlap < o.size() && o[nextOverlap] == index;
    }
    if (visit && !visit(c)) {
      scan.stopped = true;
      break;
    }
  }
  scan.cut = rd.Cut();
  if (scan.stopped || scan.cut || !scan.found) return;
  // What the end record says against what was found.
  const uint64_t found = scan.records;
  const bool countOk = layout.countsWrap ? (found & 0xFFFF) == layout.declaredEntries : found == layout.declaredEntries;
  if (!countOk)
    scan.warnings.push_back("the end record counts " + std::to_string(layout.declaredEntries) +
                            " entries, the central directory holds " + std::to_string(found));
  if (!layout.spanned && layout.dirStart + static_cast<int64_t>(layout.declaredSize) > layout.endRecordPos)
    scan.warnings.push_back("the central directory size in the end record (" + std::to_string(layout.declaredSize) +
                            " bytes) runs past the end record");
  else if (static_cast<uint64_t>(rd.BytesRead()) != layout.declaredSize)
    scan.warnings.push_back("the end record gives a central directory of " + std::to_string(layout.declaredSize) +
                            " bytes, " + std::to_string(rd.BytesRead()) + " were found");
}

}  // namespace

void ScanCentralDirectory(TStream32& arc, const TZipLayout& layout, const TZipScanOptions& opt, TZipScan& scan,
                          const std::function<bool(const TCheckedRecord&)>& visit) {
  scan = TZipScan{};
  if (opt.overlapping) {
    scan.correction = opt.correction;
    Walk(arc, layout, opt, scan, nullptr, visit);
    scan.overlapping = *opt.overlapping;
  } else {
    TZipOverlapCheck check(layout.spanned);
    Walk(arc, layout, opt, scan, &check, visit);
    if (!check.Complete() && !scan.stopped) {
      // Offsets out of order: a second walk keeps every range.
      TZipOverlapCheck all(true);
      TZipScan again;
      TZipScanOptions o = opt;
      o.overlapping = nullptr;
      Walk(arc, layout, o, again, &all, nullptr);
      scan.overlapping = all.Overlapping();
    } else {
      scan.overlapping = check.Overlapping();
    }
  }
  if (layout.endRecordCut) scan.warnings.push_back("the end record is cut short");
  else if (layout.commentCut) scan.warnings.push_back("the archive comment is cut short");
}

}  // namespace zid
