#include "engine/zip/zidZipBase.h"

#include <algorithm>
#include <array>

#include "engine/base/zidBytes.h"
#include "engine/base/zidMethods.h"
#include "engine/base/zidStreams.h"
#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidDeflate.h"
#include "engine/zip/zidStoreDeflate.h"
#include "engine/zip/zidZipNames.h"
#include "engine/zip/zidZipReader.h"
#include "engine/zip/zidUnZipDecode.h"
#include "platform/codepage.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace {

constexpr int64_t k4G = int64_t{1} << 32;
constexpr uint32_t kDescriptorSig = 0x08074B50;

bool ReadExact(TStream32& s, int64_t pos, void* buf, int64_t n) {
  if (n == 0) return true;
  if (s.Seek(pos, plat::soFromBeginning) != pos) return false;
  return s.Read(buf, n) == n;
}

// The extra field without any ID 100 block (it is rebuilt from the item's sizes).
std::string WithoutLargeFileField(const std::string& extra) {
  std::string out;
  size_t p = 0;
  while (p + 4 <= extra.size()) {
    const uint16_t id = Get16(extra.data() + p);
    const size_t len = Get16(extra.data() + p + 2);
    if (p + 4 + len > extra.size()) break;
    if (id != kExtraLargeFile) out.append(extra, p, 4 + len);
    p += 4 + len;
  }
  return out;
}

}  // namespace

std::string ZipNameBytes(const std::string& name, uint16_t& flags) {
  std::string bytes = name;
  std::replace(bytes.begin(), bytes.end(), '\\', '/');
  // A name on disk that is not valid UTF-8 keeps its bytes: flagged, it
  // would be refused by readers that check the flag's promise.
  if (plat::IsAscii(bytes) || !plat::IsValidUtf8(bytes))
    flags = static_cast<uint16_t>(flags & ~kFlagUtf8);
  else
    flags = static_cast<uint16_t>(flags | kFlagUtf8);
  return bytes;
}

TZipBase::~TZipBase() = default;

TZipBase::TZipBase() {
  det_.ArcType = atZip;
  supported_ = TCompressMethods(ZipMethods().WriterMethods());
  compressMethod_ = cmDeflate;
  DefaultExt = ".ZIP";
}

void TZipBase::SetArcType(TArcType value) { det_.ArcType = value; }

// ---- the old directory ----------------------------------------------------------------

bool TZipBase::ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list) {
  const std::string& arc = GetArchiveFile();
  const TArcType t = oldDet_.ArcType;
  if (!IsZipFamily(t)) {
    ReportError(arc, ArcTypeEnumName(t), VolumeName, E_BADARCTYPE);
    return false;
  }
  // Archives this writer cannot rebuild faithfully are left alone.
  if ((oldDet_.ZipStructureFlags & htEnding) == 0 || (oldDet_.ZipStructureFlags & (htLocator | htEnding64)) != 0) {
    ReportError(arc, "", VolumeName, E_BADFILEHEADER);
    return false;
  }
  TEndRecord end;
  end.Read(oldDet_.EndRecord.data());
  const int64_t fileSize = in.Size();
  auto bad = [&](const std::string& name) {
    ReportError(arc, name, VolumeName, E_BADFILEHEADER);
    return false;
  };

  // The archive comment: its bytes behind the end record, as far as the file goes.
  list.ArchiveComment.clear();
  if (end.CommentLength > 0 && oldDet_.ZipCommentPos > 0 && oldDet_.ZipCommentPos < fileSize) {
    const int64_t n = std::min<int64_t>(end.CommentLength, fileSize - oldDet_.ZipCommentPos);
    list.ArchiveComment.resize(static_cast<size_t>(n));
    if (!ReadExact(in, oldDet_.ZipCommentPos, list.ArchiveComment.data(), n)) list.ArchiveComment.clear();
  }

  if (end.TotalEntries == 0 && (oldDet_.ZipStructureFlags & htCentral) == 0) return true;  // an empty archive
  TZipLayout layout = ZipLayoutOf(oldDet_, fileSize);
  TZipScanOptions opt;
  opt.cancelled = [this] { return cancel_; };
  TZipScan scan;
  int64_t firstLocal = -1;
  std::string badName;
  list.Items.reserve(std::min<uint64_t>(layout.declaredEntries, 65536));
  ScanCentralDirectory(in, layout, opt, scan, [&](const TCheckedRecord& c) {
    const TCentralRecord& r = *c.rec;
    TCompHeaderItem it;
    TZipEntryRecord& z = it.Record<TZipEntryRecord>();
    z.Central = r.header;
    z.RawName.assign(r.rawName);
    z.Extra.assign(r.extra);
    z.Comment.assign(r.comment);
    z.HeadersEnciphered = r.enciphered;
    it.StoredDate = (uint32_t{z.Central.Date} << 16) | z.Central.Time;
    it.StoredAttr = z.Central.ExternalAttr & 0xFF;
    it.PackedSize = r.sizes.CompressedSize;
    it.UnpackedSize = r.sizes.UncompressedSize;
    it.Offset = c.localOffset;
    it.Name = plat::ToNative(ZipEntryName(z.RawName, z.Central.Flags, z.Central.VersionMadeBy, z.Extra,
                                          TranslateOemChar));
    if (c.problem != 0) {
      badName = it.Name;
      return false;
    }
    if (firstLocal < 0 || it.Offset < firstLocal) firstLocal = it.Offset;
    it.Action = caCopy;
    if (Switch == swDelete && MatchesSpec(it.Name, RecurseDirs)) it.Action = caDrop;
    list.Items.push_back(std::move(it));
    return true;
  });
  if (cancel_) return false;
  if (!badName.empty() || scan.stopped) return bad(badName);
  if (!scan.found || scan.cut) return bad("");
  // Entries that share bytes cannot be copied apart.
  if (!scan.overlapping.empty()) return bad(list.Items[scan.overlapping.front()].Name);
  if (t == atZipExe || t == atJarExe)
    stubLength_ = firstLocal >= 0 ? firstLocal : std::max<int64_t>(0, oldDet_.ArcStartOffset);
  return true;
}

