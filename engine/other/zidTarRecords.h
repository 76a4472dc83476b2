// The header records of one tar member as the writer makes them: a ustar
// header, preceded by a pax extended header ('x') when ustar cannot hold the
// name (over 100 bytes and no split into a 155-byte prefix and a 100-byte
// name), the size (8 GiB and over), the time (before 1970 or past 2242) or
// a link target over 100 bytes. GNU tar and bsdtar read both.
#pragma once

#include <cstdint>
#include <string>

namespace zid {

struct TTarMember {
  std::string name;      // UTF-8, "/" between folders; a folder's gets its "/" here
  char type = '0';       // '0' file, '5' folder, '2' symbolic link
  uint32_t mode = 0644;  // permission bits
  int64_t size = 0;
  int64_t mtime = 0;     // Unix seconds
  std::string link;      // a symbolic link's target
};

constexpr int64_t kTarRecordBlock = 512;

// The member's header blocks (a multiple of 512 bytes); its data follows them,
// padded to 512 with zeros.
std::string TarMemberHeaders(const TTarMember& m);
// The zeros after the last member's data: two blocks, then up to GNU tar's 10 KiB record.
int64_t TarEndLength(int64_t written);

}  // namespace zid
