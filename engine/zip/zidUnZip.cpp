#include "engine/zip/zidUnZip.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/base/zidBytes.h"
#include "engine/base/zidDetect.h"
#include "engine/base/zidStreams.h"
#include "engine/zip/zidAes.h"
#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidUnZipDecode.h"
#include "engine/zip/zidZipInput.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/files.h"

namespace zid {

namespace {

constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixDir = 0040000;
constexpr uint32_t kUnixLink = 0120000;

bool EndsWithSeparator(const std::string& name) {
  return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

int64_t ReadFull(TStream32& s, uint8_t* buf, int64_t n) {
  int64_t got = 0;
  while (got < n) {
    int64_t r = s.Read(buf + got, n - got);
    if (r <= 0) break;
    got += r;
  }
  return got;
}

}  // namespace

TUnZip::TUnZip() : span_(*this) {}

TUnZip::~TUnZip() = default;

void TUnZip::SetZipCmntBufSize(int value) { zipCmntBufSize_ = std::clamp(value, 2000, 32767); }

bool TUnZip::FoldersByName() const { return GetArcType() == atJar || GetArcType() == atJarExe; }

bool TUnZip::Spanned() const { return GetArcType() == atZipDS || GetArcType() == atZipMV; }

void TUnZip::StartOperation() {
  TUnBase::StartOperation();
  passwordFailed_ = false;
  span_.DiskCounter = 0;
  currentDisk_ = lastDisk_ = 0;
}

void TUnZip::ProcessArchive() {
  const TArcType t = GetArcType();
  if (!IsZipFamily(t) && t != atZipDS && t != atZipMV) {
    ArchiveFailed(E_BADARCTYPE, ArcTypeEnumName(t));
    return;
  }
  // The output folders are created as files need them; the target itself too.
  if ((OutputMode == omToFile || OutputMode == omAppendFile) && !GetExtractDir().empty() &&
      !plat::DirectoryExists(GetExtractDir()))
    plat::ForceDirectories(GetExtractDir());
  if (archive_ == nullptr) {
    MarkArchiveFailed();
    return;
  }
  window_.Attach(Spanned() ? nullptr : archive_.get());
  const THeaderTypeState flags = det_.ZipStructureFlags;
  bool ok = false;
  if (Spanned() && (flags & htEnding))
    ok = ExtractSpanned();
  else if (flags & htCentral)
    ok = ExtractFromDirectory();
  else if (flags & htLocal)
    ok = ExtractFromLocalHeaders(false);
  else
    ReportError(GetArchiveFile(), std::string(), VolumeName, E_BADFILEHEADER);
  if (!ok) MarkArchiveFailed();
  window_.Attach(nullptr);
}

TStream32* TUnZip::Input() {
  if (archive_ == nullptr) return nullptr;
  return Spanned() ? static_cast<TStream32*>(archive_.get()) : &window_;
}

// ---------------------------------------------------------------------------
// The entries

void TUnZip::Warn(const std::string& text) { ReportError(GetArchiveFile(), text, VolumeName, E_BADFILEHEADER); }

TZipLayout TUnZip::Layout() {
  TZipLayout layout = ZipLayoutOf(det_, archive_->Size());
  layout.spanned = Spanned();
  return layout;
}

// Reports a checked record that cannot be extracted; true when it can.
bool TUnZip::RecordUsable(const TCheckedRecord& c, const TZipDirEntry& e) {
  if (c.problem != 0) RejectEntry(MakeEntry(e, e.crc), c.problem, c.why);
  else if (c.overlaps) RejectEntry(MakeEntry(e, e.crc), E_BADLOCALOFFSET, "the entry overlaps the data of another entry");
  return c.problem == 0 && !c.overlaps;
}

// Two walks over the directory, holding no list: the first checks every
// record (places, overlaps, the end record's counts) and finds the newest
// date; the second extracts entry by entry.
bool TUnZip::ExtractFromDirectory() {
  const TZipLayout layout = Layout();
  TZipScanOptions opt;
  opt.cancelled = [this] { return Cancelled(); };
  TZipScan scan;
  ScanCentralDirectory(*archive_, layout, opt, scan, [this](const TCheckedRecord& c) {
    MaxFileDate = std::max(MaxFileDate, (uint32_t{c.rec->header.Date} << 16) | c.rec->header.Time);
    return true;
  });
  if (Cancelled()) return true;
  if (!scan.found || scan.cut) return ExtractFromLocalHeaders(true);
  for (const std::string& w : scan.warnings) Warn(w);
  opt.overlapping = &scan.overlapping;
  opt.correction = scan.correction;
  TZipScan second;
  ScanCentralDirectory(*archive_, layout, opt, second, [this](const TCheckedRecord& c) {
    TZipDirEntry e = EntryOfCentral(c, TranslateOemChar);
    // The selection is left to the extract loop (one test per entry); only
    // entries that fail before it are tested here.
    if (RecordUsable(c, e)) ExtractOne(std::move(e));
    return !Cancelled();
  });
  return true;
}

// A set of volumes or disks: the list is read first (the directory lies on the
// last disk), then the entries are extracted disk after disk.
bool TUnZip::ExtractSpanned() {
  TEndRecord end;
  end.Read(det_.EndRecord.data());
  lastDisk_ = currentDisk_ = end.ThisDisk;
  LastVolume = CurrentVolume = lastDisk_ + 1;
  if (GetArcType() == atZipDS) {
    span_.DiskCounter = 0;
    if (!span_.SwitchDisk(-1, lastDisk_ + 1)) return false;
  }
  TZipLayout layout = Layout();
  int64_t dirStart = static_cast<int64_t>(end.DirectoryOffset);
  if (end.DirectoryDisk == end.ThisDisk && (det_.ZipStructureFlags & htCentral)) dirStart = det_.ArcStartOffset;
  layout.dirStart = dirStart;
  if (!SelectDisk(end.DirectoryDisk, dirStart)) return false;
  TZipScanOptions opt;
  opt.cancelled = [this] { return Cancelled(); };
  opt.nextDisk = [this]() -> TStream32* { return NextDisk() ? archive_.get() : nullptr; };
  struct TListed {
    TZipDirEntry entry;
    uint32_t index;
    int problem;
    std::string why;
  };
  std::vector<TListed> list;
  list.reserve(std::min<uint64_t>(layout.declaredEntries, 65536));
  TZipScan scan;
  ScanCentralDirectory(*archive_, layout, opt, scan, [&](const TCheckedRecord& c) {
    TZipDirEntry e = EntryOfCentral(c, TranslateOemChar);
    MaxFileDate = std::max(MaxFileDate, e.dosDate);
    if (MatchesSpec(e.name, RecurseDirs)) list.push_back(TListed{std::move(e), c.index, c.problem, c.why});
    return true;
  });
  if (!scan.found) {
    ReportError(GetArchiveFile(), std::string(), VolumeName, E_BADFILEHEADER);
    return false;
  }
  if (scan.cut) Warn("the central directory is cut short");
  for (const std::string& w : scan.warnings) Warn(w);
  for (const TListed& l : list) {
    if (Cancelled()) break;
    TCheckedRecord c;
    c.problem = l.problem;
    c.why = l.why;
    c.overlaps = std::binary_search(scan.overlapping.begin(), scan.overlapping.end(), l.index);
    if (RecordUsable(c, l.entry)) ExtractOne(l.entry);
  }
  return true;
}

// No usable central directory: the entries come from the local headers, one
// after the other, when OnCorruptZipHeader agrees (or is not assigned).
bool TUnZip::ExtractFromLocalHeaders(bool directoryCut) {
  const THeaderTypeState flags = directoryCut ? THeaderTypeState{htLocal} : det_.ZipStructureFlags;
  if (OnCorruptZipHeader) {
    bool cancel = true;
    OnCorruptZipHeader(this, flags, cancel);
    if (cancel) return false;
  }
  Warn(directoryCut ? "the central directory is cut short: the entries are read from their local headers"
                    : "no central directory: the entries are read from their local headers");
  int found = 0;
  std::string lastName;
  const int64_t start = directoryCut ? FirstLocalHeader() : std::max<int64_t>(0, det_.ArcStartOffset);
  const TLocalWalkEnd how = WalkLocalHeaders(
      *Input(), start, TranslateOemChar, [this] { return Cancelled(); },
      [&](const TZipDirEntry& e) {
        ++found;
        MaxFileDate = std::max(MaxFileDate, e.dosDate);
        ExtractOne(e);
      },
      lastName, [this](const std::string& text) { HeaderFailed(VolumeName, E_BADFILEHEADER, text); });
  if (how == TLocalWalkEnd::Cut) Warn("a local header is cut short");
  if (how == TLocalWalkEnd::Descriptor) {
    ++found;
    TEntry cut;
    cut.storedName = lastName;
    RejectEntry(cut, E_BADFILEHEADER, "sizes only in a data descriptor");
  }
  if (found == 0 && how != TLocalWalkEnd::Cancelled) {
    ArchiveFailed(E_BADFILEHEADER, "no entry found");
    return true;
  }
  return true;
}

// Where the local headers begin when the directory could not be used: the
// first local signature from the start of the archive.
int64_t TUnZip::FirstLocalHeader() {
  std::vector<uint8_t> buf(65536);
  const int64_t n = archive_->Seek(0, plat::soFromBeginning) == 0
                        ? archive_->Read(buf.data(), static_cast<int64_t>(buf.size()))
                        : 0;
  for (int64_t i = 0; i + 4 <= n; ++i)
    if (buf[i] == 0x50 && (IsLocalSig(Get32(&buf[i])) || Get32(&buf[i]) == kSpanMarkerSig)) return i;
  return 0;
}

// ---------------------------------------------------------------------------
// Volumes

bool TUnZip::SelectDisk(int disk, int64_t offset) {
  if (!Spanned() || disk == currentDisk_) return true;
  if (disk < 0 || disk > lastDisk_) return false;
  if (GetArcType() == atZipMV) {
    // OpenNextVolume opens the volume after CurrentVolume (1-based).
    CurrentVolume = disk;
    // A missing volume fails the entries that need it, not the operation:
    // the entries on the volumes present are still read.
    const std::string wanted = NextVolumeName();
    if (!plat::FileExists(wanted)) {
      ReportMissingVolume(wanted);
      return false;
    }
    if (!OpenNextVolume()) return false;
  } else if (!span_.SwitchDisk(offset, disk + 1)) {
    return false;
  }
  currentDisk_ = disk;
  return true;
}

bool TUnZip::NextDisk() {
  if (!Spanned() || currentDisk_ >= lastDisk_ || Cancelled()) return false;
  return SelectDisk(currentDisk_ + 1, 0);
}

// ---------------------------------------------------------------------------
// One entry

TEntry TUnZip::MakeEntry(const TZipDirEntry& e, uint32_t crc, std::string name) const {
  TEntry te;
  te.storedName = std::move(name);
  te.packedSize = e.compressedSize;
  te.unpackedSize = e.uncompressedSize;
  te.crc = crc;
  te.crcKind = 32;
  te.dosDate = e.dosDate;
  te.encrypted = (e.flags & 1) != 0;
  te.attr = e.externalAttr & 0xFF;
  uint32_t mode = (e.versionMadeBy >> 8) == 3 ? e.externalAttr >> 16 : 0;
  te.unixName = (e.versionMadeBy >> 8) == 3;
  if (FoldersByName()) {
    te.isDir = EndsWithSeparator(te.storedName);
    te.attr = te.isDir ? 0x10 : 0x20;
  } else {
    te.isDir = (te.attr & 0x10) != 0 || EndsWithSeparator(te.storedName) || (mode & kUnixTypeMask) == kUnixDir;
  }
  // A symbolic link made on a Unix host: its data is the target. Where no
  // link is made it is a file holding that text, with the usual permissions
  // (a link's own bits are all set and mean nothing).
  if ((mode & kUnixTypeMask) == kUnixLink) {
    te.isSymlink = te.linkInData = !te.isDir;
    mode = 0;
  }
  te.unixMode = mode & 0777;
  return te;
}

void TUnZip::ExtractOne(TZipDirEntry e) {
  if (Cancelled()) return;
  if (!SelectDisk(e.disk, e.localOffset)) return RejectEntry(MakeEntry(e, e.crc), 0);
  TLocalInfo& li = local_;  // kept from entry to entry, with its strings' storage
  const TLocalRead got = Input() ? ReadLocalRecord(*Input(), e.localOffset, li) : TLocalRead::NotFound;
  if (got == TLocalRead::Cut) return RejectEntry(MakeEntry(e, e.crc), E_BADFILEHEADER, "the local header is cut short");
  if (got != TLocalRead::Ok) return RejectEntry(MakeEntry(e, e.crc), E_BADLOCALOFFSET);
  // The local CRC counts; writers that put it in a data descriptor leave it 0.
  uint32_t crc = e.crc;
  if (e.fromCentral) {
    crc = li.header.Crc32;
    if (crc == 0 && e.compressedSize != 0) crc = e.crc;
  }
  TEntry te = MakeEntry(e, crc, std::move(e.name));  // the name is not needed past here
  te.unixTime = ExtraUnixTime(reinterpret_cast<const uint8_t*>(li.extra.data()), li.extra.size());
  if (te.isDir) {
    ExtractEntry(te, [] { return true; });
    return;
  }
  // Strong encryption looks like the traditional cipher to a reader that
  // only tests bit 0: it is named, never tried with a password.
  const std::string unsupported = UnsupportedEncryption(e.flags, e.method, li.extra);
  if (!unsupported.empty()) return RejectEntry(te, E_UNSUPPORTEDMETHOD, unsupported);
  TAesExtra aes;
  const bool isAes = te.encrypted && e.method == kMethodAes &&
                     FindAesExtra(reinterpret_cast<const uint8_t*>(li.extra.data()), li.extra.size(), aes);
  const uint16_t method = isAes ? aes.method : e.method;
  const int64_t overhead = isAes ? AesOverhead(aes.strength) : te.encrypted ? kEncryptionHeaderSize : 0;
  if (te.encrypted && passwordFailed_) return RejectEntry(te, E_PASSWORDFAILED);
  if (!IsSupportedZipMethod(method)) return RejectEntry(te, E_UNSUPPORTEDMETHOD, ZipMethods().Described(method));
  if (e.compressedSize < overhead) return RejectEntry(te, E_BADFILEHEADER, "the encryption header is cut short");

  TZipEntryInput in([this]() -> TStream32* { return Input(); },
                    Spanned() ? std::function<bool()>([this] { return NextDisk(); }) : nullptr, li.dataOffset,
                    e.compressedSize);
  in.RemainingCounter = &BytesRemaining;
  TEncryptionHeader header{};
  uint8_t aesHead[kAesMaxSalt + kAesVerifierSize] = {};
  TCryptKeys keys{};
  // Only an AES entry pays for the cipher's state.
  std::optional<TAesCipher> aesCipher;
  if (isAes) aesCipher.emplace();
  bool haveHeader = false;
  bool verifyCalled = false;
  const uint16_t dosTime = static_cast<uint16_t>(e.dosDate & 0xFFFF);
  auto verify = [&](const std::string& password) {
    verifyCalled = true;
    if (isAes) {
      const int saltLen = AesSaltBytes(aes.strength);
      if (!haveHeader && ReadFull(in, aesHead, saltLen + kAesVerifierSize) != saltLen + kAesVerifierSize) return false;
      haveHeader = true;
      uint8_t v[kAesVerifierSize];
      aesCipher->Init(password, aes.strength, aesHead, v);
      return !password.empty() && v[0] == aesHead[saltLen] && v[1] == aesHead[saltLen + 1];
    }
    if (!haveHeader) {
      if (ReadFull(in, header.data(), kEncryptionHeaderSize) != kEncryptionHeaderSize) return false;
      haveHeader = true;
    }
    return CheckEncryptionHeader(keys, header.data(), e.flags, crc, password, dosTime);
  };
  auto decode = [&] {
    const int64_t packed = e.compressedSize - overhead;
    if (!te.encrypted) return DecodeData(e.flags, method, packed, e.uncompressedSize, in);
    if (!haveHeader) return false;
    if (!isAes) {
      in.SetDecipher(&keys);
      return DecodeData(e.flags, method, packed, e.uncompressedSize, in);
    }
    in.SetDecipher(&*aesCipher);
    bool ok = DecodeData(e.flags, method, packed, e.uncompressedSize, in);
    // The MAC covers every enciphered byte, also those the decoder left.
    uint8_t rest[4096];
    while (ok && in.Left() > kAesMacSize)
      ok = ReadFull(in, rest, std::min<int64_t>(sizeof rest, in.Left() - kAesMacSize)) > 0;
    in.SetDecipher(static_cast<TDataCipher*>(nullptr));
    uint8_t stored[kAesMacSize], computed[kAesMacSize];
    if (!ok || ReadFull(in, stored, kAesMacSize) != kAesMacSize) return false;
    aesCipher->Mac(computed);
    if (std::memcmp(stored, computed, kAesMacSize) == 0) return true;
    ReportError(te.storedName, "the authentication code does not match: wrong password or damaged data",
                VolumeName, E_CRCERROR);
    return false;
  };
  if (isAes && aes.version == 2) te.crcKind = 0;  // AE-2: the MAC alone checks the data
  const TEntryResult r = ExtractEntry(te, decode, te.encrypted ? std::function<bool(const std::string&)>(verify)
                                                                    : std::function<bool(const std::string&)>());
  if (r == TEntryResult::Skipped && te.encrypted && verifyCalled) passwordFailed_ = true;
}

bool TUnZip::DecodeData(uint16_t flags, uint16_t method, int64_t packed, int64_t unpacked, TZipEntryInput& in) {
  TDecodeSource source;
  source.read = [&in](uint8_t* buf, int64_t count) { return in.Read(buf, count); };
  source.budget = packed;
  int64_t produced = 0;
  // A small deflated entry whole: one read, one decode, one write. Most
  // entries of an archive of many files are small, and the decoder's set-up
  // would cost more than their data. Bytes it does not take as one complete
  // stream go to the stream decoder, which judges them.
  const TMethod* m = ZipMethods().Find(method);
  if (m != nullptr && m->decodeWhole != nullptr && packed >= 0 && packed <= kWholeIn && unpacked >= 0 &&
      unpacked <= kWholeOut && !Cancelled()) {
    if (!wholeIn_) {
      wholeIn_.reset(new uint8_t[kWholeIn]);
      wholeOut_.reset(new uint8_t[kWholeOut]);
    }
    const uint8_t* data = in.TakeInPlace(packed);
    int64_t got = packed;
    if (data == nullptr) {
      got = ReadFull(in, wholeIn_.get(), packed);
      data = wholeIn_.get();
    }
    size_t made = 0;
    if (got == packed && m->decodeWhole(data, static_cast<size_t>(got), wholeOut_.get(), kWholeOut, &made)) {
      produced = std::min<int64_t>(static_cast<int64_t>(made), unpacked);
      if (produced > 0 && !WriteOutput(wholeOut_.get(), produced)) return DecodeResultOk(drOutputFailed, 0, unpacked);
      EntryProgress();
      return DecodeResultOk(drOk, produced, unpacked);
    }
    if (data != wholeIn_.get()) std::memcpy(wholeIn_.get(), data, static_cast<size_t>(got));
    int64_t pos = 0;
    source.read = [this, &pos, got](uint8_t* buf, int64_t count) {
      const int64_t n = std::min(count, got - pos);
      std::memcpy(buf, wholeIn_.get() + pos, static_cast<size_t>(n));
      pos += n;
      return n;
    };
    source.budget = got;
    const int r = DecodeZipMethod(method, flags, EntryJob(std::move(source), unpacked, produced));
    return DecodeResultOk(r, produced, unpacked);
  }
  const int r = DecodeZipMethod(method, flags, EntryJob(std::move(source), unpacked, produced));
  return DecodeResultOk(r, produced, unpacked);
}

}  // namespace zid
