// A small painter of ridged fingers for the segmenter's tests: each finger is a
// rounded strip of arched ridges (period 0.5 mm) split into segments by white
// creases, on white paper.
#ifndef VANTREL_TESTS_SLAP_PAINTED_HAND_H
#define VANTREL_TESTS_SLAP_PAINTED_HAND_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vtl::testing {

struct PaintedFinger {
  double tipX, tipY;      // millimetres from the top left corner
  double tiltDegrees;     // + = tip leans right
  double width = 16;      // millimetres
  double topLength = 24;  // tip to first crease, millimetres
  double length = 60;     // whole visible finger
};

struct PaintedImage {
  int32_t rows = 0, columns = 0, ppi = 500;
  std::vector<uint8_t> pixels;
};

inline PaintedImage PaintHand(double widthMm, double heightMm, int32_t ppi,
                              const std::vector<PaintedFinger>& fingers) {
  constexpr double kPi = 3.14159265358979323846;
  PaintedImage img;
  img.ppi = ppi;
  const double pxPerMm = ppi / 25.4;
  img.columns = static_cast<int32_t>(widthMm * pxPerMm);
  img.rows = static_cast<int32_t>(heightMm * pxPerMm);
  img.pixels.assign(static_cast<std::size_t>(img.rows) * img.columns, 255);
  for (const PaintedFinger& f : fingers) {
    const double t = f.tiltDegrees * kPi / 180;
    // Down the finger (from the tip) and across it, in image millimetres.
    const double dx = -std::sin(t), dy = std::cos(t);
    const double ax = std::cos(t), ay = std::sin(t);
    const double half = f.width / 2;
    for (int32_t r = 0; r < img.rows; ++r) {
      for (int32_t c = 0; c < img.columns; ++c) {
        const double x = c / pxPerMm - f.tipX, y = r / pxPerMm - f.tipY;
        const double along = x * dx + y * dy;  // 0 at the tip, growing down
        const double across = x * ax + y * ay;
        if (along < 0 || along > f.length || std::fabs(across) > half) continue;
        // Rounded tip: a half ellipse over the first 0.6 widths.
        const double capLength = 0.6 * f.width;
        if (along < capLength) {
          const double v = (capLength - along) / capLength, u = across / half;
          if (u * u + v * v > 1) continue;
        }
        // White creases 1 mm wide after the top segment and 20 mm further.
        const double crease1 = f.topLength, crease2 = f.topLength + 20;
        if (std::fabs(along - crease1) < 0.5 || std::fabs(along - crease2) < 0.5) continue;
        // Arched ridges of period 0.5 mm.
        const double phase = (along + 0.04 * across * across) / 0.5;
        const double v = 0.5 + 0.5 * std::cos(2 * kPi * phase);
        uint8_t& p = img.pixels[static_cast<std::size_t>(r) * img.columns + c];
        p = static_cast<uint8_t>(std::min<double>(p, 255 - 200 * v));
      }
    }
  }
  return img;
}

// Four fingers of a right hand (index to little from the left), or the mirror
// image for a left hand, on a 68 x 60 mm platen.
inline PaintedImage PaintFourFingers(int32_t ppi, bool leftHand) {
  std::vector<PaintedFinger> f = {{9, 12, 0, 15, 23, 60},
                                  {26, 5, 0, 16, 25, 60},
                                  {43, 9, 0, 15, 24, 60},
                                  {58, 22, 0, 13, 20, 60}};
  if (leftHand) {
    for (PaintedFinger& p : f) p.tipX = 68 - p.tipX;
    std::reverse(f.begin(), f.end());
  }
  return PaintHand(68, 60, ppi, f);
}

}  // namespace vtl::testing

#endif
