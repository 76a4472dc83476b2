#include "engine/lha/zidLha.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/base/zidMethods.h"
#include "engine/base/zidStreams.h"
#include "engine/lha/zidLhaPack.h"
#include "engine/lha/zidLhaMethods.h"
#include "platform/datetime.h"
#include "platform/files.h"

namespace zid {

namespace {

constexpr int64_t kCopyChunk = 131072;

bool IsLhaFamily(TArcType t) { return t == atLha || t == atLhaExe || t == atLzh || t == atLzhExe; }

bool WriteAll(TStream32& out, const std::string& bytes) {
  return out.Write(bytes.data(), static_cast<int64_t>(bytes.size())) == static_cast<int64_t>(bytes.size());
}

}  // namespace

TLha::TLha() {
  det_.ArcType = atLha;
  supported_ = TCompressMethods(LhaMethods().WriterMethods());
  compressMethod_ = cmFrozen6;
  DefaultExt = ".LHA";
}

void TLha::SetArcType(TArcType) { det_.ArcType = atLha; }

// ---- the old archive ----------------------------------------------------------------------

bool TLha::ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list) {
  const std::string& arc = GetArchiveFile();
  const int64_t size = in.Size();
  if (!IsLhaFamily(oldDet_.ArcType)) {
    // What a delete of every entry leaves (the end mark alone) is an archive
    // with no entries, though nothing in it says LHA.
    uint8_t mark = 1;
    if (size == 0 || (size == 1 && in.Seek(0, plat::soFromBeginning) == 0 && in.Read(&mark, 1) == 1 && mark == 0))
      return true;
    ReportError(arc, ArcTypeEnumName(oldDet_.ArcType), VolumeName, E_BADARCTYPE);
    return false;
  }
  const TLhaReadAt read = [&in](int64_t pos, void* buf, int64_t n) { return ReadFullAt(in, pos, buf, n); };
  const bool sfx = oldDet_.ArcType == atLhaExe || oldDet_.ArcType == atLzhExe;
  int64_t pos = LhaFirstHeader(read, std::max<int64_t>(0, oldDet_.ArcStartOffset), sfx);
  // Whatever lies before the first header (a self-extractor, a prefix) is kept.
  stubLength_ = std::min(pos, size);
  for (;;) {
    if (cancel_) return false;
    TLhaHeader h;
    const TLhaParse r = ReadLhaHeader(read, pos, h, TranslateOemChar);
    if (r == lhEnd) break;
    // An archive this writer cannot walk to its end, every header checked, is left alone.
    if (r != lhOk || !LhaChecksumOk(read, h) || h.nextOffset <= pos || h.nextOffset > size ||
        h.originalSize > 0xFFFFFFFFll) {
      ReportError(arc, h.name, VolumeName, E_BADFILEHEADER);
      return false;
    }
    const TLhaEntry e = LhaEntryOf(h);
    TCompHeaderItem it;
    it.Name = e.Name;
    it.Action = caCopy;
    it.Offset = h.offset;
    it.PackedSize = h.packedSize;
    it.UnpackedSize = h.originalSize;
    it.Crc = h.crc;
    it.StoredDate = e.DosDate;
    it.StoredAttr = e.Attr;
    if (Switch == swDelete && MatchesSpec(it.Name, RecurseDirs)) it.Action = caDrop;
    if (Switch == swRead) {
      ShowEntry(h, e);
      if (OnRead) OnRead(this, h.offset, list.Count());
    }
    pos = h.nextOffset;
    it.Record<TLhaHeader>() = std::move(h);
    list.Items.push_back(std::move(it));
  }
  return true;
}

void TLha::ShowEntry(const TLhaHeader& h, const TLhaEntry& e) {
  FileName = e.Name;
  PackedSize = h.packedSize;
  UnpackedSize = h.originalSize;
  Ratio = CalcRatio(UnpackedSize, PackedSize);
  CRC = h.crc;
  MethodId = static_cast<uint8_t>(h.MethodChar());
  MethodName = LhaMethods().TagName(h.MethodId());
  ExternalAttr = h.attr;
  Encrypted = false;
  plat::DosDateTimeToDateTime(e.DosDate, FileDate);
}

