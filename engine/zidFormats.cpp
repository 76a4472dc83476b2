// The format table. A family joins with one line here; its extractor, writer,
// walker and method table live in their own folders. A null factory means the
// engine cannot do that yet, and the callers say so (zidFormats.h).
#include "engine/base/zidFormats.h"

#include <algorithm>
#include <cctype>

#include "engine/base/zidCompBase.h"
#include "engine/base/zidUnBase.h"
#include "engine/cab/zidCabGbls.h"
#include "engine/cab/zidCabMethods.h"
#include "engine/cab/zidMakeCab.h"
#include "engine/cab/zidUnCab.h"
#include "engine/lha/zidBlakHole.h"
#include "engine/lha/zidLha.h"
#include "engine/lha/zidLhaMethods.h"
#include "engine/lha/zidUnBH.h"
#include "engine/lha/zidUnLha.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidArcMethods.h"
#include "engine/other/zidArjHeader.h"
#include "engine/other/zidGunzip.h"
#include "engine/other/zidHaMethods.h"
#include "engine/other/zidRarHeader.h"
#include "engine/other/zidRarMethods.h"
#include "engine/other/zidTarHeader.h"
#include "engine/other/zidTarWriter.h"
#include "engine/other/zidUnACE2.h"
#include "engine/other/zidUnArc.h"
#include "engine/other/zidUnArj.h"
#include "engine/other/zidUnGZip.h"
#include "engine/other/zidUnHa.h"
#include "engine/other/zidUnLibArchive.h"
#include "engine/other/zidUnRar.h"
#include "engine/other/zidUnUue.h"
#include "engine/other/zidUnZoo.h"
#include "engine/other/zidZooHeader.h"
#include "engine/zip/zidJar.h"
#include "engine/zip/zidUnJar.h"
#include "engine/zip/zidUnZip.h"
#include "engine/zip/zidUnZipDecode.h"
#include "engine/zip/zidZip.h"
#include "engine/zip/zidZipStart.h"

