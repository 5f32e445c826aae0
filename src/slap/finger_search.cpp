// Fingertips on the block grid, then measured along each finger's own axis.
#include <algorithm>
#include <cmath>

#include "slap/slap_internal.h"

namespace vtl {
namespace slap {
namespace {

constexpr int32_t kMaxCandidates = 24;
constexpr int32_t kMaxBins = 1024;
// A finger's axis may turn this far from the search direction (radians);
// held, when it leaned far from the other fingers' (kOddLean), this far.
constexpr double kMaxBend = 35 * kPi / 180;
constexpr double kOddLean = 15 * kPi / 180;
constexpr double kHeldBend = 8 * kPi / 180;
// A top segment this much longer or shorter (log) than the hand's median has
// its crease looked for again.
constexpr double kOddLength = 0.3;
// A finger narrower than kNarrow of the hand's median width is given
// kNarrowed of it (little fingers are about a tenth narrower).
constexpr double kNarrow = 0.7;
constexpr double kNarrowed = 0.9;
// A fingertip at the image's edge narrower than this share of the others'
// lies mostly off the image.
constexpr double kCutOff = 0.5;

// Expected top segment length (working pixels; 0: from the width) and how
// strongly the crease search keeps to it.
struct LengthPrior {
  double length = 0;
  double weight = 0.5;
};

struct Geometry {
  double mmPerBlock;  // block side in millimetres
  double blocksPerMm;
};

struct Component {
  int32_t label;
  int32_t area;
  double sx, sy;  // centroid (block units)
  double tilt;    // principal axis tilt from vertical, + = top leans right
  double elongation;
};

struct Candidate {
  int32_t label;
  double tipHeight;              // highest point along the hand's up direction
  double acrossLow, acrossHigh;  // band across the hand, block units
  double acrossPeak;
  int32_t area;  // blocks of the top part
  double meanScore;
  double weight;  // ranking value
  bool dropped;
};

// Up the hand: (sin phi, -cos phi); across to the right: (cos phi, sin phi).
struct Frame {
  double ux, uy, rx, ry;
  explicit Frame(double phi)
      : ux(std::sin(phi)), uy(-std::cos(phi)), rx(std::cos(phi)), ry(std::sin(phi)) {}
  double Height(double x, double y) const { return x * ux + y * uy; }
  double Across(double x, double y) const { return x * rx + y * ry; }
};

// Removes lone blocks and fills pinholes: one pass of a neighbour-count rule.
void CleanMask(const uint8_t* in, int32_t rows, int32_t columns, uint8_t* out) {
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      int32_t n = 0;
      for (int32_t dy = -1; dy <= 1; ++dy) {
        for (int32_t dx = -1; dx <= 1; ++dx) {
          if (dx == 0 && dy == 0) continue;
          const int32_t yy = y + dy, xx = x + dx;
          if (yy >= 0 && yy < rows && xx >= 0 && xx < columns) {
            n += in[static_cast<std::size_t>(yy) * columns + xx];
          }
        }
      }
      const std::size_t k = static_cast<std::size_t>(y) * columns + x;
      out[k] = in[k] ? (n >= 2 ? 1 : 0) : (n >= 6 ? 1 : 0);
    }
  }
}

// 8-connected labelling; labels 1..; returns the number of labels.
int32_t Label(const uint8_t* mask, int32_t rows, int32_t columns, int32_t* labels, int32_t* stack) {
  const std::size_t n = static_cast<std::size_t>(rows) * columns;
  for (std::size_t k = 0; k < n; ++k) labels[k] = 0;
  int32_t next = 0;
  for (std::size_t start = 0; start < n; ++start) {
    if (!mask[start] || labels[start]) continue;
    ++next;
    int32_t top = 0;
    stack[top++] = static_cast<int32_t>(start);
    labels[start] = next;
    while (top > 0) {
      const int32_t k = stack[--top];
      const int32_t y = k / columns, x = k % columns;
      for (int32_t dy = -1; dy <= 1; ++dy) {
        for (int32_t dx = -1; dx <= 1; ++dx) {
          const int32_t yy = y + dy, xx = x + dx;
          if (yy < 0 || yy >= rows || xx < 0 || xx >= columns) continue;
          const int32_t j = yy * columns + xx;
          if (mask[j] && !labels[j]) {
            labels[j] = next;
            stack[top++] = j;
          }
        }
      }
    }
  }
  return next;
}

// Fills background pockets enclosed by one component (a punched hole, a
// patch without ink) that are smaller than maxArea blocks.
void FillHoles(uint8_t* mask, int32_t rows, int32_t columns, int32_t maxArea, int32_t* labels,
               int32_t* stack) {
  const std::size_t n = static_cast<std::size_t>(rows) * columns;
  for (std::size_t k = 0; k < n; ++k) labels[k] = 0;
  // Background components, 4-connected; those touching the border stay.
  int32_t next = 0;
  for (std::size_t start = 0; start < n; ++start) {
    if (mask[start] || labels[start]) continue;
    ++next;
    int32_t top = 0, area = 0;
    bool border = false;
    stack[top++] = static_cast<int32_t>(start);
    labels[start] = next;
    int32_t head = 0;
    // Breadth-first so that the visited list stays in `stack` for filling.
    top = 1;
    while (head < top) {
      const int32_t k = stack[head++];
      ++area;
      const int32_t y = k / columns, x = k % columns;
      if (y == 0 || x == 0 || y == rows - 1 || x == columns - 1) border = true;
      const int32_t nbY[4] = {y - 1, y + 1, y, y};
      const int32_t nbX[4] = {x, x, x - 1, x + 1};
      for (int32_t i = 0; i < 4; ++i) {
        if (nbY[i] < 0 || nbY[i] >= rows || nbX[i] < 0 || nbX[i] >= columns) continue;
        const int32_t j = nbY[i] * columns + nbX[i];
        if (!mask[j] && !labels[j]) {
          labels[j] = next;
          stack[top++] = j;
        }
      }
    }
    if (!border && area <= maxArea) {
      for (int32_t i = 0; i < top; ++i) mask[stack[i]] = 1;
    }
  }
}

double Clamp(double v, double lo, double hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

// Median axis tilt of the fingers found.
double MedianTilt(const TipBox* tips, int32_t count) {
  double tilts[kMaxSlapFingers];
  const int32_t n = std::min(count, kMaxSlapFingers);
  for (int32_t i = 0; i < n; ++i) {
    int32_t j = i;
    for (; j > 0 && tilts[j - 1] > tips[i].tilt; --j) tilts[j] = tilts[j - 1];
    tilts[j] = tips[i].tilt;
  }
  return n % 2 ? tilts[n / 2] : 0.5 * (tilts[n / 2 - 1] + tilts[n / 2]);
}

// How far the fingers' axes bend away from the direction they were searched
// in: the mean absolute difference, radians.
double Bend(const TipBox* tips, int32_t count, double phi) {
  if (count < 1) return 0;
  double sum = 0;
  for (int32_t i = 0; i < count; ++i) sum += std::fabs(tips[i].tilt - phi);
  return sum / count;
}

struct Context {
  const WorkingImage& work;
  const BlockMap& map;
  const int32_t* labels;
  Geometry g;
  Frame frame;
};

// Size and ridge quality of the top part of a candidate's band.
void MeasureCandidate(const Context& ctx, Candidate* c) {
  const int32_t rows = ctx.map.rows, columns = ctx.map.columns;
  const double reach = 25.0 * ctx.g.blocksPerMm;
  double sum = 0;
  int32_t area = 0;
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      const std::size_t k = static_cast<std::size_t>(y) * columns + x;
      if (ctx.labels[k] != c->label) continue;
      const double a = ctx.frame.Across(x, y);
      if (a < c->acrossLow || a >= c->acrossHigh) continue;
      if (ctx.frame.Height(x, y) < c->tipHeight - reach) continue;
      ++area;
      sum += ctx.map.score[k];
    }
  }
  c->area = area;
  c->meanScore = area > 0 ? sum / area : 0;
  const double minArea = 40.0 * ctx.g.blocksPerMm * ctx.g.blocksPerMm;
  c->weight = area >= minArea ? area * c->meanScore : 0;
}

