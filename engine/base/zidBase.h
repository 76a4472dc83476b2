// The root of every archive component: error reporting, the cancel flag and
// the stopwatch. Extractors, writers and the directory reader derive from it.
#pragma once

#include <functional>
#include <string>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidGbls.h"
#include "engine/base/zidTimer.h"

namespace zid {

class TZipCommon;

// OnError(Sender, FileName, ExtendedMsg, VolumeID, ECode)
using TOnError = std::function<void(TZipCommon* sender, const std::string& fileName,
                                    const std::string& extendedMsg, const std::string& volumeID, int eCode)>;

class TZipCommon {
 public:
  TZipCommon();
  virtual ~TZipCommon();
  TZipCommon(const TZipCommon&) = delete;
  TZipCommon& operator=(const TZipCommon&) = delete;

  // For problems after which the operation cannot go on: pauses the stopwatch,
  // turns the code into 25443 when cancelled, fires OnError, and raises E_RAISE
  // with the code's message unless the operation was cancelled.
  virtual void RaiseError(const std::string& fileName, const std::string& extendedMsg,
                          const std::string& volumeID, int eCode);
  // As RaiseError but never raises: the caller goes on.
  virtual void ReportError(const std::string& fileName, const std::string& extendedMsg,
                           const std::string& volumeID, int eCode);
  // Stores the cancel flag; true also reports 25443 for the current entry and volume.
  virtual void SetCancel(bool value);
  virtual bool Cancelled() const { return cancel_; }

  // The flag the component's helpers (streams, decoders, scanner) watch.
  bool* CancelFlag() { return &cancel_; }

  TOnError OnError;

  // The current entry and volume, as error reports name them.
  std::string FileName;
  std::string VolumeName;

  TzidTimer& Stopwatch() { return timer_; }

 protected:
  bool cancel_ = false;
  TzidTimer timer_;
};

}  // namespace zid
