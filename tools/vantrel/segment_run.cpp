#include "segment_run.h"

#include <malloc.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "batch.h"
#include "commands.h"
#include "input_job.h"
#include "interrupt.h"

namespace vtool {
namespace {
namespace fs = std::filesystem;

// Buffers up to this size (an input's pixels, its pictures and their PNG
// streams) come from the heap and are reused by the next input, instead of
// being mapped and unmapped each time: the page faults of fresh mappings were
// about a tenth of a batch's time. glibc's largest allowed threshold.
constexpr int kHeapBufferLimit = 32 << 20;

// How often the printing thread wakes to redraw the progress bar and look
// for a signal while it waits for the next input in order.
constexpr std::chrono::milliseconds kPollInterval{100};

// Names for every input's outputs, in input order, so that same-named inputs
// get distinct names whatever thread finishes first.
std::vector<std::string> UniqueStems(const std::vector<InputItem>& items) {
  std::map<std::string, int> seen;
  std::vector<std::string> stems;
  for (const InputItem& item : items) {
    std::string stem = fs::path(item.path).stem().string();
    if (stem.empty() || stem == "." || stem == "..") stem = "input";
    const int count = ++seen[stem];
    stems.push_back(count == 1 ? stem : stem + "_" + std::to_string(count));
  }
  return stems;
}

class Batch {
 public:
  Batch(const SegmentOptions& options, std::vector<InputItem> items)
      : options_(options),
        items_(std::move(items)),
        stems_(UniqueStems(items_)),
        outcomes_(items_.size()),
        jobs_(std::min<size_t>(
            options.jobs > 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency()),
            items_.size())) {}

  int Run() {
    // Held until the exit status is settled: a signal that lands after the
    // last input is still reported, and none kills the summary half-written.
    InterruptHandlers handlers;
    std::vector<std::thread> workers;
    for (size_t i = 0; i < jobs_; ++i) workers.emplace_back([this] { Work(); });
    PrintInOrder();
    for (std::thread& worker : workers) worker.join();
    const int signal = PendingInterrupt();
    if (signal != 0) {
      summary_.stoppedBy = signal == SIGINT ? "SIGINT" : "SIGTERM";
    } else if (summary_.notStarted > 0) {
      summary_.stoppedBy = "--fail-fast";
    }
    summary_.Print(stdout);
    std::fflush(stdout);
    if (signal != 0) return 128 + signal;
    return summary_.Failed() == 0 ? kExitOk : kExitFailed;
  }

 private:
  bool Stopping() const { return stop_.load() || PendingInterrupt() != 0; }

  void Work() {
    for (;;) {
      if (Stopping()) break;
      const size_t i = next_++;
      if (i >= items_.size()) break;
      InputOutcome outcome;
      try {
        outcome = ProcessInput(items_[i], stems_[i], options_);
      } catch (const std::exception& e) {
        // Out of memory, most likely; the input's staged files are gone.
        outcome.failureKind = "internal error (internal)";
        outcome.errors.push_back(items_[i].path + ": " + e.what());
      }
      if (!outcome.ok && options_.failFast) stop_ = true;
      std::lock_guard<std::mutex> lock(mutex_);
      outcomes_[i] = std::move(outcome);
      ready_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++finishedWorkers_;
    ready_.notify_all();
  }

  // Prints each outcome when it and all before it are there. Inputs are
  // claimed in order, so the ones done always start the list.
  void PrintInOrder() {
    Progress progress(items_.size(), !options_.noProgress);
    for (size_t i = 0; i < items_.size(); ++i) {
      std::optional<InputOutcome> outcome;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!outcomes_[i] && finishedWorkers_ < jobs_) {
          ready_.wait_for(lock, kPollInterval);
          if (!outcomes_[i]) progress.Update(summary_.files, summary_.Failed());
        }
        if (!outcomes_[i]) {
          summary_.notStarted = items_.size() - i;
          break;
        }
        outcome = std::move(outcomes_[i]);
        outcomes_[i].reset();
      }
      Print(*outcome, &progress);
      progress.Update(summary_.files, summary_.Failed());
    }
    progress.Clear();
  }

  void Print(const InputOutcome& outcome, Progress* progress) {
    summary_.files += 1;
    if (outcome.ok) {
      summary_.succeeded += 1;
      summary_.fingers += outcome.fingers;
    } else {
      summary_.failures[outcome.failureKind] += 1;
    }
    if (!outcome.errors.empty() || !outcome.report.empty()) progress->Clear();
    for (const std::string& error : outcome.errors) {
      std::fprintf(stderr, "vantrel: error: %s\n", error.c_str());
    }
    if (!outcome.report.empty()) {
      std::printf("%s\n", outcome.report.c_str());
      std::fflush(stdout);
    }
  }

  const SegmentOptions& options_;
  const std::vector<InputItem> items_;
  const std::vector<std::string> stems_;
  std::vector<std::optional<InputOutcome>> outcomes_;
  const size_t jobs_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable ready_;
  size_t finishedWorkers_ = 0;
  Summary summary_;
};

}  // namespace

int RunSegmentBatch(const SegmentOptions& options) {
  if (!MakeOutputFolder(options.out)) return kExitUsage;
  mallopt(M_MMAP_THRESHOLD, kHeapBufferLimit);
  mallopt(M_TRIM_THRESHOLD, 2 * kHeapBufferLimit);
  return Batch(options, ExpandInputs(options.inputs, options.out)).Run();
}

}  // namespace vtool