// Block score at a working-image position; 0 outside.
float ScoreAt(const Context& ctx, double x, double y) {
  const int32_t b = ctx.map.blockSize;
  if (x < 0 || y < 0) return 0;
  const int32_t bx = static_cast<int32_t>(x) / b, by = static_cast<int32_t>(y) / b;
  if (bx >= ctx.map.columns || by >= ctx.map.rows) return 0;
  return ctx.map.score[static_cast<std::size_t>(by) * ctx.map.columns + bx];
}

float BandPassAt(const Context& ctx, double x, double y) {
  const int32_t ix = static_cast<int32_t>(x + 0.5), iy = static_cast<int32_t>(y + 0.5);
  if (ix < 0 || iy < 0 || ix >= ctx.work.columns || iy >= ctx.work.rows) return 0;
  return ctx.work.bandPass[static_cast<std::size_t>(iy) * ctx.work.columns + ix];
}

// Moving average of `in` over 2r+1 samples (shorter at the ends).
void Smooth(const double* in, int32_t n, int32_t r, double* out) {
  for (int32_t i = 0; i < n; ++i) {
    double s = 0;
    int32_t c = 0;
    for (int32_t j = std::max(0, i - r); j <= std::min(n - 1, i + r); ++j) {
      s += in[j];
      ++c;
    }
    out[i] = s / c;
  }
}

struct FingerAxis {
  double tipX, tipY;  // block units, block k spanning [k, k + 1)
  double tilt;
  double width;  // block units
};

bool OnPiece(const Context& ctx, int32_t label, double x, double y) {
  if (x < 0 || y < 0) return false;
  const int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
  if (ix >= ctx.map.columns || iy >= ctx.map.rows) return false;
  return ctx.labels[static_cast<std::size_t>(iy) * ctx.map.columns + ix] == label;
}

