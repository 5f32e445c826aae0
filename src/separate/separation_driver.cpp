#include "separate/separation_driver.h"

#include <cmath>
#include <cstring>

#include "analysis/finger_boxes.h"
#include "analysis/finger_gaps.h"
#include "geometry/box_refinement.h"
#include "interface/memory.h"
#include "interface/parameter.h"
#include "prepare/foreground.h"
#include "prepare/resample.h"
#include "separate/kept_regions.h"
#include "separate/region_filter.h"
#include "separate/slant_cache.h"
#include "separate/slant_profiles.h"
#include "separate/slant_search.h"
#include "separate/slant_tables.h"
#include "vantrel.h"

namespace vtl {
namespace {

// What one slant's analysis needs besides the slant.
struct ProfileContext {
  const uint8_t* mask;
  int32_t columns;
  int32_t rows;
  int32_t* dark;
  int32_t* total;
  int32_t tailDistance;
  SlantTables* tables;  // null: count point by point
};

int32_t AnalyseSlant(void* context, int32_t slant, float* score, ProfilePeaks* fingers,
                     ProfilePeaks* gaps) {
  const auto* c = static_cast<const ProfileContext*>(context);
  if (c->tables != nullptr) {
    return AnalyseSlantFromTables(c->tables, c->tailDistance, slant, score, fingers, gaps);
  }
  int32_t n = 0;
  const int32_t status =
      BuildSlantProfiles(c->mask, c->columns, c->rows, c->dark, c->total, &n, slant, kForeground);
  if (status != VANTREL_OK) return status;
  return FindFingersAndGaps(c->tailDistance, c->dark, c->total, n, c->rows, score, fingers, gaps);
}

// The slant search with its box construction, refinement and size filter.
// Sets *found to the number of boxes built.
int32_t SeparateBySlant(int32_t code, int32_t sought, const uint8_t* mask, int32_t C, int32_t R,
                        const int32_t lengths[4], FingerRegion** regions, int32_t* found,
                        float* angle) {
  const int32_t minWidth = lengths[0];
  const int32_t minHeight = lengths[1];
  const int32_t tailDistance = lengths[2];
  const int32_t boxLength = lengths[3];

  const SlantLimits limits = ComputeSlantLimits(code, R);
  const int64_t widest = limits.positive > limits.negative ? limits.positive : limits.negative;
  // Every slant's positions fit: C + |s| <= C + max(P, M), counted in 64 bits.
  const int64_t room = widest + C;
  int32_t* dark = nullptr;
  int32_t* total = nullptr;
  if (room <= INT32_MAX) {
    dark = AllocateZeroed<int32_t>(static_cast<std::size_t>(room));
    total = AllocateZeroed<int32_t>(static_cast<std::size_t>(room));
  }
  if (dark == nullptr || total == nullptr) {
    ReleaseAndClear(dark);
    ReleaseAndClear(total);
    return VANTREL_OUT_OF_MEMORY;
  }

  // The prefix tables make each slant a few vector passes; masks too large
  // for them fall back to the plain count, which gives the same profiles.
  SlantTables tables{};
  bool useTables = false;
  if (!PlainSlantCounting() && SlantTablesFit(C, R, static_cast<int32_t>(widest))) {
    const int32_t built =
        BuildSlantTables(mask, C, R, kForeground, static_cast<int32_t>(widest), &tables);
    if (built != VANTREL_OK) {
      Release(dark);
      Release(total);
      return built;
    }
    useTables = true;
  }

  SlantSearch search;
  StartSlantSearch(sought, &search);
  ProfileContext context{mask, C, R, dark, total, tailDistance, useTables ? &tables : nullptr};
  const int32_t status = SearchSlants(limits, AnalyseSlant, &context, &search);
  if (useTables) ReleaseSlantTables(&tables);
  Release(dark);
  Release(total);
  if (status != VANTREL_OK) return status;

  int32_t built = search.bestFingers.found;
  if (built > sought) built = sought;  // never past the region array
  if (search.bestScore == 0.0f || built < 1) return VANTREL_NO_FINGER;

  *angle = static_cast<float>(
      std::atan2(static_cast<double>(search.bestSlant), static_cast<double>(R - 1)));
  if (code == VANTREL_HAND_THUMBS) {
    BuildThumbBoxes(*angle, search.bestSlant, search.bestFingers, search.bestGaps, C, R, regions);
  } else {
    BuildFingerBoxes(*angle, search.bestSlant, search.bestFingers, search.bestGaps, C, R, regions);
  }
  const int32_t refined = RefineFingerRegions(code, boxLength, mask, C, R, *regions, built);
  if (refined != VANTREL_OK) return refined;
  RejectSmallRegions(minHeight, minWidth, *regions, built);
  *found = built;
  return VANTREL_OK;
}

// One finger: the whole working image is the starting box.
int32_t SeparateSingle(int32_t code, const uint8_t* mask, int32_t C, int32_t R, int32_t boxLength,
                       FingerRegion* region) {
  region->centerX = C / 2;
  region->centerY = R / 2;
  region->width = C;
  region->height = R;
  region->angle = 0.0f;
  region->rejection = 0;
  const int32_t status = RefineFingerRegions(code, boxLength, mask, C, R, region, 1);
  if (status != VANTREL_OK) return status;
  // The extent comes from the refined edges; cleared edges drop the region.
  // The centre stays where the refinement moved it: it is already in working
  // pixels, while the edges count inside the refinement's own box.
  region->width = region->right - region->left;
  region->height = region->bottom - region->top;
  return VANTREL_OK;
}

}  // namespace

int32_t SoughtFingerCount(int32_t fingerCount, int32_t handCode) {
  if (handCode == VANTREL_HAND_THUMBS) return 2;
  if (fingerCount < 1) return 1;
  return fingerCount > kMaxSoughtFingers ? kMaxSoughtFingers : fingerCount;
}

int32_t LocateFingerRegions(int32_t xres, int32_t yres, const uint8_t* pixels, int32_t columns,
                            int32_t rows, int32_t fingerCount, int32_t* regionCount,
                            FingerRegion** regions, int32_t* handCode) {
  uint8_t* work = nullptr;
  uint8_t* mask = nullptr;
  int32_t status = VANTREL_OK;
  const VantrelParameter* block = GetVantrelParameter();
  if (block == nullptr) {
    ReleaseAndClear(*regions);
    return VANTREL_OUT_OF_MEMORY;
  }
  // Minimum width, minimum height, tail distance, box search length.
  const int32_t lengths[4] = {ToWorkingLength(*block, block->MinFingerWidth),
                              ToWorkingLength(*block, block->MinFingerHeight),
                              ToWorkingLength(*block, block->MinFingerSeparation),
                              ToWorkingLength(*block, block->BoxSearchLength)};
  const float workResolution = static_cast<float>(block->WorkResolution);
  const float colFactor = static_cast<float>(xres) / workResolution;
  const float rowFactor = static_cast<float>(yres) / workResolution;

  int32_t R = 0;
  int32_t C = 0;
  int32_t background = 0;
  const int32_t code = *handCode;
  const int32_t sought = SoughtFingerCount(fingerCount, code);
  int32_t found = 0;
  float angle = 0.0f;

  status = ResampleToWorkingResolution(pixels, rows, columns, colFactor, rowFactor, &work, &R, &C);
  if (status == VANTREL_OK) status = FindForegroundMask(R, C, work, &mask, &background);
  ReleaseAndClear(work);  // only the mask is needed from here on
  if (status == VANTREL_OK && IsAbsent(*regions)) {
    *regions = AllocateZeroed<FingerRegion>(static_cast<std::size_t>(sought));
    if (*regions == nullptr) status = VANTREL_OUT_OF_MEMORY;
  }
  if (status == VANTREL_OK) {
    std::memset(*regions, 0, static_cast<std::size_t>(sought) * sizeof(FingerRegion));
    if (sought <= 1) {
      status = SeparateSingle(code, mask, C, R, lengths[3], *regions);
      found = 1;
    } else {
      status = SeparateBySlant(code, sought, mask, C, R, lengths, regions, &found, &angle);
    }
  }
  if (status == VANTREL_OK) {
    const int32_t kept = CollectKeptRegions(*regions, found);
    *regionCount = kept;
    if (code == VANTREL_HAND_UNKNOWN && kept == 4) {
      const int32_t hand = RecogniseHand(*regions, angle);
      if (hand != VANTREL_HAND_UNKNOWN) *handCode = hand;
    }
    ScaleSeparatedRegions(lengths[0], lengths[1], *regions, kept, colFactor, rowFactor);
  }

  ReleaseAndClear(mask);
  if (status != VANTREL_OK) ReleaseAndClear(*regions);
  return status;
}

}  // namespace vtl