bool TZipBase::EntrySpan(TStream32& in, const TCompHeaderItem& item, int64_t& headerExtra, int64_t& total) {
  std::array<uint8_t, kLocalHeaderSize> rec{};
  if (!ReadExact(in, item.Offset, rec.data(), kLocalHeaderSize)) return false;
  const uint32_t sig = Get32(rec.data());
  if (!IsLocalSig(sig)) return false;
  if (IsEncipheredSig(sig)) DecryptHeaderRecord(rec.data(), hrLocal);
  TLocalHeader lh;
  lh.Read(rec.data());
  headerExtra = lh.NameLength;
  total = static_cast<int64_t>(kLocalHeaderSize) + lh.NameLength + lh.ExtraLength + item.PackedSize;
  if (item.Record<TZipEntryRecord>().Central.Flags & 8) {
    // A data descriptor follows: 16 bytes with its signature, 12 without.
    uint8_t s[4];
    total += ReadExact(in, item.Offset + total, s, 4) && Get32(s) == kDescriptorSig ? 16 : 12;
  }
  return item.Offset + total <= in.Size();
}

bool TZipBase::CopyEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  int64_t nameLen = 0, total = 0;
  if (!EntrySpan(in, it, nameLen, total)) {
    RaiseError(GetArchiveFile(), it.Name, VolumeName, E_BADLOCALOFFSET);
    return false;
  }
  const int64_t newOffset = out.Seek(0, plat::soFromEnd);
  in.Seek(it.Offset, plat::soFromBeginning);
  if (out.CopyFrom(in, total) != total) return false;
  it.Offset = newOffset;
  return true;
}

bool TZipBase::CopyRenamedEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  int64_t oldNameLen = 0, total = 0;
  std::array<uint8_t, kLocalHeaderSize> rec{};
  TZipEntryRecord& z = it.Record<TZipEntryRecord>();
  if (!EntrySpan(in, it, oldNameLen, total) || !ReadExact(in, it.Offset, rec.data(), kLocalHeaderSize)) {
    RaiseError(GetArchiveFile(), it.Name, VolumeName, E_BADLOCALOFFSET);
    return false;
  }
  if (IsEncipheredSig(Get32(rec.data()))) DecryptHeaderRecord(rec.data(), hrLocal);
  TLocalHeader lh;
  lh.Read(rec.data());
  uint16_t flags = lh.Flags;
  std::string name = ZipNameBytes(it.Name, flags);
  if (name.size() > 0xFFFF) return false;
  lh.Flags = flags;
  lh.NameLength = static_cast<uint16_t>(name.size());
  lh.Signature = z.HeadersEnciphered ? kLocalSigEnc : kLocalSig;
  lh.Write(rec.data());
  z.RawName = name;
  z.Central.Flags = flags;
  if (z.HeadersEnciphered)
    EncryptHeaderRecord(rec.data(), hrLocal, reinterpret_cast<uint8_t*>(name.data()), static_cast<int64_t>(name.size()));
  const int64_t newOffset = out.Seek(0, plat::soFromEnd);
  if (out.Write(rec.data(), kLocalHeaderSize) != static_cast<int64_t>(kLocalHeaderSize)) return false;
  if (out.Write(name.data(), static_cast<int64_t>(name.size())) != static_cast<int64_t>(name.size())) return false;
  const int64_t rest = total - static_cast<int64_t>(kLocalHeaderSize) - oldNameLen;
  in.Seek(it.Offset + static_cast<int64_t>(kLocalHeaderSize) + oldNameLen, plat::soFromBeginning);
  if (out.CopyFrom(in, rest) != rest) return false;
  it.Offset = newOffset;
  return true;
}