// Follows a finger from its tip down its midline: at every level the run of
// the piece across the axis, skipping levels where the run has merged with
// a touching neighbour; a line through the run middles, down to `depth`
// finger widths (the lower segments give the axis a longer base), corrects
// the axis. Three rounds, starting from the hand's direction at the outline
// peak.
bool TraceFinger(const Context& ctx, const Candidate& c, double depth, double maxBend,
                 FingerAxis* out) {
  constexpr int32_t kMaxLevels = 160;
  const double perMm = ctx.g.blocksPerMm;
  const double phi = std::atan2(ctx.frame.ux, -ctx.frame.uy);
  double tilt = phi;
  // The outline peak, nudged inside the piece.
  double px = c.acrossPeak * ctx.frame.rx + c.tipHeight * ctx.frame.ux + 0.5;
  double py = c.acrossPeak * ctx.frame.ry + c.tipHeight * ctx.frame.uy + 0.5;
  px -= 0.5 * ctx.frame.ux;
  py -= 0.5 * ctx.frame.uy;
  if (!OnPiece(ctx, c.label, px, py)) {
    bool found = false;
    for (double d = 0.5; d <= 2.0 && !found; d += 0.5) {
      if (OnPiece(ctx, c.label, px - d * ctx.frame.ux, py - d * ctx.frame.uy)) {
        px -= d * ctx.frame.ux;
        py -= d * ctx.frame.uy;
        found = true;
      }
    }
    if (!found) return false;
  }
  const double step = 0.5;
  const int32_t levels = std::min(kMaxLevels, static_cast<int32_t>(45 * perMm / step));
  const double maxHalf = 20 * perMm;
  double left[kMaxLevels], right[kMaxLevels];
  bool valid[kMaxLevels];
  bool free[kMaxLevels];
  int8_t side[kMaxLevels];  // clipped on one side: +1 left edge lost, -1 right
  double width = 15 * perMm;
  double tipX = px, tipY = py;
  for (int32_t round = 0; round < 3; ++round) {
    const double vx = std::sin(tilt), vy = -std::cos(tilt);
    const double nx = std::cos(tilt), ny = std::sin(tilt);
    // The tip: up the axis to the end of the piece.
    double t = 0;
    while (t < 40 * perMm && (OnPiece(ctx, c.label, px + (t + 0.5) * vx, py + (t + 0.5) * vy) ||
                              OnPiece(ctx, c.label, px + (t + 1.0) * vx, py + (t + 1.0) * vy))) {
      t += 0.5;
    }
    tipX = px + t * vx;
    tipY = py + t * vy;
    for (int32_t k = 0; k < levels; ++k) {
      const double ax = tipX - (k + 0.5) * step * vx, ay = tipY - (k + 0.5) * step * vy;
      valid[k] = OnPiece(ctx, c.label, ax, ay);
      if (!valid[k]) continue;
      // The run ends where the piece does, or at the edge of the
      // candidate's band, where a touching neighbour takes over.
      double l = 0, r = 0;
      bool clippedLeft = false, clippedRight = false;
      auto inBand = [&](double x, double y) {
        const double a = ctx.frame.Across(x - 0.5, y - 0.5);
        return a >= c.acrossLow - 1.5 && a <= c.acrossHigh + 1.5;
      };
      while (l < maxHalf && (OnPiece(ctx, c.label, ax - (l + 0.5) * nx, ay - (l + 0.5) * ny) ||
                             OnPiece(ctx, c.label, ax - (l + 1.0) * nx, ay - (l + 1.0) * ny))) {
        if (!inBand(ax - (l + 0.5) * nx, ay - (l + 0.5) * ny)) {
          clippedLeft = true;
          break;
        }
        l += 0.5;
      }
      while (r < maxHalf && (OnPiece(ctx, c.label, ax + (r + 0.5) * nx, ay + (r + 0.5) * ny) ||
                             OnPiece(ctx, c.label, ax + (r + 1.0) * nx, ay + (r + 1.0) * ny))) {
        if (!inBand(ax + (r + 0.5) * nx, ay + (r + 0.5) * ny)) {
          clippedRight = true;
          break;
        }
        r += 0.5;
      }
      left[k] = -l;
      right[k] = r;
      free[k] = !clippedLeft && !clippedRight;
      side[k] = clippedLeft ? (clippedRight ? 0 : 1) : (clippedRight ? -1 : 0);
    }
    // Typical width a little below the tip, where touching fingers part.
    double widths[kMaxLevels];
    int32_t m = 0;
    const int32_t k0 = static_cast<int32_t>(3 * perMm / step);
    const int32_t k1 = std::min(levels, static_cast<int32_t>(12 * perMm / step));
    for (int32_t k = k0; k < k1; ++k) {
      if (valid[k] && free[k]) widths[m++] = right[k] - left[k] + 0.5;
    }
    // Touching all along: the band's share has to do.
    const bool clippedAll = m < 3;
    if (clippedAll) {
      m = 0;
      for (int32_t k = k0; k < k1; ++k) {
        if (valid[k]) widths[m++] = right[k] - left[k] + 0.5;
      }
    }
    if (m < 3) return false;
    std::nth_element(widths, widths + m / 2, widths + m);
    const double typical = widths[m / 2];
    // Line through the run middles down to about one and a half widths.
    double n = 0, ss = 0, sm = 0, sss = 0, ssm = 0;
    double kept[kMaxLevels];
    int32_t kc = 0;
    const int32_t last = std::min(levels, static_cast<int32_t>(depth * typical / step));
    for (int32_t k = static_cast<int32_t>(1.5 * perMm / step); k < last; ++k) {
      if (!valid[k]) continue;
      const double w = right[k] - left[k] + 0.5;
      double mid = 0.5 * (left[k] + right[k]);
      if (!free[k] && !clippedAll) {
        // One edge lost to a neighbour: the other edge still places the
        // midline half a width away.
        if (side[k] == 0) continue;
        mid = side[k] > 0 ? right[k] + 0.25 - 0.5 * typical : left[k] - 0.25 + 0.5 * typical;
      } else if (w > 1.3 * typical || w < 0.5 * typical) {
        continue;
      }
      const double sLevel = (k + 0.5) * step;
      n += 1;
      ss += sLevel;
      sm += mid;
      sss += sLevel * sLevel;
      ssm += sLevel * mid;
      if (k * step >= 0.3 * typical && (free[k] || clippedAll)) kept[kc++] = w;
    }
    if (n < 3) return false;
    const double den = n * sss - ss * ss;
    const double slope = den > 1e-9 ? (n * ssm - ss * sm) / den : 0;
    const double offset = (sm - slope * ss) / n;
    if (kc > 0) {
      std::nth_element(kept, kept + kc * 3 / 4, kept + kc);
      width = kept[kc * 3 / 4];
    } else {
      width = typical;
    }
    // Move onto the midline and turn along it.
    px = tipX + offset * nx - 1.0 * vx;
    py = tipY + offset * ny - 1.0 * vy;
    tilt = phi + Clamp(tilt - std::atan(slope) - phi, -maxBend, maxBend);
    if (!OnPiece(ctx, c.label, px, py)) {
      px = tipX - 1.0 * vx;
      py = tipY - 1.0 * vy;
    }
  }
  // Final tip along the final axis.
  const double vx = std::sin(tilt), vy = -std::cos(tilt);
  double t = 0;
  while (t < 40 * perMm && (OnPiece(ctx, c.label, px + (t + 0.5) * vx, py + (t + 0.5) * vy) ||
                            OnPiece(ctx, c.label, px + (t + 1.0) * vx, py + (t + 1.0) * vy))) {
    t += 0.5;
  }
  out->tipX = px + t * vx;
  out->tipY = py + t * vy;
  out->tilt = tilt;
  out->width = width;
  return true;
}

