// The per-entry summary zefa t and zefa x end with on request: one line per
// entry (--report) or one JSON document (--json).
#pragma once

#include <string>
#include <vector>

#include "engine/base/zidUnBase.h"

namespace cli {

class EntrySummary {
 public:
  // Keeps the report of every entry as the engine closes it.
  void Add(const zid::TEntryReport& r) { reports_.push_back(r); }
  // "OK", "CRC error", "cut short", "unsupported", "skipped", ...
  static std::string VerdictText(const zid::TEntryReport& r);
  // One line per entry: the verdict, then the stored name.
  void PrintLines() const;
  // {"archive": ..., "entries": [{"name", "verdict", "detail"}...], "totals": {...}}
  void PrintJson(const std::string& archive, const zid::TUnBase::TStats& stats) const;

 private:
  std::vector<zid::TEntryReport> reports_;
};

}  // namespace cli