// ---- a new entry ------------------------------------------------------------------------

bool TZipBase::CompressEntry(TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  const TDeflateType dt = compressMethod_ == cmStore ? dtDeflateS : DeflateType;
  std::unique_ptr<TFileStream32> src;
  int64_t size = 0;
  // The first new entry of a run plans the rest; files are compressed ahead by the workers.
  if (!it.HasRecord()) {
    PlanEntries(list, index);
    StartPrefetch(list, index, dt);
  }
  TZipPrefetch::TResult pre;
  bool prefetched = false;
  if (!it.IsDir) {
    if (cancel_ && prefetch_) prefetch_->Stop();
    prefetched = prefetch_ && prefetch_->Take(index, it.SourcePath, pre);
    if (!prefetched && prefetch_) {
      // Left from an operation that ended early: start again from here.
      StartPrefetch(list, index, dt);
      prefetched = prefetch_ && prefetch_->Take(index, it.SourcePath, pre);
    }
    if (cancel_) return false;
  }
  if (prefetched) {
    if (pre.openFailed) {
      plat::SetLastError(pre.openError);
      return SourceUnreadable(it.SourcePath);
    }
    size = pre.size;
  } else if (!it.IsDir) {
    src = std::make_unique<TFileStream32>(it.SourcePath, plat::fmOpenRead | plat::fmShareDenyNone);
    if (!src->IsOpen()) return SourceUnreadable(it.SourcePath);
    size = src->Size();
    if (size < 0) size = 0;
  }
  const bool encrypt = size > 0 && !Password.empty();
  bool store = it.IsDir || size == 0 || dt == dtDeflateS || StoreByType(it.Name);

  uint16_t flags = 0;
  std::string name = ZipNameBytes(it.Name, flags);
  if (name.size() > 0xFFFF) {
    ReportError(it.SourcePath, "", VolumeName, E_BADFILENAME);
    return false;
  }
  FileName = it.Name;
  const int64_t start = out.Seek(0, plat::soFromEnd);
  const bool large = NeedsLargeFileExtra(size, start);
  const size_t extraLen = large ? kLargeFileExtraLocal : 0;
  const int64_t headLen = static_cast<int64_t>(kLocalHeaderSize + name.size() + extraLen);
  // Compressed here, the data follows room for the header, whose real
  // content is written once the sizes are known; compressed ahead, header and
  // data go out together.
  if (!prefetched) {
    std::string placeholder(static_cast<size_t>(headLen), '\0');
    out.WriteBuffer(placeholder.data(), headLen);
  }

  uint32_t crc = 0;
  int64_t packed = 0;
  if (prefetched) {
    if (pre.data.status == TStoreDeflateStatus::ReadError) SourceChanged(it.SourcePath, pre.data.read, pre.size);
    if (pre.data.status != TStoreDeflateStatus::Ok) return false;
    packed = pre.bytes->Size();
    store = pre.data.stored;
    crc = pre.data.crc;
  } else if (src) {
    TStoreDeflateJob job;
    job.source = src.get();
    job.size = size;
    job.store = store;
    job.encrypt = encrypt;
    job.salt = it.Record<TZipEntryRecord>().Salt;
    job.type = dt;
    const TStoreDeflateResult r = WriteFileData(*this, out, job, it.FileSize, it.SourcePath);
    if (r.status != TStoreDeflateStatus::Ok) return false;
    store = r.stored;
    crc = r.crc;
  }
  if (cancel_) return false;

  if (!prefetched) packed = out.Seek(0, plat::soFromEnd) - start - headLen;
  if (encrypt) flags |= 1;
  if (!store) flags |= DeflateFlagBits(dt);
  const uint32_t date = it.IsDir ? it.FileDate : EntryDate(it.FileDate);
  TLocalHeader lh;
  lh.Signature = EncryptHeaders ? kLocalSigEnc : kLocalSig;
  lh.VersionNeeded = 20;
  lh.Flags = flags;
  lh.Method = store ? 0 : 8;
  lh.Time = static_cast<uint16_t>(date & 0xFFFF);
  lh.Date = static_cast<uint16_t>(date >> 16);
  lh.Crc32 = size == 0 ? 0 : crc;
  lh.CompressedSize = static_cast<uint32_t>(packed);
  lh.UncompressedSize = static_cast<uint32_t>(size);
  lh.NameLength = static_cast<uint16_t>(name.size());
  lh.ExtraLength = static_cast<uint16_t>(extraLen);

  TCentralHeader ch;
  ch.CopyFromLocal(lh);
  ch.Signature = kCentralSig;
  ch.VersionMadeBy = 20;
  ch.VersionNeeded = 20;
  ch.ExtraLength = static_cast<uint16_t>(large ? kLargeFileExtraCentral : 0);
  ch.InternalAttr = 1;
  ch.ExternalAttr = it.IsDir ? plat::faDirectory : it.FileAttr;
  ch.LocalHeaderOffset = static_cast<uint32_t>(start);
  if (!plat::IsAscii(name)) {
    // unzip turns names from a DOS host into ISO-8859-1 even when they are
    // flagged UTF-8; from a Unix host it takes them as they are (bytes that
    // are not UTF-8 too). Such entries therefore name the Unix host and carry
    // their permission bits, which that host's readers apply.
    const plat::FileInfo fi = plat::FileStat(it.SourcePath);
    const uint32_t mode = it.IsDir ? (0040000u | (fi.exists ? fi.mode & 0777 : 0755))
                                   : (0100000u | (fi.exists ? fi.mode & 0777 : 0644));
    ch.VersionMadeBy = 0x0314;
    ch.ExternalAttr |= mode << 16;
  }

  std::string head(static_cast<size_t>(headLen), '\0');
  auto* hp = reinterpret_cast<uint8_t*>(head.data());
  lh.Write(hp);
  std::copy(name.begin(), name.end(), head.begin() + kLocalHeaderSize);
  const TEntrySizes sizes{packed, size, start};
  if (large) WriteLargeFileExtra(hp + kLocalHeaderSize + name.size(), false, sizes);
  if (EncryptHeaders) EncryptHeaderRecord(hp, hrLocal, hp + kLocalHeaderSize, static_cast<int64_t>(name.size()));
  if (prefetched) {
    if (auto* mem = dynamic_cast<TMemoryStream32*>(pre.bytes.get())) {
      head.append(static_cast<const char*>(mem->Memory()), static_cast<size_t>(packed));
      out.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    } else {
      out.WriteBuffer(head.data(), headLen);
      if (out.CopyFrom(*pre.bytes, packed) != packed) RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
    }
    BytesRemaining -= size;
    ReportProgress(it.FileSize, it.FileSize);
  } else {
    out.Seek(start, plat::soFromBeginning);
    out.WriteBuffer(head.data(), headLen);
    out.Seek(0, plat::soFromEnd);
  }

  TZipEntryRecord& z = it.Record<TZipEntryRecord>();
  z.Central = ch;
  z.RawName = name;
  z.Extra.clear();
  if (large) {
    uint8_t cx[kLargeFileExtraCentral];
    WriteLargeFileExtra(cx, true, sizes);
    z.Extra.assign(reinterpret_cast<const char*>(cx), kLargeFileExtraCentral);
  }
  z.Comment.clear();
  z.HeadersEnciphered = EncryptHeaders;
  it.Offset = start;
  it.PackedSize = packed;
  it.UnpackedSize = size;
  it.Crc = lh.Crc32;
  if (OnEnd) OnEnd(this, it.Name, true);
  return true;
}

