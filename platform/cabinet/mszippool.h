// MSZIP blocks compressed on several threads. Each job is one block of input
// with the (up to) 32 KiB before it, so a block's bytes depend only on that
// input and never on which thread made them or when; results come back in
// the order the blocks went in. With one worker everything runs on the
// caller's thread at Submit.
//
// The encoders (and all zlib memory, through the library's alloc and free
// callbacks) are made on the caller's thread when the pool is made; the
// workers only run deflate on them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/cabinet/cabinet.h"
#include "platform/cabinet/mszipenc.h"

namespace plat::cab {

class TMsZipPool {
 public:
  // workers: 0 one per core, else that many (at least one).
  TMsZipPool(const PFNALLOC& alloc, const PFNFREE& free, int workers);
  ~TMsZipPool();
  TMsZipPool(const TMsZipPool&) = delete;
  TMsZipPool& operator=(const TMsZipPool&) = delete;

  // False when an encoder could not be set up (no memory).
  bool Ready() const { return ready_; }
  // Blocks submitted and not yet taken.
  size_t InFlight() const { return inFlight_; }
  // Whether InFlight has reached the bound: take one before the next Submit.
  bool Full() const;
  // Queues n (1..32768) bytes with historyLen bytes of history (both copied).
  void Submit(const uint8_t* data, size_t n, const uint8_t* history, size_t historyLen);
  // Waits for the oldest block not yet taken. packed receives its "CK" block
  // (swapped in), n its input size. False when zlib failed on it.
  bool Take(std::vector<uint8_t>& packed, size_t& n);
  // Drops every block not yet taken (after a failure).
  void Discard();

 private:
  struct Job {
    std::vector<uint8_t> input;  // history, then the block
    size_t historyLen = 0;
    std::vector<uint8_t> packed;
    bool done = false;
    bool ok = false;
  };
  void Work(size_t index);
  void Run(TMsZipEncoder& enc, Job& job);

  std::vector<std::unique_ptr<TMsZipEncoder>> encoders_;
  std::vector<std::thread> threads_;
  bool ready_ = false;
  size_t inFlight_ = 0;
  size_t bound_ = 1;

  std::mutex mutex_;
  std::condition_variable wake_;   // workers: a job is queued, or stop
  std::condition_variable doneCv_; // caller: a job is done
  std::deque<std::shared_ptr<Job>> order_;  // submitted, not taken
  std::deque<std::shared_ptr<Job>> queue_;  // not started
  bool stop_ = false;
  std::vector<std::shared_ptr<Job>> spare_;  // taken jobs, for their buffers
};

}  // namespace plat::cab
