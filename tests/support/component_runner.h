// Runners of the extractors and of the directory reader that collect what
// they report, for the format suites. A run may go through a watchdog: one
// that hangs aborts the test binary.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/zidUnBase.h"
#include "engine/listing/zidRizER.h"
#include "support/hostile.h"

namespace testutil {

// Runs fn, aborting the binary when it takes longer than `seconds` (0: no watchdog).
inline void Watchdog(const std::function<void()>& fn, int seconds = 20) {
  if (seconds <= 0) return fn();
  WithWatchdog(fn, seconds, "the component");
}

// What an extraction or test run reported.
struct ExtractReport {
  int returned = 0;  // what Extract or ExtractTest returned
  zid::TUnBase::TStats stats;
  std::vector<int> errors;          // every reported code, in order
  std::vector<std::string> extras;  // the extra text of each report
  std::string text;                 // every report: code, name, extra
  zid::TArcType type = zid::atNA;   // as the detector saw the archive
  bool Has(int code) const { return std::find(errors.begin(), errors.end(), code) != errors.end(); }
};

// Extracts archive into dir (dir empty: test mode) with extractor T, every
// entry selected; setup adjusts the extractor before the run.
template <class T>
ExtractReport RunExtractor(const std::string& archive, const std::string& dir,
                           const std::function<void(T&)>& setup = nullptr, int watchdogSeconds = 20) {
  ExtractReport rep;
  Watchdog(
      [&] {
        T un;
        un.SetArchiveFile(archive);
        un.FileSpec = {"*.*"};
        un.OnError = [&rep](zid::TZipCommon*, const std::string& name, const std::string& extra, const std::string&,
                            int code) {
          rep.errors.push_back(code);
          rep.extras.push_back(extra);
          rep.text += std::to_string(code) + " " + name + " " + extra + "\n";
        };
        if (setup) setup(un);
        if (dir.empty()) {
          rep.returned = un.ExtractTest();
        } else {
          un.SetExtractDir(dir);
          rep.returned = un.Extract();
        }
        rep.stats = un.Stats();
        rep.type = un.GetArcType();
      },
      watchdogSeconds);
  return rep;
}

// Lists archive with the directory reader, every entry selected: onEntry sees
// each entry as reported (with its file number), setup adjusts the reader
// before the run. Returns the reported error codes, in order.
inline std::vector<int> RunLister(const std::string& archive,
                                  const std::function<void(const zid::TRizER&, int filenum)>& onEntry,
                                  const std::function<void(zid::TRizER&)>& setup = nullptr,
                                  int watchdogSeconds = 20) {
  std::vector<int> errors;
  Watchdog(
      [&] {
        zid::TRizER r;
        r.SetArchiveFile(archive);
        r.FileSpec = {"*.*"};
        r.OnError = [&errors](zid::TZipCommon*, const std::string&, const std::string&, const std::string&,
                              int code) { errors.push_back(code); };
        r.OnRead = [&onEntry](zid::TZipCommon* s, int, int filenum) {
          onEntry(*static_cast<zid::TRizER*>(s), filenum);
        };
        if (setup) setup(r);
        r.Activate();
      },
      watchdogSeconds);
  return errors;
}

}  // namespace testutil
