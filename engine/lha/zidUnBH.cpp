#include "engine/lha/zidUnBH.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/base/zidBytes.h"
#include "engine/base/zidStreams.h"
#include "engine/lha/zidLhaMethods.h"
#include "engine/zip/zidCrypt.h"
#include "platform/files.h"

namespace zid {

namespace {

// Archives made by versions below this begin the data's key state afresh and do not encipher stored entries.
constexpr uint8_t kMadeByKeysContinue = 3;
bool Supported(uint8_t method) {
  const TMethod* m = BhMethods().Find(method);
  return m != nullptr && m->Decodes();
}

}  // namespace

void TUnBh::ProcessArchive() {
  const TArcType type = GetArcType();
  if (type != atBh && type != atBhExe) {
    ArchiveFailed(E_BADARCTYPE, ArcTypeEnumName(type));
    return;
  }
  TStream32* s = ArchiveStream();
  if (s == nullptr) {
    ArchiveFailed(E_READERROR);
    return;
  }

  // Scan: every header, by the stored sizes, before any data is read.
  std::vector<TItem> items;
  int64_t pos = std::max<int64_t>(0, ArcStartOffset());
  std::string trouble;
  while (!Cancelled()) {
    std::array<uint8_t, kBhHeaderSize> buf{};
    const int64_t got = ReadFullAt(*s, pos, buf.data(), kBhHeaderSize);
    TItem item;
    if (got < kBhHeaderSize) {
      if (got >= 4 && Get32(buf.data()) == kBhSignature) trouble = "the archive ends inside a header";
      break;
    }
    if (!ParseBhHeader(buf.data(), item.header)) break;
    const TBhHeader& h = item.header;
    item.offset = pos;
    if (h.nameLength <= kBhMaxName) {
      std::string raw(h.nameLength, '\0');
      if (ReadFullAt(*s, pos + kBhHeaderSize, raw.data(), h.nameLength) != h.nameLength) {
        trouble = "the archive ends inside a name";
        break;
      }
      item.name = BhDisplayName(raw, TranslateOemChar);
      items.push_back(std::move(item));
    }
    pos = h.NextOffset(pos);  // at least 37 bytes further on
  }
  if (Cancelled()) return;
  const std::string where = " at offset " + std::to_string(pos);
  if (items.empty() && !trouble.empty()) {
    ArchiveFailed(E_READERROR, trouble + where);
    return;
  }
  for (const TItem& item : items) {
    if (Cancelled()) return;
    ExtractItem(item);
  }
  if (!Cancelled() && !trouble.empty()) ArchiveFailed(E_READERROR, trouble + where);
}

void TUnBh::ExtractItem(const TItem& item) {
  const TBhHeader& h = item.header;
  TEntry e;
  e.storedName = item.name;
  e.packedSize = h.packed;
  e.unpackedSize = h.original;
  e.crc = h.crc;
  e.crcKind = 32;
  e.dosDate = h.dosDate;
  e.attr = h.attr & 0xFF;
  e.isDir = h.IsFolder();
  e.encrypted = h.Encrypted();
  if (e.isDir) {
    ExtractEntry(e, [] { return true; });
    return;
  }
  const uint8_t method = h.EffectiveMethod();
  if (!Supported(method) || (e.encrypted && h.packed < static_cast<uint32_t>(kEncryptionHeaderSize))) {
    if (!Supported(method)) RejectEntry(e, E_UNSUPPORTEDMETHOD, BhMethods().Described(h.method));
    else RejectEntry(e, E_BADFILEHEADER, "the encryption header is cut short");
    return;
  }

  // The password that passed the header check (the keys are then set for the data).
  std::string password;
  TCryptKeys keys{};
  TEncryptionHeader header{};
  bool haveHeader = false;
  auto verify = [&](const std::string& candidate) {
    if (!haveHeader) {
      TStream32* s = ArchiveStream();
      if (s == nullptr ||
          ReadFullAt(*s, h.DataOffset(item.offset), header.data(), kEncryptionHeaderSize) != kEncryptionHeaderSize)
        return false;
      haveHeader = true;
    }
    // BH has no data descriptors: byte 11 is always the CRC's top byte.
    if (!CheckEncryptionHeader(keys, header.data(), 0, h.crc, candidate, 0)) return false;
    password = candidate;
    return true;
  };
  auto decode = [&] {
    if (e.encrypted && !haveHeader) return false;
    return Decode(item, e.encrypted, password, keys);
  };
  ExtractEntry(e, decode,
               e.encrypted ? std::function<bool(const std::string&)>(verify) : std::function<bool(const std::string&)>());
}

bool TUnBh::Decode(const TItem& item, bool encrypted, const std::string& password, TCryptKeys& keys) {
  const TBhHeader& h = item.header;
  const uint8_t method = h.EffectiveMethod();
  int64_t offset = h.DataOffset(item.offset);
  int64_t packed = h.packed;
  bool decipher = encrypted;
  if (encrypted) {
    offset += kEncryptionHeaderSize;
    packed -= kEncryptionHeaderSize;
    if (h.madeBy < kMadeByKeysContinue) {
      if (method == bmStored)
        decipher = false;
      else
        keys.Init(password);
    }
  }
  int64_t produced = 0;
  TDecodeSource source = EntrySource(offset, packed);
  if (decipher)
    source = TransformedSource(std::move(source), [&keys](uint8_t* buf, int64_t count) { keys.Decrypt(buf, count); });
  const TDecodeJob job = EntryJob(std::move(source), h.original, produced);
  const TMethod& m = *BhMethods().Find(method);
  const int r = m.decode(job, m, 0);
  return DecodeResultOk(r, produced, h.original);
}

}  // namespace zid
