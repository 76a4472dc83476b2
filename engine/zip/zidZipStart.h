// Where a ZIP archive's data begins: the detector gives the central
// directory; the archive itself starts at its first local header (0 for a
// plain ZIP, after the stub of a self-extractor).
#pragma once

#include "engine/base/zidFormats.h"
#include <cstdint>
#include <string>

#include "engine/base/zidDetect.h"

namespace zid {

int64_t ZipArchiveStart(const std::string& file, const TArchiveDetection& d);

// The deep scan's test: a local header with a known method, a plausible
// version, date and name, and data that fits in the file.
extern const TProbe kZipProbe;

}  // namespace zid
