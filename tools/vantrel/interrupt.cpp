#include "interrupt.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace vtool {
namespace {

// Jobs times the files one input stages, with room to spare.
constexpr int kTemporarySlots = 1024;

enum SlotState { kFree, kClaimed, kLive };

struct TemporarySlot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX] = {};
};

TemporarySlot g_temporaries[kTemporarySlots];
std::atomic<int> g_signal{0};
struct sigaction g_previousInt, g_previousTerm;

extern "C" void OnInterrupt(int signal) {
  int none = 0;
  if (g_signal.compare_exchange_strong(none, signal)) return;
  // Second signal: only async-signal-safe calls from here on.
  for (TemporarySlot& slot : g_temporaries) {
    if (slot.state.load() == kLive) unlink(slot.path);
  }
  _exit(128 + g_signal.load());
}

}  // namespace

InterruptHandlers::InterruptHandlers() {
  g_signal = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_previousInt);
  sigaction(SIGTERM, &action, &g_previousTerm);
}

InterruptHandlers::~InterruptHandlers() {
  sigaction(SIGINT, &g_previousInt, nullptr);
  sigaction(SIGTERM, &g_previousTerm, nullptr);
}

int PendingInterrupt() {
  return g_signal.load();
}

int RegisterTemporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kTemporarySlots; ++i) {
    int expected = kFree;
    if (g_temporaries[i].state.load() == kFree &&
        g_temporaries[i].state.compare_exchange_strong(expected, kClaimed)) {
      std::memcpy(g_temporaries[i].path, path.c_str(), path.size() + 1);
      g_temporaries[i].state.store(kLive);
      return i;
    }
  }
  return -1;
}

void ForgetTemporary(int slot) {
  if (slot >= 0 && slot < kTemporarySlots) g_temporaries[slot].state.store(kFree);
}

}  // namespace vtool
