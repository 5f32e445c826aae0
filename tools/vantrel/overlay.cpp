#include "overlay.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common_flags.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb/stb_easy_font.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace vtool {
namespace {

struct Colour {
  uint8_t r, g, b;
};

constexpr Colour kPalette[] = {
    {230, 25, 75}, {40, 170, 60}, {0, 110, 220}, {245, 130, 20}, {160, 40, 190}};
constexpr Colour kWhite{255, 255, 255};
constexpr Colour kBlack{0, 0, 0};

// Width in font units of printable ASCII text.
double TextWidth(std::string text) {
  return stb_easy_font_width(text.data());
}

// The longest start of the text that fits in `width` font units with "..."
// after it, or the text itself when it fits.
std::string FitWidth(const std::string& text, double width) {
  if (TextWidth(text) <= width) return text;
  std::string cut = text;
  while (!cut.empty() && TextWidth(cut + "...") > width) cut.pop_back();
  return cut + "...";
}

class Canvas {
 public:
  explicit Canvas(RgbImage* image) : image_(image) {}

  void Set(int64_t x, int64_t y, Colour c) {
    if (x < 0 || y < 0 || x >= image_->columns || y >= image_->rows) return;
    uint8_t* p = image_->pixels.data() + (static_cast<size_t>(y) * image_->columns + x) * 3;
    p[0] = c.r, p[1] = c.g, p[2] = c.b;
  }

  void FillRect(double x0, double y0, double x1, double y1, Colour c) {
    const int64_t left = std::max<int64_t>(0, std::lround(std::min(x0, x1)));
    const int64_t right = std::min<int64_t>(image_->columns, std::lround(std::max(x0, x1)));
    const int64_t top = std::max<int64_t>(0, std::lround(std::min(y0, y1)));
    const int64_t bottom = std::min<int64_t>(image_->rows, std::lround(std::max(y0, y1)));
    for (int64_t y = top; y < bottom; ++y) {
      for (int64_t x = left; x < right; ++x) Set(x, y, c);
    }
  }

  // A line of the given thickness, drawn as squares along its length.
  void Line(double x0, double y0, double x1, double y1, double thickness, Colour c) {
    const double length = std::hypot(x1 - x0, y1 - y0);
    // Keep the loop bounded for a corrupt box far outside the picture.
    if (!(length < 1e6)) return;
    const int steps = std::max(1, static_cast<int>(std::ceil(length * 2)));
    const double half = thickness / 2;
    for (int i = 0; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      const double x = x0 + (x1 - x0) * t, y = y0 + (y1 - y0) * t;
      FillRect(x - half, y - half, x + half, y + half, c);
    }
  }

  void Disc(double cx, double cy, double radius, Colour c) {
    const int64_t r = static_cast<int64_t>(std::ceil(radius));
    const int64_t x0 = std::lround(cx), y0 = std::lround(cy);
    for (int64_t dy = -r; dy <= r; ++dy) {
      for (int64_t dx = -r; dx <= r; ++dx) {
        if (dx * dx + dy * dy <= radius * radius) Set(x0 + dx, y0 + dy, c);
      }
    }
  }

  // Text in the stb easy font, scaled up, on a filled background; (x, y) is
  // the upper left corner of the background. Kept inside the picture; cut
  // with "..." when wider than the picture.
  void Text(double x, double y, const std::string& text, double scale, Colour ink,
            Colour background) {
    const double pad = scale * 2;
    std::string shown = FitWidth(PrintableText(text), (image_->columns - 2 * pad) / scale);
    const double width = TextWidth(shown) * scale + 2 * pad;
    const double height = 7 * scale + 2 * pad;
    x = std::clamp(x, 0.0, std::max(0.0, image_->columns - width));
    y = std::clamp(y, 0.0, std::max(0.0, image_->rows - height));
    FillRect(x, y, x + width, y + height, background);
    // About 270 bytes a character on average; room for the widest.
    std::vector<char> buffer(shown.size() * 1024 + 1024);
    const int quads = stb_easy_font_print(0, 0, shown.data(), nullptr, buffer.data(),
                                          static_cast<int>(buffer.size()));
    // Each vertex: x, y, z floats and four colour bytes; four vertices a quad.
    const size_t vertexSize = 3 * sizeof(float) + 4;
    for (int q = 0; q < quads; ++q) {
      float v0[3], v2[3];
      std::memcpy(v0, buffer.data() + (q * 4 + 0) * vertexSize, sizeof v0);
      std::memcpy(v2, buffer.data() + (q * 4 + 2) * vertexSize, sizeof v2);
      FillRect(x + pad + v0[0] * scale, y + pad + v0[1] * scale, x + pad + v2[0] * scale,
               y + pad + v2[1] * scale, ink);
    }
  }

