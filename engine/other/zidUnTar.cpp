#include "engine/other/zidUnTar.h"

#include <algorithm>
#include <vector>

#include "engine/base/zidNames.h"
#include "engine/base/zidSafeName.h"
#include "engine/base/zidResync.h"
#include "engine/base/zidStreams.h"
#include "engine/other/zidCopyStored.h"
#include "engine/other/zidTarHeader.h"
#include "platform/datetime.h"
#include "platform/files.h"

namespace zid {

namespace {

// "." and "./" entries stand for the extraction folder itself.
bool NamesNothing(const std::string& name) {
  return std::all_of(name.begin(), name.end(), [](char c) { return c == '.' || c == '/' || c == '\\'; }) &&
         name.find("..") == std::string::npos;
}

}  // namespace

void TUnTar::ProcessArchive() {
  ExtractTarStream(0);
}

void TUnTarBase::ExtractTarStream(int64_t start) {
  TStream32* s = ArchiveStream();
  if (s == nullptr) {
    ArchiveFailed(E_READERROR);
    return;
  }
  tarRead_ = [s](int64_t pos, uint8_t* buf, int64_t n) { return ReadFullAt(*s, pos, buf, n); };
  tarFromFile_ = true;
  ExtractTar(ArchiveSize(), start);
}

void TUnTarBase::ExtractTarStream(TTarReadAt readAt, int64_t size) {
  tarRead_ = std::move(readAt);
  tarFromFile_ = false;
  ExtractTar(size, 0);
  tarRead_ = nullptr;
  tarFromFile_ = true;
}

void TUnTarBase::ExtractTar(int64_t size, int64_t start) {
  TTarScanner scan(tarRead_, size, start);
  std::vector<TTarItem> items;
  TTarStep step;
  TTarItem item;
  linkSources_.clear();
  if (!tarFromFile_) {
    // Bytes read as they are decoded: each entry goes out as soon as its
    // header is read, so the data are decoded once. A hard link names a file
    // before it, so the files made are known by then.
    bool any = false;
    while ((step = scan.Next(item)) == TTarStep::Entry && !Cancelled()) {
      any = true;
      ExtractTarItem(item);
      if (item.truncated) break;
    }
    if (!any && step == TTarStep::BadHeader) {
      ArchiveFailed(E_BADFILEHEADER, "no tar header at offset " + std::to_string(scan.ErrorOffset()));
      return;
    }
    return EndTar(scan, step);
  }
  // Scan: the whole list first, then the data. After a damaged header the
  // walk goes on at the next block whose header checksum matches.
  const TResyncProbe probe = TarResyncProbe(tarRead_);
  const TResyncReadAt read = [this](int64_t p, void* buf, int64_t n) {
    return tarRead_(p, static_cast<uint8_t*>(buf), n);
  };
  TLostRegions lost;
  for (;;) {
    bool cut = false;
    while ((step = scan.Next(item)) == TTarStep::Entry && !Cancelled()) {
      items.push_back(item);
      if ((cut = item.truncated)) break;
    }
    if (cut || step != TTarStep::BadHeader || Cancelled()) break;
    const int64_t bad = scan.ErrorOffset();
    const int64_t next = FindNextHeader(read, bad, size, probe);
    if (next < 0 && items.empty() && lost.Empty()) break;
    lost.Add(items.size(), DamagedRegionText("bad tar header", bad, next, size));
    if (next < 0) {
      step = TTarStep::End;
      break;
    }
    scan.Resync(next);
  }
  if (items.empty() && lost.Empty() && step == TTarStep::BadHeader) {
    ArchiveFailed(E_BADFILEHEADER, "no tar header at offset " + std::to_string(scan.ErrorOffset()));
    return;
  }
  // The files that hard links name, to tell which of them this run makes.
  for (const TTarItem& it : items) {
    if (it.type != '1') continue;
    TNameOrigin origin;
    origin.utf8 = it.nameUtf8;
    origin.unixHost = true;
    origin.translateOem = TranslateOemChar;
    const std::string key = PathKey(DecodeEntryName(it.linkName, origin));
    if (!key.empty()) linkSources_.emplace(key, false);
  }
  for (size_t i = 0; i <= items.size(); ++i) {
    if (Cancelled()) return;
    lost.Before(i, [this](const std::string& text) { HeaderFailed(VolumeName, E_BADFILEHEADER, text); });
    if (i < items.size()) ExtractTarItem(items[i]);
  }
  EndTar(scan, step);
}

void TUnTarBase::EndTar(const TTarScanner& scan, TTarStep step) {
  if (Cancelled()) return;
  if (step == TTarStep::BadHeader)
    ArchiveFailed(E_BADFILEHEADER, "bad tar header at offset " + std::to_string(scan.ErrorOffset()));
  else if (step == TTarStep::Truncated)
    ArchiveFailed(E_READERROR, "the archive ends inside the records at offset " + std::to_string(scan.ErrorOffset()));
  else if (step == TTarStep::End && scan.EndedWithoutEndBlock())
    ReportError(GetArchiveFile(), kTarNoEndBlock, VolumeName, E_READERROR);
}

void TUnTarBase::ExtractTarItem(const TTarItem& item) {
  TNameOrigin origin;
  origin.utf8 = item.nameUtf8;
  origin.unixHost = true;
  origin.translateOem = TranslateOemChar;
  const std::string name = DecodeEntryName(item.name, origin);
  if (item.IsDir() && NamesNothing(name)) return;

  TEntry e;
  e.storedName = name;
  e.packedSize = item.storedSize;
  e.unpackedSize = item.size;
  e.crcKind = 0;  // tar keeps no checksum of the data
  e.unixTime = item.mtime;
  e.dosDate = plat::UnixToDosDateTime(item.mtime);
  e.isDir = item.IsDir();
  e.attr = e.isDir ? 0x10 : 0x20;
  e.unixMode = item.mode & 0777;
  e.unixName = true;

  if (item.type == '2') {
    // The loop makes it when its target stays inside the folder.
    e.isSymlink = true;
    e.linkTarget = DecodeEntryName(item.linkName, origin);
    ExtractEntry(e, [] { return true; });
    return;
  }
  if (item.type == '1') {
    // A second name of a file this run has made; of anything else (a file
    // that was there before, left out, or failed) it is not made. A test
    // passes it.
    const std::string target = DecodeEntryName(item.linkName, origin);
    auto it = linkSources_.find(PathKey(target));
    if ((OutputMode != omToFile && OutputMode != omAppendFile) || (it != linkSources_.end() && it->second)) {
      e.isHardLink = true;
      e.linkTarget = target;
      RememberMade(name, ExtractEntry(e, [] { return true; }));
      return;
    }
  }
  if (item.IsLink() || item.IsDevice()) {
    // Special files are not made.
    if (!MatchesSpec(name, RecurseDirs)) return;
    std::string what;
    if (item.type == '1') what = "hard link to " + DecodeEntryName(item.linkName, origin) + ": not created";
    else what = "device or FIFO: not created";
    ReportError(name, what, VolumeName, E_UNKNOWNFILETYPE);
    SkipEntry(item.storedSize);
    return;
  }
  if (item.type == 'M') return RejectEntry(e, E_UNSUPPORTEDMETHOD, "continued from another volume");
  if (item.sparse) {
    RememberMade(name, ExtractEntry(e, [this, &item] { return CopySparse(item); }));
    return;
  }
  if (e.isDir) {
    ExtractEntry(e, [] { return true; });
    return;
  }
  RememberMade(name, ExtractEntry(e, [this, &item] { return CopyData(item); }));
}

// A file a hard link names is remembered once it went where its name says.
void TUnTarBase::RememberMade(const std::string& name, TEntryResult r) {
  if (r != TEntryResult::Extracted) return;
  // Read as decoded, every file made is remembered: a later link may name it.
  if (!tarFromFile_) linkSources_.emplace(PathKey(name), false);
  if (linkSources_.empty()) return;
  auto it = linkSources_.find(PathKey(name));
  if (it == linkSources_.end()) return;
  it->second = OutputMode == omToFile && UseStoredDirs && outRoot_ == GetExtractDir() &&
               JoinComponents(outRel_, outRel_.size()) == it->first;
}

std::string TUnTarBase::PathKey(const std::string& name) {
  std::vector<std::string> comps;
  return SplitEntryPath(name, comps, nullptr, nullptr, false) ? JoinComponents(comps, comps.size()) : std::string();
}

bool TUnTarBase::CopyData(const TTarItem& item) {
  int64_t produced = 0;
  TDecodeSource src;
  if (tarFromFile_) {
    src = EntrySource(item.dataOffset, item.storedSize);
  } else {
    src.budget = item.storedSize;
    src.read = [this, pos = item.dataOffset, end = item.dataOffset + item.storedSize](uint8_t* buf,
                                                                                       int64_t n) mutable {
      const int64_t got = tarRead_(pos, buf, std::min(n, end - pos));
      pos += std::max<int64_t>(got, 0);
      return got;
    };
  }
  const int r = CopyStored(EntryJob(std::move(src), item.storedSize, produced));
  if (r != drInputExhausted) return DecodeResultOk(r, produced, item.storedSize);
  ReportError(FileName, std::to_string(produced) + " of " + std::to_string(item.storedSize) + " bytes", VolumeName,
              E_READERROR);
  return false;
}

}  // namespace zid

