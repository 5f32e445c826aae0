#include "separate/slant_cache.h"

#include <cstring>

#include "separate/slant_layout.h"
#include "separate/slant_profiles.h"
#include "separate/slant_row_kernels.h"
#include "separate/slant_terms.h"
#include "vantrel.h"

namespace vtl {
namespace {

// Smoothed profiles and the background profile from the raw counts.
int32_t FinishProfiles(const RowKernels& kernels, const uint16_t* raw, const int32_t* inside,
                       int32_t* dark, int32_t* total, int32_t* background, int64_t n,
                       int32_t radius, int32_t* scratch) {
  if (radius == 1) {
    kernels.smoothThree(raw, inside, dark, total, background, n);
    return VANTREL_OK;
  }
  for (int64_t k = 0; k < n; ++k) {
    dark[k] = raw[k];
    total[k] = inside[k];
  }
  const auto count = static_cast<int32_t>(n);
  int32_t smoothed = SmoothRunningSum(dark, count, radius, scratch);
  if (smoothed == VANTREL_OK) smoothed = SmoothRunningSum(total, count, radius, scratch);
  for (int64_t k = 0; k < n; ++k) background[k] = total[k] - dark[k];
  return smoothed;
}

// The in-image counts and the smoothing of one slant whose row sums are in
// `sum`.
int32_t FinishSlant(const RowKernels& kernels, SlantTables* tables, int32_t s, bool steep,
                    int64_t runs, const int32_t* runEnds, int64_t xFirst, int64_t xLast,
                    const uint16_t* raw, int32_t* dark, int32_t* total, int32_t* background) {
  const int64_t C = tables->columns;
  const int64_t R = tables->rows;
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  const int64_t positions = C + width;

  // In-image counts from geometry. A shallow line has one point per column
  // from xFirst to xLast; a steep one has a run per column, and the rows
  // above each run's end count the points up to that column.
  int32_t* inside = tables->scratch;
  if (steep) {
    // For lines leaning right (columns rising), G[u] counts the points in
    // columns <= C - 1 - u; for lines leaning left, those in columns >= C - u.
    int32_t* G = tables->cumulative;
    const int64_t span = positions + C;
    // Run r lies in column xFirst + r (rising) or xFirst - r.
    const auto all = static_cast<int32_t>(R);
    auto clampSpan = [span](int64_t u) { return u < 0 ? 0 : (u > span ? span : u); };
    if (s > 0) {
      // Column C - 1 - u holds run C - 1 - u - xFirst.
      const int64_t a = clampSpan(C - xFirst - runs);
      const int64_t b = clampSpan(C - xFirst);
      for (int64_t u = 0; u < a; ++u) G[u] = all;
      for (int64_t u = a; u < b; ++u) G[u] = runEnds[C - 1 - u - xFirst];
      for (int64_t u = b; u < span; ++u) G[u] = 0;
    } else {
      // Column C - u holds run u - C + xFirst.
      const int64_t a = clampSpan(C - xFirst);
      const int64_t b = clampSpan(C - xFirst + runs);
      for (int64_t u = 0; u < a; ++u) G[u] = 0;
      for (int64_t u = a; u < b; ++u) G[u] = runEnds[u - C + xFirst];
      for (int64_t u = b; u < span; ++u) G[u] = all;
    }
    kernels.steepTotals(inside, G, positions, C, s > 0);
  } else {
    kernels.shallowTotals(inside, positions, C, xFirst < xLast ? xFirst : xLast,
                          xFirst < xLast ? xLast : xFirst);
  }
  return FinishProfiles(kernels, raw, inside, dark, total, background, positions, tables->radius,
                        tables->scratch2);
}

// Profiles of the slants of one sign with magnitudes kBatchLanes * batch ..,
// into the sign's cache.
int32_t BuildBatch(SlantTables* tables, bool left, int64_t batch) {
  const int64_t C = tables->columns;
  const int64_t R = tables->rows;
  const int64_t room = C + tables->maxSlant;
  const int64_t sumRoom = (room + kByteLanes - 1) / kByteLanes * kByteLanes;
  const int64_t termRoom = R + 2 + tables->maxSlant;
  const RowKernels& kernels = ActiveRowKernels();
  kernels.drawLines(tables, left, batch);
  BatchLanes b{};
  bool steep[kBatchLanes] = {};
  int64_t runs[kBatchLanes] = {};
  int64_t xFirst[kBatchLanes] = {};
  int64_t xLast[kBatchLanes] = {};
  for (int lane = 0; lane < kBatchLanes; ++lane) {
    const int64_t m = batch * kBatchLanes + lane;
    if (m > tables->maxSlant) break;
    const auto s = static_cast<int32_t>(left ? -m : m);
    SlantTerm* terms = tables->terms + lane * (R + 2);
    MaskTerm* maskTerms = tables->maskTerms + lane * termRoom;
    steep[lane] = EmitTerms(tables, s, tables->lineCoordinates + lane, terms, maskTerms,
                            tables->histogram + lane * (R + 2), &b.count[lane], &runs[lane],
                            &xFirst[lane], &xLast[lane], &b.bytes[lane]);
    b.terms[lane] = terms;
    b.maskTerms[lane] = maskTerms;
    b.positions[lane] = C + m;
    b.sum[lane] = tables->sum + lane * sumRoom;
    // Passes read and write whole blocks up to the positions rounded up.
    const int64_t used = (C + m + kByteLanes - 1) / kByteLanes * kByteLanes;
    std::memset(b.sum[lane], 0, static_cast<size_t>(used) * sizeof(uint16_t));
    b.lanes = lane + 1;
  }
  b.bands = tables->bandSpans;
  b.byteRows = tables->byteRows;
  kernels.addBatch(b);
  const int sign = left ? 1 : 0;
  for (int lane = 0; lane < b.lanes; ++lane) {
    const int64_t m = batch * kBatchLanes + lane;
    int32_t* profiles = tables->profiles + ((sign * kBatchLanes + lane) * 3) * room;
    const int32_t status =
        FinishSlant(kernels, tables, static_cast<int32_t>(left ? -m : m), steep[lane], runs[lane],
                    tables->histogram + lane * (R + 2), xFirst[lane], xLast[lane], b.sum[lane],
                    profiles, profiles + room, profiles + 2 * room);
    if (status != VANTREL_OK) {
      tables->cachedBatch[sign] = -1;
      return status;
    }
  }
  tables->cachedBatch[sign] = batch;
  return VANTREL_OK;
}

// The cached profiles of slant s (dark, total, background, `room` apart),
// built with their batch when not cached.
int32_t CachedProfiles(SlantTables* tables, int32_t s, int32_t** profiles) {
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  if (width > tables->maxSlant) return VANTREL_OUT_OF_MEMORY;
  const bool left = s < 0;
  const int64_t batch = width / kBatchLanes;
  if (tables->cachedBatch[left ? 1 : 0] != batch) {
    const int32_t status = BuildBatch(tables, left, batch);
    if (status != VANTREL_OK) return status;
  }
  const int64_t room = static_cast<int64_t>(tables->columns) + tables->maxSlant;
  const int64_t lane = width - batch * kBatchLanes;
  *profiles = tables->profiles + (((left ? 1 : 0) * kBatchLanes + lane) * 3) * room;
  return VANTREL_OK;
}

}  // namespace

int32_t AnalyseSlantFromTables(SlantTables* tables, int32_t tailDistance, int32_t s, float* score,
                               ProfilePeaks* fingers, ProfilePeaks* gaps) {
  int32_t* profiles = nullptr;
  const int32_t status = CachedProfiles(tables, s, &profiles);
  if (status != VANTREL_OK) return status;
  const int64_t room = static_cast<int64_t>(tables->columns) + tables->maxSlant;
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  const auto n = static_cast<int32_t>(tables->columns + width);
  return FindFingersAndGapsInto(tailDistance, profiles, profiles + room, profiles + 2 * room, n,
                                tables->rows, score, fingers, gaps, tables->flags);
}

int32_t BuildSlantProfilesFromTables(SlantTables* tables, int32_t* dark, int32_t* total, int32_t* n,
                                     int32_t s) {
  int32_t* profiles = nullptr;
  const int32_t status = CachedProfiles(tables, s, &profiles);
  if (status != VANTREL_OK) return status;
  const int64_t room = static_cast<int64_t>(tables->columns) + tables->maxSlant;
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  *n = static_cast<int32_t>(tables->columns + width);
  std::memcpy(dark, profiles, static_cast<size_t>(*n) * sizeof(int32_t));
  std::memcpy(total, profiles + room, static_cast<size_t>(*n) * sizeof(int32_t));
  return VANTREL_OK;
}

}  // namespace vtl
