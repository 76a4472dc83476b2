// zefa l: the entries of an archive, as a table or as one JSON object.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "engine/base/Err_Msgs.h"
#include "engine/base/zidDetect.h"
#include "engine/base/zidFormats.h"
#include "engine/base/zidVolumeSet.h"
#include "engine/listing/zidRizER.h"
#include "platform/files.h"

namespace cli {

namespace {

struct ListOptions {
  std::string archive;
  std::vector<std::string> masks;
  std::vector<std::string> excludes;
  bool json = false;
  bool dirs = false;
  std::string charset;
};

void Out(const std::string& s) { std::fwrite(s.data(), 1, s.size(), stdout); }

std::string HexBytes(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

// One line of the table: unpacked size, method, packed size, ratio, date,
// time, CRC, name.
void PrintRow(const zid::TRizER& r) {
  char buf[256];
  const std::string when = IsoDateTime(r.FileDate);
  std::snprintf(buf, sizeof buf, "%12lld  %-11s %12lld %3d%%  %s %s  %08x  ", static_cast<long long>(r.UnpackedSize),
                r.MethodName.c_str(), static_cast<long long>(r.PackedSize), r.Ratio, when.substr(0, 10).c_str(),
                when.substr(11).c_str(), static_cast<unsigned>(r.CRC));
  // An encrypted entry carries a "*" beside its name, as zip's listings do; a
  // symbolic link shows its target as tar's listings do.
  const std::string link = r.LinkTarget.empty() ? std::string() : " -> " + Printable(r.LinkTarget);
  Out(buf + Printable(r.FileName) + (r.Encrypted ? "*" : "") + link + "\n");
}

void PrintTableHead() {
  Out("      Length  Method            Size  Cmpr  Date       Time      CRC-32    Name\n"
      "------------  ----------- ------------ ----  ---------- --------  --------  ----\n");
}

void PrintTableTotals(int64_t unpacked, int64_t packed, int ratio, int files) {
  char buf[320];
  std::snprintf(buf, sizeof buf,
                "------------              ------------ ----                                ------\n"
                "%12lld              %12lld %3d%%                                %d file%s\n",
                static_cast<long long>(unpacked), static_cast<long long>(packed), ratio, files, files == 1 ? "" : "s");
  Out(buf);
}

// The archive comment under the table, line by line, as unzip -z shows it.
void PrintComment(const std::string& comment) {
  if (comment.empty()) return;
  Out("Comment:\n");
  size_t from = 0;
  while (from < comment.size()) {
    size_t end = comment.find('\n', from);
    if (end == std::string::npos) end = comment.size();
    std::string line = comment.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Out(Printable(line) + "\n");
    from = end + 1;
  }
}

std::string JsonEntry(const zid::TRizER& r) {
  char nums[512];
  std::snprintf(nums, sizeof nums,
                ", \"packed\": %lld, \"unpacked\": %lld, \"ratio\": %d, \"date\": \"%s\", \"crc\": %u, "
                "\"method\": %s, \"methodId\": %u, \"encrypted\": %s, \"attr\": %u, \"offset\": %lld}",
                static_cast<long long>(r.PackedSize), static_cast<long long>(r.UnpackedSize), r.Ratio,
                IsoDateTime(r.FileDate).c_str(), static_cast<unsigned>(r.CRC), JsonString(r.MethodName).c_str(),
                static_cast<unsigned>(r.MethodId), r.Encrypted ? "true" : "false",
                static_cast<unsigned>(r.ExternalAttr), static_cast<long long>(r.EntryOffset()));
  std::string link = r.LinkTarget.empty() ? std::string() : ", \"link\": " + JsonString(r.LinkTarget);
  // A name stored without a mark of its encoding: the page it was read in and its stored bytes.
  if (!r.FileNameCharset.empty())
    link += ", \"charset\": " + JsonString(r.FileNameCharset) + ", \"raw\": \"" + HexBytes(r.FileNameRaw) + "\"";
  return "{\"name\": " + JsonString(r.FileName) + link + nums;
}

int RunList(const ListOptions& given) {
  // A piece of a volume set: the set is listed from its leading piece.
  ListOptions opt = given;
  if (plat::FileExists(opt.archive)) opt.archive = zid::LeadingPieceOf(opt.archive);
  std::string page;
  if (!CharsetUsable(opt.charset, page)) return kExitFailed;
  if (!ArchiveUsable(opt.archive)) return kExitFailed;
  zid::TRizER r;
  r.NameCharset = page;
  r.SetArchiveFile(opt.archive);
  const zid::TArcType type = r.GetArcType();
  if (!zid::IsRecognised(type)) {
    PrintEngineError(type == zid::atFileOpenErr ? zid::E_OPENERROR : zid::E_UNKNOWNFILETYPE, opt.archive);
    return kExitFailed;
  }
  const zid::TFormat* format = zid::FormatOfType(type);
  if (format == nullptr || !zid::FormatListed(*format)) {
    std::fprintf(stderr, "zefa: %s: %s\n", opt.archive.c_str(),
                 format ? (zid::FormatDisplayName(*format) + "s cannot be listed yet").c_str()
                        : "not an archive zefa can list");
    return kExitFailed;
  }
  r.FileSpec = {"*.*"};
  NameSelection selection(opt.masks);
  if (!opt.masks.empty()) r.NameFilter = [&selection](const std::string& name) { return selection.Matches(name); };
  r.ExcludeSpec = opt.excludes;
  r.ShowEmptyDirs = opt.dirs;
  bool openFailed = false;
  int errors = 0;
  r.OnError = [&openFailed, &errors, &opt](zid::TZipCommon*, const std::string& file, const std::string& ext,
                                            const std::string& volume, int code) {
    if (code == zid::E_OPENERROR) openFailed = true;
    ++errors;
    PrintEngineError(code, file.empty() ? (volume.empty() ? opt.archive : volume) : file, ext);
  };
  // A damaged directory: list what the local headers still tell.
  bool damaged = false;
  r.OnCorruptZipHeader = [&damaged](zid::TZipCommon*, uint8_t, bool& cancel) {
    cancel = false;
    damaged = true;
  };

  bool first = true;
  int64_t totUnpacked = 0, totPacked = 0;
  int totRatio = 0, totFiles = 0;
  if (opt.json) {
    Out("{\"file\": " + JsonString(opt.archive) + ", \"type\": \"" + zid::ArcTypeEnumName(type) +
        "\", \"entries\": [");
    r.OnRead = [&first](zid::TZipCommon* s, int, int) {
      Out((first ? "\n  " : ",\n  ") + JsonEntry(*static_cast<zid::TRizER*>(s)));
      first = false;
    };
  } else {
    PrintTableHead();
    r.OnRead = [](zid::TZipCommon* s, int, int) { PrintRow(*static_cast<zid::TRizER*>(s)); };
  }
  r.OnTotals = [&](zid::TZipCommon*, int64_t unpacked, int64_t packed, int ratio, int files) {
    totUnpacked = unpacked;
    totPacked = packed;
    totRatio = ratio;
    totFiles = files;
  };
  const bool ran = r.Activate();
  if (opt.json) {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "%s], \"totals\": {\"packed\": %lld, \"unpacked\": %lld, \"ratio\": %d, \"files\": %d}",
                  first ? "" : "\n", static_cast<long long>(totPacked), static_cast<long long>(totUnpacked), totRatio,
                  totFiles);
    Out(buf);
    Out((r.ArchiveComment.empty() ? std::string() : ", \"comment\": " + JsonString(r.ArchiveComment)) + "}\n");
  } else {
    PrintTableTotals(totUnpacked, totPacked, totRatio, totFiles);
    PrintComment(r.ArchiveComment);
  }
  std::fflush(stdout);
  if (!ran || openFailed) return kExitFailed;
  if (damaged) {
    std::fprintf(stderr, "zefa: %s: the archive's directory is damaged or missing: listed from the entries' own headers\n",
                 Printable(opt.archive).c_str());
  }
  const int unmatched = selection.ReportUnmatched();
  // A walk that stopped at a damaged header listed only part of the archive.
  return damaged || unmatched > 0 || errors > 0 ? kExitPartial : kExitOk;
}

}  // namespace

Command RegisterList(CLI::App& app) {
  auto opt = std::make_shared<ListOptions>();
  CLI::App* sub = app.add_subcommand("l", "List the entries of an archive without extracting");
  sub->add_option("archive", opt->archive, "Archive to list")->required();
  sub->add_option("masks", opt->masks, "Entries to list: whole stored names, * and ? (* crosses folders); all when none");
  sub->footer(kExitCodesHelp);
  sub->add_flag("--json", opt->json, "One JSON object with the entries and totals");
  sub->add_flag("--dirs", opt->dirs, "Also list folder entries");
  AddCharsetOption(sub, opt->charset,
                   "Code page of names stored without a mark of their encoding (CP866, CP1251, SHIFT_JIS ...; "
                   "default: guessed per archive)");
  sub->add_option("--exclude", opt->excludes, "Leave out entries matching this mask (repeatable)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  return Command{sub, [opt] { return RunList(*opt); }};
}

}  // namespace cli
