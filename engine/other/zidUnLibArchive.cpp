#include "engine/other/zidUnLibArchive.h"

#include <algorithm>
#include <vector>

#include "engine/base/zidNames.h"
#include "engine/base/zidStreams.h"
#include "engine/other/zidLibArchive.h"
#include "platform/datetime.h"

namespace zid {

namespace {

constexpr int64_t kDataBlock = 65536;

// "." and "./" (cpio's first entry, an ISO's root) stand for the extraction folder itself.
bool NamesNothing(const std::string& name) {
  return std::all_of(name.begin(), name.end(), [](char c) { return c == '.' || c == '/'; }) &&
         name.find("..") == std::string::npos;
}

}  // namespace

void TUnLibArchive::ProcessArchive() {
  TLaFamily family;
  if (!LibArchiveFamily(GetArcType(), &family)) return ArchiveFailed(E_BADARCTYPE, ArcTypeEnumName(GetArcType()));
  TStream32* s = ArchiveStream();
  if (s == nullptr) return ArchiveFailed(E_READERROR);
  TLibArchive la(family, [s](int64_t pos, void* buf, int64_t n) { return ReadFullAt(*s, pos, buf, n); },
                 ArchiveSize(), std::max<int64_t>(0, ArcStartOffset()));
  if (!la.Open()) return ArchiveFailed(E_BADFILEHEADER, la.Error());
  bool any = false;
  waiting_.clear();
  while (!Cancelled()) {
    TLaEntry le;
    const TLaStep step = la.Next(le);
    if (step == TLaStep::End) break;
    if (step == TLaStep::Error) {
      waiting_.clear();
      if (!any) return ArchiveFailed(E_BADFILEHEADER, la.Error());
      return HeaderFailed(VolumeName, E_BADFILEHEADER, la.Error());
    }
    any = true;
    if (!Deferred(la, le)) ExtractOne(la, le);
  }
  // Linked files whose data never came were empty.
  for (auto& [name, group] : waiting_) {
    if (Cancelled()) break;
    ExtractLinked(nullptr, group.front(), {group.begin() + 1, group.end()}, 0);
  }
  waiting_.clear();
}

bool TUnLibArchive::Deferred(TLibArchive& la, const TLaEntry& le) {
  if (GetArcType() != atCpio) return false;
  if (le.kind == 'f' && le.links > 1 && le.size == 0) {
    waiting_[le.name].push_back(le);
    return true;
  }
  if (le.kind != 'h') return false;
  auto it = waiting_.find(le.link);
  if (it == waiting_.end()) return false;
  if (le.size <= 0) {
    it->second.push_back(le);
    return true;
  }
  // The data: to the first name, then every other name (this one too) a link to it.
  std::vector<TLaEntry> others(it->second.begin() + 1, it->second.end());
  others.push_back(le);
  const TLaEntry first = it->second.front();
  waiting_.erase(it);
  ExtractLinked(&la, first, others, le.size);
  return true;
}

void TUnLibArchive::ExtractLinked(TLibArchive* la, const TLaEntry& first, const std::vector<TLaEntry>& others,
                                  int64_t size) {
  TEntry e = EntryOf(first);
  e.unpackedSize = e.packedSize = size;
  ExtractEntry(e, [this, la, size] { return la == nullptr || CopyData(*la, size); });
  for (const TLaEntry& o : others) {
    TEntry l = EntryOf(o);
    l.isHardLink = true;
    l.unpackedSize = l.packedSize = 0;
    l.linkTarget = e.storedName;
    ExtractEntry(l, [] { return true; });
  }
}

void TUnLibArchive::ExtractOne(TLibArchive& la, const TLaEntry& le) {
  TEntry e = EntryOf(le);
  const std::string& name = e.storedName;
  if (le.kind == 'd' && NamesNothing(name)) return;
  TNameOrigin origin;
  origin.utf8 = le.utf8;
  origin.unixHost = true;
  origin.translateOem = TranslateOemChar;
  if (le.kind == 'l' || (le.kind == 'h' && le.size <= 0)) {
    e.isSymlink = le.kind == 'l';
    e.isHardLink = le.kind == 'h';
    e.linkTarget = DecodeEntryName(le.link, origin);
    ExtractEntry(e, [] { return true; });
    return;
  }
  if (le.kind == 's') {
    if (!MatchesSpec(name, RecurseDirs)) return;
    ReportError(name, "device, FIFO or socket: not created", VolumeName, E_UNKNOWNFILETYPE);
    return;
  }
  if (le.encrypted) return RejectEntry(e, E_UNSUPPORTEDMETHOD, "encrypted entry");
  if (e.isDir) {
    ExtractEntry(e, [] { return true; });
    return;
  }
  ExtractEntry(e, [this, &la, &le] { return CopyData(la, le.size); });
}

TEntry TUnLibArchive::EntryOf(const TLaEntry& le) const {
  TNameOrigin origin;
  origin.utf8 = le.utf8;
  origin.unixHost = true;
  origin.translateOem = TranslateOemChar;
  TEntry e;
  e.storedName = DecodeEntryName(le.name, origin);
  e.unpackedSize = std::max<int64_t>(0, le.size);
  e.packedSize = e.unpackedSize;
  e.crcKind = 0;  // libarchive checks the data itself
  if (le.mtime >= 0) {
    e.unixTime = le.mtime;
    e.dosDate = plat::UnixToDosDateTime(le.mtime);
  }
  e.isDir = le.kind == 'd';
  e.attr = e.isDir ? 0x10 : 0x20;
  e.unixMode = le.mode & 0777;
  e.encrypted = le.encrypted;
  return e;
}

bool TUnLibArchive::CopyData(TLibArchive& la, int64_t expected) {
  std::vector<uint8_t> buf(kDataBlock);
  int64_t produced = 0;
  for (;;) {
    if (Cancelled()) return false;
    const int64_t n = la.Read(buf.data(), kDataBlock);
    if (n < 0) {
      ReportError(FileName, la.Error(), VolumeName, E_BADBLOCK);
      return false;
    }
    if (n == 0) break;
    if (!WriteDecoded(buf.data(), n)) return false;
    produced += n;
  }
  return DecodeResultOk(drOk, produced, expected);
}

}  // namespace zid
