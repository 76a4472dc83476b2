#include "engine/other/zidArcMethods.h"

namespace zid {

const TMethodTable& ArcMethods() {
  static const TMethodTable table = {
      {1, nullptr, "Stored"},   {2, nullptr, "Stored"},   {3, nullptr, "Packed"},  {4, nullptr, "Squeezed"},
      {5, nullptr, "Crunched"}, {6, nullptr, "Crunched"}, {7, nullptr, "Squashed"}, {8, nullptr, "Pack10"},
      {9, nullptr, "Pack11"},   {10, nullptr, "Pack12"},  {11, nullptr, "Stored"},  {30, nullptr, "<Dir>"},
  };
  return table;
}

const TMethodTable& PakMethods() {
  static const TMethodTable table = {
      {2, nullptr, "Stored"},    {3, nullptr, "RLE"},       {4, nullptr, "Squeezed"}, {5, nullptr, "FixedLen"},
      {6, nullptr, "FixedLen"},  {7, nullptr, "FixedLen"},  {8, nullptr, "Varible"},  {9, nullptr, "Varible"},
      {10, nullptr, "Crushed"},  {11, nullptr, "Distill"},
  };
  return table;
}

}  // namespace zid