namespace zid {

// The pieces in order, the holes between them and after the last as holes.
bool TUnTarBase::CopySparse(const TTarItem& item) {
  std::vector<uint8_t> buf(65536);
  int64_t out = 0, in = 0;
  auto zeros = [&](int64_t n) {
    if (Cancelled() || !WriteHole(n)) return false;
    out += n;
    return true;
  };
  for (const auto& [off, len] : item.sparseMap) {
    if (off < out || len < 0 || off > item.size || len > item.size - off || len > item.storedSize - in) {
      ReportError(FileName, "sparse map", VolumeName, E_CORRUPTINPUT);
      return false;
    }
    if (!zeros(off - out)) return false;
    for (int64_t left = len; left > 0;) {
      if (Cancelled()) return false;
      const int64_t k = std::min<int64_t>(left, static_cast<int64_t>(buf.size()));
      const int64_t got = tarRead_(item.dataOffset + in, buf.data(), k);
      if (got != k) {
        ReportError(FileName, std::to_string(in + std::max<int64_t>(got, 0)) + " of " +
                    std::to_string(item.storedSize) + " bytes", VolumeName, E_READERROR);
        return false;
      }
      if (!WriteOutput(buf.data(), k)) return false;
      in += k;
      left -= k;
      out += k;
    }
  }
  return zeros(item.size - out);
}

}  // namespace zid