constexpr int32_t kMaxProfile = 4096;

// The top segment of a candidate: its axis from the blocks near the tip, the
// tip and the first crease from the ridge energy along that axis, the width
// from the ridge area across it.
bool RefineCandidate(const Context& ctx, const Candidate& c, double maxBend,
                     const LengthPrior& prior, TipBox* box) {
  const double b = ctx.map.blockSize;
  const double pxPerMm = ctx.work.ppi / 25.4;
  FingerAxis axis;
  // Where the lower segments are lost, the top one alone.
  if (!TraceFinger(ctx, c, 2.2, maxBend, &axis) && !TraceFinger(ctx, c, 1.5, maxBend, &axis)) {
    return false;
  }
  const double tilt = axis.tilt;
  double width = axis.width * b;
  const double tMid = 0;
  const double sTop = 0;
  // Axis frame in working pixels, origin at the tip.
  const double ox = axis.tipX * b, oy = axis.tipY * b;
  const double vx = std::sin(tilt), vy = -std::cos(tilt);  // up the finger
  const double nx = std::cos(tilt), ny = std::sin(tilt);   // across, to the right

  // Ridge energy along the axis over the middle of the finger.
  const double sHi = sTop + 4 * pxPerMm;
  const int32_t len = std::min(kMaxProfile, static_cast<int32_t>(50 * pxPerMm));
  double energy[kMaxProfile], cover[kMaxProfile], es[kMaxProfile], cs[kMaxProfile];
  const double half = 0.3 * width;
  const int32_t lateral = std::max(3, static_cast<int32_t>(2 * half / 2));
  for (int32_t i = 0; i < len; ++i) {
    const double s = sHi - i;
    double e = 0, cv = 0;
    for (int32_t j = 0; j <= lateral; ++j) {
      const double t = tMid - half + 2 * half * j / lateral;
      const double x = ox + s * vx + t * nx, y = oy + s * vy + t * ny;
      const float sc = ScoreAt(ctx, x, y);
      const float v = BandPassAt(ctx, x, y);
      e += sc > 0.25f ? v * v : 0;
      cv += sc;
    }
    energy[i] = e / (lateral + 1);
    cover[i] = cv / (lateral + 1);
  }
  const int32_t r1 = std::max(1, static_cast<int32_t>(0.4 * pxPerMm));
  Smooth(energy, len, r1, es);
  Smooth(cover, len, r1, cs);
  // Reference level over the upper part of the segment.
  double ref = 0;
  {
    const int32_t i0 = static_cast<int32_t>(6 * pxPerMm), i1 = static_cast<int32_t>(16 * pxPerMm);
    double tmp[kMaxProfile];
    int32_t m = 0;
    for (int32_t i = std::max(0, i0); i < std::min(len, i1); ++i) tmp[m++] = es[i];
    if (m == 0) return false;
    std::nth_element(tmp, tmp + m * 3 / 4, tmp + m);
    ref = tmp[m * 3 / 4];
  }
  if (ref <= 0) return false;
  int32_t tip = 0;
  while (tip < len && es[tip] < 0.25 * ref) ++tip;
  if (tip >= len) return false;
  // First crease: a dip below the level just above it, near the expected
  // segment length.
  const double expected = prior.length > 0 ? prior.length : 1.5 * width;
  const int32_t above0 = static_cast<int32_t>(1.5 * pxPerMm),
                above1 = static_cast<int32_t>(6 * pxPerMm);
  int32_t bestI = -1;
  double bestScore = -1e300;
  const int32_t below0 = above0, below1 = static_cast<int32_t>(5 * pxPerMm);
  const double margin = 1.0 * pxPerMm;
  // The window follows the width, or the length expected from the other
  // fingers where the width was misjudged.
  double first = 0.7 * width, last = 2.3 * width;
  if (prior.length > 0) {
    first = std::min(first, 0.6 * prior.length);
    last = std::max(last, 1.6 * prior.length);
  }
  for (int32_t i = tip + static_cast<int32_t>(first);
       i < std::min(len, tip + static_cast<int32_t>(last)); ++i) {
    // Past the image border the print is unknown, not ended.
    const double s = sHi - i;
    const double x = ox + s * vx + tMid * nx, y = oy + s * vy + tMid * ny;
    if (x < margin || y < margin || x > ctx.work.columns - margin || y > ctx.work.rows - margin) {
      continue;
    }
    double up = 0, down = 0;
    int32_t m = 0, md = 0;
    for (int32_t j = i - above1; j <= i - above0; ++j) {
      if (j < tip) continue;
      up += es[j];
      ++m;
    }
    for (int32_t j = i + below0; j <= std::min(len - 1, i + below1); ++j) {
      down += es[j];
      ++md;
    }
    if (m == 0) continue;
    up /= m;
    down = md > 0 ? down / md : 0;
    const double scale = std::max(up, 0.3 * ref);
    const double depth = (up - es[i]) / scale;
    // A crease has ridges again below it; the end of the print has not,
    // which makes it the weaker sign.
    const double twoSided = Clamp(down / scale, 0.0, 1.0);
    const double length = i - tip;
    const double score =
        depth * (0.7 + 0.3 * twoSided) - prior.weight * std::fabs(std::log(length / expected));
    if (score > bestScore) {
      bestScore = score;
      bestI = i;
    }
  }
  if (bestI < 0) bestI = std::min(len - 1, tip + static_cast<int32_t>(expected));
  const double sTip = sHi - tip, sCrease = sHi - bestI;
  (void)cs;
  const double sMid = 0.5 * (sTip + sCrease);
  box->cx = ox + sMid * vx + tMid * nx;
  box->cy = oy + sMid * vy + tMid * ny;
  box->width = width;
  box->height = sTip - sCrease;
  box->tilt = tilt;
  box->across = ctx.frame.Across(box->cx, box->cy);
  box->height_along = ctx.frame.Height(ox + sTip * vx, oy + sTip * vy);
  box->confidence = Clamp(c.meanScore, 0.0, 1.0);
  return true;
}

