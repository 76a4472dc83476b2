// What the header walkers share: ending a walk on a header that cannot be
// right, moving to the next header by stored sizes (which may be anything in
// a damaged archive), and reading the bytes and names behind a header block.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidResync.h"
#include "engine/listing/zidRizER.h"

namespace zid {

struct TTarItem;
// Lists one tar entry (the TAR walker's and the nested tar's of the GZIP walker; zidRizTar.cpp).
void ListTarItem(TRizER& r, const TTarItem& item);

// A damaged header at the current offset: the walk goes on at the next good
// header (25114 once, naming the region passed over), or ends with 25114
// when none follows.
inline void ResyncOrEnd(TRizER& r, const TResyncProbe& probe, const std::string& why) {
  const int64_t at = r.HeaderOffset();
  const TResyncReadAt read = [&r](int64_t p, void* buf, int64_t n) { return r.ReadAt(p, buf, n); };
  const int64_t next = FindNextHeader(read, at, r.WalkSize(), probe);
  r.ReportError(r.GetArchiveFile(), DamagedRegionText(why, at, next, r.WalkSize()), r.VolumeName, E_BADFILEHEADER);
  if (next < 0) return r.EndWalk();
  r.NextOffset = next;
}

// Reports 25114 for the archive being walked and ends the walk.
inline void EndWalkBadHeader(TRizER& r) {
  r.ReportError(r.GetArchiveFile(), std::string(), r.VolumeName, E_BADFILEHEADER);
  r.EndWalk();
}

// The next header is at base + size (size as stored, unsigned). A target at or
// before the current header block would walk in place or backwards: the walk
// ends with 25114. A target past the end of the file (an entry whose data is
// cut) ends the walk with 25236.
inline void MoveWalkTo(TRizER& r, int64_t base, uint64_t size) {
  const int64_t end = r.WalkSize();
  const uint64_t room = base < end ? static_cast<uint64_t>(end - base) : 0;
  const int64_t target = size >= room ? end : base + static_cast<int64_t>(size);
  if (target <= r.HeaderOffset()) return EndWalkBadHeader(r);
  if (size > room) {
    r.ReportError(r.GetArchiveFile(), "an entry's data runs past the end of the file", r.VolumeName, E_READERROR);
    return r.EndWalk();
  }
  r.NextOffset = target;
}

// Reads exactly n bytes at pos into out; false when the file ends first.
inline bool ReadBytes(TRizER& r, int64_t pos, size_t n, std::string& out) {
  out.resize(n);
  return n == 0 || r.ReadAt(pos, out.data(), static_cast<int64_t>(n)) == static_cast<int64_t>(n);
}

// Reads a NUL-terminated string at pos (at most maxLen bytes before the NUL).
// Returns the position just after the NUL, or -1 when no NUL comes first.
inline int64_t ReadCString(TRizER& r, int64_t pos, size_t maxLen, std::string& out) {
  out.clear();
  char buf[256];
  while (out.size() <= maxLen) {
    const int64_t got = r.ReadAt(pos + static_cast<int64_t>(out.size()), buf, sizeof buf);
    if (got <= 0) return -1;
    const void* nul = std::memchr(buf, 0, static_cast<size_t>(got));
    if (nul != nullptr) {
      out.append(buf, static_cast<size_t>(static_cast<const char*>(nul) - buf));
      if (out.size() > maxLen) return -1;
      return pos + static_cast<int64_t>(out.size()) + 1;
    }
    out.append(buf, static_cast<size_t>(got));
  }
  return -1;
}

}  // namespace zid
