// The engine components the main window keeps for the whole run, with the
// settings made on the form: one writer per format button and one extractor
// per family the window extracts, as the format table names them.
#pragma once

#include <string>
#include <vector>

#include "shell/ArchiveEngine.h"

namespace shell {

struct FormComponents {
  FormComponents();

  TDirReaderProps RizER1;

  TWriterProps& Writer(WriterKind kind);
  TExtractorProps& Extractor(ExtractorKind kind);

 private:
  std::vector<TWriterProps> writers_;
  std::vector<TExtractorProps> extractors_;
};

// The extension of a format button (".zip" ...).
std::string FormatExtension(WriterKind kind);

// The archive-type test of the preview, the double click and "Open file":
// the lower-cased extension is one the window extracts (the table's window
// extensions of each family). ".zoo" is not among them.
bool IsArchiveName(const std::string& path);

// The extractor "Extract " uses for a file, by its lower-cased extension;
// false for any other extension (".zoo", ".lzh", ".tgz" included).
bool ExtractorForName(const std::string& path, ExtractorKind& kind);

}  // namespace shell
