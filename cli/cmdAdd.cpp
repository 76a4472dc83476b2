// zefa a: add files to an archive (created when missing); zefa d: delete
// entries from one. The writer comes from the format table: by -f, else by
// the archive's extension, else ZIP.
#include <glob.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "engine/base/Err_Msgs.h"
#include "engine/base/zidCompBase.h"
#include "engine/base/zidDetect.h"
#include "engine/base/zidFormats.h"
#include "engine/base/zidMethods.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace cli {

namespace {

struct AddOptions {
  std::string archive;
  std::vector<std::string> paths;
  std::string format;
  std::string method;
  bool store = false;
  std::string level = "normal";
  bool recurse = false;
  std::string password;
  std::string encrypt;
  bool askPassword = false;
  bool encryptHeaders = false;
  std::vector<std::string> excludes;
  bool move = false;
  bool refresh = false;
  bool update = false;
  std::string paths_mode = "relative";
  bool skipUnreadable = false;
  std::string charset;
};

bool HasWildcards(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// The folder a relative path's stored name is taken from: the current one,
// or above it for as many leading "../" as the path has (those are not
// stored, as zip does).
std::string StoreBase(const std::string& path) {
  std::string base = plat::IncludeTrailingPathDelimiter(plat::GetCurrentDir());
  size_t i = 0;
  for (;;) {
    if (path.compare(i, 2, "./") == 0) {
      i += 2;
    } else if (path.compare(i, 3, "../") == 0 || path.substr(i) == "..") {
      base += "../";
      i += 3;
    } else {
      break;
    }
  }
  return plat::IncludeTrailingPathDelimiter(plat::ExpandFileName(base));
}

// The archive's folder must take a new file (the archive is rebuilt beside
// itself) and an existing archive must be writable: one sentence when not.
bool ArchiveWritable(const std::string& archive) {
  std::string folder = plat::ExtractFileDir(plat::ExpandFileName(archive));
  if (folder.empty()) folder = "/";
  if (access(folder.c_str(), W_OK) != 0) {
    std::cerr << "zefa: " << Printable(archive) << ": the archive cannot be written: its folder is read-only\n";
    return false;
  }
  if (plat::FileExists(archive) && access(archive.c_str(), W_OK) != 0) {
    std::cerr << "zefa: " << Printable(archive) << ": the archive cannot be written: it is read-only\n";
    return false;
  }
  return true;
}

// The family an archive is written as: -f, else the existing archive's
// type (as detected), else the extension, else ZIP. Null (with a message)
// when that family cannot be written.
const zid::TFormat* WriterFormat(const std::string& archive, const std::string& format,
                                 const zid::TArchiveDetection& d) {
  const zid::TFormat* f = nullptr;
  if (!format.empty()) {
    f = zid::FormatByName(format);
  } else if (!d.ArchiveFile.empty()) {
    f = zid::FormatOfType(d.ArcType);
    // A compressed tar is detected as its filter (GZIP): the family its name
    // gives writes it, and says itself why it cannot add to it.
    const zid::TFormat* byName = zid::FormatByExtension(archive);
    if (f != nullptr && f->makeWriter == nullptr && byName != nullptr && byName->makeWriter != nullptr) f = byName;
  }
  if (f == nullptr && format.empty()) f = zid::FormatByExtension(archive);
  // An extension no family has is not quietly a ZIP under a foreign name.
  const std::string ext = plat::ExtractFileExt(archive);
  if (f == nullptr && format.empty() && !ext.empty()) {
    std::string names;
    std::vector<std::string> writable;
    for (const zid::TFormat& w : zid::Formats())
      if (w.makeWriter != nullptr) writable.push_back(w.cliName);
    for (size_t i = 0; i < writable.size(); ++i)
      names += (i == 0 ? "" : i + 1 == writable.size() ? " or " : ", ") + writable[i];
    std::cerr << "zefa: " << Printable(archive) << ": zefa writes no " << ext << " archives; it writes " << names
              << " (-f chooses)\n";
    return nullptr;
  }
  if (f == nullptr && format.empty()) f = zid::FormatByName("zip");
  if (f == nullptr) {
    std::cerr << "zefa: unknown format " << format << "\n";
    return nullptr;
  }
  if (f->makeWriter == nullptr) {
    std::cerr << "zefa: " << archive << ": " << zid::NotWritableText(*f) << "\n";
    return nullptr;
  }
  return f;
}

// The archive keeps the name given: one without an extension gets none.
std::unique_ptr<zid::TCompBase> MakeWriter(const zid::TFormat& f) {
  std::unique_ptr<zid::TCompBase> w = f.makeWriter();
  w->DefaultExt.clear();
  return w;
}

// The writer's answers a command line gives without asking: a changed file replaces its entry.
void Wire(zid::TCompBase& w, int* errors, ProgressBar& bar, bool* readOnly) {
  AttachErrorPrinter(w, errors);
  w.OnNonWriteableArchive = [readOnly](zid::TZipCommon*, const std::string& archive, bool& write) {
    std::cerr << "zefa: " << Printable(archive) << ": the archive cannot be written: it is read-only\n";
    *readOnly = true;
    write = false;
  };
  w.OnReplaceFile = [](zid::TZipCommon*, const std::string&, const std::string&, uint32_t, uint32_t, int64_t,
                       int64_t, uint32_t, uint32_t, bool& replace) { replace = true; };
  if (bar.Enabled())
    w.OnProgress = [&bar, &w](zid::TZipCommon*, uint8_t byFile, uint8_t byArchive) {
      bar.Update(byFile, byArchive, w.FileName);
    };
}

int RunAdd(AddOptions& opt) {
  std::string page;
  if (!CharsetUsable(opt.charset, page)) return kExitFailed;
  if (opt.askPassword && (!AskPassword("Password: ", opt.password) || opt.password.empty())) {
    std::cerr << "zefa: give the password as -pSECRET or --password SECRET\n";
    return kExitFailed;
  }
  // Every named file must be there before anything is written.
  bool missing = false;
  for (const std::string& raw : opt.paths) {
    const std::string path = plat::ToNative(raw);
    if (HasWildcards(path)) {
      glob_t g{};
      const bool none = glob(path.c_str(), 0, nullptr, &g) != 0 || g.gl_pathc == 0;
      globfree(&g);
      if (none) {
        std::cerr << "zefa: no file matches " << Printable(raw) << "\n";
        missing = true;
      }
    } else if (!plat::FileExists(path) && !plat::DirectoryExists(path)) {
      PrintEngineError(zid::E_FILENOTFOUND, raw);
      missing = true;
    }
  }
  if (missing) {
    std::cerr << "zefa: nothing written\n";
    return kExitPartial;
  }
  if (plat::FileStat(opt.archive).exists && !ArchiveUsable(opt.archive)) return kExitFailed;
  if (!ArchiveWritable(opt.archive)) return kExitFailed;
  // The one detection of the run: it chooses the writer, which takes it over.
  zid::TArchiveDetection d;
  zid::AssignArchiveFile(d, opt.archive);
  if (!d.ArchiveFile.empty() && d.FileSize > 0 && !zid::IsRecognised(d.ArcType)) {
    std::cerr << "zefa: " << Printable(opt.archive) << ": not an archive; zefa does not write over it\n";
    return kExitFailed;
  }
  const zid::TFormat* format = WriterFormat(opt.archive, opt.format, d);
  if (format == nullptr) return kExitFailed;
  auto w = MakeWriter(*format);
  int errors = 0;
  ProgressBar bar("Adding");
  bool readOnly = false;
  Wire(*w, &errors, bar, &readOnly);
  if (!opt.method.empty()) {
    const zid::TMethod* m = format->methods ? format->methods().FindCli(opt.method) : nullptr;
    if (m == nullptr || !w->SupportedMethods().Contains(m->writes)) {
      std::cerr << "zefa: " << format->name << " archives cannot be written with method " << opt.method << "\n";
      return kExitFailed;
    }
    w->SetCompressMethod(m->writes);
  }
  if (opt.store) w->SetCompressMethod(zid::cmStore);
  w->DeflateType = opt.level == "fast" ? zid::dtDeflateF : opt.level == "max" ? zid::dtDeflateX : zid::dtDeflateN;
  w->RecurseDirs = opt.recurse;
  w->NameCharset = page;
  // Folders go in as entries of their own, so that empty ones come back.
  w->StoreEmptySubDirs = opt.recurse;
  w->Password = opt.password;
  // AES-256 unless asked otherwise, as 7-Zip does; the traditional cipher only by name.
  const int strength = opt.encrypt == "zipcrypto" ? 0 : opt.encrypt == "aes128" ? 1 : opt.encrypt == "aes192" ? 2 : 3;
  if (!opt.encrypt.empty() && opt.password.empty()) {
    std::cerr << "zefa: --encrypt needs a password (-p)\n";
    return kExitFailed;
  }
  if (!opt.password.empty() && !w->SetCipher(strength) && !(opt.encrypt.empty() && w->SetCipher(0))) {
    std::cerr << "zefa: " << format->name << " archives cannot be encrypted with " << opt.encrypt << "\n";
    return kExitFailed;
  }
  if (format->setEncryptHeaders != nullptr) {
    format->setEncryptHeaders(*w, opt.encryptHeaders);
  } else if (opt.encryptHeaders) {
    std::cerr << "zefa: --encrypt-headers is for ZIP archives only\n";
    return kExitFailed;
  }
  w->ExcludeSpec = opt.excludes;
  w->SkipUnreadableFiles = opt.skipUnreadable;
  w->Switch = opt.move ? zid::swMove : opt.refresh ? zid::swRefresh : zid::swAdd;
  // A move deletes the sources outright, as zip -m does.
  w->DeleteOptions = zid::doFinal;

  w->SetArchiveFile(opt.archive);
  w->UseDetection(d);
  int added = 0;
  CancelOnSignal signals(w->CancelFlag());
  // Paths that store their names the same way go in one run of the writer:
  // every run rewrites the archive, so one run per path would cost the square.
  // Each run adds to what the runs before it wrote.
  struct Run {
    zid::TStoredDirNames mode;
    std::string base;
    bool recurse;
    bool folders;  // folders named without -r: stored as folder entries, without their contents
    std::vector<std::string> specs;
  };
  std::vector<Run> runs;
  for (const std::string& raw : opt.paths) {
    std::string path = plat::ToNative(raw);
    const bool isDir = !HasWildcards(path) && plat::DirectoryExists(path);
    Run r;
    if (opt.paths_mode == "none") {
      r.mode = zid::sdNone;
    } else if (opt.paths_mode == "absolute" || (!path.empty() && path[0] == '/')) {
      // An absolute path loses only its leading "/".
      r.mode = zid::sdAbsoluteNoRoot;
    } else {
      // The path as given, without "./" and leading "../": "src/a.txt"
      // stays "src/a.txt", "." stands for the folder's contents.
      r.mode = zid::sdExplorer_UserDefineDefaultDir;
      r.base = StoreBase(path);
    }
    // -r goes into the folders named, as zip -r does; a file named is that file only.
    r.recurse = opt.recurse && isDir;
    r.folders = isDir && !opt.recurse;
    if (r.folders) {
      // As zip does: the folder itself, not what it holds.
      std::cerr << "zefa: " << Printable(raw) << " is a folder: stored without its contents (-r adds them)\n";
      path = plat::ExcludeTrailingPathDelimiter(path);
    } else if (isDir) {
      path = plat::IncludeTrailingPathDelimiter(path) + "*";
    }
    if (!runs.empty() && runs.back().mode == r.mode && runs.back().base == r.base && runs.back().recurse == r.recurse &&
        runs.back().folders == r.folders) {
      runs.back().specs.push_back(path);
      continue;
    }
    r.specs = {path};
    runs.push_back(std::move(r));
  }
  for (const Run& r : runs) {
    if (CancelOnSignal::Signalled()) break;
    w->StoredDirNames = r.mode;
    w->DefaultDir = r.base;
    w->RecurseDirs = r.recurse;
    w->StoreEmptySubDirs = opt.recurse || r.folders;
    w->FileSpec = r.specs;
    added += w->Compress();
    if (readOnly) return kExitFailed;
    if (w->RunFailed() && !CancelOnSignal::Signalled()) {
      bar.Finish();
      std::cerr << "zefa: nothing written; " << Printable(w->GetArchiveFile())
                << (plat::FileExists(w->GetArchiveFile()) ? " left as it was\n" : " not made\n");
      return kExitFailed;
    }
  }
  bar.Finish();
  if (const int sig = CancelOnSignal::Signalled()) {
    std::cerr << "zefa: interrupted; " << w->GetArchiveFile() << " left as it was\n";
    return 128 + sig;
  }
  if (added == 0 && errors == 0 && plat::FileExists(w->GetArchiveFile()))
    std::cout << "0 files changed; " << Printable(w->GetArchiveFile()) << " left as it was\n";
  else if (opt.refresh)
    std::cout << added << (added == 1 ? " changed file" : " changed files") << " replaced in "
              << Printable(w->GetArchiveFile()) << "\n";
  else
    std::cout << added << (added == 1 ? " file" : " files") << " added to " << Printable(w->GetArchiveFile()) << "\n";
  if (!plat::FileExists(w->GetArchiveFile())) return kExitFailed;
  if (errors > 0) return kExitPartial;
  return kExitOk;
}

int RunDelete(const std::string& archive, const std::vector<std::string>& masks) {
  if (!ArchiveUsable(archive)) return kExitFailed;
  if (!ArchiveWritable(archive)) return kExitFailed;
  zid::TArchiveDetection d;
  zid::AssignArchiveFile(d, archive);
  if (!zid::IsRecognised(d.ArcType)) {
    std::cerr << "zefa: " << Printable(archive) << ": not an archive\n";
    return kExitFailed;
  }
  const zid::TFormat* format = WriterFormat(archive, "", d);
  if (format == nullptr) return kExitFailed;
  auto w = MakeWriter(*format);
  int errors = 0;
  ProgressBar bar("Deleting");
  bool readOnly = false;
  Wire(*w, &errors, bar, &readOnly);
  w->Switch = zid::swDelete;
  w->FileSpec = {"*.*"};
  NameSelection selection(masks);
  w->NameFilter = [&selection](const std::string& name) { return selection.Matches(name); };
  w->SetArchiveFile(archive);
  w->UseDetection(d);
  CancelOnSignal signals(w->CancelFlag());
  const int deleted = w->Compress();
  if (readOnly) return kExitFailed;
  if (const int sig = CancelOnSignal::Signalled()) {
    std::cerr << "zefa: interrupted; " << w->GetArchiveFile() << " left as it was\n";
    return 128 + sig;
  }
  bar.Finish();
  // When the archive could not be read, no mask was tried: nothing more to say.
  const int unmatched = errors > 0 && deleted == 0 ? 0 : selection.ReportUnmatched();
  std::cout << deleted << (deleted == 1 ? " entry" : " entries") << " deleted from " << Printable(w->GetArchiveFile())
            << "\n";
  if (errors > 0) return deleted > 0 ? kExitPartial : kExitFailed;
  return deleted > 0 && unmatched == 0 ? kExitOk : kExitPartial;
}

}  // namespace

Command RegisterAdd(CLI::App& app) {
  auto opt = std::make_shared<AddOptions>();
  CLI::App* sub = app.add_subcommand("a", "Add files to an archive (created when missing)");
  sub->add_option("archive", opt->archive, "The archive")->required();
  sub->add_option("paths", opt->paths, "Files, folders or masks (* and ?) to add")->required();
  std::vector<std::string> writable;
  std::string methods;
  for (const zid::TFormat& f : zid::Formats()) {
    if (f.makeWriter == nullptr) continue;
    writable.push_back(f.cliName);
    if (f.methods != nullptr && !f.methods().CliNames().empty())
      methods += (methods.empty() ? "" : "; ") + f.cliName + ": " + f.methods().CliNames();
  }
  std::string formats;
  for (size_t i = 0; i < writable.size(); ++i)
    formats += (i == 0 ? "" : i + 1 == writable.size() ? " or " : ", ") + writable[i];
  sub->add_option("-f,--format", opt->format, formats + " (default: from the archive's extension)")
      ->check(CLI::IsMember(writable));
  sub->add_option("--method", opt->method, "Compression method (" + methods + ")");
  sub->add_flag("--store", opt->store, "Store every file without compressing");
  sub->add_option("--level", opt->level,
                  "Deflate level, and a compressed tar's gzip, xz or zstd level: fast, normal (default) or max")
      ->check(CLI::IsMember({"fast", "normal", "max"}));
  sub->add_flag("-r,--recurse", opt->recurse, "Go into subfolders");
  sub->add_option("-p,--password", opt->password,
                  "Encrypt the files with this password (-pSECRET, -p SECRET or --password SECRET; -p alone before "
                  "the archive: ask)");
  sub->add_flag("--ask-password", opt->askPassword)->group("");
  sub->add_option("--encrypt", opt->encrypt,
                  "Cipher for -p: aes256 (default for ZIP), aes192, aes128 (WinZip AES, read by 7-Zip and WinZip) "
                  "or zipcrypto (the traditional ZIP cipher, which unzip reads but known plaintext breaks)")
      ->check(CLI::IsMember({"aes256", "aes192", "aes128", "zipcrypto"}));
  sub->add_flag("--encrypt-headers", opt->encryptHeaders, "Obscure the entry headers with the ZIP format's fixed keys: no secret, any copy of zefa reads them back; "
                "only other archivers cannot");
  sub->add_option("--exclude", opt->excludes, "Leave out files matching this mask (repeatable)");
  auto* mv = sub->add_flag("--move", opt->move, "Delete the source files once they are in the archive");
  auto* rf = sub->add_flag("--refresh", opt->refresh,
                           "Only replace entries whose files changed (date, size or attributes); add nothing new");
  auto* up = sub->add_flag("-u,--update", opt->update,
                           "Add new files and replace entries whose files changed (what a plain a does)");
  up->excludes(rf);
  rf->excludes(up);
  mv->excludes(rf);
  rf->excludes(mv);
  sub->add_option("--paths", opt->paths_mode,
                  "Stored names: relative (default: the paths as given, without ./ and leading ../; absolute ones "
                  "without the leading /), none, absolute (without the leading /)")
      ->check(CLI::IsMember({"relative", "none", "absolute"}));
  AddCharsetOption(sub, opt->charset,
                   "Store the names in this code page, unmarked, for DOS tools (ZIP, LHA, BH; CP437, CP866 ...); a "
                   "name the page cannot hold is refused. Default: UTF-8, marked as such");
  sub->add_flag("--skip-unreadable", opt->skipUnreadable,
                "A file that cannot be opened when its turn comes is left out (reported) and the rest written; "
                "without it the archive stays as it was");
  sub->footer(kExitCodesHelp);
  return Command{sub, [opt] { return RunAdd(*opt); }};
}

Command RegisterDelete(CLI::App& app) {
  auto archive = std::make_shared<std::string>();
  auto masks = std::make_shared<std::vector<std::string>>();
  CLI::App* sub = app.add_subcommand("d", "Delete entries from an archive");
  sub->add_option("archive", *archive, "The archive")->required();
  sub->add_option("masks", *masks, "Entries to delete: whole stored names, * and ? (* crosses folders)")->required();
  sub->footer(kExitCodesHelp);
  return Command{sub, [archive, masks] { return RunDelete(*archive, *masks); }};
}

}  // namespace cli
