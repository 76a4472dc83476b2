// zefa a: add files to a ZIP or JAR archive (created when missing);
// zefa d: delete entries from one.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "engine/base/Err_Msgs.h"
#include "engine/zip/zidJar.h"
#include "engine/zip/zidZip.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace cli {

namespace {

struct AddOptions {
  std::string archive;
  std::vector<std::string> paths;
  std::string format;
  bool store = false;
  std::string level = "normal";
  bool recurse = false;
  std::string password;
  bool encryptHeaders = false;
  std::vector<std::string> excludes;
  bool move = false;
  bool refresh = false;
  std::string paths_mode = "relative";
};

bool HasWildcards(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

std::unique_ptr<zid::TZip> MakeWriter(const std::string& archive, const std::string& format) {
  const bool jar = format.empty() ? plat::SameText(plat::ExtractFileExt(archive), ".jar") : format == "jar";
  std::unique_ptr<zid::TZip> w;
  if (jar) {
    w = std::make_unique<zid::TJar>();
    w->DefaultExt = ".jar";
  } else {
    w = std::make_unique<zid::TZip>();
    w->DefaultExt = ".zip";
  }
  return w;
}

// The writer's answers a command line gives without asking: a changed file replaces its entry.
void Wire(zid::TZip& w, int* errors, ProgressBar& bar) {
  AttachErrorPrinter(w, errors);
  w.OnReplaceFile = [](zid::TZipCommon*, const std::string&, const std::string&, uint32_t, uint32_t, int64_t,
                       int64_t, uint32_t, uint32_t, bool& replace) { replace = true; };
  w.OnProgress = [&bar, &w](zid::TZipCommon*, uint8_t byFile, uint8_t byArchive) {
    bar.Update(byFile, byArchive, w.FileName);
  };
}

int RunAdd(AddOptions& opt) {
  auto w = MakeWriter(opt.archive, opt.format);
  int errors = 0;
  ProgressBar bar("Adding");
  Wire(*w, &errors, bar);
  if (opt.store) w->SetCompressMethod(zid::cmStore);
  w->DeflateType = opt.level == "fast" ? zid::dtDeflateF : opt.level == "max" ? zid::dtDeflateX : zid::dtDeflateN;
  w->RecurseDirs = opt.recurse;
  w->Password = opt.password;
  w->EncryptHeaders = opt.encryptHeaders;
  w->ExcludeSpec = opt.excludes;
  w->Switch = opt.move ? zid::swMove : opt.refresh ? zid::swRefresh : zid::swAdd;
  // A move deletes the sources outright, as zip -m does.
  w->DeleteOptions = zid::doFinal;

  w->SetArchiveFile(opt.archive);
  int added = 0;
  bool missing = false;
  for (const std::string& raw : opt.paths) {
    std::string path = plat::ToNative(raw);
    const bool isDir = !HasWildcards(path) && plat::DirectoryExists(path);
    if (!isDir && !HasWildcards(path) && !plat::FileExists(path)) {
      PrintEngineError(zid::E_FILENOTFOUND, raw);
      missing = true;
      continue;
    }
    if (opt.paths_mode == "none")
      w->StoredDirNames = zid::sdNone;
    else if (opt.paths_mode == "absolute")
      w->StoredDirNames = zid::sdAbsoluteNoRoot;
    else
      // A folder keeps its own name in the archive, as other archivers do.
      w->StoredDirNames = isDir ? zid::sdRelativeStoreStart : zid::sdRelative;
    if (isDir) path = plat::IncludeTrailingPathDelimiter(path) + "*";
    w->FileSpec = {path};
    // Assigned again for every path: whether the archive is new is decided at assignment.
    w->SetArchiveFile(opt.archive);
    added += w->Compress();
  }
  bar.Finish();
  std::cout << added << (added == 1 ? " file" : " files") << " added to " << w->GetArchiveFile() << "\n";
  if (!plat::FileExists(w->GetArchiveFile())) return kExitFailed;
  if (errors > 0 || missing) return kExitPartial;
  return kExitOk;
}

int RunDelete(const std::string& archive, const std::vector<std::string>& masks) {
  if (!plat::FileExists(archive)) {
    PrintEngineError(zid::E_OPENERROR, archive);
    return kExitFailed;
  }
  auto w = MakeWriter(archive, "");
  int errors = 0;
  ProgressBar bar("Deleting");
  Wire(*w, &errors, bar);
  w->Switch = zid::swDelete;
  w->FileSpec = masks;
  w->SetArchiveFile(archive);
  const int deleted = w->Compress();
  bar.Finish();
  std::cout << deleted << (deleted == 1 ? " entry" : " entries") << " deleted from " << w->GetArchiveFile() << "\n";
  if (errors > 0) return deleted > 0 ? kExitPartial : kExitFailed;
  return deleted > 0 ? kExitOk : kExitPartial;
}

}  // namespace

Command RegisterAdd(CLI::App& app) {
  auto opt = std::make_shared<AddOptions>();
  CLI::App* sub = app.add_subcommand("a", "Add files to a ZIP or JAR archive (created when missing)");
  sub->add_option("archive", opt->archive, "The archive")->required();
  sub->add_option("paths", opt->paths, "Files, folders or masks (* and ?) to add")->required();
  sub->add_option("-f,--format", opt->format, "zip or jar (default: from the archive's extension)")
      ->check(CLI::IsMember({"zip", "jar"}));
  sub->add_flag("--store", opt->store, "Store every file without compressing");
  sub->add_option("--level", opt->level, "Deflate level: fast, normal (default) or max")
      ->check(CLI::IsMember({"fast", "normal", "max"}));
  sub->add_flag("-r,--recurse", opt->recurse, "Go into subfolders");
  sub->add_option("-p,--password", opt->password, "Encrypt the files with this password");
  sub->add_flag("--encrypt-headers", opt->encryptHeaders, "Encipher the entry headers too (only zefa reads them)");
  sub->add_option("--exclude", opt->excludes, "Leave out files matching this mask (repeatable)");
  auto* mv = sub->add_flag("--move", opt->move, "Delete the source files once they are in the archive");
  auto* rf = sub->add_flag("--refresh", opt->refresh, "Only replace entries whose files changed; add nothing new");
  mv->excludes(rf);
  rf->excludes(mv);
  sub->add_option("--paths", opt->paths_mode,
                  "Stored names: relative (default; a folder keeps its own name), none, absolute (without the "
                  "leading /)")
      ->check(CLI::IsMember({"relative", "none", "absolute"}));
  return Command{sub, [opt] { return RunAdd(*opt); }};
}

Command RegisterDelete(CLI::App& app) {
  auto archive = std::make_shared<std::string>();
  auto masks = std::make_shared<std::vector<std::string>>();
  CLI::App* sub = app.add_subcommand("d", "Delete entries from a ZIP or JAR archive");
  sub->add_option("archive", *archive, "The archive")->required();
  sub->add_option("masks", *masks, "Entries to delete (wildcards * and ?)")->required();
  return Command{sub, [archive, masks] { return RunDelete(*archive, *masks); }};
}

}  // namespace cli