bool TLha::CopyEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  const TLhaHeader& h = it.Record<TLhaHeader>();
  const int64_t newOffset = out.Seek(0, plat::soFromEnd);
  const int64_t span = h.nextOffset - h.offset;
  if (in.Seek(h.offset, plat::soFromBeginning) != h.offset || out.CopyFrom(in, span) != span) return false;
  it.Offset = newOffset;
  return true;
}

bool TLha::CopyRenamedEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  const TLhaHeader& h = it.Record<TLhaHeader>();
  // Whatever level the entry had, it is written again as level 0.
  TLhaEntry e = LhaEntryOf(h);
  e.Name = it.Name;
  if (e.IsFolder() && !e.Name.empty() && e.Name.back() != '/') e.Name += '/';
  const std::string head = LhaLevel0Header(e);
  if (head.empty()) {
    ReportError(it.Name, "", VolumeName, E_BADFILENAME);
    return false;
  }
  const int64_t newOffset = out.Seek(0, plat::soFromEnd);
  if (!WriteAll(out, head)) return false;
  if (in.Seek(h.dataOffset, plat::soFromBeginning) != h.dataOffset || out.CopyFrom(in, h.packedSize) != h.packedSize)
    return false;
  it.Offset = newOffset;
  return true;
}

// New entries get level-0 headers: a one-byte header size and 32-bit sizes.
TCompBase::TWriterLimits TLha::WriterLimits() const {
  return {"an LHA level-0 header", 255 - (LhaPlainHeaderSize(0) - 2), 0xFFFFFFFFll, 0, true};
}

// ---- a new entry ----------------------------------------------------------------------------

bool TLha::CompressEntry(TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  FileName = it.Name;
  TLhaEntry e;
  // In a DOS code page the name is for DOS tools: no Unix extension either.
  e.Name = StoredNameBytes(it.Name);
  const plat::FileInfo fi = SourceInfo(it.SourcePath);
  e.HasMode = StoredNamePage().empty();
  std::unique_ptr<TFileStream32> src;
  int64_t size = 0;
  if (it.IsDir) {
    if (!fi.exists || !fi.isDir) return false;  // gone since the scan
    if (!e.Name.empty() && e.Name.back() != '/') e.Name += '/';
    e.Method[3] = 'd';
    e.Attr = 0x10;
    e.DosDate = it.FileDate;
    e.Mode = static_cast<uint16_t>(0040000u | (fi.exists ? fi.mode & 07777 : 0755));
  } else {
    src = std::make_unique<TFileStream32>(it.SourcePath, plat::fmOpenRead | plat::fmShareDenyNone);
    if (!src->IsOpen()) return SourceUnreadable(it.SourcePath);
    size = std::max<int64_t>(0, src->Size());
    if (size > 0xFFFFFFFFll) {
      // Level-0 headers hold 32-bit sizes.
      ReportError(it.SourcePath, "", VolumeName, E_BADFILEHEADER);
      return false;
    }
    e.Attr = static_cast<uint8_t>(it.FileAttr);
    e.DosDate = EntryDate(it.FileDate);
    e.Mode = static_cast<uint16_t>(0100000u | (fi.exists ? fi.mode & 07777 : 0644));
  }
  if (e.DosDate == it.FileDate && fi.exists) e.UnixTime = fi.mtime;
  e.Original = static_cast<uint32_t>(size);
  char method = '0';
  if (!it.IsDir && size > 0 && !StoreByType(it.Name)) {
    if (const TMethod* m = LhaMethods().FindWriter(compressMethod_)) method = m->tag[3];
  }
  e.Method[3] = it.IsDir ? 'd' : method;

  // The header goes first; it is written again once sizes and CRC are known.
  const std::string first = LhaLevel0Header(e);
  if (first.empty()) {
    ReportError(it.SourcePath, "", VolumeName, E_BADFILENAME);
    return false;
  }
  const int64_t start = out.Seek(0, plat::soFromEnd);
  if (!WriteAll(out, first)) RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
  uint16_t crc = 0;
  if (src && size > 0) {
    method = WriteData(out, *src, it, method, crc);
    if (method == 0) return false;
    // A file that shrank or grew while it was read: its header would lie.
    const int64_t read = src->Seek(0, plat::soFromCurrent);
    if (read != size) return SourceChanged(it.SourcePath, read, size);
    e.Method[3] = method;
  }
  const int64_t end = out.Seek(0, plat::soFromEnd);
  e.DataSize = end - start - static_cast<int64_t>(first.size());
  e.Crc = crc;
  const std::string head = LhaLevel0Header(e);
  if (out.Seek(start, plat::soFromBeginning) != start || !WriteAll(out, head))
    RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
  out.Seek(0, plat::soFromEnd);

  it.Offset = start;
  it.PackedSize = e.DataSize;
  it.UnpackedSize = size;
  it.Crc = crc;
  it.StoredDate = e.DosDate;
  it.StoredAttr = e.Attr;
  if (OnEnd) OnEnd(this, it.Name, true);
  return true;
}

