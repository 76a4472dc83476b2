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

constexpr uint32_t kDescriptorSig = 0x08074B50;

bool ReadExact(TStream32& s, int64_t pos, void* buf, int64_t n) {
  if (n == 0) return true;
  if (s.Seek(pos, plat::soFromBeginning) != pos) return false;
  return s.Read(buf, n) == n;
}

}  // namespace

std::string ZipNameBytes(const std::string& name, uint16_t& flags, bool legacy) {
  std::string bytes = name;
  std::replace(bytes.begin(), bytes.end(), '\\', '/');
  // A name on disk that is not valid UTF-8 keeps its bytes: flagged, it
  // would be refused by readers that check the flag's promise.
  if (legacy || plat::IsAscii(bytes) || !plat::IsValidUtf8(bytes))
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

bool TZipBase::SetCipher(int aesStrength) {
  if (aesStrength < zeTraditional || aesStrength > zeAes256) return false;
  Encryption = static_cast<TZipEncryption>(aesStrength);
  return true;
}

// ---- the old directory ----------------------------------------------------------------

bool TZipBase::ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list) {
  const std::string& arc = GetArchiveFile();
  const TArcType t = oldDet_.ArcType;
  if (!IsZipFamily(t)) {
    ReportError(arc, ArcTypeEnumName(t), VolumeName, E_BADARCTYPE);
    return false;
  }
  if ((oldDet_.ZipStructureFlags & htEnding) == 0) {
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
  const bool legacy = !StoredNamePage().empty();
  std::string name = ZipNameBytes(StoredNameBytes(it.Name), flags, legacy);
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
    prefetched = TakePrefetched(prefetch_, cancel_, index, it.SourcePath, [&] { StartPrefetch(list, index, dt); }, pre);
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
  const int aesStrength = encrypt ? static_cast<int>(Encryption) : 0;
  bool store = it.IsDir || size == 0 || dt == dtDeflateS || StoreByType(it.Name);

  uint16_t flags = 0;
  // Names in a DOS or Windows page are entries "made on MS-DOS", the host
  // whose names unzip -O and 7-Zip read in such a page.
  const bool legacy = !StoredNamePage().empty();
  std::string name = ZipNameBytes(StoredNameBytes(it.Name), flags, legacy);
  if (name.size() > 0xFFFF) {
    ReportError(it.SourcePath, "", VolumeName, E_BADFILENAME);
    return false;
  }
  FileName = it.Name;
  const int64_t start = out.Seek(0, plat::soFromEnd);
  const bool zip64Local = NeedsZip64Local(size);
  // Entries are made on Unix: permission bits in the external attributes and
  // the modification time to the second in a UT field, which unzip, 7-Zip and
  // bsdtar restore (the DOS time keeps 2-second steps in local time).
  const plat::FileInfo fi = SourceInfo(it.SourcePath);
  const std::string utExtra = fi.exists ? UnixTimeExtra(fi.mtime) : std::string();
  const size_t extraLen =
      (zip64Local ? kZip64ExtraLocal : 0) + (aesStrength > 0 ? kAesExtraSize : 0) + utExtra.size();
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
    job.aesStrength = aesStrength;
    job.type = dt;
    job.workers = CompressWorkers;
    const TStoreDeflateResult r = WriteFileData(*this, out, job, it.FileSize, it.SourcePath);
    if (r.status != TStoreDeflateStatus::Ok) return false;
    store = r.stored;
    crc = r.crc;
  }
  if (cancel_) return false;

  if (!prefetched) packed = out.Seek(0, plat::soFromEnd) - start - headLen;
  if (!zip64Local && packed >= static_cast<int64_t>(kZip64Mark32)) RaiseError(it.SourcePath, "", VolumeName, E_WRITEERROR);
  if (encrypt) flags |= 1;
  if (!store) flags |= DeflateFlagBits(dt);
  const uint32_t date = it.IsDir ? it.FileDate : EntryDate(it.FileDate);
  TLocalHeader lh;
  lh.Signature = EncryptHeaders ? kLocalSigEnc : kLocalSig;
  lh.VersionNeeded = zip64Local || start >= static_cast<int64_t>(kZip64Mark32) ? kZip64Version : 20;
  lh.Flags = flags;
  lh.Method = store ? 0 : 8;
  // AES names the real method in its field; AE-2 leaves the CRC out.
  std::string aesExtra;
  if (aesStrength > 0) {
    const TAesExtra x{static_cast<uint16_t>(size < kAe2Below ? 2 : 1), aesStrength, lh.Method};
    aesExtra = AesExtraBytes(x);
    lh.Method = kMethodAes;
    lh.VersionNeeded = std::max(lh.VersionNeeded, kAesVersionNeeded);
    if (x.version == 2) crc = 0;
  }
  lh.Time = static_cast<uint16_t>(date & 0xFFFF);
  lh.Date = static_cast<uint16_t>(date >> 16);
  lh.Crc32 = size == 0 ? 0 : crc;
  lh.CompressedSize = static_cast<uint32_t>(packed);
  lh.UncompressedSize = static_cast<uint32_t>(size);
  lh.NameLength = static_cast<uint16_t>(name.size());
  lh.ExtraLength = static_cast<uint16_t>(extraLen);
  const TEntrySizes sizes{packed, size, start};
  std::string head(static_cast<size_t>(headLen), '\0');
  auto* hp = reinterpret_cast<uint8_t*>(head.data());
  if (zip64Local) WriteZip64Local(hp + kLocalHeaderSize + name.size(), lh, sizes);
  const std::string tailExtra = aesExtra + utExtra;
  std::copy(tailExtra.begin(), tailExtra.end(), head.begin() + static_cast<std::ptrdiff_t>(headLen - tailExtra.size()));

  TCentralHeader ch;
  ch.CopyFromLocal(lh);
  ch.Signature = kCentralSig;
  ch.VersionMadeBy = std::max<uint16_t>(lh.VersionNeeded, 20);
  ch.VersionNeeded = lh.VersionNeeded;
  ch.ExtraLength = 0;  // the zip64 field, when needed, is added with the directory
  ch.InternalAttr = 1;
  ch.ExternalAttr = it.IsDir ? plat::faDirectory : it.FileAttr;
  ch.LocalHeaderOffset = static_cast<uint32_t>(start);
  if (!legacy) {
    const uint32_t mode = it.IsDir ? (0040000u | (fi.exists ? fi.mode & 0777 : 0755))
                                   : (0100000u | (fi.exists ? fi.mode & 0777 : 0644));
    ch.VersionMadeBy = static_cast<uint16_t>(0x0300 | std::max<uint16_t>(lh.VersionNeeded, 20));
    ch.ExternalAttr |= mode << 16;
  }

  lh.Write(hp);
  std::copy(name.begin(), name.end(), head.begin() + kLocalHeaderSize);
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
  z.Extra = tailExtra;
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
                                      it.Record<TZipEntryRecord>().Salt, static_cast<int>(Encryption)});
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

