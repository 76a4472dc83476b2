#include "cli/entryReport.h"

#include <algorithm>
#include <iostream>

#include "cli/common.h"
#include "engine/base/Err_Msgs.h"

namespace cli {

std::string EntrySummary::VerdictText(const zid::TEntryReport& r) {
  switch (r.verdict) {
    case zid::TVerdict::Passed:
    case zid::TVerdict::Folder: return "OK";
    case zid::TVerdict::Skipped: return "skipped";
    case zid::TVerdict::Failed: break;
  }
  if (r.storedName.empty()) return "damaged region";
  if (zid::PasswordCode(r.code)) return "no password";
  switch (r.code) {
    case zid::E_CRCERROR: return "CRC error";
    case zid::E_READERROR: return "cut short";
    case zid::E_UNSUPPORTEDMETHOD: return "unsupported";
    case zid::E_FILENOTFOUND: return "volume missing";
    case zid::E_USERCANCELED: return "skipped";
    default: return "damaged";
  }
}

void EntrySummary::PrintLines() const {
  for (const zid::TEntryReport& r : reports_) {
    std::string verdict = VerdictText(r);
    verdict.resize(std::max<size_t>(verdict.size(), 15), ' ');
    std::cout << verdict << ' ' << (r.storedName.empty() ? Printable(r.extra) : Printable(r.storedName)) << "\n";
  }
}

void EntrySummary::PrintJson(const std::string& archive, const zid::TUnBase::TStats& st) const {
  std::cout << "{\"archive\": " << JsonString(archive) << ", \"entries\": [";
  for (size_t i = 0; i < reports_.size(); ++i) {
    const zid::TEntryReport& r = reports_[i];
    std::cout << (i ? ", " : "") << "{\"name\": " << JsonString(r.storedName)
              << ", \"verdict\": " << JsonString(VerdictText(r));
    if (r.code != 0) std::cout << ", \"code\": " << r.code;
    if (!r.extra.empty()) std::cout << ", \"detail\": " << JsonString(r.extra);
    std::cout << "}";
  }
  std::cout << "], \"totals\": {\"entries\": " << st.listed << ", \"ok\": " << st.passed
            << ", \"failed\": " << st.failed << ", \"skipped\": " << st.skipped << "}}\n";
}

}  // namespace cli
