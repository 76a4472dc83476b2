#include "platform/cabinet/mszippool.h"

#include <algorithm>

namespace plat::cab {

TMsZipPool::TMsZipPool(const PFNALLOC& alloc, const PFNFREE& free, int workers) {
  if (workers <= 0) workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  for (int i = 0; i < workers; ++i) {
    auto enc = std::make_unique<TMsZipEncoder>(alloc, free);
    if (!enc->Ready()) return;
    encoders_.push_back(std::move(enc));
  }
  ready_ = true;
  // Two blocks per worker keep every worker busy while the caller writes.
  bound_ = workers == 1 ? 1 : static_cast<size_t>(2 * workers);
  if (workers > 1)
    for (size_t i = 0; i < encoders_.size(); ++i) threads_.emplace_back([this, i] { Work(i); });
}

TMsZipPool::~TMsZipPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

bool TMsZipPool::Full() const { return inFlight_ >= bound_; }

void TMsZipPool::Run(TMsZipEncoder& enc, Job& job) {
  job.ok = enc.EncodeBlock(job.input.data() + job.historyLen, job.input.size() - job.historyLen, job.input.data(),
                           job.historyLen, job.packed);
}

void TMsZipPool::Work(size_t index) {
  TMsZipEncoder& enc = *encoders_[index];
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (stop_) return;
    std::shared_ptr<Job> job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    Run(enc, *job);
    lock.lock();
    job->done = true;
    doneCv_.notify_all();
  }
}

void TMsZipPool::Submit(const uint8_t* data, size_t n, const uint8_t* history, size_t historyLen) {
  std::shared_ptr<Job> job;
  if (!spare_.empty()) {
    job = std::move(spare_.back());
    spare_.pop_back();
  } else {
    job = std::make_shared<Job>();
  }
  job->input.assign(history, history + historyLen);
  job->input.insert(job->input.end(), data, data + n);
  job->historyLen = historyLen;
  job->done = job->ok = false;
  ++inFlight_;
  if (threads_.empty()) {
    Run(*encoders_[0], *job);
    job->done = true;
    order_.push_back(std::move(job));
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    order_.push_back(job);
    queue_.push_back(std::move(job));
  }
  wake_.notify_one();
}

bool TMsZipPool::Take(std::vector<uint8_t>& packed, size_t& n) {
  std::shared_ptr<Job> job;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (order_.empty()) return false;
    job = order_.front();
    doneCv_.wait(lock, [&job] { return job->done; });
    order_.pop_front();
  }
  --inFlight_;
  packed.swap(job->packed);
  n = job->input.size() - job->historyLen;
  const bool ok = job->ok;
  spare_.push_back(std::move(job));
  return ok;
}

void TMsZipPool::Discard() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (const std::shared_ptr<Job>& job : queue_) job->done = true;  // never started
  queue_.clear();
  for (const std::shared_ptr<Job>& job : order_) doneCv_.wait(lock, [&job] { return job->done; });
  order_.clear();
  inFlight_ = 0;
}

}  // namespace plat::cab