void TZipBase::PlanEntries(TCompHeaderObj& list, int from) {
  for (int i = from; i < list.Count(); ++i) {
    TCompHeaderItem& it = list[i];
    if (it.Action != caCompress || it.HasRecord()) continue;
    TZipEntryRecord& z = it.Record<TZipEntryRecord>();
    if (!Password.empty() && !it.IsDir && it.FileSize > 0) z.Salt = RandomCryptSalt();
  }
}

void TZipBase::StartPrefetch(TCompHeaderObj& list, int from, TDeflateType dt) {
  prefetch_.reset();
  std::vector<TZipPrefetch::TJob> jobs;
  for (int i = from; i < list.Count(); ++i) {
    TCompHeaderItem& it = list[i];
    if (it.Action != caCompress || it.IsDir) continue;
    jobs.push_back(TZipPrefetch::TJob{i, it.SourcePath, it.FileSize, dt == dtDeflateS || StoreByType(it.Name), dt,
                                      it.Record<TZipEntryRecord>().Salt});
  }
  // One file gains nothing from a worker.
  if (jobs.size() < 2 || CompressWorkers == 1) return;
  const int workers = CompressWorkers > 1 ? CompressWorkers : TZipPrefetch::DefaultWorkers();
  prefetch_ = std::make_unique<TZipPrefetch>(std::move(jobs), GetTempDir(), Password, workers);
}