// Whether a corner of the box lies within a millimetre of the image's edge.
bool AtBorder(const Context& ctx, const TipBox& t) {
  const double margin = ctx.work.ppi / 25.4;
  const double vx = std::sin(t.tilt), vy = -std::cos(t.tilt);
  const double nx = std::cos(t.tilt), ny = std::sin(t.tilt);
  for (int32_t corner = 0; corner < 4; ++corner) {
    const double a = (corner & 1 ? 0.5 : -0.5) * t.width, u = (corner & 2 ? 0.5 : -0.5) * t.height;
    const double x = t.cx + a * nx + u * vx, y = t.cy + a * ny + u * vy;
    if (x < margin || y < margin || x > ctx.work.columns - 1 - margin ||
        y > ctx.work.rows - 1 - margin) {
      return true;
    }
  }
  return false;
}

// Sum of the prominences (each at most `cap`) of the `peaks` most prominent
// points of the top outlines of the pieces, each piece on its own, seen in
// `frame`. A convex piece has one peak whatever the angle; fingers joined
// lower down show one peak each, parted by notches that are deepest when the
// frame runs along them. `pieceOf` maps labels to pieces (-1: ignored); `sky`
// holds pieces x bins values.
double OutlineScore(const int32_t* labels, const int32_t* pieceOf, int32_t pieces, int32_t rows,
                    int32_t columns, const Frame& frame, int32_t bins, double origin, int32_t peaks,
                    double notch, double cap, double* sky) {
  constexpr double kEmpty = -1e300;
  for (int32_t i = 0; i < pieces * bins; ++i) sky[i] = kEmpty;
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      const int32_t piece = pieceOf[labels[static_cast<std::size_t>(y) * columns + x]];
      if (piece < 0) continue;
      const int32_t bin =
          std::clamp(static_cast<int32_t>(frame.Across(x, y) - origin), 0, bins - 1);
      double& top = sky[static_cast<std::size_t>(piece) * bins + bin];
      top = std::max(top, frame.Height(x, y));
    }
  }
  double best[kMaxSlapFingers] = {0, 0, 0, 0, 0};
  const int32_t n = std::min<int32_t>(peaks, kMaxSlapFingers);
  for (int32_t p = 0; p < pieces; ++p) {
    const double* line = sky + static_cast<std::size_t>(p) * bins;
    int32_t lo = 0, hi = bins - 1;
    while (lo < bins && line[lo] == kEmpty) ++lo;
    while (hi >= lo && line[hi] == kEmpty) --hi;
    for (int32_t i = lo; i <= hi; ++i) {
      if (line[i] == kEmpty) continue;
      // Plateaus count once, at their left end.
      int32_t prev = i - 1;
      while (prev >= lo && line[prev] == kEmpty) --prev;
      int32_t next = i + 1;
      while (next <= hi && line[next] == kEmpty) ++next;
      if ((prev >= lo && line[prev] >= line[i]) || (next <= hi && line[next] > line[i])) continue;
      double baseLeft = line[i], baseRight = line[i];
      bool higherLeft = false, higherRight = false;
      for (int32_t j = i - 1; j >= lo; --j) {
        if (line[j] == kEmpty) continue;
        if (line[j] > line[i]) {
          higherLeft = true;
          break;
        }
        baseLeft = std::min(baseLeft, line[j]);
      }
      for (int32_t j = i + 1; j <= hi; ++j) {
        if (line[j] == kEmpty) continue;
        if (line[j] > line[i]) {
          higherRight = true;
          break;
        }
        baseRight = std::min(baseRight, line[j]);
      }
      double prominence = cap;
      if (higherLeft) prominence = std::min(prominence, line[i] - baseLeft);
      if (higherRight) prominence = std::min(prominence, line[i] - baseRight);
      if (prominence < notch) continue;
      for (int32_t k = 0; k < n; ++k) {
        if (prominence > best[k]) {
          for (int32_t m = n - 1; m > k; --m) best[m] = best[m - 1];
          best[k] = prominence;
          break;
        }
      }
    }
  }
  double sum = 0;
  for (int32_t k = 0; k < n; ++k) sum += best[k];
  return sum;
}

