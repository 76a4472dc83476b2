#include "platform/ace/unace.h"

#include <algorithm>
#include <vector>

#include "platform/ace/ace_bits.h"
#include "platform/ace/ace_headers.h"
#include "platform/ace/ace_session.h"

namespace ace {

namespace {

constexpr size_t kMaxTempDir = 255;
constexpr int64_t kMinSearch = 512 * 1024;

}  // namespace

bool TUnAce::HasEntryPoint(const std::string& name) {
  static const char* const kNames[] = {"ACEInitDll", "ACEReadArchiveData", "ACEList", "ACETest", "ACEExtract"};
  for (const char* n : kNames)
    if (name == n) return true;
  return false;
}

int TUnAce::ACEInitDll(const TInitDll& init) {
  init_ = init;
  if (init_.tempDir.size() > kMaxTempDir) init_.tempDir.resize(kMaxTempDir);
  ready_ = true;
  return 0;
}

int TUnAce::ACEReadArchiveData(const std::string& archive, TArchiveData& data) {
  if (!ready_) return kErrorNotReady;
  data = TArchiveData();
  TFile f;
  if (!f.Open(archive)) return kErrorOpen;
  TMainHeader m;
  std::vector<uint8_t> h;
  int64_t at = 0;
  if (!LocateMainHeader(f, std::max<int64_t>(kMinSearch, init_.maxArchiveTestBytes), at, m, h)) return kErrorNotAce;
  data.verExtract = m.verExtract;
  data.verCreated = m.verCreated;
  data.host = m.host;
  data.volume = m.volume;
  data.flags = m.flags;
  data.time = m.time;
  data.solid = m.Solid();
  data.multiVolume = m.MultiVolume();
  data.locked = (m.flags & kMainLocked) != 0;
  data.sfx = at > 0 || (m.flags & kMainSfx) != 0;
  data.start = at;
  data.av = m.av;
  if (!m.comment.empty()) data.comment = UnpackComment(m.comment, init_.commentBufSize);
  return 0;
}

int TUnAce::ACEList(const std::string& archive, const TFileSet& files) {
  if (!ready_) return kErrorNotReady;
  TSession s(init_, TCallKind::List, files, std::string(), std::string(), false);
  return s.Run(archive);
}

int TUnAce::ACETest(const std::string& archive, const TFileSet& files, const std::string& password) {
  if (!ready_) return kErrorNotReady;
  TSession s(init_, TCallKind::Test, files, password, std::string(), false);
  return s.Run(archive);
}

int TUnAce::ACEExtract(const std::string& archive, const TFileSet& files, const std::string& password,
                       const std::string& targetDir, bool excludePath) {
  if (!ready_) return kErrorNotReady;
  TSession s(init_, TCallKind::Extract, files, password, targetDir, excludePath);
  return s.Run(archive);
}

// A comment: its length in 15 bits, one table of the LZ77 main alphabet, and
// symbols that are literals or copies from where the last time the same sum
// of the two previous bytes was seen.
std::string UnpackComment(const std::string& packed, size_t maxBytes) {
  std::string out;
  try {
    size_t pos = 0;
    TBitReader br([&](uint8_t* p, size_t n) {
      const size_t k = std::min(n, packed.size() - pos);
      std::copy(packed.begin() + static_cast<std::ptrdiff_t>(pos),
                packed.begin() + static_cast<std::ptrdiff_t>(pos + k), p);
      pos += k;
      return k;
    });
    const size_t size = std::min<size_t>(br.Read(15), maxBytes);
    THuffman table;
    table.Read(br, 11, 284);
    std::vector<size_t> seen(511, 0);
    while (out.size() < size) {
      size_t src = 0;
      if (out.size() >= 2) {
        const size_t hsum = static_cast<uint8_t>(out[out.size() - 1]) + static_cast<uint8_t>(out[out.size() - 2]);
        src = seen[hsum];
        seen[hsum] = out.size();
      }
      const unsigned s = table.Decode(br);
      if (s < 256) {
        out += static_cast<char>(s);
      } else if (s < 284) {
        if (src >= out.size()) return std::string();
        for (unsigned k = 0; k < s - 256 + 2 && out.size() < size; ++k) out += out[src++];
      } else {
        return std::string();
      }
    }
  } catch (const TFailure&) {
    return std::string();
  }
  return out;
}

}  // namespace ace
