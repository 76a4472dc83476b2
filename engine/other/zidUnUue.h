// TUnUue: extracts uuencoded and base64 ("begin-base64") texts: every file
// between a begin line and its end line, named and moded by its begin line.
// The encodings carry no checksum; a file whose end line is missing, or
// whose lines the encoding cannot hold, fails.
#pragma once

#include "engine/base/zidUnBase.h"
#include "engine/other/zidUudecode.h"

namespace zid {

class TUnUue : public TUnBase {
 protected:
  void ProcessArchive() override;

 private:
  void ExtractFile(const TUueFile& f, int64_t mtime);
};

}  // namespace zid