// ---- closing records -----------------------------------------------------------------------

void TZipBase::WriteEmptyArchive(TStream32& out) {
  prefetch_.reset();
  uint8_t rec[kEndRecordSize] = {};
  Put32(rec, kEndSig);
  out.Seek(0, plat::soFromEnd);
  out.WriteBuffer(rec, kEndRecordSize);
}

bool TZipBase::FinishArchive(TStream32& out, TCompHeaderObj& list) {
  prefetch_.reset();
  return WriteDirectory(out, list);
}

bool TZipBase::WriteDirectory(TStream32& out, TCompHeaderObj& list) {
  const int64_t dirOffset = out.Seek(0, plat::soFromEnd);
  auto put = [&out](const void* p, int64_t n) { return n == 0 || out.Write(p, n) == n; };
  uint32_t count = 0;
  for (auto& it : list.Items) {
    if (it.Action == caDrop) continue;
    const TZipEntryRecord& z = it.Record<TZipEntryRecord>();
    TCentralHeader ch = z.Central;
    std::string extra = z.Extra;
    const bool hadLarge = WithoutLargeFileField(extra).size() != extra.size();
    if (hadLarge || NeedsLargeFileExtra(it.UnpackedSize, it.Offset)) {
      extra = WithoutLargeFileField(extra);
      uint8_t cx[kLargeFileExtraCentral];
      WriteLargeFileExtra(cx, true, TEntrySizes{it.PackedSize, it.UnpackedSize, it.Offset});
      extra.append(reinterpret_cast<const char*>(cx), kLargeFileExtraCentral);
    }
    if (extra.size() > 0xFFFF || z.RawName.size() > 0xFFFF) return false;
    const std::string comment = z.Comment.substr(0, 0xFFFF);
    ch.Signature = z.HeadersEnciphered ? kCentralSigEnc : kCentralSig;
    ch.LocalHeaderOffset = static_cast<uint32_t>(it.Offset);
    ch.NameLength = static_cast<uint16_t>(z.RawName.size());
    ch.ExtraLength = static_cast<uint16_t>(extra.size());
    ch.CommentLength = static_cast<uint16_t>(comment.size());
    uint8_t rec[kCentralHeaderSize];
    ch.Write(rec);
    std::string name = z.RawName;
    if (z.HeadersEnciphered)
      EncryptHeaderRecord(rec, hrCentral, reinterpret_cast<uint8_t*>(name.data()), static_cast<int64_t>(name.size()));
    if (!put(rec, kCentralHeaderSize) || !put(name.data(), static_cast<int64_t>(name.size())) ||
        !put(extra.data(), static_cast<int64_t>(extra.size())) ||
        !put(comment.data(), static_cast<int64_t>(comment.size())))
      return false;
    ++count;
  }
  // The end record counts entries in 16 bits: more would make a broken archive.
  if (count > 0xFFFF) {
    ReportError(GetArchiveFile(), "", VolumeName, E_TOOMANYDIRS);
    return false;
  }
  const int64_t dirEnd = out.Position();
  TEndRecord er;
  er.Signature = dirEnd >= k4G ? kLargeEndSig : kEndSig;
  er.EntriesThisDisk = static_cast<uint16_t>(count);
  er.TotalEntries = static_cast<uint16_t>(count);
  er.DirectorySize = static_cast<uint32_t>(dirEnd - dirOffset);
  er.DirectoryOffset = static_cast<uint64_t>(dirOffset);
  const std::string comment = list.ArchiveComment.substr(0, 0xFFFF);
  er.CommentLength = static_cast<uint16_t>(comment.size());
  uint8_t rec[kLargeEndRecordSize] = {};
  er.Write(rec);
  return put(rec, static_cast<int64_t>(er.Size())) && put(comment.data(), static_cast<int64_t>(comment.size()));
}

