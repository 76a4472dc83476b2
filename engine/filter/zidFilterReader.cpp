// The readers of the filters: a step decoder driven over a read buffer, and
// the engine's own push decoders (gzip, compress) run as a reader.
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "engine/filter/zidFilters.h"

namespace zid {

namespace {

constexpr size_t kInBlock = 65536;
constexpr int64_t kDrainBlock = 262144;

class TStepReader : public TFilterReader {
 public:
  TStepReader(std::function<std::unique_ptr<TStepDecoder>()> make, TDecodeSource source, const bool* cancel,
              bool (*matches)(const uint8_t*))
      : make_(std::move(make)), source_(std::move(source)), cancel_(cancel), matches_(matches), in_(kInBlock) {}

  int64_t Read(uint8_t* buf, int64_t n) override {
    if (status_ != drOk) return status_ == kStepStreamEnd ? 0 : status_;
    if (pending_ != drOk) return Fail(pending_);
    size_t made = 0;
    while (made == 0 && n > 0) {
      if (cancel_ && *cancel_) return Fail(drCancelled);
      if (!dec_) {
        // Between streams: another one follows only when its signature does.
        if (end_ - pos_ < static_cast<size_t>(kFilterSignatureLen) && !ended_) Fill();
        if (pos_ == end_) return End();
        if (started_) {
          if (matches_ == nullptr) return End();
          uint8_t head[kFilterSignatureLen] = {};
          std::memcpy(head, in_.data() + pos_, std::min<size_t>(end_ - pos_, kFilterSignatureLen));
          if (!matches_(head)) return End();
        }
        dec_ = make_();
        started_ = true;
        if (!dec_) return Fail(drInvalidData);
      }
      if (pos_ == end_ && !ended_) Fill();
      size_t used = 0, m = 0;
      const size_t room = static_cast<size_t>(std::min<int64_t>(n, int64_t{1} << 30)) - made;
      const int r = dec_->Step(in_.data() + pos_, end_ - pos_, ended_, used, buf + made, room, m);
      pos_ += used;
      made += m;
      if (r == kStepStreamEnd) {
        dec_.reset();
      } else if (r < 0) {
        if (made > 0) {
          pending_ = r;  // the bytes before the failure are given first
          break;
        }
        return Fail(r);
      } else if (used == 0 && m == 0) {
        if (ended_ && pos_ == end_) return Fail(drInputExhausted);
        if (ended_ || (pos_ == 0 && end_ == in_.size())) return Fail(drInvalidData);  // would spin
        Fill();
      }
    }
    return static_cast<int64_t>(made);
  }

 private:
  int64_t Fail(int r) {
    status_ = r;
    return r;
  }
  int64_t End() {
    status_ = kStepStreamEnd;
    return 0;
  }
  // Keeps the unread bytes and reads more behind them.
  void Fill() {
    if (ended_) return;
    std::memmove(in_.data(), in_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    int64_t want = static_cast<int64_t>(in_.size() - end_);
    if (source_.budget >= 0) want = std::min(want, source_.budget - taken_);
    const int64_t got = want > 0 && source_.read ? source_.read(in_.data() + end_, want) : 0;
    if (got <= 0) {
      ended_ = true;
      return;
    }
    taken_ += std::min(got, want);
    end_ += static_cast<size_t>(std::min(got, want));
  }

  std::function<std::unique_ptr<TStepDecoder>()> make_;
  TDecodeSource source_;
  const bool* cancel_;
  bool (*matches_)(const uint8_t*);
  std::unique_ptr<TStepDecoder> dec_;
  std::vector<uint8_t> in_;
  size_t pos_ = 0, end_ = 0;
  int64_t taken_ = 0;
  bool ended_ = false;
  bool started_ = false;
  int status_ = drOk;
  int pending_ = drOk;
};

// A push decoder run on a worker thread that takes turns with the reader:
// the worker runs only while Read waits for it, and Read only while the
// worker waits in the sink, so the source and the owner's state are never
// touched by both at once.
class TPushReader : public TFilterReader {
 public:
  TPushReader(int (*push)(const TDecodeJob&), TDecodeSource source, const bool* cancel) : push_(push) {
    job_.source = std::move(source);
    job_.cancel = cancel;
    job_.sink.write = [this](const uint8_t* buf, int64_t n) { return Give(buf, n); };
  }
  ~TPushReader() override {
    {
      std::lock_guard<std::mutex> lk(m_);
      abort_ = true;
    }
    cv_.notify_all();
    if (worker_.joinable()) worker_.join();
  }

