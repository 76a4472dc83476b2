// TBlakHole: the BH writer. Plugs into the write loop of TCompBase: reads the
// headers of an existing archive, copies kept entries as they are, rewrites
// the header of renamed ones, and writes each new file under a 37-byte
// header (zidBhHeader.h):
//   cmStore    stored (method 0);
//   cmDeflate  the data step ZIP shares (zidStoreDeflate.h): raw Deflate
//              (method 8), stored when that does not pay;
//   cmFuse     Fused3 (method 3, the LZH encoder with a 16 KiB dictionary),
//              stored when that does not pay.
// With a Password every non-empty file is enciphered with the traditional
// ZIP cipher behind a 12-byte encryption header, which the packed size counts.
//
// A new entry's header goes out first and is rewritten once sizes, CRC and
// method are known. Names are written as their UTF-8 bytes with "\" between
// folders (no OEM translation: a CP437 name comes out mangled everywhere
// else on this system); folders are entries with attribute 0x10 and a name
// ending in "\". Each entry keeps its header (TBhHeader) as its record.
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/zidCompBase.h"
#include "engine/lha/zidBhHeader.h"
#include "engine/zip/zidCrypt.h"

namespace zid {

class TBlakHole : public TCompBase {
 public:
  TBlakHole();

  // The type is fixed: any value restores atBh.
  void SetArcType(TArcType value) override;

 protected:
  bool ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list) override;
  bool CompressEntry(TStream32& out, TCompHeaderObj& list, int index) override;
  bool CopyEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) override;
  bool CopyRenamedEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) override;
  bool FinishArchive(TStream32& out, TCompHeaderObj& list) override;
  void AfterWrite(TCompHeaderObj& list) override;
  int EntryHeaderSize() const override { return kBhHeaderSize; }
  TWriterLimits WriterLimits() const override { return {"a BH header", kBhMaxName, 0xFFFFFFFFll, 0, true}; }

 private:
  // Fills the current-entry properties from a header (swRead).
  void ShowEntry(const TBhHeader& h, const std::string& name);
  // The Fused3 data of a file behind its header (and encryption header);
  // stored when compressing does not pay. False on failure (reported) or cancel.
  bool WriteFused(TStream32& out, TStream32& src, TCompHeaderItem& it, bool encrypt, TBhHeader& h);
  bool StoreData(TStream32& out, TStream32& src, TCompHeaderItem& it, TCryptKeys* keys, uint32_t& crc);
};

}  // namespace zid
