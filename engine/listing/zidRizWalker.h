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

// The walker for a type; nullptr for the types nothing is listed of.
std::unique_ptr<TRizWalker> MakeRizWalker(TArcType type);

// The walkers, one per format file.
std::unique_ptr<TRizWalker> MakeZipWalker(TArcType type);  // zidRizZip.cpp
std::unique_ptr<TRizWalker> MakeLhaWalker(TArcType type);   // zidRizLha.cpp
std::unique_ptr<TRizWalker> MakeTarWalker(TArcType type);   // zidRizTar.cpp
std::unique_ptr<TRizWalker> MakeGZipWalker(TArcType type);  // zidRizGZip.cpp
std::unique_ptr<TRizWalker> MakeArjWalker(TArcType type);   // zidRizArj.cpp
std::unique_ptr<TRizWalker> MakeBhWalker(TArcType type);    // zidRizBh.cpp
std::unique_ptr<TRizWalker> MakeZooWalker(TArcType type);   // zidRizZoo.cpp
std::unique_ptr<TRizWalker> MakeAceWalker(TArcType type);   // zidRizAce.cpp
std::unique_ptr<TRizWalker> MakeCabWalker(TArcType type);   // zidRizCab.cpp
std::unique_ptr<TRizWalker> MakeArcWalker(TArcType type);   // zidRizArc.cpp (ARC and PAK)
std::unique_ptr<TRizWalker> MakeHaWalker(TArcType type);    // zidRizHa.cpp
std::unique_ptr<TRizWalker> MakeRarWalker(TArcType type);   // zidRizRar.cpp
std::unique_ptr<TRizWalker> MakeUueWalker(TArcType type);   // zidRizUue.cpp
std::unique_ptr<TRizWalker> MakeMsGzWalker(TArcType type);  // zidRizMsGz.cpp

}  // namespace zid
