#include "engine/base/zidMethods.h"

namespace zid {

namespace {

const char* DeflateName(uint32_t flags, bool d64) {
  switch (flags & 6) {
    case 2: return d64 ? "Def-64X" : "DeflateX";
    case 4: return d64 ? "Def-64F" : "DeflateF";
    case 6: return d64 ? "Def-64S" : "DeflateS";
    default: return d64 ? "Def-64N" : "DeflateN";
  }
}

template <size_t N>
const char* Pick(const char* const (&names)[N], int method) {
  return method >= 0 && static_cast<size_t>(method) < N ? names[method] : nullptr;
}

}  // namespace

std::string MethodName(TMethodFamily family, int method, uint32_t flags, uint32_t attr) {
  const char* r = nullptr;
  switch (family) {
    case TMethodFamily::Zip: {
      static const char* const names[] = {"Stored",   "Shrunk",   "Reduce-1", "Reduce-2",
                                          "Reduce-3", "Reduce-4", "Imploded", "Tokened"};
      if (method == 8) r = DeflateName(flags, false);
      else if (method == 9) r = DeflateName(flags, true);
      else if (method == 10) r = "DCL-implode";
      else r = Pick(names, method);
      if (!r && (attr & 0x10)) r = "<Dir>";
      break;
    }
    case TMethodFamily::Lha:
      if (method == '0') r = "Stored";
      else if (method >= '1' && method <= '7') {
        static const char* const frozen[] = {"Frozen-1", "Frozen-2", "Frozen-3", "Frozen-4",
                                             "Frozen-5", "Frozen-6", "Frozen-7"};
        r = frozen[method - '1'];
      } else if (method == 'd') r = "<Dir>";
      break;
    case TMethodFamily::Arj: {
      static const char* const names[] = {"Stored", "Most", "2nd Most", "2nd Fast", "Fastest"};
      r = Pick(names, method);
      break;
    }
    case TMethodFamily::Bh: {
      static const char* const names[] = {"Stored", "Fused1", "Deflate", "Fused3"};
      r = method == 8 ? DeflateName(flags, false) : Pick(names, method);
      break;
    }
    case TMethodFamily::Cab: {
      int t = method & 0x0F;
      static const char* const names[] = {"Stored", "MsZIP", "Quantum", "Lzx"};
      if (t < 4) r = names[t];
      else return "Lzx" + std::to_string(t);
      break;
    }
    case TMethodFamily::Ace: {
      static const char* const names[] = {"Fastest", "Fast", "Normal", "Good", "Best"};
      r = Pick(names, method);
      break;
    }
    case TMethodFamily::Arc: {
      static const char* const names[] = {nullptr,    "Stored",  "Stored", "Packed",
                                          "Squeezed", "Crunched", "Crunched", "Squashed",
                                          "Pack10",   "Pack11",  "Pack12", "Stored"};
      r = method == 30 ? "<Dir>" : Pick(names, method);
      break;
    }
    case TMethodFamily::Pak: {
      static const char* const names[] = {nullptr,    nullptr,    "Stored",  "RLE",     "Squeezed", "FixedLen",
                                          "FixedLen", "FixedLen", "Varible", "Varible", "Crushed",  "Distill"};
      r = Pick(names, method);
      break;
    }
    case TMethodFamily::Rar: {
      static const char* const names[] = {"Stored", "Fastest", "Fast", "Normal", "Good", "Best"};
      if (attr & 0x10) r = "<Dir>";
      else r = Pick(names, method - 0x30);
      break;
    }
    case TMethodFamily::Ha:
      if (method == 0) r = "Cpy";
      else if (method == 1) r = "Asc";
      else if (method == 2) r = "HSC";
      else if (method == 14) r = "<Dir>";
      else if (method == 15) r = "Special";
      break;
    case TMethodFamily::GZip:
      if (method == 0) r = "Stored";
      else if (method == 8) r = "Deflate";
      else if (method == 144) r = "LzwMAGIC";
      else if (method == kGzPackMagic) r = "PackMAGIC";
      else if (method == kGzLzhMagic) r = "LzhMAGIC";
      break;
    case TMethodFamily::Tar:
      if (attr & 0x10) r = "<Dir>";
      else if (method == 0) r = "Tarred";
      break;
    case TMethodFamily::Zoo: {
      static const char* const names[] = {"Stored", "Fastest", "Greatest"};
      r = Pick(names, method);
      break;
    }
  }
  return r ? r : "Unsupported";
}

}  // namespace zid
