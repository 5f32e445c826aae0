// Every exported entry called from eight threads at once, each with its own
// result pointer, gives exactly the results of the same calls made one after
// another. Run under the thread sanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "inputs.h"
#include "interface/parameter.h"
#include "vantrel.h"

namespace {

using vtl::testing::TestImage;

// Everything a call hands back, finger images included (as a hash).
using Outcome = std::vector<int64_t>;

uint64_t Hash(const uint8_t* p, int64_t n) {
  uint64_t h = 1469598103934665603ull;
  for (int64_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

Outcome Describe(int32_t status, const VantrelResultType* r) {
  Outcome o = {status};
  if (r == nullptr) return o;
  o.insert(o.end(), {r->handCode, r->count});
  for (int32_t i = 0; i < r->count; ++i) {
    const SegmentedFinger& f = r->fingers[i];
    float angle = f.angle, fixed = f.fixedValue;
    int32_t angleBits = 0, fixedBits = 0;
    std::memcpy(&angleBits, &angle, 4);
    std::memcpy(&fixedBits, &fixed, 4);
    o.insert(o.end(), {f.position, f.boxHeight, f.boxWidth, f.centerX, f.centerY, angleBits,
                       fixedBits, f.top, f.left, f.bottom, f.right});
    o.push_back(f.image == nullptr
                    ? 0
                    : static_cast<int64_t>(Hash(f.image, int64_t{f.boxHeight} * f.boxWidth)));
  }
  return o;
}

// One unit of work: an entry on an input.
struct Job {
  std::string name;
  std::function<Outcome(VantrelResultType**)> run;
};

std::vector<Job> Jobs() {
  std::vector<Job> jobs;
  for (const auto& entry : vtl::testing::Segmenters()) {
    for (const TestImage& in : vtl::testing::SmallInputs()) {
      if (in.name == "tiny") continue;
      jobs.push_back(
          {std::string(entry.name) + " " + in.name, [&entry, &in](VantrelResultType** r) {
             const int32_t status = entry.call(in.xres, in.yres, in.pixels.data(), in.rows,
                                               in.columns, in.fingers, in.hand, r);
             Outcome o = Describe(status, *r);
             DestroyVantrelResult1(r);
             return o;
           }});
    }
  }
  for (const TestImage& in : vtl::testing::CentInputs()) {
    if (in.name == "tiny" || in.name == "blank") continue;
    jobs.push_back({"VantrelCent2 " + in.name, [&in](VantrelResultType**) {
                      FingerInfo info[4] = {};
                      char message[16] = {};
                      const int32_t mask = in.hand == VANTREL_HAND_THUMBS ? 0x3 : 0xF;
                      const int32_t n = VantrelCent2(in.pixels.data(), in.rows, in.columns, in.hand,
                                                     0, 0, 0, 0, 0, mask, info, message);
                      Outcome o = {n};
                      for (int32_t i = 0; i < n && i < 4; ++i) {
                        const auto* v = reinterpret_cast<const int32_t*>(&info[i]);
                        o.insert(o.end(), v, v + sizeof(FingerInfo) / 4);
                      }
                      return o;
                    }});
  }
  return jobs;
}

TEST(Concurrency, EightThreadsAgreeWithSerialCalls) {
  const std::vector<Job> jobs = Jobs();
  std::vector<Outcome> expected;
  for (const Job& job : jobs) {
    VantrelResultType* r = nullptr;
    expected.push_back(job.run(&r));
  }
  DestroyVantrelParameter();  // the threads' first calls race to create the block

  constexpr int kThreads = 8;
  std::atomic<int> ready{0};
  std::vector<std::vector<Outcome>> seen(kThreads, std::vector<Outcome>(jobs.size()));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      VantrelResultType* result = nullptr;
      // Each thread starts at a different job, so that different entries
      // overlap.
      for (std::size_t k = 0; k < jobs.size(); ++k) {
        const std::size_t j = (k + static_cast<std::size_t>(t) * 3) % jobs.size();
        seen[t][j] = jobs[j].run(&result);
        const std::string name = "thread-" + std::to_string(t);
        VtlSetImageFileName(name.c_str());
        EXPECT_NE(VtlGetImageFileName(), nullptr);
      }
      EXPECT_EQ(result, nullptr);
    });
  }
  for (std::thread& th : threads) th.join();

  for (int t = 0; t < kThreads; ++t) {
    for (std::size_t j = 0; j < jobs.size(); ++j) {
      EXPECT_EQ(seen[t][j], expected[j]) << jobs[j].name << " on thread " << t;
    }
  }
  // Every thread released its containers: LastResult names none.
  EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, nullptr);
  DestroyVantrelParameter();
}

// Teardown from one thread while others run calls that keep no container
// (VantrelCent2, segmenters on a blank page, the file name): every call sees
// either the old state or a fresh one, never a released block or labelling
// state. (A container handed to a caller is the caller's; a teardown may
// release the one LastResult names, so it must not race with its owner.)
TEST(Concurrency, TeardownRacesCallsThatKeepNoContainer) {
  const TestImage& cent = vtl::testing::CentInputs()[0];  // right hand, 500 ppi
  const TestImage& blank = vtl::testing::SmallInputs()[3];
  ASSERT_EQ(blank.name, "blank");
  FingerInfo reference[4] = {};
  char message[16] = {};
  const int32_t expectedCount = VantrelCent2(cent.pixels.data(), cent.rows, cent.columns, cent.hand,
                                             0, 0, 0, 0, 0, 0xF, reference, message);
  ASSERT_GE(expectedCount, 1);

  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 4; ++i) {
        FingerInfo info[4] = {};
        char text[16] = {};
        EXPECT_EQ(VantrelCent2(cent.pixels.data(), cent.rows, cent.columns, cent.hand, 0, 0, 0, 0,
                               0, 0xF, info, text),
                  expectedCount);
        EXPECT_EQ(std::memcmp(info, reference, sizeof reference), 0);
      }
    });
  }
  for (const auto& entry : vtl::testing::Segmenters()) {
    threads.emplace_back([&, call = entry.call] {
      for (int i = 0; i < 4; ++i) {
        VantrelResultType* r = nullptr;
        EXPECT_EQ(
            call(blank.xres, blank.yres, blank.pixels.data(), blank.rows, blank.columns, 4, 0, &r),
            VANTREL_NO_FINGER);
        EXPECT_EQ(r, nullptr);
      }
    });
  }
  std::thread teardown([&] {
    while (!stop.load()) {
      DestroyVantrelParameter();
      VtlSetImageFileName("teardown");
      std::this_thread::yield();
    }
  });
  for (std::thread& th : threads) th.join();
  stop = true;
  teardown.join();
  DestroyVantrelParameter();
}

}  // namespace