  int64_t Read(uint8_t* buf, int64_t n) override {
    std::unique_lock<std::mutex> lk(m_);
    for (;;) {
      if (chunkPos_ < chunkLen_) {
        const int64_t k = std::min(n, chunkLen_ - chunkPos_);
        std::memcpy(buf, chunk_ + chunkPos_, static_cast<size_t>(k));
        chunkPos_ += k;
        return k;
      }
      if (done_) return result_;
      workerTurn_ = true;
      if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
      cv_.notify_all();
      cv_.wait(lk, [this] { return !workerTurn_; });
    }
  }

 private:
  void Run() {
    int r;
    try {
      r = push_(job_);
    } catch (...) {
      r = drInvalidData;
    }
    std::lock_guard<std::mutex> lk(m_);
    done_ = true;
    result_ = r == drOk ? 0 : r;
    chunkLen_ = chunkPos_ = 0;
    workerTurn_ = false;
    cv_.notify_all();
  }
  int64_t Give(const uint8_t* buf, int64_t n) {
    std::unique_lock<std::mutex> lk(m_);
    if (abort_) return 0;
    chunk_ = buf;
    chunkLen_ = n;
    chunkPos_ = 0;
    workerTurn_ = false;
    cv_.notify_all();
    cv_.wait(lk, [this] { return workerTurn_ || abort_; });
    chunkLen_ = chunkPos_ = 0;
    return abort_ ? 0 : n;
  }

  int (*push_)(const TDecodeJob&);
  TDecodeJob job_;
  std::mutex m_;
  std::condition_variable cv_;
  std::thread worker_;
  const uint8_t* chunk_ = nullptr;
  int64_t chunkLen_ = 0, chunkPos_ = 0;
  bool workerTurn_ = false, done_ = false, abort_ = false;
  int result_ = 0;
};

}  // namespace

std::unique_ptr<TFilterReader> StepReader(std::function<std::unique_ptr<TStepDecoder>()> make, TDecodeSource source,
                                          const bool* cancel, bool (*matches)(const uint8_t*)) {
  return std::make_unique<TStepReader>(std::move(make), std::move(source), cancel, matches);
}

std::unique_ptr<TFilterReader> OpenFilter(const TFilter& f, TDecodeSource source, const bool* cancel) {
  if (f.makeStep != nullptr) return StepReader(f.makeStep, std::move(source), cancel, f.matches);
  return std::make_unique<TPushReader>(f.push, std::move(source), cancel);
}

int DrainFilter(TFilterReader& r, const TDecodeJob& job, int64_t& produced) {
  std::vector<uint8_t> buf(kDrainBlock);
  produced = 0;
  for (;;) {
    if (DecodeCancelled(job)) return drCancelled;
    int64_t want = kDrainBlock;
    if (job.expectedSize >= 0) {
      if (produced == job.expectedSize) return drOk;
      want = std::min(want, job.expectedSize - produced);
    }
    const int64_t got = r.Read(buf.data(), want);
    if (got < 0) return static_cast<int>(got);
    if (got == 0) return drOk;
    if (!job.sink.write || job.sink.write(buf.data(), got) != got) return drOutputFailed;
    produced += got;
    if (job.progress) job.progress(produced);
  }
}

}  // namespace zid
