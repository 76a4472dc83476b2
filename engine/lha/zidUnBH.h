// TUnBh: extracts BH archives (and their self-extractors) through the common
// extract loop.
//
// A scan pass walks the 37-byte headers (zidBhHeader.h) by their stored
// sizes and records the entries; the extract pass then decodes each one:
// method 0 stored, 1 Fused1 and 3 Fused3 through LzhDecode, 2 and 8 raw
// Deflate. Encrypted entries use the traditional ZIP cipher: the password is
// checked against the 12-byte encryption header, whose byte 11 holds the top
// byte of the CRC-32. Archives whose made-by version is below 3 start the
// data's key state afresh from the password, and their stored entries are
// not enciphered at all. Every entry is checked against its CRC-32.
#pragma once

#include <string>

#include "engine/base/zidUnBase.h"
#include "engine/lha/zidBhHeader.h"
#include "engine/zip/zidCrypt.h"

namespace zid {

class TUnBh : public TUnBase {
 protected:
  void ProcessArchive() override;

 private:
  struct TItem {
    int64_t offset = 0;
    TBhHeader header;
    std::string name;  // as shown, "/" between folders
  };
  void ExtractItem(const TItem& item);
  // keys: as the password check left them (the data continues the cipher).
  bool Decode(const TItem& item, bool decipher, const std::string& password, TCryptKeys& keys);
};

}  // namespace zid