// Candidates seen in the hand's direction phi: peaks of each piece's outline,
// lower segments under a higher tip dropped, the strongest kept and measured.
// *strength sums the kept candidates' weights; *bend is how far their axes, traced
// freely, turned from phi (see Bend).
int32_t SearchAtAngle(const WorkingImage& work, const BlockMap& map, const int32_t* labels,
                      const Component* comps, int32_t compCount, const Geometry& g, double phi,
                      int32_t maxFingers, TipBox* tips, int32_t* count, double* strength,
                      double* bend) {
  *count = 0;
  *strength = 0;
  *bend = 0;
  const int32_t rows = map.rows, columns = map.columns;
  const Frame frame(phi);

  // Skyline per component: the highest block in each band across the hand.
  const double diag = std::hypot(rows, columns);
  const int32_t bins = std::min(kMaxBins, static_cast<int32_t>(2 * diag) + 4);
  const double acrossOrigin = -diag - 1;
  Candidate cands[kMaxCandidates];
  int32_t candCount = 0;
  Buffer<double> sky;
  Buffer<double> smooth;
  if (!sky.Reset(bins) || !smooth.Reset(bins)) return VANTREL_OUT_OF_MEMORY;
  const double notch = 3.0 * g.blocksPerMm;
  for (int32_t ci = 0; ci < compCount && candCount < kMaxCandidates; ++ci) {
    const int32_t label = comps[ci].label;
    for (int32_t i = 0; i < bins; ++i) sky[i] = -1e300;
    int32_t lo = bins, hi = -1;
    for (int32_t y = 0; y < rows; ++y) {
      for (int32_t x = 0; x < columns; ++x) {
        if (labels[static_cast<std::size_t>(y) * columns + x] != label) continue;
        const double a = frame.Across(x, y) - acrossOrigin;
        const int32_t bin = std::clamp(static_cast<int32_t>(a), 0, bins - 1);
        sky[bin] = std::max(sky[bin], frame.Height(x, y));
        lo = std::min(lo, bin);
        hi = std::max(hi, bin);
      }
    }
    // Bridge empty bins and smooth over three.
    double last = -1e300;
    for (int32_t i = lo; i <= hi; ++i) {
      if (sky[i] < -1e299) sky[i] = last;
      last = sky[i];
    }
    for (int32_t i = lo; i <= hi; ++i) {
      const double a = sky[std::max(lo, i - 1)], b = sky[i], c = sky[std::min(hi, i + 1)];
      smooth[i] = (a + 2 * b + c) * 0.25;
    }
    // Peaks, highest first; a lower peak counts only when the skyline dips
    // by `notch` between it and every peak already taken.
    int32_t peaks[kMaxCandidates];
    int32_t peakCount = 0;
    for (int32_t guard = 0; guard < kMaxCandidates; ++guard) {
      int32_t best = -1;
      for (int32_t i = lo; i <= hi; ++i) {
        const bool isMax =
            (i == lo || smooth[i - 1] < smooth[i]) && (i == hi || smooth[i + 1] <= smooth[i]);
        if (!isMax) continue;
        bool taken = false, separated = true;
        for (int32_t p = 0; p < peakCount; ++p) {
          if (peaks[p] == i) taken = true;
          const int32_t a = std::min(i, peaks[p]), b = std::max(i, peaks[p]);
          double lowest = smooth[a];
          for (int32_t j = a; j <= b; ++j) lowest = std::min(lowest, smooth[j]);
          if (smooth[i] - lowest < notch) separated = false;
        }
        if (taken || !separated) continue;
        if (best < 0 || smooth[i] > smooth[best]) best = i;
      }
      if (best < 0) break;
      peaks[peakCount++] = best;
    }
    std::sort(peaks, peaks + peakCount);
    for (int32_t p = 0; p < peakCount && candCount < kMaxCandidates; ++p) {
      int32_t bandLo = lo, bandHi = hi;
      if (p > 0) {
        bandLo = peaks[p - 1];
        for (int32_t j = peaks[p - 1]; j <= peaks[p]; ++j) {
          if (smooth[j] < smooth[bandLo]) bandLo = j;
        }
      }
      if (p + 1 < peakCount) {
        bandHi = peaks[p];
        for (int32_t j = peaks[p]; j <= peaks[p + 1]; ++j) {
          if (smooth[j] < smooth[bandHi]) bandHi = j;
        }
      }
      Candidate& c = cands[candCount++];
      c.label = label;
      c.tipHeight = smooth[peaks[p]];
      c.acrossLow = bandLo + acrossOrigin;
      c.acrossHigh = bandHi + 1 + acrossOrigin;
      c.acrossPeak = peaks[p] + 0.5 + acrossOrigin;
      c.area = 0;
      c.meanScore = 0;
      c.weight = 0;
      c.dropped = false;
    }
  }
  if (candCount == 0) return VANTREL_OK;

  const Context ctx{work, map, labels, g, frame};
  for (int32_t i = 0; i < candCount; ++i) MeasureCandidate(ctx, &cands[i]);

  // A piece standing below a higher fingertip in the same band is a lower
  // segment (or the palm) of that finger.
  const double segmentDrop = 8.0 * g.blocksPerMm;
  const double peakMargin = 3.0 * g.blocksPerMm;
  for (int32_t i = 0; i < candCount; ++i) {
    Candidate& x = cands[i];
    if (x.weight <= 0) x.dropped = true;
    for (int32_t j = 0; j < candCount && !x.dropped; ++j) {
      const Candidate& y = cands[j];
      if (i == j || y.weight <= 0) continue;
      const double overlap =
          std::min(x.acrossHigh, y.acrossHigh) - std::max(x.acrossLow, y.acrossLow);
      const double narrower = std::min(x.acrossHigh - x.acrossLow, y.acrossHigh - y.acrossLow);
      // The higher tip stands over the piece and the piece's own top under
      // the higher finger: a band spanning two fingers does not make the
      // neighbour's separate top segment a lower one, either way round.
      const bool over =
          y.acrossPeak >= x.acrossLow - peakMargin && y.acrossPeak <= x.acrossHigh + peakMargin &&
          x.acrossPeak >= y.acrossLow - peakMargin && x.acrossPeak <= y.acrossHigh + peakMargin;
      if (overlap > 0.5 * narrower && over && x.tipHeight < y.tipHeight - segmentDrop) {
        x.dropped = true;
      }
    }
  }
  // The strongest remaining pieces, as many as sought; pieces far weaker than
  // the typical finger (a scrap of print, a neighbouring card box) go.
  int32_t order[kMaxCandidates];
  int32_t kept = 0;
  for (int32_t i = 0; i < candCount; ++i) {
    if (!cands[i].dropped) order[kept++] = i;
  }
  std::stable_sort(order, order + kept,
                   [&](int32_t a, int32_t b) { return cands[a].weight > cands[b].weight; });
  kept = std::min(kept, maxFingers);
  if (kept == 0) return VANTREL_OK;
  const double typical = cands[order[(kept - 1) / 2]].weight;
  int32_t taken = 0;
  int32_t source[kMaxSlapFingers];
  bool held[kMaxSlapFingers] = {false, false, false, false, false};
  for (int32_t i = 0; i < kept; ++i) {
    if (cands[order[i]].weight < 0.25 * typical) continue;
    TipBox box;
    if (RefineCandidate(ctx, cands[order[i]], kMaxBend, LengthPrior(), &box)) {
      source[taken] = order[i];
      tips[taken++] = box;
      *strength += cands[order[i]].weight;
    }
  }
  // Fingers of one hand lean within a few degrees of each other; one that
  // turned far from the others was led off by damage at its edge (a punched
  // hole, a blot) and is traced again held near the search direction.
  *bend = Bend(tips, taken, phi);
  if (taken >= 3) {
    const double median = MedianTilt(tips, taken);
    for (int32_t i = 0; i < taken; ++i) {
      if (std::fabs(tips[i].tilt - median) <= kOddLean) continue;
      TipBox box;
      if (RefineCandidate(ctx, cands[source[i]], kHeldBend, LengthPrior(), &box)) {
        tips[i] = box;
        held[i] = true;
      }
    }
  }
  // Two fingers (thumbs) are too few to tell which leans oddly; for lengths
  // and widths the larger of the two stands as the reference.
  if (taken >= 2) {
    // The top segments of one hand differ little in length; a crease taken
    // far from the others' (a dip at a core or a blot above it, a faint one
    // passed over) is looked for again near their median length.
    double lengths[kMaxSlapFingers];
    for (int32_t i = 0; i < taken; ++i) lengths[i] = tips[i].height;
    std::nth_element(lengths, lengths + taken / 2, lengths + taken);
    const double typicalLength = lengths[taken / 2];
    // A finger far narrower than the others had its crease looked for in a
    // window too short, whatever length it found.
    double widths[kMaxSlapFingers];
    for (int32_t i = 0; i < taken; ++i) widths[i] = tips[i].width;
    std::nth_element(widths, widths + taken / 2, widths + taken);
    const double typicalWidth = widths[taken / 2];
    for (int32_t i = 0; i < taken; ++i) {
      if (std::fabs(std::log(tips[i].height / typicalLength)) <= kOddLength &&
          tips[i].width >= kNarrow * typicalWidth) {
        continue;
      }
      LengthPrior prior;
      prior.length = typicalLength;
      prior.weight = 2.0;
      TipBox box;
      if (RefineCandidate(ctx, cands[source[i]], held[i] ? kHeldBend : kMaxBend, prior, &box)) {
        tips[i] = box;
      }
    }
    // A fingertip cut by the image's edge with less than half its width
    // inside is not counted: most of it lies off the image.
    int32_t inside = 0;
    for (int32_t i = 0; i < taken; ++i) {
      if (tips[i].width < kCutOff * typicalWidth && AtBorder(ctx, tips[i])) continue;
      tips[inside++] = tips[i];
    }
    taken = inside;
    // Widths too: one far narrower than the others' was eaten into at an
    // edge (a hole, a blot, a faint side) and takes theirs.
    for (int32_t i = 0; i < taken; ++i) {
      if (tips[i].width < kNarrow * typicalWidth) tips[i].width = kNarrowed * typicalWidth;
    }
  }
  // Left to right across the hand.
  std::stable_sort(tips, tips + taken,
                   [](const TipBox& a, const TipBox& b) { return a.across < b.across; });
  for (int32_t i = 0; i < taken; ++i) tips[i].slot = i;
  *count = taken;
  return VANTREL_OK;
}

}  // namespace

