// The walkers of the directory reader: one per archive family.
//
// A walker has two parts. Setup runs once before the walk loop: it may move
// the reader's StartOffset to the first header, chooses the number of bytes
// the loop reads per step (SetHeaderLength; 0 lists nothing more) and may
// already report entries. Step runs for every header block the loop read:
// it reports the entries of that header and moves NextOffset past the
// entry's data, or calls EndWalk.
//
// A new format adds its walker in a file of its own (zidRiz<Format>.cpp) and
// one line to the table in zidRizWalkers.cpp; the loop stays as it is.
#pragma once

#include <memory>

#include "engine/base/zidGbls.h"

namespace zid {

class TRizER;

class TRizWalker {
 public:
  virtual ~TRizWalker() = default;
  virtual void Setup(TRizER& reader) = 0;
  virtual void Step(TRizER& reader) = 0;
};

// A family's walker is made through its line in the format table
// (MakeWalker in engine/base/zidFormats.h).

}  // namespace zid
