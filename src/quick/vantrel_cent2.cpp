// Compact entry for 500 ppi images: the quick segmenter's records as plain
// integers in the caller's array.
#include <cstring>

#include "interface/api_lock.h"
#include "interface/parameter.h"
#include "quick/finger_info.h"
#include "vantrel.h"

namespace {

constexpr char kProgressText[] = "StartToSegement";
constexpr int32_t kCentResolution = 500;

// Hand code and expected finger count of the inner search. Codes other than
// 13, 14, 15 search two thumbs; for a hand the set bits among one bit per
// finger (bit 0 first) give the count, and three or more turn the search
// into a thumb search.
void ChooseSearch(int32_t handCode, int32_t fingerMask, int32_t* searchCode, int32_t* expected) {
  if (handCode != VANTREL_HAND_RIGHT && handCode != VANTREL_HAND_LEFT &&
      handCode != VANTREL_HAND_THUMBS) {
    *searchCode = VANTREL_HAND_THUMBS;
    *expected = 4;
    return;
  }
  const int32_t bits = handCode == VANTREL_HAND_THUMBS ? 2 : 4;
  int32_t count = 0;
  for (int32_t b = 0; b < bits; ++b) {
    if ((fingerMask >> b) & 1) ++count;
  }
  *searchCode = count >= 3 ? VANTREL_HAND_THUMBS : handCode;
  *expected = count;
}

}  // namespace

int32_t VantrelCent2(const uint8_t* image, int32_t rows, int32_t columns, int32_t handCode, int32_t,
                     int32_t, int32_t, int32_t, int32_t, int32_t fingerMask, FingerInfo* info,
                     char* message) {
  const vtl::ApiLock lock;
  vtl::VantrelParameter* block = vtl::GetVantrelParameter();
  if (message != nullptr) std::memcpy(message, kProgressText, sizeof kProgressText);
  if (block == nullptr) return 0;
  block->MakeFingerImages = 0;

  int32_t searchCode = 0;
  int32_t expected = 0;
  ChooseSearch(handCode, fingerMask, &searchCode, &expected);
  VantrelResultType* inner = nullptr;
  VantrelQuick(kCentResolution, kCentResolution, image, rows, columns, expected, searchCode,
               &inner);
  int32_t count = inner == nullptr ? 0 : inner->count;
  if (info == nullptr) count = 0;
  for (int32_t i = 0; i < count; ++i) info[i] = vtl::ToFingerInfo(inner->fingers[i]);

  // Nothing outside can reach the inner container: release it now.
  DestroyVantrelResult1(&inner);
  block->MakeFingerImages = 1;
  return count < 1 ? 0 : count;
}
