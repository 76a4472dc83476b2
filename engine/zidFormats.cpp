// The format table. A format joins with one line here; its extractor and
// writer live in their own folders. A null factory means the engine cannot
// do that yet, and the callers say so (zidFormats.h).
#include "engine/base/zidFormats.h"

#include <algorithm>
#include <cctype>

#include "engine/base/zidCompBase.h"
#include "engine/base/zidUnBase.h"
#include "engine/cab/zidMakeCab.h"
#include "engine/cab/zidUnCab.h"
#include "engine/lha/zidBlakHole.h"
#include "engine/lha/zidLha.h"
#include "engine/lha/zidUnBH.h"
#include "engine/lha/zidUnLha.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidUnACE2.h"
#include "engine/other/zidUnArc.h"
#include "engine/other/zidUnGZip.h"
#include "engine/other/zidUnHa.h"
#include "engine/other/zidUnArj.h"
#include "engine/other/zidUnZoo.h"
#include "engine/zip/zidJar.h"
#include "engine/zip/zidUnJar.h"
#include "engine/zip/zidUnZip.h"
#include "engine/zip/zidZip.h"

namespace zid {

namespace {

template <class T>
std::unique_ptr<TUnBase> Extractor(TArcType) {
  return std::make_unique<T>();
}
template <class T>
std::unique_ptr<TCompBase> Writer() {
  return std::make_unique<T>();
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// name, -f name, types, extensions, extractor, writer
const std::vector<TFormat>& Table() {
  static const std::vector<TFormat> table = {
      {"ZIP", "zip", {atZip, atZipExe, atZipDS, atZipMV}, {".zip"}, Extractor<TUnZip>, Writer<TZip>},
      {"JAR", "jar", {atJar, atJarExe}, {".jar"}, Extractor<TUnJar>, Writer<TJar>},
      {"LHA", "lha", {atLha, atLhaExe, atLzh, atLzhExe}, {".lha", ".lzh"}, Extractor<TUnLha>, Writer<TLha>},
      {"BH", "bh", {atBh, atBhExe}, {".bh"}, Extractor<TUnBh>, Writer<TBlakHole>},
      {"CAB", "cab", {atCab, atCabExe}, {".cab"}, Extractor<TUnCab>, Writer<TMakeCab>},
      {"GZIP", "gzip", {atGZip}, {".gz", ".gzip", ".tgz", ".z", ".taz"}, Extractor<TUnGZip>, nullptr},
      {"TAR", "tar", {atTar}, {".tar"}, Extractor<TUnTar>, nullptr},
      {"ARJ", "arj", {atArj, atArjExe}, {".arj"}, Extractor<TUnARJ>, nullptr},
      {"ZOO", "zoo", {atZoo}, {".zoo"}, Extractor<TUnZoo>, nullptr},
      {"ACE", "ace", {atAce, atAceExe}, {".ace"}, Extractor<TUnACE>, nullptr},
      {"ARC", "arc", {atArc, atArcExe}, {".arc"}, Extractor<TUnArc>, nullptr},
      {"PAK", "pak", {atPak, atPakExe}, {".pak"}, Extractor<TUnArc>, nullptr},
      {"HA", "ha", {atHA}, {".ha"}, Extractor<TUnHa>, nullptr},
      {"RAR", "rar", {atRar, atRarExe}, {".rar"}, nullptr, nullptr},
      {"UUE", "uue", {atUUE}, {".uue", ".uu"}, nullptr, nullptr},
      {"MsGZ", "msgz", {atMsGZ}, {}, nullptr, nullptr},
  };
  return table;
}

}  // namespace

const std::vector<TFormat>& Formats() { return Table(); }

const TFormat* FormatOfType(TArcType type) {
  for (const TFormat& f : Table())
    if (std::find(f.types.begin(), f.types.end(), type) != f.types.end()) return &f;
  return nullptr;
}

const TFormat* FormatByName(const std::string& name) {
  const std::string n = Lower(name);
  for (const TFormat& f : Table())
    if (f.cliName == n) return &f;
  return nullptr;
}

const TFormat* FormatByExtension(const std::string& path) {
  const std::string p = Lower(path);
  const TFormat* best = nullptr;
  size_t bestLen = 0;
  for (const TFormat& f : Table())
    for (const std::string& ext : f.extensions)
      if (p.size() > ext.size() && ext.size() > bestLen && p.compare(p.size() - ext.size(), ext.size(), ext) == 0) {
        best = &f;
        bestLen = ext.size();
      }
  return best;
}

bool FormatListed(const TFormat& f) { return !f.types.empty() && MakeRizWalker(f.types.front()) != nullptr; }

std::string FormatDisplayName(const TFormat& f) {
  if (f.cliName == "gzip") return "GZIP file";
  if (f.cliName == "uue") return "UUE file";
  return f.name + " archive";
}

std::string NotExtractableText(const TFormat& f) {
  const std::string plural = FormatDisplayName(f) + "s";
  if (FormatListed(f)) return plural + " can be listed but not yet extracted";
  return plural + " cannot be extracted yet";
}

std::string NotWritableText(const TFormat& f) { return FormatDisplayName(f) + "s cannot be written yet"; }

}  // namespace zid
