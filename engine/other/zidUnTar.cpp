#include "engine/other/zidUnTar.h"

#include <algorithm>
#include <vector>

#include "engine/base/zidNames.h"
#include "engine/base/zidSafeName.h"
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
  auto readAt = [s](int64_t pos, uint8_t* buf, int64_t n) { return ReadFullAt(*s, pos, buf, n); };
  // Scan: the whole list first, then the data.
  TTarScanner scan(readAt, ArchiveSize(), start);
  std::vector<TTarItem> items;
  TTarStep step;
  TTarItem item;
  while ((step = scan.Next(item)) == TTarStep::Entry && !Cancelled()) {
    items.push_back(item);
    if (item.truncated) break;
  }
  if (items.empty() && step == TTarStep::BadHeader) {
    ArchiveFailed(E_BADFILEHEADER, "no tar header at offset " + std::to_string(scan.ErrorOffset()));
    return;
  }
  // The files that hard links name, to tell which of them this run makes.
  linkSources_.clear();
  for (const TTarItem& it : items) {
    if (it.type != '1') continue;
    TNameOrigin origin;
    origin.utf8 = it.nameUtf8;
    origin.unixHost = true;
    origin.translateOem = TranslateOemChar;
    const std::string key = PathKey(DecodeEntryName(it.linkName, origin));
    if (!key.empty()) linkSources_.emplace(key, false);
  }
  for (const TTarItem& it : items) {
    if (Cancelled()) return;
    ExtractTarItem(it);
  }
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
  if (item.sparse || item.type == 'M') {
    return RejectEntry(e, E_UNSUPPORTEDMETHOD, item.sparse ? "sparse file" : "continued from another volume");
  }
  if (e.isDir) {
    ExtractEntry(e, [] { return true; });
    return;
  }
  RememberMade(name, ExtractEntry(e, [this, &item] { return CopyData(item); }));
}

// A file a hard link names is remembered once it went where its name says.
void TUnTarBase::RememberMade(const std::string& name, TEntryResult r) {
  if (r != TEntryResult::Extracted || linkSources_.empty()) return;
  auto it = linkSources_.find(PathKey(name));
  if (it == linkSources_.end()) return;
  it->second = OutputMode == omToFile && UseStoredDirs && outRoot_ == GetExtractDir() &&
               JoinComponents(outRel_, outRel_.size()) == it->first;
}

std::string TUnTarBase::PathKey(const std::string& name) {
  std::vector<std::string> comps;
  return SplitEntryPath(name, comps) ? JoinComponents(comps, comps.size()) : std::string();
}

bool TUnTarBase::CopyData(const TTarItem& item) {
  int64_t produced = 0;
  const int r = CopyStored(EntryJob(item.dataOffset, item.storedSize, item.storedSize, produced));
  if (r != drInputExhausted) return DecodeResultOk(r, produced, item.storedSize);
  ReportError(FileName, std::to_string(produced) + " of " + std::to_string(item.storedSize) + " bytes", VolumeName,
              E_READERROR);
  return false;
}

}  // namespace zid
