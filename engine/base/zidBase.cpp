#include "engine/base/zidBase.h"

namespace zid {

TZipCommon::TZipCommon() = default;
TZipCommon::~TZipCommon() = default;

namespace {
// Pauses a stopwatch for the lifetime of the guard, also when an exception leaves.
struct PauseGuard {
  explicit PauseGuard(TzidTimer& t) : timer(t) { timer.Pause(); }
  ~PauseGuard() { timer.Resume(); }
  TzidTimer& timer;
};
}  // namespace

void TZipCommon::ReportError(const std::string& fileName, const std::string& extendedMsg,
                             const std::string& volumeID, int eCode) {
  PauseGuard pause(timer_);
  if (cancel_) eCode = E_USERCANCELED;
  if (OnError) OnError(this, fileName, extendedMsg, volumeID, eCode);
}

void TZipCommon::RaiseError(const std::string& fileName, const std::string& extendedMsg,
                            const std::string& volumeID, int eCode) {
  PauseGuard pause(timer_);
  if (cancel_) eCode = E_USERCANCELED;
  if (OnError) OnError(this, fileName, extendedMsg, volumeID, eCode);
  // A handler may have cancelled: then the loop winds down through its own checks.
  if (!cancel_) throw E_RAISE(LoadStr(eCode));
}

void TZipCommon::SetCancel(bool value) {
  cancel_ = value;
  if (value) ReportError(FileName, std::string(), VolumeName, E_USERCANCELED);
}

}  // namespace zid
