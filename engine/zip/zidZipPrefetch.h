// Compresses the files of a ZIP write loop ahead of it, one file per worker
// thread, while the loop writes the finished ones in scan order. Each file's
// bytes come from the same store-or-deflate step the loop would run itself
// (WriteStoredOrDeflated), so the archive is byte for byte the one a single
// thread writes.
//
// Memory stays bounded: a file is only started while the uncompressed bytes
// of the files compressed but not yet written stay under a cap (the file the
// loop waits for always starts), and a file's output beyond a few MiB goes to
// an unlinked temporary file instead of memory.
//
// Encrypted files go to the workers like the others: each file's cipher
// keys are its own, and the random bytes of its encryption header were
// drawn by the loop beforehand (TZipEntryRecord::Salt).
//
// Another writer (LHA) hands in its own data step in place of the ZIP one;
// the ordering, the caps and the spilling stay the same.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/base/zidStreams.h"
#include "engine/base/zidTypes.h"
#include "engine/zip/zidStoreDeflate.h"

namespace zid {

class TZipPrefetch {
 public:
  struct TJob {
    int index = 0;     // in the write loop's list
    std::string path;  // the file to read
    int64_t size = 0;  // as scanned: decides memory or a temporary file
    bool store = false;
    TDeflateType type = dtDeflateN;
    std::optional<TCryptSalt> salt;  // for an encrypted file
    int aesStrength = 0;             // see TStoreDeflateJob
  };
  struct TResult {
    bool openFailed = false;
    int openError = 0;  // why (an errno value)
    int64_t size = 0;  // of the file as read
    TStoreDeflateResult data;
    std::unique_ptr<TStream32> bytes;  // what goes behind the local header, at position 0
  };

  // A writer's data step for one file: reads `job.size` bytes of src (at
  // position 0) and writes what goes behind the header to out; `cancel` is
  // raised when the prefetcher stops.
  using TDataStep = std::function<TStoreDeflateResult(TStream32& src, TStream32& out, TStoreDeflateJob& job)>;

  // Starts `workers` threads over the jobs (in list order); temporary files
  // go to tempDir. With a password every file that is not empty is enciphered.
  // step: the writer's data step (none: WriteStoredOrDeflated).
  TZipPrefetch(std::vector<TJob> jobs, std::string tempDir, std::string password, int workers,
               TDataStep step = nullptr);
  ~TZipPrefetch();  // stops the workers and waits for them
  TZipPrefetch(const TZipPrefetch&) = delete;
  TZipPrefetch& operator=(const TZipPrefetch&) = delete;

  // Waits for the job of list index `index` and hands its result over; the
  // results of earlier jobs the loop did not ask for are dropped. False when
  // `index` is not a job of this prefetcher (or names another file).
  bool Take(int index, const std::string& path, TResult& out);
  // Stops the workers: jobs under way end early, no new one starts.
  void Stop();

  // Workers for this machine: one per core.
  static int DefaultWorkers();

 private:
  struct TSlot {
    TJob job;
    int64_t sourceSize = 0;
    bool started = false;
    bool done = false;
    TResult result;
  };
  void Work();
  void Run(TSlot& slot);
  std::unique_ptr<TStream32> OutputFor(int64_t sourceSize);

  std::vector<TSlot> slots_;
  std::string tempDir_;
  std::string password_;
  TDataStep step_;
  std::mutex mu_;
  std::condition_variable cv_;
  size_t next_ = 0;      // the next slot to start
  size_t taken_ = 0;     // slots before this are handed over or dropped
  int64_t pending_ = 0;  // source bytes of started slots not yet handed over
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

// Takes entry `index`'s prefetched result from `prefetch`; a prefetch left from
// an operation that ended early is started again from `index` (`restart`,
// which sets `prefetch` anew) and asked once more. A cancelled run stops it.
inline bool TakePrefetched(std::unique_ptr<TZipPrefetch>& prefetch, bool cancelled, int index,
                           const std::string& path, const std::function<void()>& restart,
                           TZipPrefetch::TResult& out) {
  if (cancelled && prefetch) prefetch->Stop();
  if (prefetch && prefetch->Take(index, path, out)) return true;
  if (!prefetch) return false;
  restart();
  return prefetch && prefetch->Take(index, path, out);
}

}  // namespace zid
