// The table of the directory reader's walkers: which archive types each one reads.
#include <array>

#include "engine/listing/zidRizWalker.h"

namespace zid {

namespace {

using TWalkerFactory = std::unique_ptr<TRizWalker> (*)(TArcType);

// The types a walker reads; unused places hold atNA, which nothing lists.
struct TWalkerLine {
  std::array<TArcType, 8> types;
  TWalkerFactory make;
};

// One line per format family.
const TWalkerLine kWalkers[] = {
    {{atZip, atZipExe, atJar, atJarExe, atZipMV, atZipDS}, MakeZipWalker},
    {{atLha, atLhaExe, atLzh, atLzhExe}, MakeLhaWalker},
    {{atTar}, MakeTarWalker},
    {{atGZip}, MakeGZipWalker},
    {{atArj, atArjExe}, MakeArjWalker},
    {{atBh, atBhExe}, MakeBhWalker},
    {{atZoo}, MakeZooWalker},
    {{atAce, atAceExe}, MakeAceWalker},
    {{atCab, atCabExe}, MakeCabWalker},
    {{atArc, atArcExe, atPak, atPakExe}, MakeArcWalker},
    {{atHA}, MakeHaWalker},
    {{atRar, atRarExe}, MakeRarWalker},
    {{atUUE}, MakeUueWalker},
    {{atMsGZ}, MakeMsGzWalker},
};

}  // namespace

std::unique_ptr<TRizWalker> MakeRizWalker(TArcType type) {
  for (const TWalkerLine& line : kWalkers)
    for (TArcType t : line.types)
      if (t != atNA && t == type) return line.make(type);
  return nullptr;
}

}  // namespace zid
