#include "engine/other/zidTarRecords.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zid {

namespace {

constexpr size_t kNameField = 100;
constexpr size_t kPrefixField = 155;
constexpr int64_t kMaxOctal11 = 077777777777LL;  // what 11 octal digits hold
constexpr int64_t kRecordSize = 10240;           // GNU tar's default blocking (20 blocks)

void Octal(char* field, size_t width, int64_t value) {
  // width - 1 digits and a NUL, zero-padded, as GNU tar writes them.
  std::snprintf(field, width, "%0*llo", static_cast<int>(width - 1), static_cast<unsigned long long>(value));
}

// One pax record: "<length> key=value\n", the length counting itself.
std::string PaxRecord(const std::string& key, const std::string& value) {
  const size_t body = key.size() + value.size() + 3;  // ' ', '=', '\n'
  size_t len = body + 1;
  while (std::to_string(len).size() + body != len) len = std::to_string(len).size() + body;
  return std::to_string(len) + " " + key + "=" + value + "\n";
}

// Splits a name into ustar's prefix and name fields at a "/"; false when no split fits.
bool SplitUstar(const std::string& name, std::string& prefix, std::string& rest) {
  if (name.size() <= kNameField) {
    prefix.clear();
    rest = name;
    return true;
  }
  for (size_t at = name.find('/'); at != std::string::npos; at = name.find('/', at + 1)) {
    if (at > kPrefixField) break;
    const size_t restLen = name.size() - at - 1;
    if (restLen == 0 || restLen > kNameField) continue;
    prefix = name.substr(0, at);
    rest = name.substr(at + 1);
    return true;
  }
  return false;
}

std::string UstarBlock(const std::string& name, const std::string& prefix, char type, uint32_t mode, int64_t size,
                       int64_t mtime, const std::string& link) {
  std::string b(kTarRecordBlock, '\0');
  char* h = b.data();
  std::memcpy(h, name.data(), std::min(name.size(), kNameField));
  Octal(h + 100, 8, mode & 07777);
  Octal(h + 108, 8, 0);
  Octal(h + 116, 8, 0);
  Octal(h + 124, 12, size);
  Octal(h + 136, 12, mtime);
  h[156] = type;
  std::memcpy(h + 157, link.data(), std::min(link.size(), kNameField));
  std::memcpy(h + 257, "ustar", 6);
  std::memcpy(h + 263, "00", 2);
  std::memcpy(h + 345, prefix.data(), std::min(prefix.size(), kPrefixField));
  // The checksum is taken with its own field as eight blanks.
  std::memset(h + 148, ' ', 8);
  unsigned sum = 0;
  for (size_t i = 0; i < kTarRecordBlock; ++i) sum += static_cast<unsigned char>(h[i]);
  std::snprintf(h + 148, 8, "%06o", sum);
  h[155] = ' ';
  return b;
}

}  // namespace

std::string TarMemberHeaders(const TTarMember& m) {
  std::string pax, prefix, rest;
  if (!SplitUstar(m.name, prefix, rest) || m.name.find('\0') != std::string::npos) {
    pax += PaxRecord("path", m.name);
    prefix.clear();
    rest = m.name.substr(0, kNameField);
  }
  int64_t size = m.size, mtime = m.mtime;
  if (size < 0 || size > kMaxOctal11) {
    pax += PaxRecord("size", std::to_string(m.size));
    size = 0;
  }
  if (mtime < 0 || mtime > kMaxOctal11) {
    pax += PaxRecord("mtime", std::to_string(m.mtime));
    mtime = mtime < 0 ? 0 : kMaxOctal11;
  }
  if (m.link.size() > kNameField) pax += PaxRecord("linkpath", m.link);
  std::string out;
  if (!pax.empty()) {
    // The extended header's own name, as GNU tar makes it: "<dir>/PaxHeaders/<base>".
    const size_t slash = m.name.find_last_of('/', m.name.size() > 1 ? m.name.size() - 2 : 0);
    std::string paxName = slash == std::string::npos ? "PaxHeaders/" + m.name
                                                     : m.name.substr(0, slash) + "/PaxHeaders/" + m.name.substr(slash + 1);
    if (paxName.size() > kNameField) paxName = "PaxHeaders/" + std::to_string(pax.size());
    out += UstarBlock(paxName, "", 'x', 0644, static_cast<int64_t>(pax.size()), mtime, "");
    out += pax;
    out.append((kTarRecordBlock - pax.size() % kTarRecordBlock) % kTarRecordBlock, '\0');
  }
  out += UstarBlock(rest, prefix, m.type, m.mode, m.type == '0' ? size : 0, mtime, m.link);
  return out;
}

int64_t TarEndLength(int64_t written) {
  const int64_t end = written + 2 * kTarRecordBlock;
  return end + (kRecordSize - end % kRecordSize) % kRecordSize - written;
}

}  // namespace zid