bool TZipBase::WriteDirectory(TStream32& out, TCompHeaderObj& list, bool zip64Allowed) {
  const int64_t dirOffset = out.Seek(0, plat::soFromEnd);
  auto put = [&out](const void* p, int64_t n) { return n == 0 || out.Write(p, n) == n; };
  uint32_t count = 0;
  for (auto& it : list.Items) {
    if (it.Action == caDrop) continue;
    const TZipEntryRecord& z = it.Record<TZipEntryRecord>();
    TCentralHeader ch = z.Central;
    // Sizes and offset come from the item (they may have moved); those past
    // 32 bits go to a zip64 field in front of the entry's other fields.
    const std::string zip64 = SetCentralSizes(ch, TEntrySizes{it.PackedSize, it.UnpackedSize, it.Offset});
    const std::string extra = zip64 + WithoutSizeFields(z.Extra);
    if (!zip64.empty()) ch.VersionNeeded = std::max(ch.VersionNeeded, kZip64Version);
    if (!zip64Allowed && !zip64.empty()) return false;
    if (extra.size() > 0xFFFF || z.RawName.size() > 0xFFFF) return false;
    const std::string comment = z.Comment.substr(0, 0xFFFF);
    ch.Signature = z.HeadersEnciphered ? kCentralSigEnc : kCentralSig;
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
  const int64_t dirEnd = out.Position();
  const uint64_t dirSize = static_cast<uint64_t>(dirEnd - dirOffset);
  // A count, size or offset the end record cannot hold is saturated there
  // and given in full by the zip64 end record and its locator before it.
  const bool zip64 = count >= kZip64Mark16 || dirSize >= kZip64Mark32 || static_cast<uint64_t>(dirOffset) >= kZip64Mark32;
  if (zip64) {
    if (!zip64Allowed) {
      ReportError(GetArchiveFile(), "", VolumeName, E_TOOMANYDIRS);
      return false;
    }
    TZip64EndRecord z64;
    z64.VersionMadeBy = kZip64Version;
    z64.VersionNeeded = kZip64Version;
    z64.EntriesThisDisk = count;
    z64.TotalEntries = count;
    z64.DirectorySize = dirSize;
    z64.DirectoryOffset = static_cast<uint64_t>(dirOffset);
    uint8_t tail[kZip64EndRecordSize + kZip64LocatorSize];
    z64.Write(tail);
    WriteZip64Locator(tail + kZip64EndRecordSize, static_cast<uint64_t>(dirEnd));
    if (!put(tail, sizeof tail)) return false;
  }
  TEndRecord er;
  er.Signature = kEndSig;
  er.EntriesThisDisk = static_cast<uint16_t>(std::min<uint32_t>(count, kZip64Mark16));
  er.TotalEntries = er.EntriesThisDisk;
  er.DirectorySize = static_cast<uint32_t>(std::min<uint64_t>(dirSize, kZip64Mark32));
  er.DirectoryOffset = std::min<uint64_t>(static_cast<uint64_t>(dirOffset), kZip64Mark32);
  const std::string comment = list.ArchiveComment.substr(0, 0xFFFF);
  er.CommentLength = static_cast<uint16_t>(comment.size());
  uint8_t rec[kEndRecordSize] = {};
  er.Write(rec);
  return put(rec, static_cast<int64_t>(kEndRecordSize)) && put(comment.data(), static_cast<int64_t>(comment.size()));
}

void TZipBase::AfterWrite(TCompHeaderObj& list) {
  TotalPackedSize = 0;
  TotalUnpackedSize = 0;
  for (const auto& it : list.Items) {
    if (it.Action == caDrop) continue;
    const TCentralHeader& c = it.Record<TZipEntryRecord>().Central;
    const std::string& x = it.Record<TZipEntryRecord>().Extra;
    TAesExtra aes;
    const bool isAes = c.Method == kMethodAes && FindAesExtra(reinterpret_cast<const uint8_t*>(x.data()), x.size(), aes);
    TotalPackedSize += it.PackedSize - (isAes ? AesOverhead(aes.strength) : (c.Flags & 1) ? kEncryptionHeaderSize : 0);
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
