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

TStoreDeflateResult LhaDataStep(TStream32& src, TStream32& out, TStoreDeflateJob& job, char method);

// Files the workers take: not a folder, and not one a level-0 header cannot
// hold (the loop refuses that one without reading it).
bool Prefetchable(const TCompHeaderItem& it) { return !it.IsDir && it.FileSize <= 0xFFFFFFFFll; }

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
  char packMethod = '0';
  if (const TMethod* m = LhaMethods().FindWriter(compressMethod_)) packMethod = m->tag[3];
  // The first new entry of a run plans the rest; files are compressed ahead by the workers.
  if (!planned_) {
    planned_ = true;
    StartPrefetch(list, index, packMethod);
  }
  TZipPrefetch::TResult pre;
  bool prefetched = false;
  if (Prefetchable(it)) {
    prefetched = TakePrefetched(prefetch_, cancel_, index, it.SourcePath,
                                [&] { StartPrefetch(list, index, packMethod); }, pre);
    if (cancel_) return false;
  }
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
    if (prefetched) {
      if (pre.openFailed) {
        plat::SetLastError(pre.openError);
        return SourceUnreadable(it.SourcePath);
      }
      size = pre.size;
    } else {
      src = std::make_unique<TFileStream32>(it.SourcePath, plat::fmOpenRead | plat::fmShareDenyNone);
      if (!src->IsOpen()) return SourceUnreadable(it.SourcePath);
      size = std::max<int64_t>(0, src->Size());
    }
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
  char method = !it.IsDir && size > 0 && !StoreByType(it.Name) ? packMethod : '0';
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
  if (!it.IsDir && size > 0) {
    TStoreDeflateResult r;
    if (prefetched) {
      r = pre.data;
      const int64_t packed = pre.bytes->Size();
      if (r.status == TStoreDeflateStatus::Ok) {
        if (out.CopyFrom(*pre.bytes, packed) != packed) RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
        BytesRemaining -= size;
        ReportProgress(it.FileSize, it.FileSize);
      }
    } else {
      TStoreDeflateJob job;
      job.size = size;
      job.store = method == '0';
      job.cancel = &cancel_;
      int64_t done = 0;
      job.progress = [this, &it, &done](int64_t n) {
        done += n;
        BytesRemaining -= n;
        ReportProgress(it.FileSize, done);
      };
      r = LhaDataStep(*src, out, job, method);
    }
    if (r.status == TStoreDeflateStatus::Cancelled || cancel_) return false;
    // A file that shrank or grew while it was read: its header would lie.
    if (r.status == TStoreDeflateStatus::ReadError) return SourceChanged(it.SourcePath, r.read, size);
    if (r.stored) method = '0';
    crc = static_cast<uint16_t>(r.crc);
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

// The data of one file behind its header, in the loop or on a worker: the
// LZH encoder, or the file stored when asked to or when compressing does not
// pay (the abandoned bytes are cut off first). The CRC-16 goes to res.crc.
// progress gets plain bytes; after an abandoned attempt it gets back what it
// was given, negated, and counts the stored copy from 0.
namespace {

TStoreDeflateResult LhaDataStep(TStream32& src, TStream32& out, TStoreDeflateJob& job, char method) {
  TStoreDeflateResult res;
  const int64_t size = job.size;
  const int64_t dataStart = out.Position();
  auto cancelled = [&job] { return job.cancel != nullptr && *job.cancel; };
  if (!job.store && method != '0') {
    int64_t left = size;
    int64_t reported = 0;
    TLzhEncodeJob lz;
    lz.read = [&src, &left](uint8_t* buf, int64_t count) -> int64_t {
      const int64_t got = src.Read(buf, std::min(count, left));
      if (got > 0) left -= got;
      return got;
    };
    // A write the archive refuses raises E_RAISE out of the encoder.
    lz.write = [&out](const uint8_t* buf, int64_t count) {
      out.WriteBuffer(buf, count);
      return true;
    };
    lz.limit = size;
    lz.cancel = job.cancel;
    lz.progress = [&job, &reported](int64_t done) {
      if (job.progress) job.progress(done - reported);
      reported = done;
    };
    TLzhEncoder enc(method == '5' ? kLzhEncLh5 : kLzhEncLh6);
    const TLzhEncodeResult r = enc.Encode(lz);
    if (r == erCancelled || cancelled()) {
      res.status = TStoreDeflateStatus::Cancelled;
      return res;
    }
    res.read = enc.BytesIn();
    if (r == erOk) {
      if (res.read != size) res.status = TStoreDeflateStatus::ReadError;
      res.crc = enc.Crc();
      return res;
    }
    // Not worth it: cut back to the end of the header and store.
    out.SetSize(dataStart);
    out.Seek(dataStart, plat::soFromBeginning);
    src.Seek(0, plat::soFromBeginning);
    if (job.progress && reported != 0) job.progress(-reported);
  }
  res.stored = true;
  res.read = 0;
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(kCopyChunk, std::max<int64_t>(size, 1))));
  uint16_t crc = 0;
  while (res.read < size) {
    if (cancelled()) {
      res.status = TStoreDeflateStatus::Cancelled;
      return res;
    }
    const int64_t got = src.Read(buf.data(), std::min<int64_t>(static_cast<int64_t>(buf.size()), size - res.read));
    if (got <= 0) {
      res.status = TStoreDeflateStatus::ReadError;
      return res;
    }
    UpdateCrc16(buf.data(), got, crc);
    out.WriteBuffer(buf.data(), got);
    res.read += got;
    if (job.progress) job.progress(got);
  }
  res.crc = crc;
  return res;
}

}  // namespace

void TLha::StartPrefetch(TCompHeaderObj& list, int from, char method) {
  prefetch_.reset();
  std::vector<TZipPrefetch::TJob> jobs;
  for (int i = from; i < list.Count(); ++i) {
    TCompHeaderItem& it = list[i];
    if (it.Action != caCompress || !Prefetchable(it)) continue;
    TZipPrefetch::TJob job;
    job.index = i;
    job.path = it.SourcePath;
    job.size = it.FileSize;
    job.store = method == '0' || StoreByType(it.Name);
    jobs.push_back(std::move(job));
  }
  // One file gains nothing from a worker.
  if (jobs.size() < 2 || CompressWorkers == 1) return;
  const int workers = CompressWorkers > 1 ? CompressWorkers : TZipPrefetch::DefaultWorkers();
  prefetch_ = std::make_unique<TZipPrefetch>(
      std::move(jobs), GetTempDir(), std::string(), workers,
      [method](TStream32& src, TStream32& out, TStoreDeflateJob& job) { return LhaDataStep(src, out, job, method); });
}

// ---- closing -----------------------------------------------------------------------------------

void TLha::WriteEmptyArchive(TStream32& out) {
  prefetch_.reset();
  planned_ = false;
  // Only the end mark: a zero header size.
  const uint8_t zero = 0;
  out.Seek(0, plat::soFromEnd);
  out.WriteBuffer(&zero, 1);
}

bool TLha::FinishArchive(TStream32& out, TCompHeaderObj&) {
  prefetch_.reset();
  planned_ = false;
  const uint8_t zero = 0;
  out.Seek(0, plat::soFromEnd);
  return out.Write(&zero, 1) == 1;
}

void TLha::AfterWrite(TCompHeaderObj& list) {
  prefetch_.reset();
  planned_ = false;
  SumTotals(list);
}

}  // namespace zid
