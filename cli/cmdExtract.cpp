// zefa x: extract an archive; zefa t: decode and check it, storing nothing.
// The extractor comes from the format table by the detected type.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "engine/base/Err_Msgs.h"
#include "engine/base/zidDetect.h"
#include "engine/base/zidFormats.h"
#include "engine/base/zidUnBase.h"
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
  bool dirs = false;
};

int Run(ExtractOptions& opt, bool test) {
  if (!plat::FileExists(opt.archive) || plat::DirectoryExists(opt.archive)) {
    PrintEngineError(zid::E_OPENERROR, opt.archive);
    return kExitFailed;
  }
  zid::TArchiveDetection d;
  zid::AssignArchiveFile(d, opt.archive);
  const zid::TFormat* format = zid::FormatOfType(d.ArcType);
  if (format == nullptr) {
    std::cerr << "zefa: " << opt.archive << ": not an archive zefa knows\n";
    return kExitFailed;
  }
  if (format->makeExtractor == nullptr) {
    std::cerr << "zefa: " << opt.archive << ": " << zid::NotExtractableText(*format) << "\n";
    return kExitFailed;
  }
  std::unique_ptr<zid::TUnBase> un = format->makeExtractor(d.ArcType);
  un->SetArchiveFile(opt.archive);

  int errors = 0;
  AttachErrorPrinter(*un, &errors);
  un->FileSpec = opt.masks.empty() ? zid::TStrings{"*.*"} : opt.masks;
  un->UseStoredDirs = !opt.flat;
  un->CreateStoredDirs = opt.dirs;
  if (opt.havePassword) un->Password = opt.password;
  if (opt.skipExisting) {
    // The engine skips every entry when told omSkip without asking: ask per file instead.
    un->ConfirmOverwrites = true;
    un->OnFileExists = [](zid::TZipCommon*, const std::string&, std::string&, zid::TOverwriteMode& mode) {
      mode = zid::omSkip;
    };
  }
  if (!opt.havePassword && StdinIsTerminal()) {
    un->OnGetPassword = [](zid::TZipCommon*, const std::string& file, std::string& password, bool& tryAgain) {
      tryAgain = AskPassword("Password for " + file + ": ", password);
    };
  }
  // Volumes of a set are files next to the last one: take them when they exist.
  un->OnNextVolume = [](zid::TZipCommon*, std::string& volumeName, int, bool exists, bool& cancel) {
    if (!exists) {
      PrintEngineError(zid::E_OPENERROR, volumeName);
      cancel = true;
    }
  };
  ProgressBar bar(test ? "Testing" : "Extracting");
  un->OnProgress = [&bar, &un](zid::TZipCommon*, uint8_t byFile, uint8_t byArchive) {
    bar.Update(byFile, byArchive, un->FileName);
  };

  int passed = 0;
  CancelOnSignal signals(un->CancelFlag());
  if (test) {
    un->OutputMode = zid::omTest;
    un->ExtractTest();
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
  const zid::TUnBase::TStats& st = un->Stats();
  passed = st.passed;
  if (st.archiveFailed) return kExitFailed;
  if (test) std::cout << passed << " of " << st.listed << " entries OK\n";
  if (st.skipped > 0) std::cout << st.skipped << (st.skipped == 1 ? " existing file kept\n" : " existing files kept\n");
  if (st.failed > 0 || errors > 0) return kExitPartial;
  return kExitOk;
}

Command Register(CLI::App& app, bool test) {
  auto opt = std::make_shared<ExtractOptions>();
  CLI::App* sub = test ? app.add_subcommand("t", "Test the entries of an archive: decode and check, store nothing")
                       : app.add_subcommand("x", "Extract the entries of an archive");
  sub->add_option("archive", opt->archive, "The archive")->required();
  sub->add_option("masks", opt->masks, "Entries to process (wildcards * and ?); all when none");
  auto* pw = sub->add_option("-p,--password", opt->password, "Password of encrypted entries");
  if (!test) {
    sub->add_option("-o,--output", opt->outDir, "Target folder (default: the current folder)");
    auto* ow = sub->add_flag("--overwrite", opt->overwrite, "Replace existing files (the default)");
    auto* sk = sub->add_flag("--skip-existing", opt->skipExisting, "Keep existing files");
    ow->excludes(sk);
    sk->excludes(ow);
    sub->add_flag("--flat", opt->flat, "Ignore the stored folders: every file goes into the target folder");
    sub->add_flag("--dirs", opt->dirs, "Create the archive's folder entries, empty ones too");
  }
  return Command{sub, [opt, pw, test] {
                   opt->havePassword = pw->count() > 0;
                   return Run(*opt, test);
                 }};
}

}  // namespace

Command RegisterExtract(CLI::App& app) { return Register(app, false); }
Command RegisterTest(CLI::App& app) { return Register(app, true); }

}  // namespace cli
