// Feeds arbitrary bytes to the decompressing filter, plain and deciphered,
// with reads of varying sizes, forward seeks and a restart; then checks that
// the source is left inside its bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/base/zidFilterStreams.h"
#include "engine/base/zidStreams.h"
#include "engine/zip/zidCrypt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool encrypt = (data[0] & 1) != 0;
  const int64_t readSize = 1 + (data[1] % 64) * 97;
  zid::TMemoryStream32 src;
  src.WriteBuffer(data + 2, static_cast<int64_t>(size - 2));
  src.SetPosition(0);
  std::vector<uint8_t> out(static_cast<size_t>(readSize));
  for (int pass = 0; pass < 2; ++pass) {
    zid::TCryptKeys keys{};
    keys.Init("fuzz");
    zid::CodecControl ctl;
    ctl.Keys = encrypt ? &keys : nullptr;
    src.SetPosition(0);
    {
      zid::TDecompressStream d(src, ctl);
      if (pass == 1) d.Seek(1000, 1);
      int64_t total = 0;
      for (int i = 0; i < 10000 && !d.Finished(); ++i) {
        const int64_t before = d.TotalOut();
        if (d.Read(out.data(), readSize) < 0) break;
        if (d.TotalOut() == before) break;
        total += d.TotalOut() - before;
        if (total > (int64_t{64} << 20)) break;
      }
      if (pass == 0) d.Seek(0, 0);
    }
    const int64_t pos = src.Position();
    if (pos < 0 || pos > src.Size()) abort();
  }
  return 0;
}
