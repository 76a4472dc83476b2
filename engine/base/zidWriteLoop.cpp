// The write loop of every writer: prepare, read the old directory, scan and
// merge, write the new archive into a temporary stream, publish it.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <new>
#include <utility>

#include "engine/base/zidCompBase.h"
#include "engine/base/zidDiskManager.h"
#include "engine/base/zidFileScan.h"
#include "engine/base/zidMask.h"
#include "engine/base/zidStreams.h"
#include "engine/base/zidTempStreams.h"
#include "platform/charset.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/safeopen.h"
#include "platform/shellops.h"

namespace zid {

namespace {

// The archive's folder as the user named it: a symbolic link to a folder
// leads there (the archive is written beside itself in that folder).
bool FolderReached(const std::string& folder) {
  if (plat::DirectoryExists(folder)) return true;
  std::error_code ec;
  return plat::FileStat(folder).isLink && std::filesystem::is_directory(folder, ec);
}

// A rename answer that keeps naming taken names would ask forever.
constexpr int kMaxRenameQuestions = 1000;

// The longest leading folder every line shares, compared letter by letter
// (case-insensitive) and cut back to a whole folder.
std::string CommonFolder(const TStrings& lines) {
  std::string common;
  bool first = true;
  for (const auto& raw : lines) {
    const std::string line = plat::ExtractFilePath(plat::ExpandFileName(plat::ToNative(raw)));
    if (first) {
      common = line;
      first = false;
      continue;
    }
    size_t n = 0;
    while (n < common.size() && n < line.size() &&
           plat::SameText(common.substr(n, 1), line.substr(n, 1)))
      ++n;
    common.resize(n);
  }
  const size_t slash = common.rfind('/');
  return slash == std::string::npos ? std::string() : common.substr(0, slash + 1);
}

// True when the folder holds no file, directly or in any subfolder.
bool HoldsNoFile(const std::string& dir, int depth = 0) {
  if (depth > 256) return false;
  std::vector<plat::FindData> entries;
  if (!plat::ListDirectory(dir, entries)) return true;
  for (const auto& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    if ((e.attr & plat::faDirectory) == 0 || e.isLink) return false;
    if (!HoldsNoFile(plat::IncludeTrailingPathDelimiter(dir) + e.name + "/", depth + 1)) return false;
  }
  return true;
}

}  // namespace

int TCompBase::Compress() {
  added_ = 0;
  deleted_ = 0;
  found_ = 0;
  moveList_.clear();
  moveNames_.clear();
  // A handed detection serves this run only.
  handedNow_ = std::exchange(haveHanded_, false);
  try {
    if (!Prepare()) return 0;
    walkOk_ = false;
    list_.Clear();
    ProcessArchive();
    if (Switch == swMove && walkOk_ && plat::FileExists(GetArchiveFile())) DeleteMovedFiles(list_);
  } catch (const std::exception& e) {
    // Whatever stopped the run is said once: a write that failed (a full
    // disk) must never look like a run that had nothing to do.
    const auto* raised = dynamic_cast<const E_RAISE*>(&e);
    if (raised == nullptr || !raised->Reported) {
      int code = raised && raised->Code ? raised->Code : E_UNKNOWNERROR;
      if (dynamic_cast<const std::bad_alloc*>(&e)) code = E_OUTOFMEMORY;
      ReportError(GetArchiveFile(), raised && raised->Code ? std::string() : e.what(), VolumeName, code);
    }
    added_ = 0;
    deleted_ = 0;
    moveList_.clear();
    return 0;
  }
  if (cancel_) return 0;
  return Switch == swDelete ? deleted_ : added_;
}

bool TCompBase::Prepare() {
  VolumeName = GetArchiveFile();
  cancel_ = false;
  MaxFileDate = 0;
  if (GetArchiveFile().empty()) {
    ReportError("", "ArchiveFile", VolumeName, E_REQUIREDPROPERTY);
    return false;
  }
  if (Switch != swDelete && Switch != swRead && EntryHeaderSize() == 0) return false;
  const std::string folder = plat::ExtractFileDir(GetArchiveFile());
  TDiskManager dm;
  dm.SetOwner(this);
  dm.OnDiskInDrvErr = [this](bool& c) {
    if (OnDiskInDrvErr) OnDiskInDrvErr(this, c);
  };
  dm.OnDiskWriteProtectErr = [this](bool& c) {
    if (OnDiskWriteProtectErr) OnDiskWriteProtectErr(this, c);
  };
  if (FolderReached(folder.empty() ? "/" : folder) && !dm.GetDriveInfo(GetArchiveFile())) return false;
  targetRemovable_ = dm.DriveType == plat::DriveType::Removable;

  baseDir_.clear();
  if (Switch != swDelete) {
    if (StoredDirNames == sdExplorer_Auto) {
      baseDir_ = CommonFolder(FileSpec);
      DefaultDir = baseDir_;
    } else if (StoredDirNames == sdExplorer_UserDefineDefaultDir) {
      if (DefaultDir.empty()) {
        ReportError("", "DefaultDir", VolumeName, E_REQUIREDPROPERTY);
        return false;
      }
      baseDir_ = plat::IncludeTrailingPathDelimiter(plat::ExpandFileName(plat::ToNative(DefaultDir)));
    }
  }
  if (!folder.empty() && !FolderReached(folder)) {
    ReportError(GetArchiveFile(), folder, VolumeName, E_INVALIDDIR);
    return false;
  }
  return true;
}

bool TCompBase::CheckWritable() {
  const int64_t attr = plat::FileGetAttr(GetArchiveFile());
  if (attr < 0 || (attr & plat::faReadOnly) == 0) return true;
  if (!OnNonWriteableArchive) {
    ReportError(GetArchiveFile(), "OnNonWriteableArchive", VolumeName, E_REQUIREDEVENT);
    return false;
  }
  bool write = false;
  OnNonWriteableArchive(this, GetArchiveFile(), write);
  if (!write) return false;
  return plat::FileSetAttr(GetArchiveFile(), static_cast<uint32_t>(attr) & ~plat::faReadOnly);
}

void TCompBase::UseDetection(const TArchiveDetection& d) {
  handed_ = d;
  haveHanded_ = plat::FileIdentity(d.ArchiveFile, handedId_.device, handedId_.inode);
}

void TCompBase::ProcessArchive() {
  const bool isNew = WriteAfresh || !plat::FileExists(GetArchiveFile());
  if (isNew && (Switch == swDelete || Switch == swRefresh)) {
    ReportError(GetArchiveFile(), "", VolumeName, E_NOTHINGTODO2);
    return;
  }
  if (!isNew && (cancel_ || !CheckWritable())) return;
  if (OnElapsedTime) timer_.Start();
  if (OnActivate) OnActivate(this);

  // The new archive: a temporary file created exclusively in TempDir, or memory.
  std::unique_ptr<TTempFileStream> tmpFile;
  std::unique_ptr<TTempMemStream> tmpMem;
  TStream32* out = nullptr;
  if (CompressionMethod == cmInMemory) {
    tmpMem = std::make_unique<TTempMemStream>(this, plat::fmCreate, GetArchiveFile(), &cancel_);
    out = tmpMem.get();
  } else {
    // Unless told otherwise, the new archive is built beside the old one: on
    // the same file system the publish is one rename, never a copy. Spanned
    // sets on removable disks are built in the temporary folder.
    const std::string folder = plat::ExtractFileDir(GetArchiveFile());
    const std::string tempDir = tempDirAssigned_ || targetRemovable_ || folder.empty() ? GetTempDir() : folder;
    tmpFile = std::make_unique<TTempFileStream>(this, plat::fmCreate, GetArchiveFile(), tempDir, &cancel_);
    if (!tmpFile->IsOpen() || !tmpFile->IsTemp()) RaiseError(GetTempDir(), "", VolumeName, E_OPENERROR);
    out = tmpFile.get();
  }

  TCompHeaderObj& list = list_;
  stubLength_ = 0;
  oldDet_ = TArchiveDetection{};
  if (!isNew) {
    if (!OpenArchive(GetArchiveFile())) return;
    // The handed detection while the archive is still the file detected, else a new one.
    TFileId id;
    if (handedNow_ && plat::FileIdentity(GetArchiveFile(), id.device, id.inode) && id == handedId_ &&
        handed_.FileSize == archive_->Size()) {
      oldDet_ = handed_;
    } else {
      oldDet_.ArchiveFile = GetArchiveFile();
      DetectArcType(*archive_, oldDet_);
    }
    archive_->Seek(0, plat::soFromBeginning);
    if (!ReadArchiveDirectory(*archive_, list)) {
      CloseArchive();
      return;
    }
    if (stubLength_ > 0) {
      archive_->Seek(0, plat::soFromBeginning);
      if (out->CopyFrom(*archive_, stubLength_) != stubLength_) RaiseError(GetArchiveFile(), "", VolumeName, E_READERROR);
    }
  }
  if (Switch == swRead) {
    CloseArchive();
    return;
  }

  // The archive and the new archive being built are never inputs, whatever
  // path leads to them (../x.zip, links): compared as files, not as names.
  archiveId_ = {};
  tempId_ = {};
  plat::FileIdentity(GetArchiveFile(), archiveId_.device, archiveId_.inode);
  if (tmpFile) plat::HandleIdentity(tmpFile->Handle(), tempId_.device, tempId_.inode);
  if (Switch != swDelete) ScanFiles(list);
  // A name the chosen code page cannot hold is refused by name, and then
  // nothing is written: a "?" in its place would name another file.
  if (const std::string page = StoredNamePage(); !page.empty()) {
    bool refused = false;
    std::string bytes;
    for (const auto& it : list.Items) {
      if (it.Action != caCompress || plat::EncodeCharset(it.Name, page, bytes)) continue;
      ReportError(it.Name, "the name has no form in " + page, VolumeName, E_BADFILENAME);
      refused = true;
    }
    if (refused) {
      CloseArchive();
      if (tmpFile) tmpFile->Discard();
      if (tmpMem) tmpMem->Discard();
      return;
    }
  }
  int toAdd = 0;
  for (const auto& it : list.Items)
    if (it.Action == caCompress) ++toAdd;
  if (cancel_ || (Switch != swDelete && toAdd == 0)) {
    if (found_ == 0 && !cancel_) ReportError(GetArchiveFile(), "", VolumeName, E_NOTHINGTODO);
    walkOk_ = !cancel_;
    if (Switch == swMove) {
      CloseArchive();
      return;
    }
    list.Clear();
  } else if (!CheckLimits(list)) {
    CloseArchive();
    return;
  } else {
    MergeLoop(archive_.get(), *out, list);
  }

  if ((added_ > 0 || deleted_ > 0) && !cancel_) {
    if (Switch == swDelete && list.Kept() == 0)
      WriteEmptyArchive(*out);
    else if (!FinishArchive(*out, list))
      RaiseError(GetArchiveFile(), "", VolumeName, E_WRITEERROR);
    CloseArchive();
    bool published = PublishArchive(*out, list, tmpFile.get(), tmpMem.get());
    if (!published) {
      added_ = deleted_ = 0;
      return;
    }
    walkOk_ = true;
    AfterWrite(list);
    if (OnDeactivate) OnDeactivate(this);
    if (OnElapsedTime) {
      timer_.Stop();
      OnElapsedTime(this, timer_.ElapsedTime());
    }
  } else {
    CloseArchive();
    if (!cancel_) walkOk_ = true;
    if (tmpFile) tmpFile->Discard();
    if (tmpMem) tmpMem->Discard();
  }
}

bool TCompBase::PublishArchive(TStream32&, TCompHeaderObj&, TTempFileStream* file, TTempMemStream* mem) {
  if (file) return file->Publish();
  if (mem) return mem->Publish();
  return false;
}

// ---- scan and merge -------------------------------------------------------------------------

bool TCompBase::ScanFiles(TCompHeaderObj& list) {
  TzidFileScan scan;
  scan.SetCancelFlag(&cancel_);
  scan.Attributes = Attributes;
  if (StoreEmptySubDirs) scan.Attributes.Include(fsDirectory);
  scan.AttributesEx = AttributesEx;
  scan.RecurseDirs = RecurseDirs;
  scan.IncludeHiddenDirs = IncludeHiddenDirs;
  scan.FollowLinks = FollowLinks;
  const std::string cwd = plat::IncludeTrailingPathDelimiter(plat::GetCurrentDir());
  TStrings masks;
  for (const auto& raw : FileSpec) {
    const std::string line = plat::Trim(raw);
    if (line.empty()) continue;
    const std::string native = plat::ToNative(line);
    // "." and ".." are folded, so that "./a" and "sub/../a" name what "a" names.
    masks.push_back(plat::ExpandFileName(native[0] == '/' ? native : cwd + native));
  }
  scan.SetRootDir(cwd);
  scan.SetFileSpec(masks);
  scanRoot_ = cwd;
  scan.RootDirHook = [this](TzidFileScan&, const std::string& dir) {
    scanRoot_ = plat::IncludeTrailingPathDelimiter(dir);
  };
  scan.Hook = [this, &list](TzidFileScan&, const std::string& dir, void*, const plat::FindData& e) {
    return AddCandidate(list, dir, e);
  };
  scan.OnRecurseDir = [this](TzidFileScan&, const std::string& dir) {
    if (OnRecurseDir) OnRecurseDir(this, dir);
  };
  scan.OnScanFile = [this](TzidFileScan&, const std::string& name, int n, int64_t size) {
    if (OnFileScanStatus) OnFileScanStatus(this, name, n, size);
  };
  scan.Scan();
  return !cancel_;
}

bool TCompBase::Excluded(const std::string& fullPath) const {
  const std::string name = plat::ExtractFileName(fullPath);
  const std::string folder = plat::LowerCase(plat::ExtractFilePath(fullPath));
  for (const auto& raw : ExcludeSpec) {
    const std::string line = plat::ToNative(plat::Trim(raw));
    if (line.empty()) continue;
    if (line.find('/') == std::string::npos) {
      if (MatchesMask(name, NormalizeMask(line))) return true;
      continue;
    }
    std::string dir = plat::ExtractFilePath(line);
    if (dir[0] != '/') dir = scanRoot_ + dir;
    dir = plat::LowerCase(plat::IncludeTrailingPathDelimiter(plat::ExpandFileName(dir)));
    if (folder.compare(0, dir.size(), dir) != 0) continue;
    if (MatchesMask(name, NormalizeMask(plat::ExtractFileName(line)))) return true;
  }
  return false;
}

bool TCompBase::IsOwnArchive(const std::string& path) const {
  TFileId id;
  if (!plat::FileIdentity(path, id.device, id.inode)) return path == GetArchiveFile();
  return (id.inode != 0 && id == archiveId_) || (id.inode != 0 && id == tempId_);
}

bool TCompBase::SourceUnreadable(const std::string& path) {
  const std::string why = plat::ErrorText(plat::LastError());
  if (SkipUnreadableFiles) {
    ReportError(path, why, VolumeName, E_OPENERROR);
    return false;
  }
  RaiseError(path, why + "; nothing written", VolumeName, E_OPENERROR);
  return false;
}

bool TCompBase::SourceChanged(const std::string& path, int64_t read, int64_t declared) {
  RaiseError(path,
             "the file changed while it was read (" + std::to_string(read) + " bytes of " + std::to_string(declared) +
                 "); nothing written",
             VolumeName, E_READERROR);
  return false;
}

bool TCompBase::AddCandidate(TCompHeaderObj& list, const std::string& dirWithSlash, const plat::FindData& e) {
  const bool isDir = (e.attr & plat::faDirectory) != 0 && !e.isLink;
  // A recursive scan stores only the folders no file implies; a flat one
  // stores every folder it is given, since none of their files go in.
  if (isDir && (!StoreEmptySubDirs || (RecurseDirs && !HoldsNoFile(dirWithSlash)))) return false;
  const std::string full = isDir ? dirWithSlash : dirWithSlash + e.name;
  // A FIFO, device or socket: reading one could wait for ever, or never end.
  if (!isDir && !e.isLink && (e.attr & plat::faArchive) == 0) {
    ReportError(full, "not a regular file (a FIFO, device or socket)", VolumeName, E_SKIPPEDFILE);
    return false;
  }
  // The archive being written is never added to itself.
  if (!isDir && IsOwnArchive(full)) return false;
  if (Excluded(isDir ? plat::ExcludeTrailingPathDelimiter(full) : full)) return false;
  std::string stored = StoredName(full, scanRoot_);
  if (isDir && !stored.empty() && stored.back() != '/') stored += '/';
  if (stored.empty() || stored == "/") return false;

  TCompHeaderItem file;
  file.Name = stored;
  file.Action = caCompress;
  file.SourcePath = full;
  file.IsDir = isDir;
  file.FileSize = isDir ? 0 : e.size;
  file.FileDate = plat::UnixToDosDateTime(e.mtime);
  file.FileAttr = e.attr & 0x3F;
  file.FromScan = true;
  MaxFileDate = std::max(MaxFileDate, file.FileDate);
  ++found_;

  const int existing = list.Find(stored);
  if (existing < 0) {
    if (Switch != swRefresh) list.Items.push_back(std::move(file));
    return true;
  }
  if (list[existing].FromScan) {
    // Two files with one stored name: the first keeps it; the second gets
    // another name when OnRenameDupeFile gives one, else it is reported by
    // name, never dropped without a word.
    if (OnRenameDupeFile) {
      for (int asked = 0; asked < kMaxRenameQuestions; ++asked) {
        std::string newName = stored;
        bool rename = true;
        OnRenameDupeFile(this, stored, newName, rename);
        newName = plat::ToNative(newName);
        if (!rename || newName.empty() || newName == stored) break;
        if (list.Find(newName) >= 0) continue;
        file.Name = newName;
        list.Items.push_back(std::move(file));
        return true;
      }
    }
    --found_;
    ReportError(full, "stored as " + stored + " like " + list[existing].SourcePath, VolumeName, E_SKIPPEDFILE);
    return true;
  }
  MergeExisting(list, existing, std::move(file));
  return true;
}

void TCompBase::MergeExisting(TCompHeaderObj& list, int existing, TCompHeaderItem&& file) {
  TCompHeaderItem& old = list[existing];
  const uint32_t oldDate = old.StoredDate;
  const bool identical = old.UnpackedSize == file.FileSize && oldDate == file.FileDate &&
                         (old.StoredAttr & 0x3F) == file.FileAttr;
  auto takeInPlace = [&] {
    const std::string name = old.Name;
    TCompHeaderItem keep = std::move(file);
    keep.Name = name;
    old = std::move(keep);
  };
  if (identical) {
    // Only a file whose content is in the archive already may go with a move.
    if (Switch == swMove) {
      moveList_.push_back(file.SourcePath);
      moveNames_.push_back(old.Name);
    }
    // Refresh leaves an unchanged entry as it is.
    if (Switch == swRefresh) return;
    AskRename(list, existing, std::move(file));
    return;
  }
  // Refresh replaces an entry whose file changed by date, size or attributes,
  // whichever way the date moved (a file restored from a backup is older).
  if (Switch == swRefresh) {
    takeInPlace();
    return;
  }
  bool replace = false;
  if (!OnReplaceFile) {
    ReportError(file.SourcePath, "OnReplaceFile", VolumeName, E_REQUIREDEVENT);
  } else {
    OnReplaceFile(this, old.Name, file.SourcePath, oldDate, file.FileDate, old.UnpackedSize, file.FileSize,
                  old.StoredAttr, file.FileAttr, replace);
  }
  if (replace) {
    old.Action = caDrop;
    list.Items.push_back(std::move(file));
    return;
  }
  AskRename(list, existing, std::move(file));
}

bool TCompBase::AskRename(TCompHeaderObj& list, int existing, TCompHeaderItem&& file) {
  if (!OnRenameDupeFile) return false;
  const std::string oldName = list[existing].Name;
  for (int asked = 0; asked < kMaxRenameQuestions; ++asked) {
    std::string newName = oldName;
    bool rename = true;
    OnRenameDupeFile(this, oldName, newName, rename);
    newName = plat::ToNative(newName);
    if (!rename || newName.empty() || plat::SameText(newName, oldName)) return false;
    if (list.Find(newName) >= 0) continue;
    list.Rename(existing, newName);
    list[existing].Action = caRename;
    list.Items.push_back(std::move(file));
    return true;
  }
  return false;
}

// ---- the merge loop ---------------------------------------------------------------------------

void TCompBase::MergeLoop(TStream32* in, TStream32& out, TCompHeaderObj& list) {
  int planned = 0;
  BytesTotal = 0;
  for (const auto& it : list.Items) {
    if (it.Action == caDrop) ++planned;
    if (it.Action == caCompress) BytesTotal += it.FileSize;
  }
  BytesRemaining = BytesTotal;
  for (int i = 0; i < list.Count(); ++i) {
    TCompHeaderItem& it = list[i];
    if (cancel_) {
      it.Action = caDrop;
      continue;
    }
    switch (it.Action) {
      case caCopy:
        if (!in || !CopyEntry(*in, out, list, i)) RaiseError(it.Name, "", VolumeName, E_WRITEERROR);
        break;
      case caDrop:
        if (it.FromScan) break;
        ++deleted_;
        if (OnDeleteFile) OnDeleteFile(this, it.Name, deleted_, planned);
        break;
      case caRename:
        if (!in || !CopyRenamedEntry(*in, out, list, i)) RaiseError(it.Name, "", VolumeName, E_WRITEERROR);
        break;
      case caCompress: {
        if (it.IsDir && !StoreEmptySubDirs) {
          it.Action = caDrop;
          break;
        }
        const int64_t start = out.Position();
        bool go = true;
        if (OnBegin) OnBegin(this, it.Name, added_ + 1, go);
        if (go && CompressEntry(out, list, i)) {
          ++added_;
          if (Switch == swMove && !it.IsDir) {
            moveList_.push_back(it.SourcePath);
            moveNames_.push_back(it.Name);
          }
          break;
        }
        // A skipped file leaves nothing behind; a cancel drops everything after it.
        it.Action = caDrop;
        it.FromScan = true;
        out.SetSize(start);
        out.Seek(start, plat::soFromBeginning);
        break;
      }
      default:
        break;
    }
  }
}

namespace {
std::string Grouped(int64_t n) {
  std::string s = std::to_string(n);
  for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3) s.insert(static_cast<size_t>(i), ",");
  return s;
}
}  // namespace

