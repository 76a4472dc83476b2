#include "engine/lha/zidBhHeader.h"

#include <algorithm>

#include "engine/base/zidBytes.h"
#include "engine/base/zidNames.h"
#include "engine/zip/zidCrypt.h"

namespace zid {

int64_t TBhHeader::ShownPackedSize() const {
  return Encrypted() && packed >= static_cast<uint32_t>(kEncryptionHeaderSize) ? packed - kEncryptionHeaderSize
                                                                                : packed;
}

bool ParseBhHeader(const uint8_t* p, TBhHeader& h) {
  if (Get32(p) != kBhSignature) return false;
  h.headerLength = Get16(p + 4);
  if (h.headerLength == 0) return false;
  h.fixedLength = p[6];
  h.madeBy = p[7];
  h.needed = p[8];
  h.flags = p[9];
  h.method = p[10];
  h.dosDate = Get32(p + 11);
  h.packed = Get32(p + 15);
  h.original = Get32(p + 19);
  h.crc = Get32(p + 23);
  h.attr = Get16(p + 27);
  h.reserved = Get32(p + 29);
  h.nameLength = Get16(p + 33);
  h.extraLength = Get16(p + 35);
  return true;
}

void WriteBhHeader(const TBhHeader& h, uint8_t* p) {
  Put32(p, kBhSignature);
  Put16(p + 4, h.headerLength);
  p[6] = h.fixedLength;
  p[7] = h.madeBy;
  p[8] = h.needed;
  p[9] = h.flags;
  p[10] = h.method;
  Put32(p + 11, h.dosDate);
  Put32(p + 15, h.packed);
  Put32(p + 19, h.original);
  Put32(p + 23, h.crc);
  Put16(p + 27, h.attr);
  Put32(p + 29, h.reserved);
  Put16(p + 33, h.nameLength);
  Put16(p + 35, h.extraLength);
}

std::string BhDisplayName(const std::string& stored, bool translateOem) {
  TNameOrigin origin;
  origin.utf8 = true;
  origin.translateOem = translateOem;
  std::string name = DecodeEntryName(stored, origin);
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

std::string BhStoredName(const std::string& name) {
  std::string bytes = name;
  std::replace(bytes.begin(), bytes.end(), '/', '\\');
  return bytes;
}

}  // namespace zid
