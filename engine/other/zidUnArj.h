// TUnARJ: extracts ARJ archives, plain or behind a self-extractor stub, over
// volume sets, with garbled (password) entries. Methods 1 to 3 go through
// LzhDecode, method 4 through its own decoder, method 0 is copied.
//
// The walk goes volume by volume: the headers of a volume are read first
// (scan), then its entries are extracted. An entry continued in the next
// volume is one entry: its parts are decoded one after the other into the
// same output, each part checked against its own CRC, and the walk goes on
// in the volume where the entry ends. The next volume is x.a01, x.a02 ...
// beside the first (VolumeFileName); OnNextVolume may name another file.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "engine/base/zidResync.h"
#include "engine/base/zidUnBase.h"
#include "engine/other/zidArjHeader.h"

namespace zid {

class TUnARJ : public TUnBase {
 public:
  TUnARJ();
  ~TUnARJ() override;

  // x.arj with n = 1 gives x.a01: the extension is replaced (the name's other dots stay).
  std::string VolumeFileName(const std::string& name, int n) override;

 protected:
  void ProcessArchive() override;
  // The verdict over every part of the entry just decoded.
  bool CheckCrc(uint8_t crcKind, uint32_t stored) override;

 private:
  TArjRead ReadHeader(int64_t pos, TArjHeader& h, std::string* why);
  // Reads the main header of the open volume at pos; *next gets the first entry.
  bool ReadMainHeader(int64_t pos, int64_t* next, std::string* why);
  // Opens the volume after the current one (past a missing one, the first
  // later one there) and reads its main header.
  TSetVolume NextVolume(int64_t* next);
  // The entry headers of the open volume from pos; false when a damaged header ended the scan.
  bool ScanVolume(int64_t pos, std::vector<TArjHeader>& list);
  void ExtractOne(const TArjHeader& h, bool lastOfVolume);
  // Decodes one part; bytes go to sink (empty: the output), the count to *produced.
  int DecodePart(const TArjHeader& h, const std::string& key, TDecodeSink sink, int64_t* produced);
  // Decodes the entry (all its parts when it continues) into the output.
  bool DecodeEntry(const TArjHeader& first, bool follow);
  // A garbled entry: whether the password deciphers it to the stored CRC.
  bool VerifyPassword(const TArjHeader& h, const std::string& password);

  uint8_t mainFlags_ = 0;
  uint8_t encryptionVersion_ = 0;  // of the open volume's main header
  bool stop_ = false;              // a volume could not be had: the walk ends
  int volumeNumber_ = 1;
  std::set<std::string> visited_;
  TLostRegions lost_;  // the damaged regions of the volume in hand
  bool followed_ = false;    // the last entry moved the walk to a later volume
  int64_t resumePos_ = 0;    // where the walk goes on in that volume
  bool partsOk_ = true;
  uint32_t partCrc_ = 0;
};

}  // namespace zid