void TZipBase::AfterWrite(TCompHeaderObj& list) {
  TotalPackedSize = 0;
  TotalUnpackedSize = 0;
  for (const auto& it : list.Items) {
    if (it.Action == caDrop) continue;
    TotalPackedSize += it.PackedSize - ((it.Record<TZipEntryRecord>().Central.Flags & 1) ? kEncryptionHeaderSize : 0);
    TotalUnpackedSize += it.UnpackedSize;
  }
  if (Switch == swDelete) return;
  for (int i = 0; i < list.Count(); ++i) {
    const TCompHeaderItem& it = list[i];
    if (it.Action != caCompress) continue;
    if (!OnRead) break;
    const TCentralHeader& central = it.Record<TZipEntryRecord>().Central;
    VersionMadeBy = central.VersionMadeBy;
    VersionNeeded = central.VersionNeeded;
    Encrypted = (central.Flags & 1) != 0;
    PackedSize = it.PackedSize;
    UnpackedSize = it.UnpackedSize;
    Ratio = CalcRatio(UnpackedSize, PackedSize);
    CRC = central.Crc32;
    MethodId = central.Method;
    MethodName = ZipMethodName(central.Method, central.Flags, central.ExternalAttr);
    ExternalAttr = central.ExternalAttr;
    InternalAttr = central.InternalAttr;
    plat::DosDateTimeToDateTime((uint32_t{central.Date} << 16) | central.Time, FileDate);
    FileName = it.Name;
    OnRead(this, it.Offset, i);
  }
}

// ---- comments ----------------------------------------------------------------------------

bool TZipBase::LoadComments() {
  list_.Clear();
  if (!OpenArchive(GetArchiveFile())) return false;
  oldDet_ = TArchiveDetection{};
  oldDet_.ArchiveFile = GetArchiveFile();
  DetectArcType(*archive_, oldDet_);
  const TSwitch saved = Switch;
  Switch = swAdd;
  const bool ok = ReadArchiveDirectory(*archive_, list_);
  Switch = saved;
  CloseArchive();
  list_.CommentChanged = false;
  if (!ok) list_.Clear();
  return ok;
}

std::string TZipBase::GetEntryName(int index) const {
  return index >= 0 && index < list_.Count() ? list_[index].Name : std::string();
}

std::string TZipBase::GetEntryComment(int index) const {
  return index >= 0 && index < list_.Count() ? list_[index].Record<TZipEntryRecord>().Comment : std::string();
}

void TZipBase::SetEntryComment(int index, const std::string& comment) {
  if (index < 0 || index >= list_.Count()) return;
  std::string& old = list_[index].Record<TZipEntryRecord>().Comment;
  if (old == comment) return;
  old = comment.substr(0, 0xFFFF);
  list_.CommentChanged = true;
}

void TZipBase::SetArchiveComment(const std::string& comment) {
  if (list_.ArchiveComment == comment) return;
  list_.ArchiveComment = comment.substr(0, 0xFFFF);
  list_.CommentChanged = true;
}

bool TZipBase::SaveComments() {
  if (!list_.CommentChanged) return false;
  try {
    if (!OpenArchive(GetArchiveFile())) return false;
    // The entries stay where they are: everything before the directory is copied as it is.
    const int64_t dirStart = list_.Count() > 0 ? oldDet_.ArcStartOffset : 0;
    TTempFileStream tmp(this, plat::fmCreate, GetArchiveFile(), GetTempDir(), &cancel_);
    if (!tmp.IsOpen()) RaiseError(GetTempDir(), "", VolumeName, E_OPENERROR);
    archive_->Seek(0, plat::soFromBeginning);
    if (dirStart > 0 && tmp.CopyFrom(*archive_, dirStart) != dirStart) RaiseError(GetArchiveFile(), "", VolumeName, E_READERROR);
    if (!WriteDirectory(tmp, list_)) RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
    CloseArchive();
    if (!tmp.Publish()) return false;
    list_.CommentChanged = false;
    return true;
  } catch (...) {
    CloseArchive();
    ReportCaught();
    return false;
  }
}

}  // namespace zid
