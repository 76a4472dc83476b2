// Helpers of the listing tests: run the directory reader and collect what it
// reports, and build small ZIP archives byte by byte (for the damaged and
// hostile cases no writer would produce).
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/base/zidBytes.h"
#include "engine/base/zidCrc.h"
#include "engine/listing/zidRizER.h"
#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidZipRecords.h"

namespace listing_test {

struct Listed {
  std::string name;
  int64_t packed = 0;
  int64_t unpacked = 0;
  uint32_t crc = 0;
  bool encrypted = false;
  uint16_t method = 0;
  std::string methodName;
  uint32_t attr = 0;
  int ratio = 0;
  int offset = 0;
  int filenum = 0;
  double date = 0;
  std::string volume;
};

struct ListResult {
  bool ok = false;
  std::vector<Listed> entries;
  std::vector<int> errors;
  std::vector<std::string> errorExtras;
  std::vector<std::string> readFiles;  // OnReadFile, in order
  bool totalsFired = false;
  int64_t totalUnpacked = 0;
  int64_t totalPacked = 0;
  int totalRatio = 0;
  int totalFiles = 0;
  bool corruptAsked = false;
  uint8_t corruptFlag = 0;
};

// Lists path with FileSpec "*.*" (setup may change any property or event
// before the walk; the events this helper installs come first).
inline ListResult ListArchive(const std::string& path, const std::function<void(zid::TRizER&)>& setup = nullptr) {
  ListResult res;
  zid::TRizER r;
  r.SetArchiveFile(path);
  r.FileSpec = {"*.*"};
  r.OnError = [&res](zid::TZipCommon*, const std::string&, const std::string& ext, const std::string&, int code) {
    res.errors.push_back(code);
    res.errorExtras.push_back(ext);
  };
  r.OnReadFile = [&res](zid::TZipCommon*, const std::string& name) { res.readFiles.push_back(name); };
  r.OnRead = [&res](zid::TZipCommon* s, int offset, int filenum) {
    auto* z = static_cast<zid::TRizER*>(s);
    Listed e;
    e.name = z->FileName;
    e.packed = z->PackedSize;
    e.unpacked = z->UnpackedSize;
    e.crc = z->CRC;
    e.encrypted = z->Encrypted;
    e.method = z->MethodId;
    e.methodName = z->MethodName;
    e.attr = z->ExternalAttr;
    e.ratio = z->Ratio;
    e.offset = offset;
    e.filenum = filenum;
    e.date = z->FileDate;
    e.volume = z->VolumeName;
    res.entries.push_back(e);
  };
  r.OnTotals = [&res](zid::TZipCommon*, int64_t u, int64_t p, int ratio, int n) {
    res.totalsFired = true;
    res.totalUnpacked = u;
    res.totalPacked = p;
    res.totalRatio = ratio;
    res.totalFiles = n;
  };
  r.OnCorruptZipHeader = [&res](zid::TZipCommon*, uint8_t flag, bool& cancel) {
    res.corruptAsked = true;
    res.corruptFlag = flag;
    cancel = false;
  };
  if (setup) setup(r);
  res.ok = r.Activate();
  return res;
}

// One entry of a hand-made archive.
struct RawEntry {
  std::string name;
  std::string data;              // the bytes stored as the entry's data
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  int64_t unpacked = -1;         // -1: the data's length
  uint32_t externalAttr = 0x20;
  uint16_t madeBy = 20;
  uint16_t dosTime = 0x6000;     // 12:00:00
  uint16_t dosDate = 0x5821;     // 2024-01-01
  std::string centralExtra;
  bool encipherHeaders = false;  // the "L" signatures with enciphered bodies and names
};

// Lays out local headers with their data, the central directory and the end
// record, as an ordinary writer would.
class ZipBuilder {
 public:
  ZipBuilder() = default;
  ZipBuilder(std::initializer_list<RawEntry> entries) : entries_(entries) {}
  void Add(const RawEntry& e) { entries_.push_back(e); }

  // The local part only (no directory): what is left when the directory is cut off.
  std::string LocalPart() {
    Build();
    return local_;
  }
  std::string Bytes() {
    Build();
    return local_ + central_ + end_;
  }

 private:
  void Build() {
    local_.clear();
    central_.clear();
    for (const RawEntry& e : entries_) {
      zid::TLocalHeader l;
      l.Signature = e.encipherHeaders ? zid::kLocalSigEnc : zid::kLocalSig;
      l.Flags = e.flags;
      l.Method = e.method;
      l.Time = e.dosTime;
      l.Date = e.dosDate;
      l.Crc32 = e.crc;
      l.CompressedSize = static_cast<uint32_t>(e.data.size());
      l.UncompressedSize = static_cast<uint32_t>(e.unpacked < 0 ? e.data.size() : e.unpacked);
      l.NameLength = static_cast<uint16_t>(e.name.size());
      uint8_t lh[zid::kLocalHeaderSize];
      l.Write(lh);
      std::string name = e.name;
      if (e.encipherHeaders)
        zid::EncryptHeaderRecord(lh, zid::hrLocal, reinterpret_cast<uint8_t*>(name.data()),
                                 static_cast<int64_t>(name.size()));
      const uint32_t offset = static_cast<uint32_t>(local_.size());
      local_.append(reinterpret_cast<char*>(lh), sizeof lh);
      local_ += name + e.data;

      zid::TCentralHeader c;
      c.Signature = e.encipherHeaders ? zid::kCentralSigEnc : zid::kCentralSig;
      c.VersionMadeBy = e.madeBy;
      c.CopyFromLocal(l);
      c.ExtraLength = static_cast<uint16_t>(e.centralExtra.size());
      c.ExternalAttr = e.externalAttr;
      c.LocalHeaderOffset = offset;
      uint8_t ch[zid::kCentralHeaderSize];
      c.Write(ch);
      name = e.name;
      if (e.encipherHeaders)
        zid::EncryptHeaderRecord(ch, zid::hrCentral, reinterpret_cast<uint8_t*>(name.data()),
                                 static_cast<int64_t>(name.size()));
      central_.append(reinterpret_cast<char*>(ch), sizeof ch);
      central_ += name + e.centralExtra;
    }
    zid::TEndRecord end;
    end.EntriesThisDisk = end.TotalEntries = static_cast<uint16_t>(entries_.size());
    end.DirectorySize = static_cast<uint32_t>(central_.size());
    end.DirectoryOffset = local_.size();
    uint8_t er[zid::kEndRecordSize];
    end.Write(er);
    end_.assign(reinterpret_cast<char*>(er), sizeof er);
  }

  std::vector<RawEntry> entries_;
  std::string local_, central_, end_;
};

inline uint32_t CrcOf(const std::string& s) { return zid::Crc32Of(s.data(), static_cast<int64_t>(s.size())); }

}  // namespace listing_test
