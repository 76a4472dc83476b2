// The two searches DetectArcType chooses between, over the first bytes of
// the file (head, zero-padded to kDetectHeadBuffer bytes so that fixed-offset
// tests never read past it).
#pragma once

#include <cstdint>

#include "engine/base/zidDetect.h"

namespace zid {

constexpr int64_t kDetectHeadRead = 32767;
constexpr int64_t kDetectHeadBuffer = 32768 + 16;

// For files starting with "MZ": known stub lengths, the stub's string
// resources, the end of the DOS image, the ZIP directory, the scan from 17000.
TArcType SelfExtractorSearch(TByteSource& src, TArchiveDetection& d, const uint8_t* head);
// For any other file.
TArcType PlainSearch(TByteSource& src, TArchiveDetection& d, const uint8_t* head, int64_t headLen);

// Bytes 7..13 spell "**ACE**".
bool HasAceMarker(const uint8_t* b);

}  // namespace zid
