// TUnJar: JAR archives are ZIP archives; the extractor is TUnZip under
// another name. For the JAR types (atJar, atJarExe) an entry is a folder
// exactly when its name ends in a separator, whatever its attributes say:
// jar writers leave the attributes 0.
#pragma once

#include "engine/zip/zidUnZip.h"

namespace zid {

class TUnJar : public TUnZip {
 public:
  TUnJar();
};

}  // namespace zid