 private:
  RgbImage* image_;
};

// The image in RGB grey, scaled down by area average so that its long side
// is at most longSide (0: full size).
RgbImage GreyToRgb(const vio::GreyImage& image, int32_t longSide) {
  const int32_t longest = std::max(image.rows, image.columns);
  const double scale = longSide > 0 && longest > longSide ? double(longSide) / longest : 1.0;
  RgbImage out;
  out.columns = std::max<int32_t>(1, static_cast<int32_t>(std::lround(image.columns * scale)));
  out.rows = std::max<int32_t>(1, static_cast<int32_t>(std::lround(image.rows * scale)));
  out.pixels.resize(static_cast<size_t>(out.rows) * out.columns * 3);
  if (out.columns == image.columns && out.rows == image.rows) {
    for (size_t i = 0; i < image.pixels.size(); ++i) {
      out.pixels[3 * i] = out.pixels[3 * i + 1] = out.pixels[3 * i + 2] = image.pixels[i];
    }
    return out;
  }
  // Output column x averages source columns [starts[x], starts[x + 1]).
  auto spans = [](int32_t source, int32_t target) {
    std::vector<int32_t> starts(target + 1);
    for (int32_t i = 0; i <= target; ++i) {
      starts[i] = static_cast<int32_t>(static_cast<int64_t>(i) * source / target);
    }
    return starts;
  };
  const std::vector<int32_t> xs = spans(image.columns, out.columns);
  const std::vector<int32_t> ys = spans(image.rows, out.rows);
  std::vector<uint32_t> sums(out.columns);
  for (int32_t y = 0; y < out.rows; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    for (int32_t sy = ys[y]; sy < ys[y + 1]; ++sy) {
      const uint8_t* row = image.pixels.data() + static_cast<size_t>(sy) * image.columns;
      for (int32_t x = 0; x < out.columns; ++x) {
        for (int32_t sx = xs[x]; sx < xs[x + 1]; ++sx) sums[x] += row[sx];
      }
    }
    uint8_t* target = out.pixels.data() + static_cast<size_t>(y) * out.columns * 3;
    for (int32_t x = 0; x < out.columns; ++x) {
      const uint32_t area = static_cast<uint32_t>((xs[x + 1] - xs[x]) * (ys[y + 1] - ys[y]));
      const auto value = static_cast<uint8_t>((sums[x] + area / 2) / area);
      target[3 * x] = target[3 * x + 1] = target[3 * x + 2] = value;
    }
  }
  return out;
}

}  // namespace

