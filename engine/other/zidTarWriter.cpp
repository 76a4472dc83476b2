#include "engine/other/zidTarWriter.h"

#include <algorithm>
#include <vector>

#include "engine/base/zidNames.h"
#include "engine/base/zidStreams.h"
#include "engine/other/zidTarHeader.h"
#include "engine/other/zidTarRecords.h"
#include "platform/datetime.h"
#include "platform/files.h"

namespace zid {

namespace {

constexpr int64_t kCopyChunk = 131072;

TPackEffort EffortOf(TDeflateType t) { return t == dtDeflateF ? peFast : t == dtDeflateX ? peMax : peNormal; }

}  // namespace

TTarWriter::TTarWriter() {
  det_.ArcType = atTar;
  supported_ = TCompressMethods(TarMethods().WriterMethods());
  compressMethod_ = cmTarred;
  DefaultExt = ".tar";
}

TTarWriter::~TTarWriter() = default;

void TTarWriter::SetArcType(TArcType) { det_.ArcType = atTar; }

// ---- the member stream --------------------------------------------------------------------

void TTarWriter::StartStream(TStream32& out) {
  written_ = 0;
  sink_ = MakePackSink(PackFilterOf(GetArchiveFile()), EffortOf(DeflateType),
                       [&out](const uint8_t* buf, int64_t n) { return out.Write(buf, n) == n; });
}

TPackSink& TTarWriter::Sink(TStream32& out) {
  if (!sink_) StartStream(out);
  return *sink_;
}

// The first member of a run begins a new stream: whatever an earlier,
// cancelled run left in the sink is not carried over.
void TTarWriter::BeginMember(TStream32& out, const TCompHeaderObj& list, int index) {
  for (int i = 0; i < index; ++i)
    if (list[i].Action != caDrop) return;
  StartStream(out);
}

bool TTarWriter::Put(TStream32& out, const void* buf, int64_t n) {
  if (!Sink(out).Write(static_cast<const uint8_t*>(buf), n)) return false;
  written_ += n;
  return true;
}

bool TTarWriter::PutZeros(TStream32& out, int64_t n) {
  static const uint8_t zeros[kTarRecordBlock] = {};
  for (; n > 0; n -= kTarRecordBlock)
    if (!Put(out, zeros, std::min<int64_t>(n, kTarRecordBlock))) return false;
  return true;
}

// ---- the old archive ----------------------------------------------------------------------

bool TTarWriter::ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list) {
  const std::string& arc = GetArchiveFile();
  const int64_t size = in.Size();
  if (size == 0) return true;
  if (PackFilterOf(arc) != TPackFilter::None || oldDet_.ArcType != atTar) {
    ReportError(arc, oldDet_.ArcType == atTar ? "cannot update a tar under a compressed name"
                                              : "cannot update a compressed tar",
                VolumeName, E_BADARCTYPE);
    return false;
  }
  TTarScanner scan([&in](int64_t pos, uint8_t* buf, int64_t n) { return ReadFullAt(in, pos, buf, n); }, size,
                   std::max<int64_t>(0, oldDet_.ArcStartOffset));
  TTarItem item;
  TTarStep step;
  while ((step = scan.Next(item)) == TTarStep::Entry) {
    if (cancel_) return false;
    // The archive is rebuilt from what was read: an entry cut short is not copied as if whole.
    if (item.truncated) break;
    TNameOrigin origin;
    origin.utf8 = item.nameUtf8;
    origin.unixHost = true;
    TCompHeaderItem it;
    it.Name = DecodeEntryName(item.name, origin);
    while (it.Name.size() > 1 && it.Name.back() == '/') it.Name.pop_back();
    it.Action = caCopy;
    it.Offset = item.headerOffset;
    // The whole member, its qualifying records and padding included.
    it.PackedSize = scan.Offset() - item.headerOffset;
    it.UnpackedSize = item.size;
    it.StoredDate = plat::UnixToDosDateTime(item.mtime);
    it.StoredAttr = item.IsDir() ? 0x10 : 0x20;
    if (Switch == swDelete && MatchesSpec(it.Name, RecurseDirs)) it.Action = caDrop;
    list.Items.push_back(std::move(it));
  }
  if (step == TTarStep::End && !item.truncated) return true;
  ReportError(arc, "the tar cannot be read to its end", VolumeName, E_BADFILEHEADER);
  return false;
}

