// Where a ZIP archive's data begins: the detector gives the central
// directory; the archive itself starts at its first local header (0 for a
// plain ZIP, after the stub of a self-extractor).
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/zidDetect.h"

namespace zid {

int64_t ZipArchiveStart(const std::string& file, const TArchiveDetection& d);

}  // namespace zid
