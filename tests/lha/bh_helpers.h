// Helpers of the BH tests: a source tree, a configured TBlakHole, a walk over
// the entries of an archive read byte by byte, a builder of hand-made entries
// (the cases our writer never produces), and runners of the extractor and
// the directory reader that collect what they report.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/zidBytes.h"
#include "engine/base/zidCrc.h"
#include "engine/lha/zidBlakHole.h"
#include "engine/lha/zidUnBH.h"
#include "engine/zip/zidCrypt.h"
#include "support/component_runner.h"
#include "support/testutil.h"
#include "support/writer_tree.h"

namespace bhtest {

namespace fs = std::filesystem;

inline uint32_t Crc32(const std::string& s) { return zid::Crc32Of(s.data(), static_cast<int64_t>(s.size())); }

using testutil::Quiet;
using testutil::Repetitive;
inline std::string MakeTree(const testutil::TempDir& tmp) { return testutil::MakeWriterTree(tmp); }
constexpr int kTreeFiles = 8;

using testutil::Files;

// Adds the files below src (recursively, names relative to src) to arc.
inline int Build(const std::string& arc, const std::string& src, zid::TCompressMethod method,
                 const std::string& password = "", std::vector<int>* errors = nullptr) {
  zid::TBlakHole w;
  Quiet(w, errors);
  w.SetCompressMethod(method);
  w.Password = password;
  return testutil::AddTree(w, arc, src);
}

// One entry as it lies in the archive.
struct Entry {
  int64_t offset = 0;
  std::string head;  // the 37 bytes
  std::string name;
  std::string data;  // packed data (with the encryption header)
  const uint8_t* h() const { return reinterpret_cast<const uint8_t*>(head.data()); }
  uint8_t flags() const { return h()[9]; }
  uint8_t method() const { return h()[10]; }
  uint32_t packed() const { return zid::Get32(h() + 15); }
  uint32_t original() const { return zid::Get32(h() + 19); }
  uint32_t crc() const { return zid::Get32(h() + 23); }
};

// Walks an archive entry by entry to its end; every byte must belong to an entry.
inline std::vector<Entry> Entries(const std::string& arc) {
  const std::string a = testutil::ReadFile(arc);
  std::vector<Entry> out;
  size_t pos = 0;
  while (pos < a.size()) {
    Entry e;
    e.offset = static_cast<int64_t>(pos);
    if (pos + 37 > a.size()) {
      ADD_FAILURE() << "a header runs past the end at " << pos;
      break;
    }
    e.head = a.substr(pos, 37);
    const size_t nameLen = zid::Get16(e.h() + 33), extraLen = zid::Get16(e.h() + 35);
    e.name = a.substr(pos + 37, nameLen);
    e.data = a.substr(pos + 37 + nameLen + extraLen, e.packed());
    pos += 37 + nameLen + extraLen + e.packed();
    if (pos > a.size()) ADD_FAILURE() << "data run past the end: " << e.name;
    out.push_back(e);
  }
  return out;
}

inline const Entry* Find(const std::vector<Entry>& es, const std::string& name) {
  auto it = std::find_if(es.begin(), es.end(), [&](const Entry& e) { return e.name == name; });
  return it == es.end() ? nullptr : &*it;
}

// ---- hand-made entries -------------------------------------------------------------------

struct Raw {
  std::string name = "file.txt";
  uint8_t method = 0;
  uint8_t flags = 0;
  uint8_t madeBy = 6;
  std::string data;      // as stored (with any encryption header)
  std::string original;  // for the size and the CRC
  uint16_t attr = 0x20;
  int nameLength = -1;   // stored name length when not the name's own
  uint32_t dosDate = 0x58210000;
};

inline std::string RawEntry(const Raw& r) {
  uint8_t h[37] = {};
  zid::Put32(h, 0x07054842);
  const uint16_t nameLen = static_cast<uint16_t>(r.nameLength >= 0 ? r.nameLength : static_cast<int>(r.name.size()));
  zid::Put16(h + 4, static_cast<uint16_t>(37 + nameLen));
  h[6] = 37;
  h[7] = r.madeBy;
  h[8] = 8;
  h[9] = r.flags;
  h[10] = r.method;
  zid::Put32(h + 11, r.dosDate);
  zid::Put32(h + 15, static_cast<uint32_t>(r.data.size()));
  zid::Put32(h + 19, static_cast<uint32_t>(r.original.size()));
  zid::Put32(h + 23, Crc32(r.original));
  zid::Put16(h + 27, r.attr);
  zid::Put16(h + 33, nameLen);
  std::string name = r.name;
  name.resize(nameLen, 'n');
  return std::string(reinterpret_cast<const char*>(h), 37) + name + r.data;
}

// The 12-byte encryption header for the plain data's CRC followed by the
// packed bytes enciphered: as with the ZIP cipher, continuing from the header's
// keys, or (fresh) from keys initialised again from the password.
inline std::string Encipher(const std::string& packed, const std::string& plain, const std::string& password,
                            bool fresh = false) {
  zid::TCryptKeys keys{};
  const zid::TEncryptionHeader eh = zid::MakeEncryptionHeader(keys, password, Crc32(plain));
  if (fresh) keys.Init(password);
  std::string body = packed;
  keys.Encrypt(body.data(), static_cast<int64_t>(body.size()));
  return std::string(reinterpret_cast<const char*>(eh.data()), eh.size()) + body;
}

// ---- running the components ------------------------------------------------------------------

using Report = testutil::ExtractReport;

// Extracts arc into dir (empty: test mode) with the password (empty: none).
inline Report Extract(const std::string& arc, const std::string& dir, const std::string& password = "") {
  return testutil::RunExtractor<zid::TUnBh>(
      arc, dir,
      [&](zid::TUnBh& un) {
        un.Password = password;
        un.CreateStoredDirs = true;
      },
      0);
}

struct Listed {
  std::string name;
  int64_t packed = 0;
  int64_t unpacked = 0;
  uint32_t crc = 0;
  bool encrypted = false;
  std::string method;
};

inline std::vector<Listed> List(const std::string& arc, std::vector<int>* errors = nullptr) {
  std::vector<Listed> out;
  const std::vector<int> reported = testutil::RunLister(
      arc,
      [&out](const zid::TRizER& s, int) {
        out.push_back({s.FileName, s.PackedSize, s.UnpackedSize, s.CRC, s.Encrypted, s.MethodName});
      },
      [](zid::TRizER& r) { r.ShowEmptyDirs = true; }, 0);
  if (errors) errors->insert(errors->end(), reported.begin(), reported.end());
  return out;
}

}  // namespace bhtest
