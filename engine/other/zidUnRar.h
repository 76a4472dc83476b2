// TUnRar: extracts (or tests) RAR archives, plain or behind a self-extractor
// stub, over volume sets (.rar, .r00 ... or .part1.rar ...).
//
// RAR 1.5 and 2.x entries are decoded (zidRarUnpack.h), solid archives as
// one stream; stored entries of every version are copied, RAR 5 ones
// included. Entries compressed by RAR 3 and later, and encrypted entries,
// are refused by name. Each entry's CRC-32 is checked, and so is the header
// CRC of every file header; a part of an entry continued in the next volume
// is checked against the CRC of its packed bytes.
//
// The walk reads one block at a time. An entry continued in the next volume
// is one entry: its decode reads on into the next volume (asked for through
// OnNextVolume), and the walk goes on there after the entry's last part.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "engine/base/zidUnBase.h"
#include "engine/other/zidRarHeader.h"

namespace zid {

class TRarUnpacker;
struct TRar5Block;

class TUnRar : public TUnBase {
 public:
  TUnRar();
  ~TUnRar() override;

 protected:
  void ProcessArchive() override;
  bool CheckCrc(uint8_t crcKind, uint32_t stored) override;

 private:
  // One part of an entry in one volume, whichever RAR version wrote it.
  struct TPart {
    std::string key;  // the stored name, to match the parts of one entry
    int64_t dataOffset = 0;
    int64_t dataSize = 0;
    int64_t next = 0;  // the block after the part
    uint32_t crc = 0;
    bool crcOfPacked = false;  // a RAR 4 part with a next one: crc is of the packed bytes
    bool splitAfter = false;
  };

  TRarReadAt Reader();
  void Walk(int64_t pos);
  // The file block of a RAR 1.5-4 archive: one entry.
  void FileEntry(const TRarBlock& b);
  void Rar5Entry(const TRar5Block& b);
  // Runs the entry through the extract loop; decode(sink-less) keeps a solid stream going.
  void RunEntry(const TEntry& e, const std::string& refusal, int refusalCode, int version, bool compressed,
                bool solid);
  bool DecodeEntry(int version, bool compressed, bool solid, bool toOutput);
  int64_t ReadPacked(uint8_t* buf, int64_t n);
  // The next volume and the entry's part in it; false (reported) when the set ends or breaks.
  bool NextPart(bool checkPacked);
  // Opens the volume after the open one (past a missing one, the first later
  // one there); *first gets its first block.
  TSetVolume OpenNextVolume(int64_t* first);
  // Moves past the entry's remaining parts; the walk goes on after the last.
  void FinishParts();

  std::unique_ptr<TRarUnpacker> unpacker_;
  bool rar5_ = false;
  uint16_t mainFlags_ = 0;
  bool stop_ = false;
  int volume_ = 0;
  std::set<std::string> visited_;
  int64_t pos_ = 0;  // the next block of the open volume
  TPart part_;
  int64_t partLeft_ = 0;
  int64_t partPos_ = 0;
  uint32_t packedCrc_ = 0;
  bool partsOk_ = true;
  bool lostInGap_ = false;  // the entry's next part was in a missing volume
  bool anyDecoded_ = false;  // a compressed entry started the solid stream
  int64_t entryUnpacked_ = 0;
};

}  // namespace zid
