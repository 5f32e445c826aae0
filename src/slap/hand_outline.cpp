// The hand's direction from the top outline of the finger pieces: seen along
// the fingers it rises to every fingertip and drops deep between them;
// across them the notches flatten.
#include <algorithm>
#include <cmath>

#include "slap/search_context.h"

namespace vtl {
namespace slap {
namespace {

constexpr double kEmpty = -1e300;

// Prominence of the outline point i over the lowest point before a higher
// one on either side; cap when it is the highest.
double Prominence(const double* line, int32_t lo, int32_t hi, int32_t i, double cap) {
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
  return prominence;
}

// Keeps the n largest values seen in best[0, n), largest first.
void KeepLargest(double value, int32_t n, double* best) {
  for (int32_t k = 0; k < n; ++k) {
    if (value > best[k]) {
      for (int32_t m = n - 1; m > k; --m) best[m] = best[m - 1];
      best[k] = value;
      return;
    }
  }
}

// The local maxima of one piece's outline with at least `notch` prominence
// offered to KeepLargest.
void OfferPeaks(const double* line, int32_t bins, double notch, double cap, int32_t n,
                double* best) {
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
    const double prominence = Prominence(line, lo, hi, i, cap);
    if (prominence < notch) continue;
    KeepLargest(prominence, n, best);
  }
}

// Whether block (x, y) has its own label on both sides and on the three
// blocks above. At any slant within 90 degrees of upright, one of those five
// lies in the same bin across and stands strictly higher: across, the block
// above is -sin away, the one above on the leaning side cos - sin, the one
// on that side cos, and together they cover the whole bin. Such a block never
// tops an outline (the highest of each bin always stays) and is left out.
// The overlaps, 1 - cos of the smallest slant off upright (2.5 degrees),
// dwarf rounding; upright, the block above lies in the same bin exactly.
static_assert(kFirstSlantDeg > -90 && kFirstSlantDeg + kSlantStepDeg * (kSlants - 1) < 90,
              "Covered holds within 90 degrees of upright");
bool Covered(const int32_t* labels, int32_t rows, int32_t columns, int32_t x, int32_t y) {
  if (y < 1 || x < 1 || x >= columns - 1 || y >= rows) return false;
  const int32_t* row = labels + static_cast<std::size_t>(y) * columns;
  const int32_t* above = row - columns;
  const int32_t l = row[x];
  return row[x - 1] == l && row[x + 1] == l && above[x - 1] == l && above[x] == l &&
         above[x + 1] == l;
}

// A block of a piece OutlineScore looks at.
struct PieceBlock {
  int32_t x, y, piece;
};

// Sum of the prominences (each at most `cap`) of the `peaks` most prominent
// points of the top outlines of the pieces, each piece on its own, seen in
// `frame`. A convex piece has one peak whatever the angle; fingers joined
// lower down show one peak each, parted by notches that are deepest when the
// frame runs along them. `blocks`: the pieces' blocks; `sky` holds pieces x
// bins values; `terms` is scratch of 2 x (rows + columns).
double OutlineScore(const PieceBlock* blocks, int32_t blockCount, int32_t pieces, int32_t rows,
                    int32_t columns, const Frame& frame, int32_t bins, double origin, int32_t peaks,
                    double notch, double cap, double* sky, double* terms) {
  for (int32_t i = 0; i < pieces * bins; ++i) sky[i] = kEmpty;
  // Across and Height are sums of a column's and a row's term: each term
  // once per slant.
  double* acrossX = terms;
  double* heightX = acrossX + columns;
  double* acrossY = heightX + columns;
  double* heightY = acrossY + rows;
  for (int32_t x = 0; x < columns; ++x) {
    acrossX[x] = x * frame.rx;
    heightX[x] = x * frame.ux;
  }
  for (int32_t y = 0; y < rows; ++y) {
    acrossY[y] = y * frame.ry;
    heightY[y] = y * frame.uy;
  }
  for (int32_t i = 0; i < blockCount; ++i) {
    const PieceBlock& b = blocks[i];
    const double across = acrossX[b.x] + acrossY[b.y];
    const int32_t bin = std::clamp(static_cast<int32_t>(across - origin), 0, bins - 1);
    double& top = sky[static_cast<std::size_t>(b.piece) * bins + bin];
    top = std::max(top, heightX[b.x] + heightY[b.y]);
  }
  double best[kMaxSlapFingers] = {0, 0, 0, 0, 0};
  const int32_t n = std::min<int32_t>(peaks, kMaxSlapFingers);
  for (int32_t p = 0; p < pieces; ++p) {
    OfferPeaks(sky + static_cast<std::size_t>(p) * bins, bins, notch, cap, n, best);
  }
  double sum = 0;
  for (int32_t k = 0; k < n; ++k) sum += best[k];
  return sum;
}

// Mean tilt of the elongated pieces standing up to kUprightDeg from upright,
// weighted by size; *trust is the share of the pieces' area that vouches for
// it. Below kLeastTrust the mean is drawn towards upright: a nearly round
// piece (a thumb pressed flat) has an axis, but not the hand's.
double PieceAngle(const Pieces& pieces, double* trust) {
  double sumW = 0, sumT = 0;
  for (int32_t i = 0; i < pieces.count; ++i) {
    const Component& c = pieces.comps[i];
    if (std::fabs(c.tilt) > Radians(kUprightDeg)) continue;
    const double w = c.area * std::min(1.5, std::max(0.0, c.elongation - 1.15));
    sumW += w;
    sumT += w * c.tilt;
  }
  double totalArea = 0;
  for (int32_t i = 0; i < pieces.count; ++i) totalArea += pieces.comps[i].area;
  *trust = totalArea > 0 ? std::min(1.0, sumW / totalArea) : 0.0;
  return sumW > 0 ? sumT / std::max(sumW, kLeastTrust * totalArea) : 0.0;
}

double SlantAt(int32_t a) {
  return Radians(kFirstSlantDeg + kSlantStepDeg * a);
}

}  // namespace

int32_t OutlineDirection(const BlockMap& map, const Pieces& pieces, const Geometry& g,
                         int32_t maxFingers, double* phi, double* pieceAngle) {
  const int32_t rows = map.rows, columns = map.columns;
  double pieceTrust = 0;
  *pieceAngle = PieceAngle(pieces, &pieceTrust);
  Buffer<int32_t> pieceOf;
  if (!pieceOf.Reset(static_cast<std::size_t>(pieces.labelCount) + 1)) {
    return VANTREL_OUT_OF_MEMORY;
  }
  for (int32_t l = 0; l <= pieces.labelCount; ++l) pieceOf[l] = -1;
  for (int32_t i = 0; i < pieces.count; ++i) pieceOf[pieces.comps[i].label] = i;
  // Every slant looks at the same blocks, those that may top an outline:
  // list them once.
  const int32_t* labels = pieces.labels.get();
  const std::size_t nb = static_cast<std::size_t>(rows) * columns;
  std::size_t most = 0;
  for (std::size_t k = 0; k < nb; ++k) most += pieceOf[labels[k]] >= 0 ? 1 : 0;
  Buffer<PieceBlock> blocks;
  if (!blocks.Reset(most)) return VANTREL_OUT_OF_MEMORY;
  int32_t blockCount = 0;
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      const int32_t piece = pieceOf[labels[static_cast<std::size_t>(y) * columns + x]];
      if (piece >= 0 && !Covered(labels, rows, columns, x, y)) blocks[blockCount++] = {x, y, piece};
    }
  }
  const double diagonal = std::hypot(rows, columns);
  const int32_t skyBins = std::min(kMaxBins, static_cast<int32_t>(2 * diagonal) + 4);
  Buffer<double> outline, terms;
  if (!outline.Reset(static_cast<std::size_t>(skyBins) * pieces.count) ||
      !terms.Reset(2 * (static_cast<std::size_t>(rows) + columns))) {
    return VANTREL_OUT_OF_MEMORY;
  }
  // The angle whose outline has the most prominent tips wins; where pieces
  // stand apart and every angle does as well, their own axes decide.
  double angleScore[kSlants];
  double bestScore = -1e300;
  for (int32_t a = 0; a < kSlants; ++a) {
    const double phiTry = SlantAt(a);
    angleScore[a] =
        OutlineScore(blocks.get(), blockCount, pieces.count, rows, columns, Frame(phiTry), skyBins,
                     -diagonal - 1, maxFingers, kNotchMm * g.blocksPerMm,
                     kPeakCapMm * g.blocksPerMm, outline.get(), terms.get());
    // Elongated pieces vouch for their own direction; a slant away from it
    // has to earn its extra peaks.
    angleScore[a] -= kSlantPenalty * kPeakCapMm * g.blocksPerMm * pieceTrust *
                     std::fabs(phiTry - *pieceAngle) / Radians(kSlantPenaltyDeg);
    bestScore = std::max(bestScore, angleScore[a]);
  }
  *phi = *pieceAngle;
  double closest = 1e300;
  for (int32_t a = 0; a < kSlants; ++a) {
    const double phiTry = SlantAt(a);
    if (angleScore[a] >= bestScore - kSlantTie * std::fabs(bestScore) &&
        std::fabs(phiTry - *pieceAngle) < closest) {
      closest = std::fabs(phiTry - *pieceAngle);
      *phi = phiTry;
    }
  }
  return VANTREL_OK;
}

}  // namespace slap
}  // namespace vtl
