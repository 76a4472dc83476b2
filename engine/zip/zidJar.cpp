#include "engine/zip/zidJar.h"

namespace zid {

TJar::TJar() {
  det_.ArcType = atJar;
  DefaultExt = ".JAR";
  supported_ = {cmStore, cmDeflate};
  compressMethod_ = cmDeflate;
}

void TJar::SetArcType(TArcType) { det_.ArcType = atJar; }

}  // namespace zid
