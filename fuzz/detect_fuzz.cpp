// Archive detection over arbitrary bytes: any input must give a type without
// a crash, a hang or a read outside the data.
#include <cstddef>
#include <cstdint>

#include "engine/base/zidDetect.h"
#include "platform/drives.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool hooked = [] {
    // Spanned-disk checks must not touch the real drives.
    plat::SetDriveQueryHook([](const std::string&, plat::DriveInfo& out, bool) {
      out = plat::DriveInfo{};
      out.root = "/";
      out.type = plat::DriveType::Removable;
      out.label = "PKBACK# 001";
      out.ready = true;
      return true;
    });
    return true;
  }();
  (void)hooked;
  zid::TMemorySource src(data, static_cast<int64_t>(size));
  zid::TArchiveDetection d;
  const zid::TArcType t = zid::DetectArcType(src, d);
  if (t >= zid::kArcTypeCount) __builtin_trap();
  if (d.ArcStartOffset < -1) __builtin_trap();
  return 0;
}
