// Drives one exported segmenter with a decoded fuzz input and checks the
// contract after every call: a known status, a container only on success with
// readable records and finger images, LastResult naming it, and nothing left
// behind on failure. A broken promise aborts, so libFuzzer keeps the input.
#ifndef VANTREL_FUZZ_SEGMENTER_HARNESS_H
#define VANTREL_FUZZ_SEGMENTER_HARNESS_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "interface/memory.h"
#include "interface/parameter.h"
#include "interface/result.h"
#include "segmenter_input.h"
#include "vantrel.h"

namespace vfuzz {

using Segmenter = int32_t (*)(int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                              VantrelResultType**);

[[noreturn]] inline void Broken(const char* what, int32_t status) {
  std::fprintf(stderr, "contract broken: %s (status %d)\n", what, status);
  std::abort();
}

inline void Require(bool ok, const char* what, int32_t status) {
  if (!ok) Broken(what, status);
}

// Reads every byte of every finger image, so that the sanitizer sees a short
// buffer; returns a sum the optimiser cannot drop.
inline uint32_t TouchContainer(const VantrelResultType& r, int32_t status) {
  uint32_t sum = 0;
  for (int32_t i = 0; i < r.count; ++i) {
    const SegmentedFinger& f = r.fingers[i];
    if (f.image == nullptr) continue;
    Require(f.boxHeight > 0 && f.boxWidth > 0, "finger image with an empty box", status);
    const int64_t n = int64_t{f.boxHeight} * f.boxWidth;
    for (int64_t k = 0; k < n; ++k) sum += f.image[k];
  }
  return sum;
}

// Largest number of records a successful call may hand back.
inline int32_t MaxRecords(Segmenter entry, const SegmenterInput& in) {
  const int32_t sought = in.handCode == VANTREL_HAND_THUMBS ? 2 : in.fingerCount;
  if (entry == VantrelQuick || entry == VantrelQuickNew) return sought;
  // The slap segmenter decides an open hand from the image: up to four fingers.
  const bool openHand = in.handCode != VANTREL_HAND_RIGHT && in.handCode != VANTREL_HAND_LEFT &&
                        in.handCode != VANTREL_HAND_THUMBS;
  if (entry == VantrelSegmentSlap && openHand) return 4;
  return std::min(sought, 5);
}

inline void CheckOutcome(Segmenter entry, const SegmenterInput& in, int32_t status,
                         VantrelResultType* result) {
  switch (status) {
    case VANTREL_OK:
    case VANTREL_BAD_XRES:
    case VANTREL_BAD_YRES:
    case VANTREL_NULL_IMAGE:
    case VANTREL_BAD_ROWS:
    case VANTREL_BAD_COLUMNS:
    case VANTREL_BAD_FINGER_COUNT:
    case VANTREL_OUT_OF_MEMORY:
    case VANTREL_NO_FINGER:
    case VANTREL_IMAGE_TOO_LARGE: break;
    default: Broken("unknown status", status);
  }
  const VantrelResultType* last = vtl::GetVantrelParameter()->LastResult;
  if (status != VANTREL_OK) {
    Require(result == nullptr, "container left after a failure", status);
    Require(last == nullptr, "LastResult set after a failure", status);
    return;
  }
  Require(result != nullptr, "no container on success", status);
  Require(last == result, "LastResult does not name the container", status);
  Require(result->count >= 1 && result->count <= MaxRecords(entry, in), "record count", status);
  Require(result->fingers != nullptr, "no record array", status);
  volatile uint32_t sink = TouchContainer(*result, status);
  (void)sink;
}

inline int RunSegmenter(Segmenter entry, const uint8_t* data, std::size_t size) {
  SegmenterInput in;
  if (!DecodeSegmenterInput(data, size, &in)) return 0;
  if (in.flags & kFlagFreshState) DestroyVantrelParameter();
  const uint8_t* image = (in.flags & kFlagNullImage) ? nullptr : in.pixels.data();

  VantrelResultType* result = nullptr;
  if (in.flags & kFlagPrefillResult) {
    // A container from an earlier successful call, which this call releases
    // whatever its outcome.
    result = vtl::AllocateResult(2);
    if (result != nullptr) {
      result->count = 2;
      result->fingers[0].image = vtl::AllocateZeroed<uint8_t>(16);
      vtl::GetVantrelParameter()->LastResult = result;
    }
  }
  int32_t status =
      entry(in.xres, in.yres, image, in.rows, in.columns, in.fingerCount, in.handCode, &result);
  CheckOutcome(entry, in, status, result);
  static const bool verbose = std::getenv("VANTREL_FUZZ_VERBOSE") != nullptr;
  if (verbose) {
    std::fprintf(stderr, "%d x %d, %d x %d ppi, %d fingers, hand %d: status %d, %d records\n",
                 in.rows, in.columns, in.xres, in.yres, in.fingerCount, in.handCode, status,
                 result == nullptr ? 0 : result->count);
  }
  if (in.flags & kFlagReuseResult) {
    // The same call again through the same pointer gives the same outcome.
    const int32_t count = result == nullptr ? 0 : result->count;
    const int32_t again =
        entry(in.xres, in.yres, image, in.rows, in.columns, in.fingerCount, in.handCode, &result);
    Require(again == status, "a repeated call changed its status", again);
    Require((result == nullptr ? 0 : result->count) == count, "a repeated call changed its count",
            again);
    CheckOutcome(entry, in, again, result);
  }
  DestroyVantrelResult1(&result);
  Require(result == nullptr, "DestroyVantrelResult1 left the pointer", 0);
  Require(vtl::GetVantrelParameter()->LastResult == nullptr, "LastResult after release", 0);
  return 0;
}

constexpr uint8_t kFlagNullInfo = 32;
constexpr uint8_t kFlagNullMessage = 64;

// VantrelCent2: the record array has room for exactly four records and the
// message buffer for exactly the progress text, so any write past them is
// caught.
inline int RunCent2(const uint8_t* data, std::size_t size) {
  static constexpr char kProgress[] = "StartToSegement";
  SegmenterInput in;
  if (!DecodeSegmenterInput(data, size, &in)) return 0;
  if (in.flags & kFlagFreshState) DestroyVantrelParameter();
  const uint8_t* image = (in.flags & kFlagNullImage) ? nullptr : in.pixels.data();
  // Bit 7 of the mask byte reaches the high bits: negative and wide masks.
  const int32_t mask =
      (in.fingerMask & 0x80) ? static_cast<int32_t>(0xFFFFFF00u | in.fingerMask) : in.fingerMask;

  auto info = std::make_unique<FingerInfo[]>(4);
  std::memset(info.get(), 0xA5, 4 * sizeof(FingerInfo));
  auto message = std::make_unique<char[]>(sizeof kProgress);
  FingerInfo* infoArg = (in.flags & kFlagNullInfo) ? nullptr : info.get();
  char* messageArg = (in.flags & kFlagNullMessage) ? nullptr : message.get();

  const int32_t n = VantrelCent2(image, in.rows, in.columns, in.handCode, in.xres, in.yres,
                                 in.fingerCount, data[14], data[15], mask, infoArg, messageArg);
  Require(n >= 0 && n <= 4, "record count out of 0..4", n);
  if (in.handCode != VANTREL_HAND_RIGHT && in.handCode != VANTREL_HAND_LEFT) {
    Require(n <= 2, "more than two thumbs", n);
  }
  if (infoArg == nullptr) Require(n == 0, "records counted without an array", n);
  if (n == 0) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(info.get());
    for (size_t k = 0; k < 4 * sizeof(FingerInfo); ++k) {
      Require(bytes[k] == 0xA5, "record array written on failure", n);
    }
  }
  if (messageArg != nullptr) {
    Require(std::memcmp(message.get(), kProgress, sizeof kProgress) == 0, "message text", n);
  }
  const vtl::VantrelParameter* block = vtl::GetVantrelParameter();
  Require(block->MakeFingerImages == 1, "finger images left switched off", n);
  Require(block->LastResult == nullptr, "inner container recorded", n);
  return 0;
}

}  // namespace vfuzz

#endif