namespace zid {

// The walkers, one per family file in engine/listing.
std::unique_ptr<TRizWalker> MakeZipWalker(TArcType type);  // zidRizZip.cpp
std::unique_ptr<TRizWalker> MakeLhaWalker(TArcType type);   // zidRizLha.cpp
std::unique_ptr<TRizWalker> MakeTarWalker(TArcType type);   // zidRizTar.cpp
std::unique_ptr<TRizWalker> MakeGZipWalker(TArcType type);  // zidRizGZip.cpp
std::unique_ptr<TRizWalker> MakeArjWalker(TArcType type);   // zidRizArj.cpp
std::unique_ptr<TRizWalker> MakeBhWalker(TArcType type);    // zidRizBh.cpp
std::unique_ptr<TRizWalker> MakeZooWalker(TArcType type);   // zidRizZoo.cpp
std::unique_ptr<TRizWalker> MakeAceWalker(TArcType type);   // zidRizAce.cpp
std::unique_ptr<TRizWalker> MakeCabWalker(TArcType type);   // zidRizCab.cpp
std::unique_ptr<TRizWalker> MakeArcWalker(TArcType type);   // zidRizArc.cpp (ARC and PAK)
std::unique_ptr<TRizWalker> MakeHaWalker(TArcType type);    // zidRizHa.cpp
std::unique_ptr<TRizWalker> MakeRarWalker(TArcType type);   // zidRizRar.cpp
std::unique_ptr<TRizWalker> MakeUueWalker(TArcType type);   // zidRizUue.cpp
std::unique_ptr<TRizWalker> MakeMsGzWalker(TArcType type);  // zidRizMsGz.cpp
std::unique_ptr<TRizWalker> MakeLibArchiveWalker(TArcType type);  // zidRizLibArchive.cpp (7z, ISO, cpio)


namespace {

template <class T>
std::unique_ptr<TUnBase> Extractor(TArcType) {
  return std::make_unique<T>();
}
template <class T>
std::unique_ptr<TCompBase> Writer() {
  return std::make_unique<T>();
}
void ZipEncryptHeaders(TCompBase& w, bool on) { static_cast<TZipBase&>(w).EncryptHeaders = on; }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The window's use of a family: form components, format button, Extract's extensions.
TWindowUse Button(const char* writer, const char* extractor, int button, std::vector<std::string> extensions,
                  TCompressMethod method, TDeflateType deflate = dtDeflateN, bool standardSet = true) {
  return {writer, extractor, button, true, std::move(extensions), method, deflate, standardSet};
}
TWindowUse Extracts(const char* extractor, std::vector<std::string> extensions) {
  return {nullptr, extractor, -1, true, std::move(extensions)};
}

// name, -f name, display name, types, extensions, extractor, writer, walker, methods,
// ZIP's header option, where the data starts, the window's use, the deep scan's probe
const std::vector<TFormat>& Table() {
  static const std::vector<TFormat> table = {
      {"ZIP", "zip", "ZIP archive", {atZip, atZipExe, atZipDS, atZipMV}, {".zip"}, Extractor<TUnZip>, Writer<TZip>,
       MakeZipWalker, ZipMethods, ZipEncryptHeaders, ZipArchiveStart, Button("Zip1", "UnZip1", 0, {".zip"}, cmDeflate), &kZipProbe},
      {"JAR", "jar", "JAR archive", {atJar, atJarExe}, {".jar"}, Extractor<TUnJar>, Writer<TJar>, MakeZipWalker,
       ZipMethods, ZipEncryptHeaders, ZipArchiveStart, Button("Jar1", "UnJar1", 4, {".jar"}, cmDeflate, dtDeflateX)},
      {"LHA", "lha", "LHA archive", {atLha, atLhaExe, atLzh, atLzhExe}, {".lha", ".lzh"}, Extractor<TUnLha>,
       Writer<TLha>, MakeLhaWalker, LhaMethods, nullptr, nullptr,
       Button("Lha1", "UnLha1", 2, {".lha"}, cmFrozen6, dtDeflateN, false), &kLhaProbe},
      {"BH", "bh", "BH archive", {atBh, atBhExe}, {".bh"}, Extractor<TUnBh>, Writer<TBlakHole>, MakeBhWalker,
       BhMethods, nullptr, nullptr, Button("BlakHole1", "UnBh1", 3, {".bh"}, cmDeflate)},
      {"CAB", "cab", "CAB archive", {atCab, atCabExe}, {".cab"}, Extractor<TUnCab>, Writer<TMakeCab>, MakeCabWalker,
       CabMethods, nullptr, nullptr, Button("MakeCab1", "UnCab1", 1, {".cab"}, cmMsZip), &kCabProbe},
      {"GZIP", "gzip", "GZIP file", {atGZip}, {".gz", ".gzip", ".z", ".taz"}, Extractor<TUnGZip>, nullptr,
       MakeGZipWalker, GZipMethods, nullptr, nullptr, Extracts("UnGZip1", {".gz", ".gzip"})},
      // The writer compresses by the name: .tar.gz, .tar.xz, .tar.zst (zidPackFilter.h).
      {"TAR", "tar", "TAR archive", {atTar}, {".tar", ".tar.gz", ".tgz", ".tar.xz", ".txz", ".tar.zst", ".tzst"},
       Extractor<TUnTar>, Writer<TTarWriter>, MakeTarWalker, TarMethods,
       nullptr, nullptr, Extracts("UnTar1", {".tar"})},
      {"ARJ", "arj", "ARJ archive", {atArj, atArjExe}, {".arj"}, Extractor<TUnARJ>, nullptr, MakeArjWalker,
       ArjMethods, nullptr, nullptr, Extracts("UnARJ1", {".arj"}), &kArjProbe},
      {"ZOO", "zoo", "ZOO archive", {atZoo}, {".zoo"}, Extractor<TUnZoo>, nullptr, MakeZooWalker, ZooMethods,
       nullptr, nullptr, Extracts("UnZoo1", {}), &kZooProbe},
      {"ACE", "ace", "ACE archive", {atAce, atAceExe}, {".ace"}, Extractor<TUnACE>, nullptr, MakeAceWalker,
       AceMethods, nullptr, nullptr, Extracts("UnACE1", {".ace"})},
      {"ARC", "arc", "ARC archive", {atArc, atArcExe}, {".arc"}, Extractor<TUnArc>, nullptr, MakeArcWalker, ArcMethods},
      {"PAK", "pak", "PAK archive", {atPak, atPakExe}, {".pak"}, Extractor<TUnArc>, nullptr, MakeArcWalker, PakMethods},
      {"HA", "ha", "HA archive", {atHA}, {".ha"}, Extractor<TUnHa>, nullptr, MakeHaWalker, HaMethods},
      {"RAR", "rar", "RAR archive", {atRar, atRarExe}, {".rar"}, Extractor<TUnRar>, nullptr, MakeRarWalker, RarMethods,
       nullptr, nullptr, {}, &kRarProbe},
      {"UUE", "uue", "UUE file", {atUUE}, {".uue", ".uu"}, Extractor<TUnUue>, nullptr, MakeUueWalker},
      {"MsGZ", "msgz", "MsGZ archive", {atMsGZ}, {}, nullptr, nullptr, MakeMsGzWalker},
      {"7z", "7z", "7z archive", {atSevenZip}, {".7z"}, Extractor<TUnLibArchive>, nullptr, MakeLibArchiveWalker,
       nullptr, nullptr, nullptr, {}},
      {"ISO", "iso", "ISO 9660 image", {atIso}, {".iso"}, Extractor<TUnLibArchive>, nullptr, MakeLibArchiveWalker,
       nullptr, nullptr, nullptr, {}},
      {"CPIO", "cpio", "cpio archive", {atCpio}, {".cpio"}, Extractor<TUnLibArchive>, nullptr, MakeLibArchiveWalker,
       nullptr, nullptr, nullptr, {}},
      {"XZ", "xz", "XZ file", {atXz}, {".xz", ".txz", ".lzma", ".tlz"}, Extractor<TUnGZip>, nullptr, MakeGZipWalker,
       GZipMethods, nullptr, nullptr, {}},
      {"BZIP2", "bzip2", "BZIP2 file", {atBzip2}, {".bz2", ".tbz2", ".tbz", ".tb2"}, Extractor<TUnGZip>, nullptr,
       MakeGZipWalker, GZipMethods, nullptr, nullptr, {}},
      {"ZSTD", "zstd", "ZSTD file", {atZstd}, {".zst", ".tzst"}, Extractor<TUnGZip>, nullptr, MakeGZipWalker,
       GZipMethods, nullptr, nullptr, {}},
      {"LZ4", "lz4", "LZ4 file", {atLz4}, {".lz4"}, Extractor<TUnGZip>, nullptr, MakeGZipWalker, GZipMethods,
       nullptr, nullptr, {}},
  };
  return table;
}

bool EndsWith(const std::string& p, const std::string& ext) {
  return p.size() > ext.size() && p.compare(p.size() - ext.size(), ext.size(), ext) == 0;
}

}  // namespace

bool TFormat::WindowExtracts(const std::string& path) const {
  if (makeExtractor == nullptr) return false;
  const std::string p = Lower(path);
  const std::vector<std::string>& exts = window.ownExtensions ? window.extensions : extensions;
  // The extension proper: ".tar.gz" is ".gz" to the window.
  const size_t dot = p.find_last_of('.');
  const size_t slash = p.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return std::find(exts.begin(), exts.end(), p.substr(dot)) != exts.end();
}

std::string TFormat::WindowExtractorName() const {
  if (window.extractor != nullptr) return window.extractor;
  std::string n = "Un" + name + "1";
  for (size_t i = 3; i < n.size() - 1; ++i) n[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(n[i])));
  return n;
}

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
      if (ext.size() > bestLen && EndsWith(p, ext)) {
        best = &f;
        bestLen = ext.size();
      }
  return best;
}

std::unique_ptr<TRizWalker> MakeWalker(TArcType type) {
  const TFormat* f = FormatOfType(type);
  return f != nullptr && f->makeWalker != nullptr ? f->makeWalker(type) : nullptr;
}

bool FormatListed(const TFormat& f) { return f.makeWalker != nullptr; }

const std::string& FormatDisplayName(const TFormat& f) { return f.display; }

std::string NotExtractableText(const TFormat& f) {
  const std::string plural = FormatDisplayName(f) + "s";
  if (FormatListed(f)) return plural + " can be listed but not yet extracted";
  return plural + " cannot be extracted yet";
}

std::string NotWritableText(const TFormat& f) { return FormatDisplayName(f) + "s cannot be written yet"; }

}  // namespace zid
