// TUnGZip: extracts a single-stream compressed file, gzip (every member, one
// after another, into one output) or Unix compress (.Z), as one entry. When
// the output turns out to be a tar archive and OnNestedTarFile agrees, the
// tar written to disk is extracted in turn, beside it, by the same tar walk
// TUnTar runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/other/zidUnTar.h"

namespace zid {

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
  enum class TKind { Gzip, Lzw, Unsupported };
  bool Decode(TKind kind, bool translate);
  // Watches the first output bytes for a tar header.
  void WatchForTar(const uint8_t* buf, int64_t n);
  void ExtractNestedTar();

  std::string tempDir_;
  bool memberChecks_ = false;  // the verdict of the member being extracted is trailersOk_
  bool trailersOk_ = true;
  uint8_t firstBlock_[512] = {};
  int64_t firstBlockLen_ = 0;
  bool nestedTar_ = false;
  bool doUnTar_ = false;
};

}  // namespace zid
