#include "engine/lha/zidBlakHole.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "engine/base/zidFilterStreams.h"
#include "engine/base/zidMethods.h"
#include "engine/base/zidBytes.h"
#include "engine/base/zidStreams.h"
#include "engine/lha/zidLhaPack.h"
#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidDeflate.h"
#include "engine/zip/zidStoreDeflate.h"
#include "engine/lha/zidLhaMethods.h"
#include "platform/datetime.h"
#include "platform/files.h"

namespace zid {

namespace {

constexpr int64_t kMaxSize = 0xFFFFFFFFll;  // sizes are 32-bit fields

// The bytes a new or renamed entry's header is written with.
std::string HeaderBytes(const TBhHeader& h, const std::string& name) {
  std::string bytes(kBhHeaderSize, '\0');
  WriteBhHeader(h, reinterpret_cast<uint8_t*>(bytes.data()));
  return bytes + name;
}

// The stored name of a list item; folders end with "\".
std::string ItemStoredName(const std::string& itemName, bool isDir) {
  std::string name = BhStoredName(itemName);
  if (isDir && (name.empty() || name.back() != '\\')) name += '\\';
  return name;
}

}  // namespace

TBlakHole::TBlakHole() {
  det_.ArcType = atBh;
  supported_ = TCompressMethods(BhMethods().WriterMethods());
  compressMethod_ = cmDeflate;
  DefaultExt = ".BH";
}

void TBlakHole::SetArcType(TArcType) { det_.ArcType = atBh; }

// ---- the old archive ----------------------------------------------------------------------

bool TBlakHole::ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list) {
  const std::string& arc = GetArchiveFile();
  const int64_t size = in.Size();
  // An empty file is what deleting every entry leaves: an archive without entries.
  if (size == 0) return true;
  const TArcType t = oldDet_.ArcType;
  if (t != atBh && t != atBhExe) {
    ReportError(arc, ArcTypeEnumName(t), VolumeName, E_BADARCTYPE);
    return false;
  }
  int64_t pos = std::max<int64_t>(0, oldDet_.ArcStartOffset);
  if (t == atBhExe) stubLength_ = pos;
  // An archive this writer cannot walk to its end is left alone.
  auto bad = [&](const std::string& why) {
    ReportError(arc, why + " at offset " + std::to_string(pos), VolumeName, E_BADFILEHEADER);
    return false;
  };
  for (;;) {
    if (cancel_) return false;
    std::array<uint8_t, kBhHeaderSize> buf{};
    const int64_t got = ReadFullAt(in, pos, buf.data(), kBhHeaderSize);
    TBhHeader h;
    if (got < kBhHeaderSize) {
      if (got >= 4 && Get32(buf.data()) == kBhSignature) return bad("the archive ends inside a header");
      break;
    }
    if (!ParseBhHeader(buf.data(), h)) break;
    std::string rawName(h.nameLength, '\0');
    if (ReadFullAt(in, pos + kBhHeaderSize, rawName.data(), h.nameLength) != h.nameLength)
      return bad("the archive ends inside a name");
    if (h.NextOffset(pos) > size) return bad("the entry's data run past the end");

    TCompHeaderItem it;
    it.Name = BhDisplayName(rawName, TranslateOemChar);
    if (h.IsFolder() && (it.Name.empty() || it.Name.back() != '/')) it.Name += '/';
    it.Action = caCopy;
    it.Offset = pos;
    it.PackedSize = h.packed;
    it.UnpackedSize = h.original;
    it.Crc = h.crc;
    it.StoredDate = h.dosDate;
    it.StoredAttr = h.attr & 0xFF;
    it.IsDir = h.IsFolder();
    if (Switch == swDelete && MatchesSpec(it.Name, RecurseDirs)) it.Action = caDrop;
    if (Switch == swRead) {
      ShowEntry(h, it.Name);
      if (OnRead) OnRead(this, pos, list.Count());
    }
    it.Record<TBhHeader>() = h;
    list.Items.push_back(std::move(it));
    pos = h.NextOffset(pos);  // at least 37 bytes further on
  }
  return true;
}

void TBlakHole::ShowEntry(const TBhHeader& h, const std::string& name) {
  FileName = name;
  PackedSize = h.ShownPackedSize();
  UnpackedSize = h.original;
  Ratio = CalcRatio(UnpackedSize, PackedSize);
  CRC = h.crc;
  MethodId = h.method;
  MethodName = BhMethodName(h.method, h.flags);
  ExternalAttr = h.attr;
  Encrypted = h.Encrypted();
  VersionMadeBy = h.madeBy;
  VersionNeeded = h.needed;
  plat::DosDateTimeToDateTime(h.dosDate, FileDate);
}

bool TBlakHole::CopyEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  const int64_t span = it.Record<TBhHeader>().NextOffset(it.Offset) - it.Offset;
  const int64_t newOffset = out.Seek(0, plat::soFromEnd);
  if (in.Seek(it.Offset, plat::soFromBeginning) != it.Offset || out.CopyFrom(in, span) != span) return false;
  it.Offset = newOffset;
  return true;
}

