#include "engine/base/zidVolumeSet.h"

#include <cctype>

#include "platform/files.h"

namespace zid {

std::string LeadingPieceOf(const std::string& path) {
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
