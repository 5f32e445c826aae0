// VantrelCent2 on arbitrary pixels, sizes, hand codes and finger masks. The
// record array has room for exactly four records and the message buffer for
// exactly the progress text, so any write past them is caught.
#include <cstring>
#include <memory>

#include "segmenter_harness.h"

namespace {

constexpr uint8_t kFlagNullInfo = 32;
constexpr uint8_t kFlagNullMessage = 64;
constexpr char kProgress[] = "StartToSegement";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vfuzz::SegmenterInput in;
  if (!vfuzz::DecodeSegmenterInput(data, size, &in)) return 0;
  if (in.flags & vfuzz::kFlagFreshState) DestroyVantrelParameter();
  const uint8_t* image = (in.flags & vfuzz::kFlagNullImage) ? nullptr : in.pixels.data();
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
  vfuzz::Require(n >= 0 && n <= 4, "record count out of 0..4", n);
  if (in.handCode != VANTREL_HAND_RIGHT && in.handCode != VANTREL_HAND_LEFT) {
    vfuzz::Require(n <= 2, "more than two thumbs", n);
  }
  if (infoArg == nullptr) vfuzz::Require(n == 0, "records counted without an array", n);
  if (n == 0) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(info.get());
    for (size_t k = 0; k < 4 * sizeof(FingerInfo); ++k) {
      vfuzz::Require(bytes[k] == 0xA5, "record array written on failure", n);
    }
  }
  if (messageArg != nullptr) {
    vfuzz::Require(std::memcmp(message.get(), kProgress, sizeof kProgress) == 0, "message text", n);
  }
  const vtl::VantrelParameter* block = vtl::GetVantrelParameter();
  vfuzz::Require(block->MakeFingerImages == 1, "finger images left switched off", n);
  vfuzz::Require(block->LastResult == nullptr, "inner container recorded", n);
  return 0;
}
