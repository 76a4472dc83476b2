#include "platform/hooks.h"

#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <thread>

namespace plat {

namespace {

std::function<void()>& PumpHook() {
  static std::function<void()> hook;
  return hook;
}

// The pump belongs to the thread that installed it: helper threads (the
// ZIP writer's compressing workers) never run the window's event loop.
std::thread::id& PumpThread() {
  static std::thread::id id;
  return id;
}

MessageBoxHook& BoxHook() {
  static MessageBoxHook hook;
  return hook;
}

std::string& Title() {
  static std::string title = "zefa archiver";
  return title;
}

struct RandomState {
  std::mt19937 gen;
  bool seeded = false;
};

RandomState& Rng() {
  static RandomState state;
  return state;
}

}  // namespace

void ProcessMessages() {
  if (std::this_thread::get_id() != PumpThread()) return;
  auto& hook = PumpHook();
  if (hook) hook();
}

void SetProcessMessagesHook(std::function<void()> hook) {
  PumpThread() = std::this_thread::get_id();
  PumpHook() = std::move(hook);
}

MsgResult MessageBox(MsgKind kind, const std::string& caption, const std::string& text) {
  auto& hook = BoxHook();
  if (hook) return hook(kind, caption, text);
  switch (kind) {
    case MsgKind::Question:
      return MsgResult::Yes;
    case MsgKind::RetryCancel:
      return MsgResult::Cancel;
    case MsgKind::Information:
      break;
  }
  return MsgResult::Ok;
}

void SetMessageBoxHook(MessageBoxHook hook) { BoxHook() = std::move(hook); }

const std::string& ApplicationTitle() { return Title(); }
void SetApplicationTitle(const std::string& title) { Title() = title; }

void Randomize() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  std::seed_seq seq{static_cast<unsigned>(ts.tv_sec), static_cast<unsigned>(ts.tv_nsec),
                    static_cast<unsigned>(getpid())};
  Rng().gen.seed(seq);
  Rng().seeded = true;
}

void RandSeed(unsigned seed) {
  Rng().gen.seed(seed);
  Rng().seeded = true;
}

// Unseeded use starts from the clock: header bytes must not repeat from run to run.
int Random(int range) {
  if (range <= 1) return 0;
  if (!Rng().seeded) Randomize();
  // Scaled by hand rather than by a distribution object so that a fixed seed
  // gives the same bytes with every standard library.
  uint64_t r = Rng().gen();
  return static_cast<int>((r * static_cast<uint64_t>(range)) >> 32);
}

void SecureRandomBytes(void* buffer, size_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t n = getrandom(p, count, 0);
    if (n <= 0) continue;  // interrupted before any byte: try again
    p += n;
    count -= static_cast<size_t>(n);
  }
}

}  // namespace plat
