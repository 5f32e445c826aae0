// Connected-component labelling: connectivity, numbering, measurements, the
// full-table stop and the life of the shared buffers.
#include "quick/labelling.h"

#include <gtest/gtest.h>

#include <vector>

#include "interface/memory.h"
#include "vantrel.h"

namespace {

struct LabelRun {
  int32_t status = -1;
  int32_t count = -1;
  int32_t capacity = -1;
  vtl::ComponentRecord* table = nullptr;
  int32_t* labels = nullptr;
};

LabelRun Label(const std::vector<uint8_t>& pixels, int32_t rows, int32_t columns, int32_t low = 0,
               int32_t high = 0, int32_t base = 256) {
  LabelRun run;
  run.status = vtl::LabelComponents(low, high, base, rows, columns, pixels.data(), &run.count,
                                    &run.capacity, &run.table, &run.labels);
  return run;
}

class Labelling : public ::testing::Test {
 protected:
  void TearDown() override { vtl::DestroyLabellingState(); }
};

TEST_F(Labelling, LargeComponentNeedsNoRecursion) {
  // A serpentine path of 80 200 pixels is filled from an explicit stack as
  // deep as the path is long.
  const int32_t n = 400;
  LabelRun run;
  std::vector<uint8_t> snake(size_t(n) * n, 255);
  for (int32_t y = 0; y < n; y += 2) {
    for (int32_t x = 0; x < n; ++x) snake[size_t(y) * n + x] = 0;
    if (y + 1 < n) snake[size_t(y + 1) * n + ((y / 2) % 2 == 0 ? n - 1 : 0)] = 0;
  }
  run = Label(snake, n, n);
  ASSERT_EQ(run.count, 1);
  EXPECT_EQ(run.table[0].area, (n / 2) * n + n / 2);  // rows and connectors
}

TEST_F(Labelling, FullTableStopsTheScan) {
  // Isolated pixels on every second row and column: 100 x 100 = 10000
  // components, more than the 32 x 200 = 6400 the table holds.
  const int32_t n = 200;
  std::vector<uint8_t> pixels(size_t(n) * n, 255);
  for (int32_t y = 0; y < n; y += 2)
    for (int32_t x = 0; x < n; x += 2) pixels[size_t(y) * n + x] = 0;
  const LabelRun run = Label(pixels, n, n);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.capacity, 6400);
  ASSERT_EQ(run.count, 6400);
  // The last entry is the 6400th pixel in scan order: row 126, column 198.
  EXPECT_EQ(run.table[6399].centroidX, 198);
  EXPECT_EQ(run.table[6399].centroidY, 126);
  EXPECT_EQ(run.table[6399].label, 256 + 6399);
  EXPECT_EQ(run.labels[126 * n + 198], 256 + 6399);
  // The scan stopped: the next candidates keep their input value.
  EXPECT_EQ(run.labels[128 * n + 0], 0);
  EXPECT_EQ(run.labels[198 * n + 198], 0);
}

TEST_F(Labelling, RefusedArgumentsAndAbsurdSizesGiveNoComponent) {
  const std::vector<uint8_t> pixels(16, 0);
  // A refused run also drops the previous run's results.
  ASSERT_EQ(Label(pixels, 4, 4).count, 1);
  struct Case {
    int32_t low, high, base, rows, columns;
    bool nullPixels;
  };
  const Case cases[] = {
      {-1, 0, 256, 4, 4, false},
      {0, 256, 256, 4, 4, false},
      {0, 0, 255, 4, 4, false},
      {0, 0, 256, 0, 4, false},
      {0, 0, 256, 4, -1, false},
      {0, 0, 256, 4, 4, true},
      // 32 x 100 000 000 components would not fit a 32-bit capacity.
      {0, 0, 256, 1, 100000000, false},
      // 50 000 x 50 000 pixels exceed a 32-bit pixel count.
      {0, 0, 256, 50000, 50000, false},
      // The last label would pass the 32-bit range.
      {0, 0, 2147483600, 4, 4, false},
  };
  for (const Case& c : cases) {
    LabelRun run;
    run.status = vtl::LabelComponents(c.low, c.high, c.base, c.rows, c.columns,
                                      c.nullPixels ? nullptr : pixels.data(), &run.count,
                                      &run.capacity, &run.table, &run.labels);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.count, 0);
    EXPECT_EQ(run.table, nullptr);
    EXPECT_EQ(run.labels, nullptr);
  }
}

TEST_F(Labelling, DestroyIsIdempotent) {
  ASSERT_EQ(Label(std::vector<uint8_t>(4, 0), 2, 2).count, 1);
  vtl::DestroyLabellingState();
  vtl::DestroyLabellingState();
  // Teardown through the parameter block releases it as well.
  ASSERT_EQ(Label(std::vector<uint8_t>(4, 0), 2, 2).count, 1);
  DestroyVantrelParameter();
}

}  // namespace
