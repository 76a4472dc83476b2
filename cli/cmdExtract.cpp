// zefa x: extract an archive; zefa t: decode and check it, storing nothing.
// The extractor comes from the format table by the detected type.
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/entryReport.h"
#include "engine/base/Err_Msgs.h"
#include "engine/base/zidDetect.h"
#include "engine/base/zidFormats.h"
#include "engine/base/zidStreams.h"
#include "engine/base/zidUnBase.h"
#include "engine/base/zidVolumeSet.h"
#include "engine/other/zidUnGZip.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace cli {

namespace {

struct ExtractOptions {
  std::string archive;
  std::vector<std::string> masks;
  std::string outDir = ".";
  std::string password;
  bool havePassword = false;
  bool overwrite = false;
  bool skipExisting = false;
  bool flat = false;
  bool noDirs = false;
  bool keepBroken = false;
  bool noRatioLimit = false;
  bool toStdout = false;
  bool askPassword = false;
  std::string charset;
  bool report = false;  // one line per entry at the end
  bool json = false;    // one JSON document at the end
};

// Standard output as the stream extracted bytes go to (zefa x --stdout).
class StdoutStream : public zid::TStream32 {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    const auto* p = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
      const ssize_t n = ::write(STDOUT_FILENO, p + done, static_cast<size_t>(count - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // a closed pipe: the engine reports the short write
      done += n;
    }
    return done;
  }
  int64_t Seek(int64_t, int) override { return 0; }
  int64_t Size() override { return -1; }
};

// The question unzip asks before replacing a file: yes, no, all, none.
// False (keep the file) also when input ends.
class OverwriteQuestion {
 public:
  bool Replace(const std::string& shown) {
    if (always_ >= 0) return always_ == 1;
    for (;;) {
      std::cerr << "replace " << Printable(shown) << "? [y]es, [n]o, [A]ll, [N]one: " << std::flush;
      std::string answer;
      if (!std::getline(std::cin, answer)) {
        std::cerr << "\n";
        always_ = 0;
        return false;
      }
      if (answer == "y" || answer == "yes") return true;
      if (answer == "n" || answer == "no") return false;
      if (answer == "A" || answer == "all") always_ = 1;
      else if (answer == "N" || answer == "none") always_ = 0;
      else continue;
      return always_ == 1;
    }
  }

