#include "engine/base/zidVolumeSet.h"

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace {

constexpr uint16_t kCabPrevCabinet = 0x0001;
constexpr uint16_t kCabReservePresent = 0x0004;
// More cabinets than a set's 16-bit index could number means a loop or junk.
constexpr int kMaxCabinets = 65536;

// The "previous cabinet" name in a cabinet's header, or "" when it has none.
std::string PreviousCabinet(const std::string& path) {
  // Only regular files are opened: a FIFO would wait for a writer.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return {};
  std::ifstream f(path, std::ios::binary);
  uint8_t h[40] = {};
  if (!f.read(reinterpret_cast<char*>(h), 36) || h[0] != 'M' || h[1] != 'S' || h[2] != 'C' || h[3] != 'F') return {};
  const uint16_t flags = static_cast<uint16_t>(h[30] | h[31] << 8);
  if (!(flags & kCabPrevCabinet)) return {};
  if (flags & kCabReservePresent) {
    if (!f.read(reinterpret_cast<char*>(h + 36), 4)) return {};
    f.seekg(h[36] | h[37] << 8, std::ios::cur);
  }
  std::string name;
  std::getline(f, name, '\0');
  if (!f || name.empty() || name.size() > 255 || name.find_first_of("/\\") != std::string::npos) return {};
  return name;
}

// The first cabinet of the set `path` is in: the "previous cabinet" names
// followed back while those files exist beside it.
std::string FirstCabinetOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string at = path;
  std::set<std::string> seen{at};
  for (int i = 0; i < kMaxCabinets; ++i) {
    const std::string prev = PreviousCabinet(at);
    if (prev.empty() || !plat::FileExists(dir + prev) || !seen.insert(dir + prev).second) break;
    at = dir + prev;
  }
  return at;
}

}  // namespace

std::string CabinetAfter(const std::string& missing) {
  // A folder of many files is looked at up to a bound: the set's cabinets lie together.
  constexpr int kMaxLooked = 4096;
  const std::filesystem::path at(missing);
  const std::string name = at.filename().string();
  std::error_code ec;
  int looked = 0;
  for (std::filesystem::directory_iterator it(at.parent_path().empty() ? "." : at.parent_path(), ec), end;
       !ec && it != end && looked < kMaxLooked; it.increment(ec), ++looked)
    if (it->is_regular_file(ec) && plat::SameText(PreviousCabinet(it->path().string()), name))
      return it->path().string();
  return {};
}

std::string LeadingPieceOf(const std::string& path) {
  const std::string first = FirstCabinetOf(path);
  if (first != path) return first;
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  const std::string ext = path.substr(dot + 1);
  // A letter and two or more digits: .z01, .a01, .r00 (.z100 and up as well).
  if (ext.size() < 3 || !std::isalpha(static_cast<unsigned char>(ext[0]))) return path;
  for (size_t i = 1; i < ext.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(ext[i]))) return path;
  const bool upper = std::isupper(static_cast<unsigned char>(ext[0])) != 0;
  const char* lead = nullptr;
  switch (std::tolower(static_cast<unsigned char>(ext[0]))) {
    case 'z': lead = upper ? "ZIP" : "zip"; break;
    case 'a': lead = upper ? "ARJ" : "arj"; break;
    case 'r': lead = upper ? "RAR" : "rar"; break;
    default: return path;
  }
  const std::string candidate = path.substr(0, dot + 1) + lead;
  return plat::FileExists(candidate) ? candidate : path;
}

}  // namespace zid
