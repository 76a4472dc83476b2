#include "shell/FormComponents.h"

#include "platform/paths.h"

namespace shell {

namespace {

TWriterProps MakeWriter(const char* name, WriterKind kind, zid::TArcType type,
                        std::vector<TCompressMethod> supported, TCompressMethod method, const char* ext) {
  TWriterProps w;
  w.Name = name;
  w.Kind = kind;
  w.ArcType = type;
  w.SupportedMethods = std::move(supported);
  w.CompressMethod = method;
  w.DefaultExt = ext;
  return w;
}

TExtractorProps MakeExtractor(const char* name, ExtractorKind kind) {
  TExtractorProps x;
  x.Name = name;
  x.Kind = kind;
  x.CpuType = zid::cptAuto;
  return x;
}

struct ExtEntry {
  const char* ext;
  ExtractorKind kind;
};
constexpr ExtEntry kExtractTable[] = {
    {".zip", ExtractorKind::Zip}, {".cab", ExtractorKind::Cab},  {".lha", ExtractorKind::Lha},
    {".bh", ExtractorKind::Bh},   {".tar", ExtractorKind::Tar},  {".jar", ExtractorKind::Jar},
    {".arj", ExtractorKind::Arj}, {".gz", ExtractorKind::GZip},  {".gzip", ExtractorKind::GZip},
    {".ace", ExtractorKind::Ace},
};

}  // namespace

FormComponents::FormComponents() {
  Zip1 = MakeWriter("Zip1", WriterKind::Zip, zid::atZip, {zid::cmStore, zid::cmDeflate}, zid::cmDeflate, ".zip");
  Zip1.StoreFilesOfType = DefaultStoreFilesOfType();
  MakeCab1 = MakeWriter("MakeCab1", WriterKind::Cab, zid::atCab, {zid::cmStore, zid::cmMsZip, zid::cmLzx, zid::cmQuantum}, zid::cmMsZip,
                        ".cab");
  Lha1 = MakeWriter("Lha1", WriterKind::Lha, zid::atLha, {zid::cmStore, zid::cmFrozen5, zid::cmFrozen6}, zid::cmFrozen6, ".lha");
  Lha1.StoreFilesOfType = DefaultStoreFilesOfType();
  BlakHole1 = MakeWriter("BlakHole1", WriterKind::Bh, zid::atBh, {zid::cmDeflate, zid::cmFuse}, zid::cmDeflate, ".bh");
  BlakHole1.StoreFilesOfType = DefaultStoreFilesOfType();
  Jar1 = MakeWriter("Jar1", WriterKind::Jar, zid::atJar, {zid::cmStore, zid::cmDeflate}, zid::cmDeflate, ".jar");
  Jar1.DeflateType = zid::dtDeflateX;
  Jar1.StoreFilesOfType = DefaultStoreFilesOfType();

  UnZip1 = MakeExtractor("UnZip1", ExtractorKind::Zip);
  UnCab1 = MakeExtractor("UnCab1", ExtractorKind::Cab);
  UnLha1 = MakeExtractor("UnLha1", ExtractorKind::Lha);
  UnBh1 = MakeExtractor("UnBh1", ExtractorKind::Bh);
  UnTar1 = MakeExtractor("UnTar1", ExtractorKind::Tar);
  UnJar1 = MakeExtractor("UnJar1", ExtractorKind::Jar);
  UnARJ1 = MakeExtractor("UnARJ1", ExtractorKind::Arj);
  UnGZip1 = MakeExtractor("UnGZip1", ExtractorKind::GZip);
  UnGZip1.GzTarDeleteOptions = zid::doFinal;
  UnACE1 = MakeExtractor("UnACE1", ExtractorKind::Ace);
  UnZoo1 = MakeExtractor("UnZoo1", ExtractorKind::Zoo);

  RizER1.RecurseDirs = true;
}

TWriterProps& FormComponents::Writer(WriterKind kind) {
  switch (kind) {
    case WriterKind::Zip: return Zip1;
    case WriterKind::Cab: return MakeCab1;
    case WriterKind::Lha: return Lha1;
    case WriterKind::Bh: return BlakHole1;
    case WriterKind::Jar: return Jar1;
  }
  return Zip1;
}

TExtractorProps& FormComponents::Extractor(ExtractorKind kind) {
  switch (kind) {
    case ExtractorKind::Zip: return UnZip1;
    case ExtractorKind::Cab: return UnCab1;
    case ExtractorKind::Lha: return UnLha1;
    case ExtractorKind::Bh: return UnBh1;
    case ExtractorKind::Tar: return UnTar1;
    case ExtractorKind::Jar: return UnJar1;
    case ExtractorKind::Arj: return UnARJ1;
    case ExtractorKind::GZip: return UnGZip1;
    case ExtractorKind::Ace: return UnACE1;
    case ExtractorKind::Zoo: return UnZoo1;
  }
  return UnZip1;
}

std::string FormatExtension(WriterKind kind) {
  switch (kind) {
    case WriterKind::Zip: return ".zip";
    case WriterKind::Cab: return ".cab";
    case WriterKind::Lha: return ".lha";
    case WriterKind::Bh: return ".bh";
    case WriterKind::Jar: return ".jar";
  }
  return ".zip";
}

bool ExtractorForName(const std::string& path, ExtractorKind& kind) {
  const std::string ext = plat::LowerCase(plat::ExtractFileExt(path));
  if (ext.empty()) return false;
  for (const auto& e : kExtractTable) {
    if (ext == e.ext) {
      kind = e.kind;
      return true;
    }
  }
  return false;
}

bool IsArchiveName(const std::string& path) {
  ExtractorKind unused;
  return ExtractorForName(path, unused);
}

}  // namespace shell