int32_t FindFingertips(const WorkingImage& work, const BlockMap& map, int32_t maxFingers,
                       TipBox* tips, int32_t* count, double* handAngle) {
  *count = 0;
  *handAngle = 0;
  const int32_t rows = map.rows, columns = map.columns;
  const std::size_t nb = static_cast<std::size_t>(rows) * columns;
  Geometry g;
  g.mmPerBlock = map.blockSize * 25.4 / work.ppi;
  g.blocksPerMm = 1.0 / g.mmPerBlock;
  const double mm2 = g.blocksPerMm * g.blocksPerMm;  // blocks per square millimetre

  Buffer<uint8_t> mask;
  Buffer<int32_t> labels, stack;
  if (!mask.Reset(nb) || !labels.Reset(nb) || !stack.Reset(nb)) return VANTREL_OUT_OF_MEMORY;
  CleanMask(map.mask.get(), rows, columns, mask.get());
  FillHoles(mask.get(), rows, columns, static_cast<int32_t>(60 * mm2), labels.get(), stack.get());
  const int32_t labelCount = Label(mask.get(), rows, columns, labels.get(), stack.get());

  // Component moments.
  Buffer<double> m;  // per label: n, sx, sy, sxx, syy, sxy
  if (!m.Reset(static_cast<std::size_t>(labelCount + 1) * 6)) return VANTREL_OUT_OF_MEMORY;
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      const int32_t l = labels[static_cast<std::size_t>(y) * columns + x];
      if (l == 0) continue;
      double* s = &m[static_cast<std::size_t>(l) * 6];
      s[0] += 1;
      s[1] += x;
      s[2] += y;
      s[3] += static_cast<double>(x) * x;
      s[4] += static_cast<double>(y) * y;
      s[5] += static_cast<double>(x) * y;
    }
  }
  const double minArea = 40 * mm2;
  Component comps[64];
  int32_t compCount = 0;
  for (int32_t l = 1; l <= labelCount && compCount < 64; ++l) {
    const double* s = &m[static_cast<std::size_t>(l) * 6];
    if (s[0] < minArea) continue;
    Component c;
    c.label = l;
    c.area = static_cast<int32_t>(s[0]);
    c.sx = s[1] / s[0];
    c.sy = s[2] / s[0];
    const double cxx = s[3] / s[0] - c.sx * c.sx;
    const double cyy = s[4] / s[0] - c.sy * c.sy;
    const double cxy = s[5] / s[0] - c.sx * c.sy;
    // Major axis direction (dx, dy); flip so that it points up the image.
    const double theta = 0.5 * std::atan2(2 * cxy, cxx - cyy);
    double dx = std::cos(theta), dy = std::sin(theta);
    if (dy > 0) {
      dx = -dx;
      dy = -dy;
    }
    c.tilt = std::atan2(dx, -dy);
    const double common = std::sqrt((cxx - cyy) * (cxx - cyy) + 4 * cxy * cxy);
    const double l1 = 0.5 * (cxx + cyy + common), l2 = 0.5 * (cxx + cyy - common);
    c.elongation = l2 > 1e-9 ? std::sqrt(l1 / l2) : 10.0;
    comps[compCount++] = c;
  }
  if (compCount == 0) return VANTREL_OK;

  // The hand's direction: elongated pieces standing up to 60 degrees from
  // upright, weighted by size.
  double sumW = 0, sumT = 0;
  for (int32_t i = 0; i < compCount; ++i) {
    const Component& c = comps[i];
    if (std::fabs(c.tilt) > 60 * kPi / 180) continue;
    const double w = c.area * std::min(1.5, std::max(0.0, c.elongation - 1.15));
    sumW += w;
    sumT += w * c.tilt;
  }
  const double pieceAngle = sumW > 0 ? sumT / sumW : 0.0;
  double totalArea = 0;
  for (int32_t i = 0; i < compCount; ++i) totalArea += comps[i].area;
  const double pieceTrust = totalArea > 0 ? std::min(1.0, sumW / totalArea) : 0.0;
  // Seen along the fingers, the top outline of the hand rises to every
  // fingertip and drops deep between them; across them the notches flatten.
  // The angle whose outline has the most prominent tips wins; where pieces
  // stand apart and every angle does as well, their own axes decide.
  Buffer<int32_t> pieceOf;
  if (!pieceOf.Reset(static_cast<std::size_t>(labelCount) + 1)) return VANTREL_OUT_OF_MEMORY;
  for (int32_t l = 0; l <= labelCount; ++l) pieceOf[l] = -1;
  for (int32_t i = 0; i < compCount; ++i) pieceOf[comps[i].label] = i;
  const double diagonal = std::hypot(rows, columns);
  const int32_t skyBins = std::min(kMaxBins, static_cast<int32_t>(2 * diagonal) + 4);
  Buffer<double> outline;
  if (!outline.Reset(static_cast<std::size_t>(skyBins) * compCount)) return VANTREL_OUT_OF_MEMORY;
  constexpr int32_t kAngles = 45;
  double angleScore[kAngles];
  double bestScore = -1e300;
  for (int32_t a = 0; a < kAngles; ++a) {
    const double phiTry = (-55.0 + 2.5 * a) * kPi / 180;
    angleScore[a] = OutlineScore(labels.get(), pieceOf.get(), compCount, rows, columns,
                                 Frame(phiTry), skyBins, -diagonal - 1, maxFingers,
                                 3.0 * g.blocksPerMm, 12.0 * g.blocksPerMm, outline.get());
    // Elongated pieces vouch for their own direction; a slant away from it
    // has to earn its extra peaks.
    angleScore[a] -=
        0.5 * 12.0 * g.blocksPerMm * pieceTrust * std::fabs(phiTry - pieceAngle) / (10 * kPi / 180);
    bestScore = std::max(bestScore, angleScore[a]);
  }
  double phi = pieceAngle;
  double closest = 1e300;
  for (int32_t a = 0; a < kAngles; ++a) {
    const double phiTry = (-55.0 + 2.5 * a) * kPi / 180;
    if (angleScore[a] >= bestScore - 0.03 * std::fabs(bestScore) &&
        std::fabs(phiTry - pieceAngle) < closest) {
      closest = std::fabs(phiTry - pieceAngle);
      phi = phiTry;
    }
  }
  // The fingers' own axes correct the hand's direction when the outline
  // misjudged it (fingers of very different heights, or touching ones, make
  // peaks of their own at a slant): fingers traced at the right angle keep
  // about its direction, at a wrong one they bend away from it. The search
  // follows the fingers' median axis, then tries the pieces' direction and
  // upright, and keeps the most fingers, then the most self-consistent.
  double strength = 0;
  double bend = 0;
  int32_t status = SearchAtAngle(work, map, labels.get(), comps, compCount, g, phi, maxFingers,
                                 tips, count, &strength, &bend);
  if (status != VANTREL_OK) return status;
  double tried[6] = {phi};
  int32_t triedCount = 1;
  auto attempt = [&](double phiTry, bool follow) -> int32_t {
    for (int32_t i = 0; i < triedCount; ++i) {
      if (std::fabs(tried[i] - phiTry) < 2 * kPi / 180) return VANTREL_OK;
    }
    if (triedCount >= 6) return VANTREL_OK;
    tried[triedCount++] = phiTry;
    TipBox other[kMaxSlapFingers];
    int32_t otherCount = 0;
    double otherStrength = 0, otherBend = 0;
    const int32_t st = SearchAtAngle(work, map, labels.get(), comps, compCount, g, phiTry,
                                     maxFingers, other, &otherCount, &otherStrength, &otherBend);
    if (st != VANTREL_OK) return st;
    const bool better =
        otherCount > *count ||
        (otherCount == *count &&
         (otherBend < bend - 2 * kPi / 180 ||
          (follow && otherBend <= bend + 2 * kPi / 180 && otherStrength >= strength)));
    if (better) {
      for (int32_t i = 0; i < otherCount; ++i) tips[i] = other[i];
      *count = otherCount;
      strength = otherStrength;
      bend = otherBend;
      phi = phiTry;
    }
    return VANTREL_OK;
  };
  for (int32_t round = 0; round < 2 && *count >= 1; ++round) {
    const double phi2 = MedianTilt(tips, *count);
    if (std::fabs(phi2 - phi) <= (*count < maxFingers ? 1 : 5) * kPi / 180) break;
    status = attempt(phi2, true);
    if (status != VANTREL_OK) return status;
  }
  if (*count < maxFingers || bend > 8 * kPi / 180) {
    status = attempt(pieceAngle, false);
    if (status == VANTREL_OK) status = attempt(0.0, false);
    if (status != VANTREL_OK) return status;
    if (*count >= 1) {
      status = attempt(MedianTilt(tips, *count), true);
      if (status != VANTREL_OK) return status;
    }
  }
  *handAngle = phi;
  return VANTREL_OK;
}

}  // namespace slap
}  // namespace vtl