bool TBlakHole::CopyRenamedEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  const TBhHeader old = it.Record<TBhHeader>();
  const std::string name = ItemStoredName(StoredNameBytes(it.Name), old.IsFolder());
  if (name.size() > kBhMaxName) {
    ReportError(it.Name, "the stored name is longer than 255 bytes", VolumeName, E_BADFILENAME);
    return false;
  }
  TBhHeader h = old;
  h.nameLength = static_cast<uint16_t>(name.size());
  h.headerLength = static_cast<uint16_t>(kBhHeaderSize + name.size() + h.extraLength);
  const std::string head = HeaderBytes(h, name);
  // The extra field and the data follow unchanged (the cipher does not depend on the name).
  const int64_t from = it.Offset + kBhHeaderSize + old.nameLength;
  const int64_t rest = int64_t{old.extraLength} + old.packed;
  const int64_t newOffset = out.Seek(0, plat::soFromEnd);
  if (out.Write(head.data(), static_cast<int64_t>(head.size())) != static_cast<int64_t>(head.size())) return false;
  if (in.Seek(from, plat::soFromBeginning) != from || out.CopyFrom(in, rest) != rest) return false;
  it.Offset = newOffset;
  it.Record<TBhHeader>() = h;
  return true;
}

// ---- a new entry ----------------------------------------------------------------------------

bool TBlakHole::CompressEntry(TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  FileName = it.Name;
  const std::string name = ItemStoredName(StoredNameBytes(it.Name), it.IsDir);
  if (name.size() > kBhMaxName) {
    ReportError(it.SourcePath, "the stored name is longer than 255 bytes", VolumeName, E_BADFILENAME);
    return false;
  }
  std::unique_ptr<TFileStream32> src;
  int64_t size = 0;
  if (!it.IsDir) {
    src = std::make_unique<TFileStream32>(it.SourcePath, plat::fmOpenRead | plat::fmShareDenyNone);
    if (!src->IsOpen()) return SourceUnreadable(it.SourcePath);
    size = std::max<int64_t>(0, src->Size());
    if (size > kMaxSize) {
      ReportError(it.SourcePath, "BH sizes are 32-bit", VolumeName, E_BADFILEHEADER);
      return false;
    }
  }
  TBhHeader h;
  h.nameLength = static_cast<uint16_t>(name.size());
  h.headerLength = static_cast<uint16_t>(kBhHeaderSize + name.size());
  h.dosDate = it.IsDir ? it.FileDate : EntryDate(it.FileDate);
  h.attr = static_cast<uint16_t>(it.IsDir ? kBhFolderAttr : it.FileAttr);
  h.original = static_cast<uint32_t>(size);
  h.method = bmDeflate;  // replaced below
  // An empty file is never encrypted: there is no data to carry the header.
  const bool encrypt = size > 0 && !Password.empty();

  // The header goes first; it is written again once sizes, CRC and method are known.
  const int64_t start = out.Seek(0, plat::soFromEnd);
  const std::string first = HeaderBytes(h, name);
  if (out.Write(first.data(), static_cast<int64_t>(first.size())) != static_cast<int64_t>(first.size()))
    RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
  const int64_t dataStart = start + static_cast<int64_t>(first.size());

  if (size == 0) {
    h.method = bmStored;
    h.crc = 0;
  } else if (compressMethod_ == cmFuse) {
    if (!WriteFused(out, *src, it, encrypt, h)) return false;
  } else {
    const TDeflateType dt = compressMethod_ == cmStore ? dtDeflateS : DeflateType;
    TStoreDeflateJob job;
    job.source = src.get();
    job.size = size;
    job.store = dt == dtDeflateS || StoreByType(it.Name);
    job.encrypt = encrypt;
    job.type = dt;
    const TStoreDeflateResult r = WriteFileData(*this, out, job, it.FileSize, it.SourcePath);
    if (r.status != TStoreDeflateStatus::Ok) return false;
    h.method = r.stored ? bmStored : bmDeflate;
    h.crc = r.crc;
    if (!r.stored) h.flags |= static_cast<uint8_t>(DeflateFlagBits(dt));
  }
  if (cancel_) return false;
  if (encrypt) h.flags |= kBhFlagEncrypted;

  // The packed size counts everything after the name, the encryption header included.
  const int64_t end = out.Seek(0, plat::soFromEnd);
  const int64_t packed = end - dataStart;
  if (packed > kMaxSize) {
    ReportError(it.SourcePath, "BH sizes are 32-bit", VolumeName, E_BADFILEHEADER);
    return false;
  }
  h.packed = static_cast<uint32_t>(packed);
  const std::string head = HeaderBytes(h, name);
  if (out.Seek(start, plat::soFromBeginning) != start ||
      out.Write(head.data(), static_cast<int64_t>(head.size())) != static_cast<int64_t>(head.size()))
    RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
  out.Seek(0, plat::soFromEnd);

  it.Offset = start;
  it.PackedSize = packed;
  it.UnpackedSize = size;
  it.Crc = h.crc;
  it.StoredDate = h.dosDate;
  it.StoredAttr = h.attr & 0xFF;
  it.Record<TBhHeader>() = h;
  if (OnEnd) OnEnd(this, it.Name, true);
  return true;
}

