#include "engine/zip/zidZipPrefetch.h"

#include <algorithm>

#include "platform/files.h"

namespace zid {

namespace {

// Uncompressed bytes of files compressed ahead and held in memory.
constexpr int64_t kMemoryCap = int64_t{64} << 20;
// Files larger than this are compressed into a temporary file.
constexpr int64_t kSpillSize = int64_t{4} << 20;
// Files compressed ahead of the loop, at most, whatever their size.
constexpr size_t kMaxAhead = 256;

// An unlinked temporary file: it disappears with its handle.
class TScratchFile : public THandleStream32 {
 public:
  explicit TScratchFile(plat::Handle h) : THandleStream32(h) {}
  ~TScratchFile() override {
    if (handle_ >= 0) plat::FileClose(handle_);
  }
};

}  // namespace

int TZipPrefetch::DefaultWorkers() {
  const unsigned n = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(n, 1u, 16u));
}

TZipPrefetch::TZipPrefetch(std::vector<TJob> jobs, std::string tempDir, std::string password, int workers,
                           TDataStep step)
    : tempDir_(std::move(tempDir)), password_(std::move(password)), step_(std::move(step)) {
  slots_.resize(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) {
    slots_[i].job = std::move(jobs[i]);
    slots_[i].sourceSize = std::max<int64_t>(0, slots_[i].job.size);
  }
  for (int i = 0; i < std::max(1, workers); ++i) threads_.emplace_back([this] { Work(); });
}

TZipPrefetch::~TZipPrefetch() {
  Stop();
  for (std::thread& t : threads_) t.join();
}

void TZipPrefetch::Stop() {
  std::lock_guard<std::mutex> lock(mu_);
  stop_ = true;
  cv_.notify_all();
}

std::unique_ptr<TStream32> TZipPrefetch::OutputFor(int64_t sourceSize) {
  if (sourceSize > kSpillSize) {
    const plat::Handle h = plat::CreateScratchFile(tempDir_);
    if (h >= 0) return std::make_unique<TScratchFile>(h);
  }
  return std::make_unique<TMemoryStream32>();
}

void TZipPrefetch::Work() {
  for (;;) {
    TSlot* slot = nullptr;
    {
      std::unique_lock<std::mutex> lock(mu_);
      // The slot the loop waits for always starts; others only within the caps.
      cv_.wait(lock, [this] {
        if (stop_ || next_ >= slots_.size()) return true;
        if (next_ == taken_) return true;
        const TSlot& s = slots_[next_];
        const int64_t held = s.sourceSize > kSpillSize ? 0 : s.sourceSize;
        return next_ - taken_ < kMaxAhead && pending_ + held <= kMemoryCap;
      });
      if (stop_ || next_ >= slots_.size()) return;
      slot = &slots_[next_++];
      slot->started = true;
      if (slot->sourceSize <= kSpillSize) pending_ += slot->sourceSize;
    }
    Run(*slot);
    std::lock_guard<std::mutex> lock(mu_);
    slot->done = true;
    if (static_cast<size_t>(slot - slots_.data()) < taken_) slot->result = TResult{};  // dropped meanwhile
    cv_.notify_all();
  }
}

void TZipPrefetch::Run(TSlot& slot) {
  TResult& r = slot.result;
  TFileStream32 src(slot.job.path, plat::fmOpenRead | plat::fmShareDenyNone);
  if (!src.IsOpen()) {
    r.openFailed = true;
    r.openError = plat::LastError();
    return;
  }
  r.size = std::max<int64_t>(0, src.Size());
  r.bytes = OutputFor(std::max(r.size, slot.sourceSize));
  // Only this thread touches its cancel flag; the progress step raises it
  // when the prefetcher is stopped.
  bool cancel = false;
  TStoreDeflateJob job;
  job.source = &src;
  job.size = r.size;
  job.store = slot.job.store || r.size == 0;
  job.type = slot.job.type;
  job.encrypt = r.size > 0 && !password_.empty();
  job.password = password_;
  job.salt = slot.job.salt;
  job.aesStrength = slot.job.aesStrength;
  job.cancel = &cancel;
  job.progress = [this, &cancel](int64_t) {
    std::lock_guard<std::mutex> lock(mu_);
    if (stop_) cancel = true;
  };
  r.data = step_ ? step_(src, *r.bytes, job) : WriteStoredOrDeflated(*r.bytes, job);
  r.bytes->Seek(0, plat::soFromBeginning);
}

bool TZipPrefetch::Take(int index, const std::string& path, TResult& out) {
  std::unique_lock<std::mutex> lock(mu_);
  size_t k = taken_;
  while (k < slots_.size() && slots_[k].job.index < index) ++k;
  if (k >= slots_.size() || slots_[k].job.index != index || slots_[k].job.path != path) return false;
  // Jobs the loop passed by (skipped files) are dropped: a finished result is
  // freed now, one under way when it ends, one not started never starts.
  for (size_t i = taken_; i < k; ++i) {
    if (slots_[i].started && slots_[i].sourceSize <= kSpillSize) pending_ -= slots_[i].sourceSize;
    if (slots_[i].done) slots_[i].result = TResult{};
  }
  next_ = std::max(next_, k);
  taken_ = k;
  cv_.notify_all();
  cv_.wait(lock, [&] { return stop_ || slots_[k].done; });
  if (!slots_[k].done) return false;
  if (slots_[k].sourceSize <= kSpillSize) pending_ -= slots_[k].sourceSize;
  out = std::move(slots_[k].result);
  taken_ = k + 1;
  cv_.notify_all();
  return true;
}

}  // namespace zid
