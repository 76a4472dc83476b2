#include "shell/FormComponents.h"

#include "engine/base/zidMethods.h"
#include "platform/paths.h"

namespace shell {

FormComponents::FormComponents() {
  for (const zid::TFormat* f : FormatButtons()) {
    TWriterProps w;
    w.Name = f->window.writer;
    w.Kind = f;
    w.ArcType = f->types.front();
    if (f->methods != nullptr) w.SupportedMethods = f->methods().WriterMethods();
    w.CompressMethod = f->window.method;
    w.DeflateType = f->window.deflate;
    w.DefaultExt = FormatExtension(f);
    w.StoreFilesOfType = DefaultStoreFilesOfType();
    writers_.push_back(std::move(w));
  }
  for (const zid::TFormat& f : zid::Formats()) {
    if (f.makeExtractor == nullptr) continue;
    TExtractorProps x;
    x.Name = f.WindowExtractorName();
    x.Kind = &f;
    x.CpuType = zid::cptAuto;
    extractors_.push_back(std::move(x));
  }
  RizER1.RecurseDirs = true;
}

TWriterProps& FormComponents::Writer(WriterKind kind) {
  for (TWriterProps& w : writers_)
    if (w.Kind == kind) return w;
  return writers_.front();
}

TExtractorProps& FormComponents::Extractor(ExtractorKind kind) {
  for (TExtractorProps& x : extractors_)
    if (x.Kind == kind) return x;
  return extractors_.front();
}

std::string FormatExtension(WriterKind kind) { return kind->extensions.front(); }

bool ExtractorForName(const std::string& path, ExtractorKind& kind) {
  for (const zid::TFormat& f : zid::Formats())
    if (f.WindowExtracts(path)) {
      kind = &f;
      return true;
    }
  return false;
}

bool IsArchiveName(const std::string& path) {
  ExtractorKind unused;
  return ExtractorForName(path, unused);
}

}  // namespace shell
