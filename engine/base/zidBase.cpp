#include "engine/base/zidBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "engine/base/zidMask.h"
#include "engine/base/zidStreams.h"
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/paths.h"

namespace zid {

TZipCommon::TZipCommon() = default;
TZipCommon::~TZipCommon() = default;

void TZipCommon::SetArchiveFile(const std::string& name) {
  AssignArchiveFile(det_, name);
  namePageFor.clear();
}

void TZipCommon::SetArcType(TArcType) { ReevaluateArcType(det_); }

void TZipCommon::ReportError(const std::string& fileName, const std::string& extendedMsg,
                             const std::string& volumeID, int eCode) {
  TStopwatchPause pause(timer_);
  if (cancel_) eCode = E_USERCANCELED;
  if (OnError) OnError(this, fileName, extendedMsg, volumeID, eCode);
}

void TZipCommon::RaiseError(const std::string& fileName, const std::string& extendedMsg,
                            const std::string& volumeID, int eCode) {
  TStopwatchPause pause(timer_);
  if (cancel_) eCode = E_USERCANCELED;
  if (OnError) OnError(this, fileName, extendedMsg, volumeID, eCode);
  // A handler may have cancelled: then the loop winds down through its own checks.
  if (!cancel_) throw E_RAISE(LoadStr(eCode), eCode, true);
}

void TZipCommon::ReportCaught() {
  try {
    throw;
  } catch (const E_RAISE& e) {
    if (!e.Reported) ReportError(GetArchiveFile(), e.what(), VolumeName, e.Code != 0 ? e.Code : E_UNKNOWNERROR);
  } catch (const std::bad_alloc&) {
    ReportError(GetArchiveFile(), std::string(), VolumeName, E_OUTOFMEMORY);
  } catch (const std::exception& e) {
    ReportError(GetArchiveFile(), e.what(), VolumeName, E_UNKNOWNERROR);
  } catch (...) {
    ReportError(GetArchiveFile(), std::string(), VolumeName, E_UNKNOWNERROR);
  }
}

namespace {

// A mask that takes every name when folders are searched: "*", and "*.*"
// (a name without a dot gets one for the second test).
bool TakesEveryName(const std::string& mask) {
  return mask.empty() || (mask[0] == '*' && (mask.size() == 1 || (mask.size() == 3 && mask[1] == '.' && mask[2] == '*')));
}

}  // namespace

bool TZipCommon::MatchesSpec(const std::string& storedName, bool recurse) {
  // The common case, nothing excluded and every name wanted, costs no name work.
  const bool excludes = std::any_of(ExcludeSpec.begin(), ExcludeSpec.end(), [](const std::string& m) { return !m.empty(); });
  if (!excludes) {
    if (NameFilter) return NameFilter(storedName);
    if (recurse && std::any_of(FileSpec.begin(), FileSpec.end(), TakesEveryName)) return true;
  }
  const std::string name = plat::ToNative(storedName);
  const std::string bare = plat::ExtractFileName(name);
  const std::string folder = plat::ExtractFilePath(name);
  for (const std::string& ex : ExcludeSpec) {
    if (ex.empty()) continue;
    std::string m = plat::ToNative(ex);
    if (MatchesMask(m.find('/') == std::string::npos ? bare : name, m)) {
      if (OnExcludeFile) OnExcludeFile(this, storedName);
      return false;
    }
  }
  if (NameFilter) return NameFilter(storedName);
  for (const std::string& line : FileSpec) {
    std::string mask = plat::ToNative(line);
    if (mask.empty()) mask = "*";
    if (plat::SameText(mask, name)) return true;
    const std::string maskFolder = plat::ExtractFilePath(mask);
    std::string subject;
    if (!recurse) {
      if (!plat::SameText(folder, maskFolder)) continue;
      subject = bare;
      mask = plat::ExtractFileName(mask);
    } else if (maskFolder.empty()) {
      subject = bare;
    } else {
      subject = name;
    }
    if (MatchesMask(subject, mask)) return true;
    // The retry for names without a dot: name and mask both get one. The mask
    // is changed only for this test: kept in FileSpec, "t*" would turn into
    // "t*." after the first miss and from then on match only names without a dot.
    if (plat::ExtractFileName(subject).find('.') == std::string::npos) {
      subject += '.';
      if (plat::ExtractFileName(mask).find('.') == std::string::npos) mask += '.';
      if (MatchesMask(subject, mask)) return true;
    }
  }
  return false;
}

void TZipCommon::SetCancel(bool value) {
  cancel_ = value;
  if (value) ReportError(FileName, std::string(), VolumeName, E_USERCANCELED);
}

void TZipCommon::ReportProgress(int64_t entryTotal, int64_t entryDone) {
  plat::ProcessMessages();
  if (!OnProgress) return;
  int byFile = Percent(entryDone, entryTotal);
  int byArchive = Percent(BytesTotal - BytesRemaining, BytesTotal);
  OnProgress(this, static_cast<uint8_t>(byFile), static_cast<uint8_t>(byArchive));
}

int TZipCommon::CalcRatio(int64_t unpacked, int64_t packed) {
  if (unpacked <= 0 || packed >= unpacked) return 0;
  if (packed < 0) packed = 0;
  long double r = static_cast<long double>(unpacked - packed) * 100.0L / static_cast<long double>(unpacked);
  return static_cast<int>(r + 0.5L);
}

std::string TZipCommon::VolumeFileName(const std::string& name, int n) {
  if (name.empty() || n < 0) return std::string();
  std::string folder = plat::ExtractFilePath(name);
  std::string file = plat::ExtractFileName(name);
  // The extension goes, the rest of a dotted name stays.
  size_t dot = file.rfind('.');
  if (dot != std::string::npos) file.resize(dot);
  TArcType t = det_.ArcType;
  if (t == atRar || t == atRarExe) {
    n %= 100;
    if (n == 0) det_.VolumeLetter = static_cast<char>(det_.VolumeLetter + 1);
  }
  std::string ext;
  if (n < 10) ext = std::string(".") + det_.VolumeLetter + "0" + std::to_string(n);
  else if (n < 100) ext = std::string(".") + det_.VolumeLetter + std::to_string(n);
  else ext = "." + std::to_string(n);
  return folder + file + ext;
}

std::string TZipCommon::TempDirValue(std::string& stored) {
  if (stored.empty() || !plat::DirectoryExists(stored)) stored = plat::TempFolder();
  return stored;
}

std::string TZipCommon::AssignTempDir(const std::string& dir) {
  if (dir.empty()) return plat::TempFolder();
  std::string d = plat::IncludeTrailingPathDelimiter(plat::ToNative(dir));
  if (plat::DirectoryExists(d)) return d;
  plat::MsgResult answer = plat::MessageBox(plat::MsgKind::Question, plat::ApplicationTitle(),
                                            d + "\n\n" + LoadStr(E_CREATETEMPDIR));
  if (answer == plat::MsgResult::Yes && plat::ForceDirectories(d)) return d;
  return plat::TempFolder();
}

std::string TZipCommon::NextVolumeName() {
  int n = CurrentVolume + 1;
  if (n >= LastVolume) {
    VolumeName = GetArchiveFile();
  } else {
    char ext[16];
    snprintf(ext, sizeof ext, ".z%02d", n);
    VolumeName = plat::ChangeFileExt(GetArchiveFile(), ext);
  }
  return VolumeName;
}

namespace {
constexpr int kMaxVolumeQuestions = 100;
}  // namespace

bool TZipCommon::OpenNextVolume(bool forWriter) {
  const int n = CurrentVolume + 1;
  NextVolumeName();
  if (!OnNextVolume) {
    // Reported before the flag is set, so the report names the missing event.
    ReportError(FileName, "OnNextVolume", VolumeName, E_REQUIREDEVENT);
    cancel_ = true;
    return false;
  }
  CloseArchive();
  // A handler that keeps naming a missing file is asked a bounded number of times.
  int asked = 0;
  do {
    OnNextVolume(this, VolumeName, forWriter ? n + 1 : n, plat::FileExists(VolumeName), cancel_);
    if (++asked >= kMaxVolumeQuestions && !plat::FileExists(VolumeName)) cancel_ = true;
  } while (!cancel_ && !plat::FileExists(VolumeName));
  if (cancel_) {
    ReportError(FileName, std::string(), VolumeName, E_USERCANCELED);
    return false;
  }
  CurrentVolume = n;
  return OpenArchive(VolumeName);
}

bool TZipCommon::RequestVolume(const std::string& proposedName, int number) {
  return AskForVolume(proposedName, number, nullptr);
}

bool TZipCommon::AskForVolume(const std::string& proposedName, int number, std::string* missing) {
  if (number > 999) {
    ReportError(FileName, std::string(), proposedName, E_MAXVOLUMES);
    return false;
  }
  if (proposedName.empty()) {
    ReportError(FileName, std::string(), proposedName, E_BADFILENAME);
    return false;
  }
  std::string name = plat::ToNative(proposedName);
  if (plat::ExtractFilePath(name).empty()) name = plat::IncludeTrailingPathDelimiter(plat::GetCurrentDir()) + name;
  // A volume that is not there once the handler is done: the caller's, or the end.
  const auto notThere = [&](const char* event) {
    if (missing != nullptr) {
      *missing = name;
    } else if (event != nullptr) {
      ReportError(FileName, event, name, E_REQUIREDEVENT);
    } else {
      if (!plat::FileExists(name)) ReportMissingVolume(name);
      SetCancel(true);
    }
    return false;
  };
  if (!OnNextVolume) {
    if (!plat::FileExists(name)) return notThere("OnNextVolume");
  } else {
    int asked = 0;
    do {
      bool cancel = false;
      OnNextVolume(this, name, number, plat::FileExists(name), cancel);
      if (++asked >= kMaxVolumeQuestions && !plat::FileExists(name)) cancel = true;
      if (cancel) {
        // A cancel while the named file is there is the user's: the operation ends.
        if (plat::FileExists(name)) missing = nullptr;
        return notThere(nullptr);
      }
    } while (!plat::FileExists(name));
  }
  VolumeName = name;
  return OpenArchive(name);
}

void TZipCommon::ReportMissingVolume(const std::string& name) {
  ReportError(MissingVolumeSubject(), "the volume " + plat::ExtractFileName(name) + " of the set is missing", name,
              E_FILENOTFOUND);
}

TZipCommon::TSetVolume TZipCommon::RequestSetVolume(const std::string& proposedName, int& number,
                                                    const std::function<std::string(const std::string&, int)>& nameOf) {
  // Volumes looked past after a missing one: a set with a longer gap ends there.
  constexpr int kMaxGap = 8;
  std::string gone;
  if (AskForVolume(proposedName, number, &gone)) return TSetVolume::Opened;
  if (gone.empty()) return TSetVolume::None;
  ReportMissingVolume(gone);
  std::vector<std::string> gap;
  for (int n = number + 1; n <= number + kMaxGap; ++n) {
    const std::string next = nameOf(gap.empty() ? gone : gap.back(), n);
    if (next.empty()) break;
    if (!plat::FileExists(next)) {
      gap.push_back(next);
      continue;
    }
    // The volumes between were missing too: each is named.
    for (const std::string& g : gap) ReportMissingVolume(g);
    if (!RequestVolume(next, n)) return TSetVolume::None;
    number = n;
    return TSetVolume::PastGap;
  }
  return TSetVolume::Missing;
}

bool TZipCommon::OpenArchive(const std::string& name) {
  CloseArchive();
  auto s = std::make_unique<TFileStream32>(name, plat::fmOpenRead | plat::fmShareDenyWrite);
  if (s->Handle() < 0) {
    ReportError(FileName, plat::ErrorText(plat::LastError()), name, E_OPENERROR);
    return false;
  }
  archiveSize_ = s->Size();
  archive_ = std::move(s);
  return true;
}

void TZipCommon::CloseArchive() {
  archive_.reset();
  archiveSize_ = 0;
}

}  // namespace zid
