#include "shell/ArchiveEngine.h"

#include <algorithm>

namespace shell {

const std::vector<std::string>& DefaultStoreFilesOfType() {
  static const std::vector<std::string> exts = {
      ".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ", ".HA",  ".JAR", ".LHA", ".LZH", ".PAK",
      ".PK3", ".PK_", ".RAR", ".TAR", ".TGZ", ".UUE", ".UU", ".WAR", ".XXE", ".Z",   ".ZIP", ".ZOO"};
  return exts;
}

void TWriterProps::SetCompressMethod(TCompressMethod m) {
  if (std::find(SupportedMethods.begin(), SupportedMethods.end(), m) != SupportedMethods.end())
    CompressMethod = m;
}

// How a component joins. Each operation below dispatches on the kind; a
// component that has landed gets a case that copies the record's properties
// onto a fresh instance, points OnProgress at ReportProgress (and, for the
// extractors, counts OnError reports into ExtractResult::Failed), keeps its
// cancel flag in cancelFlag_ for the duration, and calls the operation:
//
//   case WriterKind::Zip: {
//     zid::TZip z;
//     CopyWriterProps(writer, z);   // ArchiveFile, FileSpec, ... as published
//     return RunGuarded(z, [&] { return z.Compress(); });
//   }
//
// and returns true from the matching *Available switch. Nothing else in the
// window changes when a format joins.

bool ArchiveEngine::WriterAvailable(WriterKind kind) const {
  switch (kind) {
    case WriterKind::Zip:
    case WriterKind::Cab:
    case WriterKind::Lha:
    case WriterKind::Bh:
    case WriterKind::Jar:
      return false;
  }
  return false;
}

bool ArchiveEngine::ExtractorAvailable(ExtractorKind kind) const {
  switch (kind) {
    case ExtractorKind::Zip:
    case ExtractorKind::Cab:
    case ExtractorKind::Lha:
    case ExtractorKind::Bh:
    case ExtractorKind::Tar:
    case ExtractorKind::Jar:
    case ExtractorKind::Arj:
    case ExtractorKind::GZip:
    case ExtractorKind::Ace:
    case ExtractorKind::Zoo:
      return false;
  }
  return false;
}

bool ArchiveEngine::ListerAvailable() const { return false; }

int ArchiveEngine::Compress(const TWriterProps& writer) {
  if (!WriterAvailable(writer.Kind)) return 0;
  return 0;
}

ExtractResult ArchiveEngine::Extract(const TExtractorProps& extractor) {
  if (!ExtractorAvailable(extractor.Kind)) return {};
  return {};
}

void ArchiveEngine::GetFileList(const TDirReaderProps& reader, std::vector<std::string>& lines) {
  (void)reader;
  // Without a directory reader nothing can be read: as for an unreadable
  // archive, the whole list is emptied.
  lines.clear();
}

void ArchiveEngine::Cancel() {
  if (cancelFlag_) *cancelFlag_ = true;
}

}  // namespace shell