bool TCompBase::CheckLimits(const TCompHeaderObj& list) {
  const TWriterLimits lim = WriterLimits();
  bool ok = true;
  int64_t entries = 0;
  for (const TCompHeaderItem& it : list.Items) {
    if (it.Action == caDrop || (it.IsDir && (!lim.countFolders || (it.Action == caCompress && !StoreEmptySubDirs))))
      continue;
    ++entries;
    if (it.Action != caCompress) continue;
    const size_t name = it.Name.size() + (it.IsDir && !it.Name.empty() && it.Name.back() != '/' ? 1 : 0);
    if (lim.maxName > 0 && name > lim.maxName) {
      ReportError(it.SourcePath, std::string(lim.format) + " holds names of at most " + Grouped(static_cast<int64_t>(lim.maxName)) +
                                     " bytes; this one has " + Grouped(static_cast<int64_t>(name)),
                  VolumeName, E_FORMATLIMIT);
      ok = false;
    }
    if (lim.maxSize > 0 && it.FileSize > lim.maxSize) {
      ReportError(it.SourcePath, std::string(lim.format) + " holds files of at most " + Grouped(lim.maxSize) +
                                     " bytes; this one has " + Grouped(it.FileSize),
                  VolumeName, E_FORMATLIMIT);
      ok = false;
    }
  }
  if (lim.maxEntries > 0 && entries > lim.maxEntries) {
    ReportError(GetArchiveFile(), std::string(lim.format) + " holds at most " + Grouped(lim.maxEntries) +
                                      " entries; this one would hold " + Grouped(entries),
                VolumeName, E_FORMATLIMIT);
    ok = false;
  }
  return ok;
}

plat::FileInfo TCompBase::SourceInfo(const std::string& path) const {
  const std::string p = plat::ExcludeTrailingPathDelimiter(path);
  plat::FileInfo fi = plat::FileStat(p);
  if (fi.isLink && FollowLinks) fi = plat::TargetStat(p);
  return fi;
}

void TCompBase::DeleteMovedFiles(TCompHeaderObj& list) {
  ReportProgress(0, 0);
  const int total = static_cast<int>(moveList_.size());
  for (int i = 0; i < total; ++i) {
    if (cancel_) break;
    if (VerifyBeforeDelete && list.Find(moveNames_[static_cast<size_t>(i)]) < 0) continue;
    const std::string& path = moveList_[static_cast<size_t>(i)];
    const bool ok = DeleteOptions == doAllowUndo ? plat::DeleteToTrash(path) : plat::DeleteFile(path);
    if (ok && OnDeleteFile) OnDeleteFile(this, path, i + 1, total);
  }
}

}  // namespace zid
