#include "separate/slant_profiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "interface/memory.h"
#include "interface/parameter.h"
#include "separate/line_pixels.h"

namespace {

// Runs with a chosen smoothing radius and puts the default back afterwards.
class SlantProfiles : public ::testing::Test {
 protected:
  void SetRadius(int32_t r) { vtl::GetVantrelParameter()->RunningSumRadius = r; }
  void TearDown() override { SetRadius(1); }

  struct Profiles {
    std::vector<int32_t> dark, total;
    int32_t n = -1;
    int32_t status = -1;
  };

  static Profiles Build(const std::vector<uint8_t>& mask, int32_t columns, int32_t rows,
                        int32_t s) {
    Profiles p;
    const size_t room = static_cast<size_t>(columns + std::abs(s));
    p.dark.assign(room + 1, -7);  // one guard entry past the room
    p.total.assign(room + 1, -7);
    p.status = vtl::BuildSlantProfiles(mask.data(), columns, rows, p.dark.data(), p.total.data(),
                                       &p.n, s, 0);
    EXPECT_EQ(p.dark[room], -7);
    EXPECT_EQ(p.total[room], -7);
    p.dark.resize(room);
    p.total.resize(room);
    return p;
  }
};

TEST_F(SlantProfiles, EveryLinePixelCountedOnce) {
  // Each point of the reference line sweeps all columns once as the line moves
  // across, so the raw totals add up to L x C and the dark counts to the
  // foreground of the rows the points fall on - for slants steeper and
  // flatter than 45 degrees, and for lines that leave the image early.
  SetRadius(0);
  const int32_t rows = 20;
  const int32_t columns = 30;
  std::mt19937 random(7);
  std::vector<uint8_t> mask(rows * columns);
  for (auto& v : mask) v = random() % 3 == 0 ? 0 : 255;
  std::vector<int32_t> rowForeground(rows, 0);
  for (int32_t y = 0; y < rows; ++y)
    for (int32_t x = 0; x < columns; ++x) rowForeground[y] += mask[y * columns + x] == 0;

  for (const int32_t s : {-70, -20, -19, -5, -1, 0, 1, 19, 20, 70}) {
    const Profiles p = Build(mask, columns, rows, s);
    ASSERT_EQ(p.status, 0);
    ASSERT_EQ(p.n, columns + std::abs(s));
    int32_t* xs = nullptr;
    int32_t* ys = nullptr;
    int32_t L = 0;
    ASSERT_EQ(s > 0 ? vtl::GetLinePixelBetweenTwoPoints(-s, 0, 0, rows - 1, &xs, &ys, &L)
                    : vtl::GetLinePixelBetweenTwoPoints(0, 0, s, rows - 1, &xs, &ys, &L),
              0);
    int64_t expectedDark = 0;
    for (int32_t j = 0; j < L; ++j) expectedDark += rowForeground[ys[j]];
    vtl::Release(xs);
    vtl::Release(ys);
    int64_t sumTotal = 0;
    int64_t sumDark = 0;
    for (int32_t k = 0; k < p.n; ++k) {
      EXPECT_LE(p.dark[k], p.total[k]);
      // The accumulated end of a leftward reference line can fall short of
      // column s (-0.9999999 truncates to 0 for s = -1), so the last line
      // of some negative slants misses the image; no other line does.
      if (p.total[k] == 0) {
        EXPECT_TRUE(s < 0 && k == p.n - 1) << s << " " << k;
      }
      sumTotal += p.total[k];
      sumDark += p.dark[k];
    }
    EXPECT_EQ(sumTotal, static_cast<int64_t>(L) * columns) << s;
    EXPECT_EQ(sumDark, expectedDark) << s;
    if (s == -1 || s == -5) {
      EXPECT_EQ(p.total[p.n - 1], 0) << s;
    }
  }
}

}  // namespace