bool TTarWriter::CopyEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  BeginMember(out, list, index);
  if (in.Seek(it.Offset, plat::soFromBeginning) != it.Offset) return false;
  std::vector<uint8_t> buf(kCopyChunk);
  const int64_t newOffset = written_;
  for (int64_t left = it.PackedSize; left > 0;) {
    const int64_t got = in.Read(buf.data(), std::min<int64_t>(left, kCopyChunk));
    if (got <= 0 || !Put(out, buf.data(), got)) return false;
    left -= got;
  }
  it.Offset = newOffset;
  return true;
}

// ---- a new member -------------------------------------------------------------------------

bool TTarWriter::CompressEntry(TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  FileName = it.Name;
  // A followed link is stored as what it leads to: that one's mode and time.
  const plat::FileInfo fi = SourceInfo(it.SourcePath);
  TTarMember m;
  m.name = it.Name;
  std::unique_ptr<TFileStream32> src;
  if (it.IsDir) {
    if (!fi.exists || !fi.isDir) return false;  // gone since the scan
    if (m.name.empty() || m.name.back() != '/') m.name += '/';
    m.type = '5';
    m.mode = fi.mode & 07777;
  } else {
    // Opened before anything is written: a file that cannot be read leaves no member behind.
    src = std::make_unique<TFileStream32>(it.SourcePath, plat::fmOpenRead | plat::fmShareDenyNone);
    if (!src->IsOpen()) return SourceUnreadable(it.SourcePath);
    m.size = std::max<int64_t>(0, src->Size());
    m.mode = fi.exists ? fi.mode & 07777 : 0644;
  }
  m.mtime = fi.exists ? fi.mtime : std::max<int64_t>(0, plat::DosDateTimeToUnix(it.FileDate));
  BeginMember(out, list, index);
  const int64_t start = written_;
  const std::string head = TarMemberHeaders(m);
  if (!Put(out, head.data(), static_cast<int64_t>(head.size()))) RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
  if (src && !CopyData(out, *src, it, m.size)) return false;
  it.Offset = start;
  it.PackedSize = it.UnpackedSize = m.size;
  it.Crc = 0;
  it.StoredDate = EntryDate(it.FileDate);
  it.StoredAttr = it.IsDir ? 0x10 : it.FileAttr;
  if (OnEnd) OnEnd(this, it.Name, true);
  return true;
}

bool TTarWriter::CopyData(TStream32& out, TStream32& src, TCompHeaderItem& it, int64_t size) {
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(kCopyChunk, std::max<int64_t>(size, 1))));
  int64_t done = 0;
  while (done < size) {
    if (cancel_) return false;
    const int64_t got = src.Read(buf.data(), std::min<int64_t>(static_cast<int64_t>(buf.size()), size - done));
    // The header already promised `size` bytes: a file that shrank fails the update, and the old
    // archive stays as it was.
    if (got <= 0) return SourceChanged(it.SourcePath, done, size);
    if (!Put(out, buf.data(), got)) RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
    done += got;
    BytesRemaining -= got;
    ReportProgress(it.FileSize, done);
  }
  uint8_t more;
  if (src.Read(&more, 1) > 0) return SourceChanged(it.SourcePath, size + 1, size);  // it grew
  if (!PutZeros(out, (kTarRecordBlock - size % kTarRecordBlock) % kTarRecordBlock))
    RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
  return true;
}

// ---- closing ---------------------------------------------------------------------------------

void TTarWriter::WriteEmptyArchive(TStream32& out) {
  FinishArchive(out, list_);
}

bool TTarWriter::FinishArchive(TStream32& out, TCompHeaderObj&) {
  const bool ok = PutZeros(out, TarEndLength(written_)) && Sink(out).Finish();
  sink_.reset();
  written_ = 0;
  return ok;
}

void TTarWriter::AfterWrite(TCompHeaderObj& list) { SumTotals(list); }

}  // namespace zid
