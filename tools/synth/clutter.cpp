// Inked-card clutter: form lines, printed captions, handwriting and punched
// holes, some of it over the fingertips as on a real card.
#include <algorithm>
#include <cmath>

#include "synth_internal.h"

namespace vsynth {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Canvas {
  int columns, rows;
  std::vector<uint8_t>& layer;

  // Thick anti-aliased segment between two pixel positions.
  void Stroke(double x0, double y0, double x1, double y1, double halfWidth, uint8_t grey) {
    const double reach = halfWidth + 1;
    const int c0 = std::max(0, static_cast<int>(std::floor(std::min(x0, x1) - reach)));
    const int c1 = std::min(columns - 1, static_cast<int>(std::ceil(std::max(x0, x1) + reach)));
    const int r0 = std::max(0, static_cast<int>(std::floor(std::min(y0, y1) - reach)));
    const int r1 = std::min(rows - 1, static_cast<int>(std::ceil(std::max(y0, y1) + reach)));
    const double dx = x1 - x0, dy = y1 - y0;
    const double length2 = dx * dx + dy * dy;
    for (int r = r0; r <= r1; ++r) {
      for (int c = c0; c <= c1; ++c) {
        double t = length2 > 0 ? ((c - x0) * dx + (r - y0) * dy) / length2 : 0;
        t = std::min(1.0, std::max(0.0, t));
        const double ex = c - (x0 + t * dx), ey = r - (y0 + t * dy);
        const double cover = halfWidth + 0.5 - std::sqrt(ex * ex + ey * ey);
        if (cover <= 0) continue;
        const double w = std::min(1.0, cover);
        uint8_t& p = layer[static_cast<size_t>(r) * columns + c];
        const int value = static_cast<int>(255 - (255 - grey) * w + 0.5);
        if (value < p) p = static_cast<uint8_t>(value);
      }
    }
  }
};

// Capital-like glyphs on a unit cell (x right, y down): pairs of points.
const double kGlyphs[][16] = {
    {0, 0, 0, 1, 1, 0, 1, 1, 0, 0.5, 1, 0.5, -1},              // H
    {0, 0, 0, 1, 0, 0, 1, 0, 0, 0.5, 0.8, 0.5, 0, 1, 1, 1},    // E
    {0.5, 0, 0.5, 1, -1},                                      // I
    {0, 0, 0, 1, 0, 1, 1, 1, -1},                              // L
    {0, 0, 1, 0, 0.5, 0, 0.5, 1, -1},                          // T
    {0, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1, 0, -1},                  // N
    {0, 1, 0.5, 0, 0.5, 0, 1, 1, 0.25, 0.55, 0.75, 0.55, -1},  // A
    {0, 0, 0.5, 1, 0.5, 1, 1, 0, -1},                          // V
    {0, 0, 1, 1, 1, 0, 0, 1, -1},                              // X
    {0, 0, 0, 1, 1, 0, 0, 0.55, 0.3, 0.4, 1, 1, -1},           // K
    {0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 1, 1, 0, 1, 1, 1},          // O (square)
    {0, 0, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0.5, 1, 0.5, 0, 0.5},    // P
    {0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 0, -1},                  // U
    {1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 0.5},        // G
    {1, 0, 0, 0, 0, 0, 0, 0.5, 0, 0.5, 1, 0.5, 1, 0.5, 1, 1},  // S-ish
};
constexpr int kGlyphCount = sizeof(kGlyphs) / sizeof(kGlyphs[0]);

// A line of printed capitals starting at (x, y) (pixels, top left of the first
// letter); stops at the right border.
void DrawCaption(Canvas& canvas, Rng& rng, double x, double y, double height, double halfWidth,
                 int letters, uint8_t grey) {
  const double advance = height * rng.Uniform(0.85, 1.05);
  for (int i = 0; i < letters && x < canvas.columns; ++i) {
    if (rng.Chance(0.15)) {
      x += advance;  // word space
      continue;
    }
    const double* g = kGlyphs[rng.Int(0, kGlyphCount - 1)];
    const double w = height * 0.75;
    for (int k = 0; k + 3 < 16 && g[k] >= 0; k += 4) {
      canvas.Stroke(x + g[k] * w, y + g[k + 1] * height, x + g[k + 2] * w, y + g[k + 3] * height,
                    halfWidth, grey);
    }
    x += advance;
  }
}

// Handwriting: a pen path whose curvature wanders, drawn letter by letter with
// the odd pen lift, drifting to the right along a slightly sloping line.
void DrawHandwriting(Canvas& canvas, Rng& rng, double x, double y, double size, double halfWidth,
                     uint8_t grey) {
  const int letters = rng.Int(2, 8);
  const double slope = rng.Uniform(-0.5, 0.5);
  const double step = size / 10;
  double px = x, py = y, heading = slope;
  for (int letter = 0; letter < letters; ++letter) {
    const bool lift = rng.Chance(0.3);
    double curl = rng.Uniform(-0.5, 0.5);
    const int steps = rng.Int(12, 30);
    for (int i = 0; i < steps; ++i) {
      if (i % 6 == 0) curl = rng.Uniform(-0.55, 0.55);
      // Wander, but keep coming back to the writing direction.
      heading += curl - 0.06 * (heading - slope);
      const double nx = px + step * std::cos(heading);
      const double ny = py + step * std::sin(heading);
      canvas.Stroke(px, py, nx, ny, halfWidth, grey);
      px = nx, py = ny;
    }
    if (lift) {
      px += size * rng.Uniform(0.2, 0.5);
      py += size * rng.Uniform(-0.2, 0.2);
      heading = slope;
    }
  }
}

}  // namespace

