// zefa info: what the detector makes of each file.
#include <algorithm>
#include <cstdio>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "engine/base/Err_Msgs.h"
#include "engine/base/zidDetect.h"
#include "engine/base/zidFormats.h"
#include "engine/base/zidStreams.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace cli {

namespace {

// A JSON string; bytes that are not UTF-8 are taken as Latin-1 so the output stays valid.
std::string JsonText(const std::string& s) {
  const bool utf8 = plat::IsValidUtf8(s);
  std::string out = "\"";
  for (unsigned char c : s) {
    char esc[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || (!utf8 && c >= 0x80)) {
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Letter(char c) { return c ? std::string(1, c) : std::string(); }

// True when the file can be opened for reading at all.
bool Readable(const std::string& path) {
  if (!plat::FileExists(path) || plat::DirectoryExists(path)) return false;
  zid::TFileStream32 probe(path, plat::fmOpenRead | plat::fmShareDenyNone);
  return probe.IsOpen();
}

// What a user calls the type: "ZIP archive", "RAR archive", "not an archive".
std::string TypeText(const zid::TArchiveDetection& d) {
  if (!zid::IsRecognised(d.ArcType)) return "not an archive";
  if (const zid::TFormat* f = zid::FormatOfType(d.ArcType)) return zid::FormatDisplayName(*f);
  return plat::Trim(zid::ArcTypeNames[d.ArcType]) + " archive";
}

// Where the archive's data begins (a family may know better than the detector's offset).
int64_t RealStart(const std::string& file, const zid::TArchiveDetection& d) {
  const zid::TFormat* f = zid::FormatOfType(d.ArcType);
  return f != nullptr && f->archiveStart != nullptr ? f->archiveStart(file, d) : d.ArcStartOffset;
}

void PrintBlock(std::ostream& out, const std::string& file, const zid::TArchiveDetection& d) {
  out << Printable(file) << "\n"
      << "  Type:       " << TypeText(d) << "\n";
  if (!zid::IsRecognised(d.ArcType)) return;
  out << "  Starts at:  byte " << RealStart(file, d) << "\n";
  if (d.VolumeNumber > 0) out << "  Volume:     " << d.VolumeNumber << "\n";
}

std::string JsonObject(const std::string& file, const zid::TArchiveDetection& d) {
  std::ostringstream o;
  o << "{\"file\": " << JsonText(file) << ", \"type\": \"" << zid::ArcTypeEnumName(d.ArcType)
    << "\", \"name\": " << JsonText(plat::Trim(zid::ArcTypeNames[d.ArcType]))
    << ", \"start\": " << RealStart(file, d) << ", \"zipFlags\": " << static_cast<int>(d.ZipStructureFlags)
    << ", \"zipOffsetAdjust\": " << d.ZipOffsetAdjust << ", \"volumeNumber\": " << d.VolumeNumber
    << ", \"volumeLetter\": " << JsonText(Letter(d.VolumeLetter)) << "}";
  return o.str();
}

struct InfoOptions {
  std::vector<std::string> files;
  bool json = false;
};

int RunInfo(const InfoOptions& opt) {
  int rc = kExitOk;
  std::vector<std::string> objects;
  bool first = true;
  for (const std::string& file : opt.files) {
    if (!ArchiveUsable(file)) {
      rc = kExitFailed;
      continue;
    }
    if (!Readable(file)) {
      PrintEngineError(zid::E_OPENERROR, file, plat::ErrorText(plat::LastError()));
      rc = kExitFailed;
      continue;
    }
    zid::TArchiveDetection d;
    zid::AssignArchiveFile(d, file);
    if (opt.json) {
      objects.push_back(JsonObject(file, d));
    } else {
      if (!first) std::cout << "\n";
      PrintBlock(std::cout, file, d);
      first = false;
    }
  }
  if (opt.json) {
    std::cout << "[";
    for (size_t i = 0; i < objects.size(); ++i) std::cout << (i ? ",\n " : "") << objects[i];
    std::cout << "]\n";
  }
  return rc;
}

}  // namespace

Command RegisterInfo(CLI::App& app) {
  auto opt = std::make_shared<InfoOptions>();
  CLI::App* sub = app.add_subcommand("info", "Show the archive type the detector finds and where the archive starts");
  sub->add_option("archives", opt->files, "Files to examine")->required();
  sub->add_flag("--json", opt->json, "One JSON object per file");
  sub->footer(kExitCodesHelp);
  return Command{sub, [opt] { return RunInfo(*opt); }};
}

}  // namespace cli
