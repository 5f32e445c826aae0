// Every allocation of every exported entry fails in turn, starting from a
// fresh library state (so the parameter block's own allocation is among
// them), on slaps of each kind, a blank page and a tiny image. Each failure
// must be reported (status 19; no records from VantrelCent2) with no
// container handed out, LastResult clear and nothing leaked.
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <string>

#include "../support/alloc_failure.h"
#include "inputs.h"
#include "interface/memory.h"
#include "interface/parameter.h"
#include "interface/result.h"
#include "vantrel.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define VANTREL_LEAK_CHECK 1
#endif

namespace {

using vtl::testing::ForEachAllocationFailure;
using vtl::testing::TestImage;

// Nothing the failed calls allocated may remain once the library state is
// released as well. Only the sanitizer build can tell.
void ExpectNoLeak(int64_t n) {
  DestroyVantrelParameter();
#if defined(VANTREL_LEAK_CHECK)
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "leak after " << n << " failure points";
#else
  (void)n;
#endif
}

#if defined(VANTREL_LEAK_CHECK)
constexpr uintptr_t kHide = 0x5A5A5A5A5A5A5A5Aull;

// A block whose only reference is disguised, so that the leak checker sees it
// as lost.
__attribute__((noinline)) uintptr_t DisguisedBlock() {
  return reinterpret_cast<uintptr_t>(vtl::Allocate(64)) ^ kHide;
}

// Overwrites the stack below the caller, where a copy of the pointer may
// linger.
__attribute__((noinline)) void ScrubStack() {
  char scratch[4096];
  std::memset(scratch, 0, sizeof scratch);
  asm volatile("" : : "r"(scratch) : "memory");  // the stores must happen
}
#endif

// The tests below rely on the leak checker: prove that it is on.
TEST(LeakCheck, LeakSanitizerIsActive) {
#if defined(VANTREL_LEAK_CHECK)
  const uintptr_t hidden = DisguisedBlock();
  ScrubStack();
  std::cerr << "[the leak of 64 bytes reported next is this test's own]\n";
  EXPECT_NE(__lsan_do_recoverable_leak_check(), 0)
      << "LeakSanitizer is off: ASAN_OPTIONS must not set detect_leaks=0";
  vtl::Release(reinterpret_cast<void*>(hidden ^ kHide));
#else
  GTEST_SKIP() << "leaks are checked in the sanitizer build";
#endif
}

class AllocationFailure : public ::testing::Test {
 protected:
  void TearDown() override { DestroyVantrelParameter(); }
};

class SegmenterAllocationFailure
    : public AllocationFailure,
      public ::testing::WithParamInterface<vtl::testing::NamedSegmenter> {};

TEST_P(SegmenterAllocationFailure, EveryInput) {
  const auto& entry = GetParam();
  for (const TestImage& in : vtl::testing::SmallInputs()) {
    SCOPED_TRACE(std::string(entry.name) + " on " + in.name);
    VantrelResultType* result = nullptr;
    int32_t status = -1;
    const auto call = [&] {
      // Releases the container of the previous run, if it succeeded.
      DestroyVantrelParameter();
      result = nullptr;
      status = entry.call(in.xres, in.yres, in.pixels.data(), in.rows, in.columns, in.fingers,
                          in.hand, &result);
    };
    call();
    const int32_t normal = status;
    if (in.name == "right" || in.name == "thumbs") {
      EXPECT_EQ(normal, VANTREL_OK) << "the slap itself must segment";
    }
    DestroyVantrelResult1(&result);
    const int64_t points = ForEachAllocationFailure(call, [&](int64_t n) {
      SCOPED_TRACE(n);
      EXPECT_EQ(status, VANTREL_OUT_OF_MEMORY);
      EXPECT_EQ(result, nullptr);
      EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, nullptr);
      DestroyVantrelResult1(&result);  // a container handed out anyway must not leak
    });
    // One leak check per input: a block lost at any failure point stays lost.
    ExpectNoLeak(points);
    EXPECT_GE(points, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(AllEntries, SegmenterAllocationFailure,
                         ::testing::ValuesIn(vtl::testing::Segmenters()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AllocationFailure, VantrelCent2) {
  constexpr char kProgress[] = "StartToSegement";
  for (const TestImage& in : vtl::testing::CentInputs()) {
    SCOPED_TRACE(in.name);
    const int32_t hand = in.hand == 0 ? VANTREL_HAND_RIGHT : in.hand;
    const int32_t mask = hand == VANTREL_HAND_THUMBS ? 0x3 : 0xF;
    FingerInfo info[4];
    char message[sizeof kProgress];
    int32_t n = -1;
    const auto call = [&] {
      DestroyVantrelParameter();
      std::memset(info, 0x5A, sizeof info);
      std::memset(message, 0, sizeof message);
      n = VantrelCent2(in.pixels.data(), in.rows, in.columns, hand, 0, 0, 0, 0, 0, mask, info,
                       message);
    };
    call();
    if (in.name == "right" || in.name == "thumbs") {
      EXPECT_GE(n, 1);
    }
    const int64_t points = ForEachAllocationFailure(call, [&](int64_t k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(n, 0);
      const auto* bytes = reinterpret_cast<const uint8_t*>(info);
      bool untouched = true;
      for (size_t i = 0; i < sizeof info; ++i) untouched = untouched && bytes[i] == 0x5A;
      EXPECT_TRUE(untouched) << "records written by a failed call";
      EXPECT_STREQ(message, kProgress);
      EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, nullptr);
      EXPECT_EQ(vtl::GetVantrelParameter()->MakeFingerImages, 1);
      ExpectNoLeak(k);
    });
    EXPECT_GE(points, 1);
  }
}

// The small entries allocate only the parameter block, on a fresh state.
TEST_F(AllocationFailure, ReleaseAndFileNameEntries) {
  const auto allocationsOf = [](const auto& call) {
    DestroyVantrelParameter();
    vtl::FailAllocationAt(0);
    call();
    return vtl::AllocationCount();
  };
  const auto failingFirst = [](const auto& call) {
    DestroyVantrelParameter();
    vtl::FailAllocationAt(1);
    call();
    vtl::FailAllocationAt(0);
  };

  // DestroyVantrelResult1 still releases the container when the block cannot
  // be created.
  const auto container = [] {
    VantrelResultType* r = vtl::AllocateResult(1);
    r->count = 1;
    r->fingers[0].image = vtl::AllocateZeroed<uint8_t>(4);
    return r;
  };
  VantrelResultType* result = container();
  EXPECT_EQ(allocationsOf([&] { DestroyVantrelResult1(&result); }), 1);
  result = container();
  failingFirst([&] { DestroyVantrelResult1(&result); });
  EXPECT_EQ(result, nullptr);
  ExpectNoLeak(1);

  char* name = nullptr;
  EXPECT_EQ(allocationsOf([&] { name = VtlGetImageFileName(); }), 1);
  failingFirst([&] { name = VtlGetImageFileName(); });
  EXPECT_EQ(name, nullptr);
  ExpectNoLeak(1);

  EXPECT_EQ(allocationsOf([] { VtlSetImageFileName("card.png"); }), 1);
  failingFirst([] { VtlSetImageFileName("card.png"); });
  EXPECT_STREQ(VtlGetImageFileName(), "") << "nothing stored without a block";
  ExpectNoLeak(1);

  // DestroyVantrelParameter allocates nothing.
  EXPECT_EQ(allocationsOf([] { DestroyVantrelParameter(); }), 0);
}

}  // namespace
