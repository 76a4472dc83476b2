#include "engine/base/zidCompBase.h"

namespace zid {

TCustomCClass::TCustomCClass() = default;

TCompBase::TCompBase() {
  Attributes = TzidFileAttributes{fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};
  StoreFilesOfType = {".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ",  ".HA",
                      ".JAR", ".LHA", ".LZH", ".PAK", ".PK3", ".PK_", ".RAR", ".TAR",
                      ".TGZ", ".UUE", ".UU",  ".WAR", ".XXE", ".Z",   ".ZIP", ".ZOO"};
}

void TCompBase::SetCompressMethod(TCompressMethod m) {
  if (supported_.Contains(m)) compressMethod_ = m;
}

}  // namespace zid
