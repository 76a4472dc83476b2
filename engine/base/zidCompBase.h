// The writers' base: the properties every archive writer shares. The write
// loop that merges an existing archive with scanned files lives here too.
#pragma once

#include <functional>
#include <string>

#include "engine/base/zidBase.h"
#include "engine/base/zidConsts.h"

namespace zid {

class TCustomCClass : public TZipCommon {
 public:
  TCustomCClass();
};

class TCompBase : public TCustomCClass {
 public:
  TCompBase();

  // ---- published properties ---------------------------------------------------
  TzidFileAttributes Attributes;
  TzidFileAttributes AttributesEx;
  TDeleteOptions DeleteOptions = doAllowUndo;
  TCompressionMethod CompressionMethod = cmTempFile;
  TDeflateType DeflateType = dtDeflateN;
  std::string DefaultExt;
  TStoredDirNames StoredDirNames = sdRelative;
  bool StoreEmptySubDirs = false;
  TStrings StoreFilesOfType;
  TSwitch Switch = swAdd;
  bool VerifyBeforeDelete = false;
  bool IncludeHiddenDirs = false;
  TDateAttribute DateAttribute = daFileDate;

  TCompressMethod GetCompressMethod() const { return compressMethod_; }
  // A method outside SupportedMethods is ignored silently.
  void SetCompressMethod(TCompressMethod m);
  const TCompressMethods& SupportedMethods() const { return supported_; }

  // The folder new archives are built in (see TZipCommon::GetTempDir).
  std::string GetTempDir() { return TempDirValue(tempDir_); }
  void SetTempDir(const std::string& dir) { tempDir_ = AssignTempDir(dir); }

 protected:
  TCompressMethods supported_;
  TCompressMethod compressMethod_ = cmStore;
  std::string tempDir_;
};

}  // namespace zid
