#include "engine/zip/zidDeflate.h"

#include <memory>

#include "engine/base/zidCrc.h"
#include "platform/hooks.h"

namespace zid {

int DeflateLevel(TDeflateType type) {
  switch (type) {
    case dtDeflateS: return 0;
    case dtDeflateF: return 1;
    case dtDeflateX: return 9;
    default: return 6;
  }
}

uint16_t DeflateFlagBits(TDeflateType type) {
  switch (type) {
    case dtDeflateF: return 4;
    case dtDeflateX: return 2;
    default: return 0;
  }
}

bool CompressStream(TStream32& source, TStream32& target, const CodecControl& control, TDeflateType type,
                    const std::function<void(int64_t)>& progress, uint32_t& crc32, int windowBits) {
  // TCompressStream takes the DeflateType ordinal as its level index.
  TCompressStream cs(target, control, static_cast<int>(type), windowBits);
  if (cs.Failed()) return false;
  auto buf = std::make_unique<uint8_t[]>(static_cast<size_t>(kDeflateChunk));
  bool any = false;
  for (;;) {
    plat::ProcessMessages();
    if (control.Cancel != nullptr && *control.Cancel) return false;
    const int64_t n = source.Read(buf.get(), kDeflateChunk);
    if (n <= 0) break;
    any = true;
    cs.Write(buf.get(), n);
    if (control.Cancel != nullptr && *control.Cancel) return false;
    if (progress) progress(n);
  }
  cs.Finish();
  if (!control.Keys) crc32 = any ? (cs.Crc() ^ 0xFFFFFFFFu) : 0;
  return true;
}

}  // namespace zid
