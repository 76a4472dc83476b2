// TUnGZip: extracts a single-stream compressed file as one entry: gzip
// (every member, one after another, into one output), Unix compress (.Z) and
// the filters of engine/filter (xz, bzip2, zstd, lz4). When the decoded
// bytes are a tar archive and OnNestedTarFile agrees, the tar's entries are
// extracted (or tested) instead, by the same tar walk TUnTar runs, reading
// straight from the decompressor: no tar file is written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/other/zidUnTar.h"

namespace zid {

struct TFilter;

using TOnNestedTarFile = std::function<void(TZipCommon* sender, const std::string& fileName, bool& doUnTar)>;
using TOnChangeArchive = std::function<void(TZipCommon* sender, const std::string& archiveName, TArcType arcType)>;

// The name of the one entry of a gzip or compress file: the stored name
// (its last component only: "../x" and "/x" give "x") or else the archive's
// name without its extension. ".tgz" and ".taz" become ".tar"; a stored name
// with the archive's own extension loses it; a text member without extension
// gets ".txt". A name that would be the archive's own gets ".out" appended.
std::string GzipMemberName(const std::string& archivePath, const std::string* storedName, bool textFlag);

class TUnGZip : public TUnTarBase {
 public:
  // Bare LF written as CR LF (not for members whose extra flags mark them
  // binary, nor for a tar inside).
  bool AsciiTranslation = false;
  TOnChangeArchive OnChangeArchive;
  TOnNestedTarFile OnNestedTarFile;
  std::string GetTempDir() { return TempDirValue(tempDir_); }
  void SetTempDir(const std::string& dir) { tempDir_ = AssignTempDir(dir); }

 protected:
  void ProcessArchive() override;
  bool CheckCrc(uint8_t crcKind, uint32_t stored) override;

 private:
  enum class TKind { Gzip, Lzw, Library, Unsupported };
  bool Decode(TKind kind, bool translate, const TFilter* filter);
  // When the decoded bytes start with a tar header and OnNestedTarFile
  // agrees, walks the tar as it is decoded; false when it did not.
  bool ExtractNestedTar(const TFilter& filter, const std::string& tarName);

  std::string tempDir_;
  bool memberChecks_ = false;  // the verdict of the member being extracted is trailersOk_
  bool trailersOk_ = true;
};

}  // namespace zid
