// The finger mask of the block map cut into connected pieces, with each
// piece's size, centre and principal axis.
#include <algorithm>
#include <cmath>

#include "slap/search_context.h"

namespace vtl {
namespace slap {
namespace {

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

// Breadth-first over the 4-connected background from `start`, labelled
// `label`; the visited blocks stay in stack[0, *visited). True when the pocket
// touches the image's border.
bool FloodBackground(const uint8_t* mask, int32_t rows, int32_t columns, int32_t start,
                     int32_t label, int32_t* labels, int32_t* stack, int32_t* visited) {
  bool border = false;
  int32_t head = 0, top = 1;
  stack[0] = start;
  labels[start] = label;
  while (head < top) {
    const int32_t k = stack[head++];
    const int32_t y = k / columns, x = k % columns;
    if (y == 0 || x == 0 || y == rows - 1 || x == columns - 1) border = true;
    const int32_t nbY[4] = {y - 1, y + 1, y, y};
    const int32_t nbX[4] = {x, x, x - 1, x + 1};
    for (int32_t i = 0; i < 4; ++i) {
      if (nbY[i] < 0 || nbY[i] >= rows || nbX[i] < 0 || nbX[i] >= columns) continue;
      const int32_t j = nbY[i] * columns + nbX[i];
      if (!mask[j] && !labels[j]) {
        labels[j] = label;
        stack[top++] = j;
      }
    }
  }
  *visited = top;
  return border;
}

// Fills background pockets enclosed by one component (a punched hole, a
// patch without ink) that are smaller than maxArea blocks.
void FillHoles(uint8_t* mask, int32_t rows, int32_t columns, int32_t maxArea, int32_t* labels,
               int32_t* stack) {
  const std::size_t n = static_cast<std::size_t>(rows) * columns;
  for (std::size_t k = 0; k < n; ++k) labels[k] = 0;
  int32_t next = 0;
  for (std::size_t start = 0; start < n; ++start) {
    if (mask[start] || labels[start]) continue;
    int32_t area = 0;
    const bool border = FloodBackground(mask, rows, columns, static_cast<int32_t>(start), ++next,
                                        labels, stack, &area);
    if (!border && area <= maxArea) {
      for (int32_t i = 0; i < area; ++i) mask[stack[i]] = 1;
    }
  }
}

// Whether the 3 x 3 square centred on (cx, cy) lies wholly on `label`.
bool SquareOn(const int32_t* labels, int32_t rows, int32_t columns, int32_t cx, int32_t cy,
              int32_t label) {
  if (cx < 1 || cy < 1 || cx >= columns - 1 || cy >= rows - 1) return false;
  for (int32_t y = cy - 1; y <= cy + 1; ++y) {
    for (int32_t x = cx - 1; x <= cx + 1; ++x) {
      if (labels[static_cast<std::size_t>(y) * columns + x] != label) return false;
    }
  }
  return true;
}

// Pieces' blocks that lie in a 3 x 3 square of their own piece: the squares'
// centres first (into `core`), then every block of a square about one.
void MarkThick(const int32_t* labels, int32_t rows, int32_t columns, int32_t* core,
               uint8_t* thick) {
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      const std::size_t k = static_cast<std::size_t>(y) * columns + x;
      core[k] = labels[k] != 0 && SquareOn(labels, rows, columns, x, y, labels[k]) ? 1 : 0;
    }
  }
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      const std::size_t k = static_cast<std::size_t>(y) * columns + x;
      bool in = false;
      for (int32_t yy = std::max(0, y - 1); yy <= std::min(rows - 1, y + 1) && !in; ++yy) {
        for (int32_t xx = std::max(0, x - 1); xx <= std::min(columns - 1, x + 1) && !in; ++xx) {
          const std::size_t j = static_cast<std::size_t>(yy) * columns + xx;
          in = core[j] && labels[j] == labels[k];
        }
      }
      thick[k] = in ? 1 : 0;
    }
  }
}

// The blocks that may shape an outline: thick ones in bodies of at least
// minArea of them, thin strokes parting the bodies. `bodies` and `stack`
// are working space of a block each.
int32_t MarkOutline(const int32_t* labels, int32_t rows, int32_t columns, int32_t minArea,
                    int32_t* bodies, int32_t* stack, uint8_t* outline) {
  const std::size_t n = static_cast<std::size_t>(rows) * columns;
  MarkThick(labels, rows, columns, bodies, outline);
  const int32_t count = Label(outline, rows, columns, bodies, stack);
  Buffer<int32_t> area;
  if (!area.Reset(static_cast<std::size_t>(count) + 1)) return VANTREL_OUT_OF_MEMORY;
  for (std::size_t k = 0; k < n; ++k) ++area[bodies[k]];
  for (std::size_t k = 0; k < n; ++k) {
    if (outline[k] && area[bodies[k]] < minArea) outline[k] = 0;
  }
  return VANTREL_OK;
}

// A piece from its moments n, sx, sy, sxx, syy, sxy.
Component FromMoments(int32_t label, const double* s) {
  Component c;
  c.label = label;
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
  return c;
}

// Pieces of at least minArea blocks from the labels' moments.
int32_t MeasurePieces(int32_t rows, int32_t columns, double minArea, Pieces* pieces) {
  Buffer<double> m;  // per label: n, sx, sy, sxx, syy, sxy
  if (!m.Reset(static_cast<std::size_t>(pieces->labelCount + 1) * 6)) {
    return VANTREL_OUT_OF_MEMORY;
  }
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      const int32_t l = pieces->labels[static_cast<std::size_t>(y) * columns + x];
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
  pieces->count = 0;
  for (int32_t l = 1; l <= pieces->labelCount && pieces->count < kMaxPieces; ++l) {
    const double* s = &m[static_cast<std::size_t>(l) * 6];
    if (s[0] < minArea) continue;
    pieces->comps[pieces->count++] = FromMoments(l, s);
  }
  return VANTREL_OK;
}

}  // namespace

int32_t FindPieces(const BlockMap& map, const Geometry& g, Pieces* pieces) {
  const int32_t rows = map.rows, columns = map.columns;
  const std::size_t nb = static_cast<std::size_t>(rows) * columns;
  const double mm2 = g.blocksPerMm * g.blocksPerMm;  // blocks per square millimetre
  Buffer<uint8_t> mask;
  Buffer<int32_t> stack;
  Buffer<int32_t> bodies;
  if (!mask.Reset(nb) || !pieces->labels.Reset(nb) || !pieces->outline.Reset(nb) ||
      !stack.Reset(nb) || !bodies.Reset(nb)) {
    return VANTREL_OUT_OF_MEMORY;
  }
  int32_t* labels = pieces->labels.get();
  CleanMask(map.mask.get(), rows, columns, mask.get());
  FillHoles(mask.get(), rows, columns, static_cast<int32_t>(kHoleAreaMm2 * mm2), labels,
            stack.get());
  pieces->labelCount = Label(mask.get(), rows, columns, labels, stack.get());
  const int32_t status =
      MarkOutline(labels, rows, columns, static_cast<int32_t>(kPieceAreaMm2 * mm2), bodies.get(),
                  stack.get(), pieces->outline.get());
  if (status != VANTREL_OK) return status;
  const int32_t measured = MeasurePieces(rows, columns, kPieceAreaMm2 * mm2, pieces);
  pieces->found = measured == VANTREL_OK;
  return measured;
}

}  // namespace slap
}  // namespace vtl