PaletteImage ToPalette(const RgbImage& image) {
  // Grey g takes index round(g * kTopGrey / 255); the drawing colours follow.
  constexpr int kTopGrey = 250;
  constexpr size_t kColours = sizeof kPalette / sizeof kPalette[0];
  static_assert(kTopGrey + 1 + kColours <= 256, "the palette holds 256 entries");
  PaletteImage out;
  out.rows = image.rows;
  out.columns = image.columns;
  for (int i = 0; i <= kTopGrey; ++i) {
    const auto grey = static_cast<uint8_t>((i * 255 + kTopGrey / 2) / kTopGrey);
    out.palette.insert(out.palette.end(), {grey, grey, grey});
  }
  for (const Colour& c : kPalette) out.palette.insert(out.palette.end(), {c.r, c.g, c.b});
  uint8_t greyIndex[256];
  for (int g = 0; g < 256; ++g) greyIndex[g] = static_cast<uint8_t>((g * kTopGrey + 127) / 255);
  const size_t count = static_cast<size_t>(image.rows) * image.columns;
  out.indices.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = &image.pixels[3 * i];
    uint8_t index = greyIndex[p[1]];  // a colour not drawn by the overlay falls back to its green
    if (p[0] != p[1] || p[1] != p[2]) {
      for (size_t k = 0; k < kColours; ++k) {
        if (p[0] == kPalette[k].r && p[1] == kPalette[k].g && p[2] == kPalette[k].b) {
          index = static_cast<uint8_t>(kTopGrey + 1 + k);
        }
      }
    }
    out.indices[i] = index;
  }
  return out;
}

std::string PrintableText(const std::string& text) {
  std::string out;
  bool inMultibyte = false;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    const bool continuation = byte >= 0x80 && byte < 0xc0;
    if (continuation && inMultibyte) continue;
    inMultibyte = byte >= 0xc0;
    out += byte >= 0x20 && byte < 0x7f ? c : '?';
  }
  return out;
}

std::string FingerLabel(const Segmentation& segmentation, size_t i) {
  const int32_t position = segmentation.fingers[i].record.position;
  std::string label = std::to_string(i);
  if (segmentation.method != Method::kSeparate) {
    const char* name = FingerName(position);
    label += ": " + (*name ? std::string(name) : "position " + std::to_string(position));
  }
  return label;
}

RgbImage MakeOverlay(const vio::GreyImage& image, const Segmentation& segmentation,
                     const std::string& title, int32_t longSide) {
  RgbImage out = GreyToRgb(image, longSide);
  const double sx = static_cast<double>(out.columns) / image.columns;
  const double sy = static_cast<double>(out.rows) / image.rows;
  Canvas canvas(&out);
  const double side = std::min(out.rows, out.columns);
  const double thickness = std::max(2.0, std::round(side / 300));
  const double textScale = std::max(2.0, std::round(side / 200));

  for (size_t i = 0; i < segmentation.fingers.size(); ++i) {
    const Finger& finger = segmentation.fingers[i];
    const Colour colour = kPalette[i % (sizeof kPalette / sizeof kPalette[0])];
    for (int k = 0; k < 4; ++k) {
      const double* a = finger.corners[k];
      const double* b = finger.corners[(k + 1) % 4];
      canvas.Line(a[0] * sx, a[1] * sy, b[0] * sx, b[1] * sy, thickness, colour);
    }
    const SegmentedFinger& r = finger.record;
    const double cx = r.centerX * sx, cy = r.centerY * sy;
    if (!segmentation.orientedBoxes) {
      // The quick segmenters' angle is the finger axis, tip to base.
      const double reach = r.boxHeight / 2.0;
      const double dx = std::cos(static_cast<double>(r.angle)) * reach * sx;
      const double dy = std::sin(static_cast<double>(r.angle)) * reach * sy;
      canvas.Line(cx - dx, cy - dy, cx + dx, cy + dy, std::max(1.0, thickness / 2), colour);
    }
    canvas.Disc(cx, cy, thickness * 2.5, kWhite);
    canvas.Disc(cx, cy, thickness * 1.6, colour);
    // Label beside the centre, which always lies in the picture (box
    // corners often do not).
    canvas.Text(std::round(cx + thickness * 4), std::round(cy + thickness * 2),
                FingerLabel(segmentation, i), textScale, kWhite, colour);
  }
  // Title in the lower left corner, clear of the fingertips.
  canvas.Text(0, out.rows, title, std::max(2.0, std::round(textScale * 0.75)), kWhite, kBlack);
  return out;
}

}  // namespace vtool
