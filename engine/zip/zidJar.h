// TJar: a ZIP writer under the JAR identity. It writes no manifest of its
// own; the archive holds exactly the entries the write loop adds.
#pragma once

#include "engine/zip/zidZip.h"

namespace zid {

class TJar : public TZip {
 public:
  TJar();
  // The type stays atJar whatever is assigned.
  void SetArcType(TArcType value) override;
};

}  // namespace zid
