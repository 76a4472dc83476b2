// The format table: one line per archive family, naming what the engine can
// do with it. The window and the command line loop over this table and hold
// extractors and writers as TUnBase / TCompBase, so a new format joins by
// one line in engine/zidFormats.cpp plus its own files.
//
// A family whose extractor or writer is not built yet has a null factory; the
// callers then say so in one sentence (NotExtractableText / NotWritableText).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/base/zidGbls.h"

namespace zid {

class TUnBase;
class TCompBase;

struct TFormat {
  // Short name as users write it ("ZIP", "LHA") and the command line's -f value ("zip", "lha").
  std::string name;
  std::string cliName;
  // The detector's types of this family (plain, self-extracting, volume sets).
  std::vector<TArcType> types;
  // File extensions, lower case with the dot (".lha", ".lzh"); the first is the default.
  std::vector<std::string> extensions;
  // Factories; nullptr: the engine cannot do that for this family (yet).
  std::unique_ptr<TUnBase> (*makeExtractor)(TArcType type) = nullptr;
  std::unique_ptr<TCompBase> (*makeWriter)() = nullptr;
};

// Every family, in a fixed order.
const std::vector<TFormat>& Formats();
// The family of a detected type; nullptr for atNA, atUnknown and the like.
const TFormat* FormatOfType(TArcType type);
// By the command line's name ("zip", "lha"), case-insensitive; nullptr when none.
const TFormat* FormatByName(const std::string& name);
// By the extension of a path (".tar.gz" and ".tgz" are GZIP); nullptr when none.
const TFormat* FormatByExtension(const std::string& path);

// Whether the directory reader has a walker for the family.
bool FormatListed(const TFormat& f);
// "LHA archive"
std::string FormatDisplayName(const TFormat& f);
// "LHA archives can be listed but not yet extracted" / "... cannot be extracted yet"
std::string NotExtractableText(const TFormat& f);
// "CAB archives cannot be written yet" / "GZIP files cannot be written"
std::string NotWritableText(const TFormat& f);

}  // namespace zid