bool TBlakHole::WriteFused(TStream32& out, TStream32& src, TCompHeaderItem& it, bool encrypt, TBhHeader& h) {
  const int64_t size = src.Size();
  uint32_t crc = 0;
  // The key state the data starts from: a stored fallback starts from it
  // again, not from where the abandoned compressed bytes left the cipher.
  TCryptKeys dataKeys{};
  if (encrypt) {
    // The encryption header carries the CRC: it is computed before any data goes out.
    CodecControl pre;
    pre.Cancel = &cancel_;
    const uint32_t raw = CalcStreamCrc32(src, pre, &cancel_, nullptr, 0);
    if (cancel_) return false;
    crc = raw ^ 0xFFFFFFFFu;
    src.Seek(0, plat::soFromBeginning);
    const TEncryptionHeader eh = MakeEncryptionHeader(dataKeys, Password, crc);
    if (out.Write(eh.data(), kEncryptionHeaderSize) != kEncryptionHeaderSize)
      RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
  }
  TCryptKeys keys = dataKeys;
  const int64_t dataStart = out.Position();
  const int64_t remainingAtStart = BytesRemaining;

  int64_t left = size;
  int64_t reported = 0;
  std::vector<uint8_t> cipherBuf;
  TLzhEncodeJob job;
  job.read = [&src, &left](uint8_t* buf, int64_t count) -> int64_t {
    const int64_t got = src.Read(buf, std::min(count, left));
    if (got > 0) left -= got;
    return got;
  };
  job.write = [&out, &cipherBuf, &keys, encrypt](const uint8_t* buf, int64_t count) {
    if (!encrypt) return out.Write(buf, count) == count;
    cipherBuf.assign(buf, buf + count);
    keys.Encrypt(cipherBuf.data(), count);
    return out.Write(cipherBuf.data(), count) == count;
  };
  job.limit = size;
  job.cancel = &cancel_;
  job.progress = [this, &it, &reported](int64_t done) {
    BytesRemaining -= done - reported;
    reported = done;
    ReportProgress(it.FileSize, done);
  };
  TLzhEncoder enc(kLzhEncFused3);
  const TLzhEncodeResult r = enc.Encode(job);
  if (r == erCancelled || cancel_) return false;
  if (r == erOutputFailed) RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
  if (r == erOk && enc.BytesIn() != size) return SourceChanged(it.SourcePath, enc.BytesIn(), size);
  if (r == erOk) {
    h.method = bmFused3;
    h.crc = encrypt ? crc : enc.Crc();
    // As the engine has always written them: encrypted Fused3 entries carry the Deflate level bits too.
    if (encrypt) h.flags |= static_cast<uint8_t>(DeflateFlagBits(DeflateType));
    return true;
  }
  // Not worth it: cut the archive back to the start of the data and store.
  out.SetSize(dataStart);
  out.Seek(dataStart, plat::soFromBeginning);
  src.Seek(0, plat::soFromBeginning);
  BytesRemaining = remainingAtStart;
  h.method = bmStored;
  if (!StoreData(out, src, it, encrypt ? &dataKeys : nullptr, h.crc)) return false;
  if (encrypt) h.crc = crc;
  return true;
}

bool TBlakHole::StoreData(TStream32& out, TStream32& src, TCompHeaderItem& it, TCryptKeys* keys, uint32_t& crc) {
  const int64_t size = src.Size();
  CodecControl ctl;
  ctl.Keys = keys;
  ctl.Cancel = &cancel_;
  TStoreStream ss(out, ctl, 32);
  int64_t done = 0;
  ss.ProgressProc = [this, &it, &done](int64_t n) {
    done += n;
    BytesRemaining -= n;
    ReportProgress(it.FileSize, done);
  };
  const int64_t copied = ss.CopyAll(src);
  if (cancel_) return false;
  if (copied != size) return SourceChanged(it.SourcePath, copied, size);
  crc = ss.Crc() ^ 0xFFFFFFFFu;
  return true;
}

// ---- closing -----------------------------------------------------------------------------------

bool TBlakHole::FinishArchive(TStream32&, TCompHeaderObj&) {
  // Nothing closes a BH archive: it ends with its last entry.
  return true;
}

void TBlakHole::AfterWrite(TCompHeaderObj& list) {
  TotalPackedSize = 0;
  TotalUnpackedSize = 0;
  for (const TCompHeaderItem& it : list.Items) {
    if (it.Action == caDrop) continue;
    TotalPackedSize += it.PackedSize - (it.Record<TBhHeader>().Encrypted() ? kEncryptionHeaderSize : 0);
    TotalUnpackedSize += it.UnpackedSize;
  }
}

}  // namespace zid
