// The engine components the main window keeps for the whole run, with the
// settings made on the form.
#pragma once

#include <string>

#include "shell/ArchiveEngine.h"

namespace shell {

struct FormComponents {
  FormComponents();

  TWriterProps Zip1, MakeCab1, Lha1, BlakHole1, Jar1;
  TExtractorProps UnZip1, UnCab1, UnLha1, UnBh1, UnTar1, UnJar1, UnARJ1, UnGZip1, UnACE1, UnZoo1;
  TDirReaderProps RizER1;

  TWriterProps& Writer(WriterKind kind);
  TExtractorProps& Extractor(ExtractorKind kind);
};

// The extension of a format button (".zip" ...).
std::string FormatExtension(WriterKind kind);

// The archive-type test of the preview, the double click and "Open file":
// the lower-cased extension is one of the ten the window extracts. ".zoo" is
// not among them.
bool IsArchiveName(const std::string& path);

// The extractor "Extract " uses for a file, by its lower-cased extension;
// false for any other extension (".zoo", ".lzh", ".tgz" included).
bool ExtractorForName(const std::string& path, ExtractorKind& kind);

}  // namespace shell
