#include "engine/zip/zidDeflatePieces.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/base/zidCrc.h"
#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidDeflate.h"
#include "platform/hooks.h"

namespace zid {

namespace {

constexpr uint32_t kDictionary = 32768;

struct TPiece {
  std::vector<uint8_t> in;  // the dictionary, then the piece itself
  uint32_t dictLen = 0;
  bool last = false;
  std::vector<uint8_t> out;
  bool done = false;
};

// A fresh stream per piece: what it makes depends on nothing but the piece
// and its dictionary, whichever thread runs it and whatever ran there before.
void DeflatePiece(TPiece& p, int level) {
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
  if (p.dictLen != 0) deflateSetDictionary(&zs, p.in.data(), p.dictLen);
  const size_t n = p.in.size() - p.dictLen;
  // Room for the worst case and the empty stored block that ends a piece.
  p.out.resize(deflateBound(&zs, static_cast<uLong>(n)) + 64);
  zs.next_in = p.in.data() + p.dictLen;
  zs.avail_in = static_cast<uInt>(n);
  zs.next_out = p.out.data();
  zs.avail_out = static_cast<uInt>(p.out.size());
  // Z_SYNC_FLUSH ends the piece's last block and aligns to a byte with an
  // empty stored block, so the next piece's data can simply follow.
  deflate(&zs, p.last ? Z_FINISH : Z_SYNC_FLUSH);
  p.out.resize(p.out.size() - zs.avail_out);
  deflateEnd(&zs);
}

// Worker threads that deflate the pieces they are handed, in any order.
class TPiecePool {
 public:
  TPiecePool(int workers, int level) : level_(level) {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~TPiecePool() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    cv_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  void Submit(TPiece* p) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      queue_.push_back(p);
    }
    cv_.notify_one();
  }
  void Wait(TPiece& p) {
    std::unique_lock<std::mutex> lock(mu_);
    done_.wait(lock, [&] { return p.done; });
  }

 private:
  void Work() {
    for (;;) {
      TPiece* p = nullptr;
      {
        std::unique_lock<std::mutex> lock(mu_);
        cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        p = queue_.front();
        queue_.pop_front();
      }
      DeflatePiece(*p, level_);
      {
        std::lock_guard<std::mutex> lock(mu_);
        p->done = true;
      }
      done_.notify_all();
    }
  }

  int level_;
  std::mutex mu_;
  std::condition_variable cv_, done_;
  std::deque<TPiece*> queue_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace

bool DeflatePieces(TStream32& source, int64_t size, TStream32& target, const CodecControl& control,
                   TDeflateType type, int workers, const std::function<void(int64_t)>& progress,
                   uint32_t& crc32) {
  if (workers <= 0) workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int level = DeflateLevel(type);
  auto cancelled = [&control] { return control.Cancel != nullptr && *control.Cancel; };
  uint32_t crc = control.Keys ? control.Crc : kCrc32Init;
  // Declared before the pool, so the workers are gone before the pieces they hold.
  std::deque<std::unique_ptr<TPiece>> flight;
  std::unique_ptr<TPiecePool> pool;
  if (workers > 1) pool = std::make_unique<TPiecePool>(workers, level);
  const size_t inFlight = static_cast<size_t>(2 * workers + 1);
  std::vector<uint8_t> tail;  // the last 32 KiB read: the next piece's dictionary
  int64_t left = size;
  bool any = false;
  while (left > 0 || !flight.empty()) {
    while (left > 0 && flight.size() < inFlight) {
      plat::ProcessMessages();
      if (cancelled()) return false;
      auto p = std::make_unique<TPiece>();
      const int64_t want = std::min(left, kDeflatePiece);
      p->dictLen = static_cast<uint32_t>(tail.size());
      p->in.resize(tail.size() + static_cast<size_t>(want));
      if (!tail.empty()) std::memcpy(p->in.data(), tail.data(), tail.size());
      uint8_t* data = p->in.data() + p->dictLen;
      int64_t got = 0;
      while (got < want) {
        const int64_t n = source.Read(data + got, want - got);
        if (n <= 0) break;
        got += n;
      }
      // A file that shrank ends here; the caller sees the short read.
      left = got < want ? 0 : left - got;
      p->in.resize(p->dictLen + static_cast<size_t>(got));
      p->last = left == 0;
      any = any || got > 0;
      if (!control.Keys) UpdateCrc32(data, got, crc);
      const size_t keep = std::min<size_t>(kDictionary, p->in.size());
      tail.assign(p->in.end() - static_cast<std::ptrdiff_t>(keep), p->in.end());
      if (pool) {
        pool->Submit(p.get());
      } else {
        DeflatePiece(*p, level);
        p->done = true;
      }
      flight.push_back(std::move(p));
    }
    if (flight.empty()) break;
    TPiece& p = *flight.front();
    if (pool) pool->Wait(p);
    if (control.Keys) control.Keys->Encrypt(p.out.data(), static_cast<int64_t>(p.out.size()));
    if (control.Cipher) control.Cipher->Encrypt(p.out.data(), static_cast<int64_t>(p.out.size()));
    target.WriteBuffer(p.out.data(), static_cast<int64_t>(p.out.size()));
    if (progress) progress(static_cast<int64_t>(p.in.size() - p.dictLen));
    flight.pop_front();
    if (cancelled()) return false;
  }
  if (!control.Keys) crc32 = any ? (crc ^ 0xFFFFFFFFu) : 0;
  return true;
}

}  // namespace zid