char TLha::WriteData(TStream32& out, TStream32& src, TCompHeaderItem& it, char method, uint16_t& crc) {
  const int64_t dataStart = out.Position();
  const int64_t remainingAtStart = BytesRemaining;
  if (method != '0') {
    int64_t left = src.Size();
    int64_t reported = 0;
    TLzhEncodeJob job;
    job.read = [&src, &left](uint8_t* buf, int64_t count) -> int64_t {
      const int64_t got = src.Read(buf, std::min(count, left));
      if (got > 0) left -= got;
      return got;
    };
    job.write = [&out](const uint8_t* buf, int64_t count) { return out.Write(buf, count) == count; };
    job.limit = left;
    job.cancel = &cancel_;
    job.progress = [this, &it, &reported](int64_t done) {
      BytesRemaining -= done - reported;
      reported = done;
      ReportProgress(it.FileSize, done);
    };
    TLzhEncoder enc(method == '5' ? kLzhEncLh5 : kLzhEncLh6);
    const TLzhEncodeResult r = enc.Encode(job);
    if (r == erCancelled || cancel_) return 0;
    if (r == erOutputFailed) RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
    if (r == erOk && enc.BytesIn() != src.Size()) {
      SourceChanged(it.SourcePath, enc.BytesIn(), src.Size());
      return 0;
    }
    if (r == erOk) {
      crc = static_cast<uint16_t>(enc.Crc());
      return method;
    }
    // Not worth it: cut the archive back to the end of the header and store.
    out.SetSize(dataStart);
    out.Seek(dataStart, plat::soFromBeginning);
    src.Seek(0, plat::soFromBeginning);
    BytesRemaining = remainingAtStart;
  }
  return StoreData(out, src, it, crc) ? '0' : 0;
}

bool TLha::StoreData(TStream32& out, TStream32& src, TCompHeaderItem& it, uint16_t& crc) {
  const int64_t size = src.Size();
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(kCopyChunk, std::max<int64_t>(size, 1))));
  int64_t done = 0;
  crc = 0;
  while (done < size) {
    if (cancel_) return false;
    const int64_t got = src.Read(buf.data(), std::min<int64_t>(static_cast<int64_t>(buf.size()), size - done));
    if (got <= 0) return SourceChanged(it.SourcePath, done, size);
    UpdateCrc16(buf.data(), got, crc);
    if (out.Write(buf.data(), got) != got) RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
    done += got;
    BytesRemaining -= got;
    ReportProgress(it.FileSize, done);
  }
  return true;
}

// ---- closing -----------------------------------------------------------------------------------

void TLha::WriteEmptyArchive(TStream32& out) {
  // Only the end mark: a zero header size.
  const uint8_t zero = 0;
  out.Seek(0, plat::soFromEnd);
  out.WriteBuffer(&zero, 1);
}

bool TLha::FinishArchive(TStream32& out, TCompHeaderObj&) {
  const uint8_t zero = 0;
  out.Seek(0, plat::soFromEnd);
  return out.Write(&zero, 1) == 1;
}

void TLha::AfterWrite(TCompHeaderObj& list) { SumTotals(list); }

}  // namespace zid
