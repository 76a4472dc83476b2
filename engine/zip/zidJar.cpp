#include "engine/zip/zidJar.h"
#include "engine/zip/zidUnZipDecode.h"

namespace zid {

TJar::TJar() {
  det_.ArcType = atJar;
  DefaultExt = ".JAR";
  supported_ = TCompressMethods(ZipMethods().WriterMethods());
  compressMethod_ = cmDeflate;
}

void TJar::SetArcType(TArcType) { det_.ArcType = atJar; }

}  // namespace zid
