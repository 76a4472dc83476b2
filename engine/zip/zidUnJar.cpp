#include "engine/zip/zidUnJar.h"

namespace zid {

TUnJar::TUnJar() = default;

}  // namespace zid
