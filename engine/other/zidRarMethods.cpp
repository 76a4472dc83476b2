#include "engine/other/zidRarMethods.h"

#include "engine/other/zidCopyStored.h"
#include "engine/other/zidRarUnpack.h"

namespace zid {

namespace {

int Stored(const TDecodeJob& job, const TMethod&, uint32_t) { return CopyStored(job); }

// One entry that starts its own stream (TUnRar keeps one unpacker for solid archives).
int Unpack(const TDecodeJob& job, const TMethod&, uint32_t version) {
  TRarUnpacker unpacker;
  return unpacker.Decode(job, static_cast<int>(version), false);
}

constexpr unsigned kWindowBits = 22;

}  // namespace

const TMethodTable& RarMethods() {
  static const TMethodTable table = {
      {0x30, nullptr, "Stored", Stored},
      {0x31, nullptr, "Fastest", Unpack, kWindowBits},
      {0x32, nullptr, "Fast", Unpack, kWindowBits},
      {0x33, nullptr, "Normal", Unpack, kWindowBits},
      {0x34, nullptr, "Good", Unpack, kWindowBits},
      {0x35, nullptr, "Best", Unpack, kWindowBits},
  };
  return table;
}

}  // namespace zid