 private:
  int always_ = -1;  // -1: ask; 0: keep every file; 1: replace every file
};

int Run(ExtractOptions& opt, bool test) {
  std::string page;
  if (!CharsetUsable(opt.charset, page)) return kExitFailed;
  // A piece of a volume set: the set is read from its leading piece.
  if (plat::FileExists(opt.archive)) opt.archive = zid::LeadingPieceOf(opt.archive);
  if (!ArchiveUsable(opt.archive)) return kExitFailed;
  zid::TArchiveDetection d;
  zid::AssignArchiveFile(d, opt.archive);
  const zid::TFormat* format = zid::FormatOfType(d.ArcType);
  if (format == nullptr) {
    std::cerr << "zefa: " << Printable(opt.archive) << ": not an archive zefa knows\n";
    return kExitFailed;
  }
  if (format->makeExtractor == nullptr) {
    std::cerr << "zefa: " << Printable(opt.archive) << ": " << zid::NotExtractableText(*format) << "\n";
    return kExitFailed;
  }
  std::unique_ptr<zid::TUnBase> un = format->makeExtractor(d.ArcType);
  un->SetArchiveFile(opt.archive);
  un->NameCharset = page;

  int errors = 0;
  zid::TUnBase* unp = un.get();
  // Entries are named as stored (the engine's FileName), never by the path they would get on disk.
  AttachErrorPrinter(*un, &errors);
  // Without a password and a terminal to ask on, every encrypted entry is
  // refused alike: said once at the end, with their number.
  int locked = 0;
  std::string firstLocked;
  if (!opt.havePassword && !StdinIsTerminal()) {
    un->OnError = [print = un->OnError, &locked, &firstLocked, &errors](zid::TZipCommon* s, const std::string& file,
                                                                       const std::string& ext, const std::string& vol,
                                                                       int code) {
      if ((code == zid::E_REQUIREDEVENT && ext == "OnGetPassword") || code == zid::E_PASSWORDFAILED) {
        if (locked++ == 0) firstLocked = file;
        ++errors;
        return;
      }
      print(s, file, ext, vol, code);
    };
  }
  NameSelection selection(opt.masks);
  un->FileSpec = {"*.*"};
  if (!opt.masks.empty())
    un->NameFilter = [&selection](const std::string& name) { return selection.Matches(name); };
  // A .tar.gz gives the tar's files, as tar and bsdtar do.
  if (auto* gz = dynamic_cast<zid::TUnGZip*>(un.get()))
    gz->OnNestedTarFile = [](zid::TZipCommon*, const std::string&, bool& doUnTar) { doUnTar = true; };
  un->UseStoredDirs = !opt.flat;
  un->CreateStoredDirs = !opt.noDirs && !opt.flat;
  un->KeepFailedFiles = opt.keepBroken;
  if (opt.noRatioLimit) un->RatioLimitBytes = 0;
  if (opt.havePassword) un->Password = opt.password;
  // "-o -" is standard output, as for most tools that take a file name.
  const bool toStdout = !test && (opt.toStdout || opt.outDir == "-");
  StdoutStream stdoutStream;
  OverwriteQuestion question;
  ProgressBar bar(test ? "Testing" : "Extracting");
  if (opt.skipExisting) {
    // The engine skips every entry when told omSkip without asking: ask per file instead.
    un->ConfirmOverwrites = true;
    un->OnFileExists = [](zid::TZipCommon*, const std::string&, std::string&, zid::TOverwriteMode& mode) {
      mode = zid::omSkip;
    };
  } else if (!opt.overwrite && !test && !toStdout && StdinIsTerminal()) {
    un->ConfirmOverwrites = true;
    un->OnFileExists = [&question, &bar, unp](zid::TZipCommon*, const std::string&, std::string&,
                                              zid::TOverwriteMode& mode) {
      bar.Finish();
      mode = question.Replace(unp->FileName) ? zid::omOverwrite : zid::omSkip;
    };
  }
  if (!opt.havePassword && StdinIsTerminal()) {
    un->OnGetPassword = [&bar](zid::TZipCommon*, const std::string& file, std::string& password, bool& tryAgain) {
      bar.Finish();
      tryAgain = AskPassword("Password for " + Printable(file) + ": ", password);
    };
  }
  // Volumes of a set are files next to the last one: take them when they
  // exist. A missing one is named by the engine, which reads on past it
  // where the format lets it.
  un->OnNextVolume = [](zid::TZipCommon*, std::string&, int, bool exists, bool& cancel) {
    if (!exists) cancel = true;
  };
  // The summary keeps every entry's report; a checksum failure then reaches
  // OnEnd only, and is said here as it would have been.
  EntrySummary summary;
  if (opt.report || opt.json) {
    un->OnEnd = [&summary, &errors](zid::TZipCommon*, const zid::TEntryReport& r) {
      if (r.code == zid::E_CRCERROR && r.verdict == zid::TVerdict::Failed) {
        ++errors;
        PrintEngineError(zid::E_CRCERROR, r.storedName);
      }
      summary.Add(r);
    };
  }
  if (bar.Enabled())
    un->OnProgress = [&bar, unp](zid::TZipCommon*, uint8_t byFile, uint8_t byArchive) {
      bar.Update(byFile, byArchive, unp->FileName);
    };

  CancelOnSignal signals(un->CancelFlag());
  if (test) {
    un->OutputMode = zid::omTest;
    un->ExtractTest();
  } else if (toStdout) {
    // Each entry's data goes out as it is decoded and is checked by its CRC
    // at its end, as unzip -p and 7zz e -so do: a failure shows in the exit code.
    un->OutputMode = zid::omToStream1;
    un->OutputStream1 = &stdoutStream;
    un->Extract();
  } else {
    un->SetExtractDir(opt.outDir);
    if (!plat::DirectoryExists(un->GetExtractDir()) && !plat::ForceDirectories(un->GetExtractDir())) {
      PrintEngineError(zid::E_CREATEDIRERROR, opt.outDir);
      return kExitFailed;
    }
    un->Extract();
  }
  bar.Finish();
  if (const int sig = CancelOnSignal::Signalled()) {
    std::cerr << "zefa: interrupted\n";
    return 128 + sig;
  }
  if (un->RatioStops() > 0)
    std::cerr << "zefa: entries that unpack to over 1000 times their size were stopped; --no-ratio-limit lifts the "
                 "guard\n";
  if (locked == 1) PrintEngineError(zid::E_REQUIREDEVENT, firstLocked, "OnGetPassword");
  if (locked > 1)
    std::cerr << "zefa: " << locked << " entries are encrypted (" << Printable(firstLocked)
              << " the first): give the password with -p\n";
  const zid::TUnBase::TStats& st = un->Stats();
  if (opt.json && !toStdout) summary.PrintJson(opt.archive, st);
  if (st.archiveFailed) return kExitFailed;
  const int unmatched = selection.ReportUnmatched();
  if (opt.report && !toStdout) summary.PrintLines();
  if (test && !opt.json) std::cout << st.passed << " of " << st.listed << " entries OK\n";
  if (st.skipped > 0 && !toStdout && !opt.json) std::cout << st.skipped << (st.skipped == 1 ? " existing file kept\n" : " existing files kept\n");
  if (st.failed > 0 || errors > 0 || unmatched > 0) return kExitPartial;
  return kExitOk;
}

Command Register(CLI::App& app, bool test) {
  auto opt = std::make_shared<ExtractOptions>();
  CLI::App* sub = test ? app.add_subcommand("t", "Test the entries of an archive: decode and check, store nothing")
                       : app.add_subcommand("x", "Extract the entries of an archive");
  sub->add_option("archive", opt->archive, "The archive")->required();
  sub->add_option("masks", opt->masks, "Entries to process: whole stored names, * and ? (* crosses folders); all when none");
  auto* pw = sub->add_option("-p,--password", opt->password,
                             "Password of encrypted entries (-pSECRET, -p SECRET or --password SECRET; -p alone "
                             "before the archive: ask)");
  sub->add_flag("--ask-password", opt->askPassword)->group("");
  sub->add_flag("--report", opt->report, "End with one line per entry: OK, CRC error, cut short, unsupported, skipped");
  sub->add_flag("--json", opt->json, "End with one JSON document: the entries with their verdicts, and the totals");
  sub->add_flag("--no-ratio-limit", opt->noRatioLimit,
                "Let an entry unpack past 1 GiB and 1000 times its packed size (stopped otherwise, as a "
                "decompression bomb)");
  AddCharsetOption(sub, opt->charset,
                   "Code page of names stored without a mark of their encoding (CP866, CP1251, SHIFT_JIS ...; "
                   "default: guessed per archive)");
  if (!test) {
    sub->add_option("-o,--output", opt->outDir, "Target folder (default: the current folder; - is --stdout)");
    sub->add_flag("--stdout", opt->toStdout,
                  "Write the selected entries' data to standard output (also -so), each checked by its CRC");
    auto* ow = sub->add_flag("--overwrite", opt->overwrite, "Replace existing files (the default)");
    auto* sk = sub->add_flag("--skip-existing", opt->skipExisting, "Keep existing files");
    ow->excludes(sk);
    sk->excludes(ow);
    sub->add_flag("--flat", opt->flat, "Ignore the stored folders: every file goes into the target folder");
    sub->add_flag("--no-dirs", opt->noDirs, "Leave out folders that would stay empty");
    sub->add_flag("--keep-broken", opt->keepBroken, "Keep an entry that fails its checksum, under its name");
  }
  sub->footer(kExitCodesHelp);
  return Command{sub, [opt, pw, test] {
                   opt->havePassword = pw->count() > 0;
                   return Run(*opt, test);
                 }};
}

}  // namespace

Command RegisterExtract(CLI::App& app) { return Register(app, false); }
Command RegisterTest(CLI::App& app) { return Register(app, true); }

}  // namespace cli
