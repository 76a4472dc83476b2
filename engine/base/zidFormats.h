// The format table: one line per archive family, naming everything the engine,
// the window and the command line know of it (names, detector types,
// extensions, factories, methods, the window's component names). Nothing else
// lists formats: callers loop over this table or look a family up in it, so a
// family joins with its own files and one line in engine/zidFormats.cpp.
//
// A family whose extractor, writer or walker is not built yet has a null
// factory; the callers then say so in one sentence (NotExtractableText ...).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/base/zidGbls.h"
#include "engine/base/zidTypes.h"

namespace zid {

class TUnBase;
class TCompBase;
class TRizWalker;
class TMethodTable;
struct TArchiveDetection;

// How the main window uses a family: the components on its form, its format
// button, and the extensions its Extract takes.
struct TWindowUse {
  const char* writer = nullptr;     // the form's writer ("Zip1"); nullptr: no format button
  const char* extractor = nullptr;  // the form's extractor ("UnZip1"); nullptr: "Un" + name + "1"
  int button = -1;                  // place of the format button, 0 = leftmost
  // The extensions Extract and the preview take: those listed here when
  // ownExtensions is set (none at all for a family the window only keeps a
  // component of), else every extension of the family.
  bool ownExtensions = false;
  std::vector<std::string> extensions;
  TCompressMethod method = cmStore;     // the button's method
  TDeflateType deflate = dtDeflateN;    // the button's Deflate level
  bool standardSet = true;  // Create gives it the standard settings (else it keeps the form's)
};

class TByteSource;

// How the deep scan knows a family's header anywhere in a file: a signature
// at a fixed place in the header, and a check of the header found there
// (its CRC or checksum where the format has one, plausible sizes and names
// otherwise), so that the signature's bytes inside code or data are passed by.
struct TProbe {
  const char* magic;
  unsigned magicLen;
  unsigned magicAt;  // where the signature sits from the header's start
  bool (*check)(TByteSource& src, int64_t start);
};

struct TFormat {
  // Short name as users write it ("ZIP", "LHA") and the command line's -f value ("zip", "lha").
  std::string name;
  std::string cliName;
  // "ZIP archive", "GZIP file".
  std::string display;
  // The detector's types of this family (plain, self-extracting, volume sets).
  std::vector<TArcType> types;
  // File extensions, lower case with the dot (".lha", ".lzh"); the first is the default.
  std::vector<std::string> extensions;
  // Factories; nullptr: the engine cannot do that for this family (yet).
  std::unique_ptr<TUnBase> (*makeExtractor)(TArcType type) = nullptr;
  std::unique_ptr<TCompBase> (*makeWriter)() = nullptr;
  std::unique_ptr<TRizWalker> (*makeWalker)(TArcType type) = nullptr;
  // The family's methods (names for listings, decoders, the writer's choices); nullptr: none known.
  const TMethodTable& (*methods)() = nullptr;
  // The writer's options beyond the common ones: ZIP's enciphered headers (nullptr: not offered).
  void (*setEncryptHeaders)(TCompBase& writer, bool on) = nullptr;
  // Where the archive's data begins when the detector's offset points elsewhere
  // (ZIP: at the central directory); nullptr: the detector's offset.
  int64_t (*archiveStart)(const std::string& file, const TArchiveDetection& d) = nullptr;
  TWindowUse window;
  // The deep scan's test for this family; nullptr: the scan does not look for it.
  const TProbe* probe = nullptr;

  // The window's Extract and preview take this path's extension.
  bool WindowExtracts(const std::string& path) const;
  // The name of the window's extractor component ("UnZip1").
  std::string WindowExtractorName() const;
};

// Every family, in a fixed order.
const std::vector<TFormat>& Formats();
// The family of a detected type; nullptr for atNA, atUnknown and the like.
const TFormat* FormatOfType(TArcType type);
// By the command line's name ("zip", "lha"), case-insensitive; nullptr when none.
const TFormat* FormatByName(const std::string& name);
// By the extension of a path, the longest that matches (".tar.gz" and ".tgz" are TAR, ".gz" GZIP); nullptr when none.
const TFormat* FormatByExtension(const std::string& path);

// The walker of a detected type; nullptr when its family has none.
std::unique_ptr<TRizWalker> MakeWalker(TArcType type);
// Whether the directory reader has a walker for the family.
bool FormatListed(const TFormat& f);
// "LHA archive"
const std::string& FormatDisplayName(const TFormat& f);
// "LHA archives can be listed but not yet extracted" / "... cannot be extracted yet"
std::string NotExtractableText(const TFormat& f);
// "CAB archives cannot be written yet"
std::string NotWritableText(const TFormat& f);

}  // namespace zid