void DrawClutter(uint64_t seed, int columns, int rows, double xppi, double yppi,
                 const std::vector<FingerTruth>& tips, std::vector<uint8_t>& layer,
                 std::vector<Hole>& holes) {
  Rng rng(seed);
  Canvas canvas{columns, rows, layer};
  const double ppi = (xppi + yppi) / 2;
  // Form lines: card rules across, sometimes a border down one side.
  const int lines = rng.Int(1, 3);
  for (int i = 0; i < lines; ++i) {
    const double y = rng.Uniform(0.02, 0.98) * rows;
    const double x0 = rng.Chance(0.6) ? 0 : rng.Uniform(0, 0.5) * columns;
    const double x1 = rng.Chance(0.6) ? columns - 1 : rng.Uniform(0.5, 1) * columns;
    canvas.Stroke(x0, y, x1, y, rng.Uniform(0.003, 0.007) * ppi,
                  static_cast<uint8_t>(rng.Int(0, 80)));
  }
  if (rng.Chance(0.6)) {
    const double x =
        rng.Chance(0.5) ? rng.Uniform(0.0, 0.04) * columns : rng.Uniform(0.96, 1.0) * columns;
    canvas.Stroke(x, 0, x, rows - 1, rng.Uniform(0.003, 0.007) * ppi,
                  static_cast<uint8_t>(rng.Int(0, 60)));
  }
  // A printed caption near the top, running across the fingertips.
  {
    const double height = rng.Uniform(0.07, 0.12) * yppi;
    const double y = rng.Uniform(0.02, 0.25) * yppi;
    const double x = rng.Uniform(0.01, 0.2) * columns;
    DrawCaption(canvas, rng, x, y, height, rng.Uniform(0.006, 0.011) * ppi, rng.Int(14, 32),
                static_cast<uint8_t>(rng.Int(0, 40)));
  }
  // A block of smaller print somewhere.
  if (rng.Chance(0.6)) {
    const double height = rng.Uniform(0.04, 0.07) * yppi;
    const double x = rng.Uniform(0.0, 0.6) * columns;
    double y = rng.Uniform(0.3, 0.9) * rows;
    const int blockLines = rng.Int(1, 4);
    for (int i = 0; i < blockLines; ++i, y += height * 1.6) {
      DrawCaption(canvas, rng, x, y, height, rng.Uniform(0.003, 0.006) * ppi, rng.Int(6, 24),
                  static_cast<uint8_t>(rng.Int(0, 60)));
    }
  }
  // Handwriting: one to three scribbles.
  const int scribbles = rng.Int(1, 3);
  for (int i = 0; i < scribbles; ++i) {
    DrawHandwriting(canvas, rng, rng.Uniform(0.0, 0.8) * columns, rng.Uniform(0.05, 0.95) * rows,
                    rng.Uniform(0.12, 0.3) * ppi, rng.Uniform(0.004, 0.01) * ppi,
                    static_cast<uint8_t>(rng.Int(20, 120)));
  }
  // A long pen stroke.
  if (rng.Chance(0.5)) {
    const double x = rng.Uniform(0, columns), y = rng.Uniform(0, rows);
    const double angle = rng.Uniform(0, kPi);
    const double length = rng.Uniform(0.3, 1.0) * ppi;
    canvas.Stroke(x, y, x + length * std::cos(angle), y + length * std::sin(angle),
                  rng.Uniform(0.004, 0.009) * ppi, static_cast<uint8_t>(rng.Int(20, 100)));
  }
  // A punched hole, dark where the scanner lid shows through, on a fingertip
  // or beside it.
  if (rng.Chance(0.5)) {
    Hole hole;
    hole.radius = rng.Uniform(0.09, 0.14) * ppi;
    hole.grey = rng.Chance(0.75) ? static_cast<uint8_t>(rng.Int(0, 20)) : 255;
    if (!tips.empty() && rng.Chance(0.6)) {
      const FingerTruth& t = tips[rng.Int(0, static_cast<int>(tips.size()) - 1)];
      hole.x = t.cx + rng.Uniform(-0.3, 0.3) * t.width;
      hole.y = t.cy + rng.Uniform(-0.3, 0.3) * t.height;
    } else {
      hole.x = rng.Uniform(0.1, 0.9) * columns;
      hole.y = rng.Uniform(0.1, 0.9) * rows;
    }
    holes.push_back(hole);
  }
}

}  // namespace vsynth
