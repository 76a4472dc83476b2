// The uuencode family's text: the "begin" lines that open each file, and the
// decoder of the lines between a begin line and its end.
//
// uuencoded lines start with a length character (' ' + n, n bytes on the
// line; '`' for 0) followed by four characters per three bytes, each ' ' +
// six bits ('`' for 0). Lines that lost their trailing blanks in transit are
// read as if the blanks were there. A file ends at its "end" line (after the
// zero-length line). base64 files ("begin-base64") are RFC 4648 lines ended
// by a "====" line. CR LF and LF lines are both read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/zidDecoder.h"

namespace zid {

// One file of the text.
struct TUueFile {
  std::string name;      // the rest of the begin line after the mode, as stored
  uint32_t mode = 0644;  // the octal mode of the begin line
  bool base64 = false;
  int64_t data = 0;      // offset of the first line after the begin line
  int64_t dataEnd = 0;   // offset of the end line (or of the input's end)
  int64_t size = 0;      // the bytes its lines decode to
  bool closed = false;   // an end line ends it ("end" or "====")
};

using TUueReadAt = std::function<int64_t(int64_t pos, void* buf, int64_t n)>;

// Every file of a text of `size` bytes, in order. Stops early when *cancel is set.
std::vector<TUueFile> ScanUue(const TUueReadAt& read, int64_t size, const bool* cancel = nullptr);

// Decodes the lines of one file (job.source starts at its first data line)
// until its end line, into job.sink. drOk at the end line; drInputExhausted
// when the input ends first; drInvalidData for a line the encoding cannot
// hold (a character outside it, a length the line does not carry).
int UuDecode(const TDecodeJob& job, bool base64);

}  // namespace zid
