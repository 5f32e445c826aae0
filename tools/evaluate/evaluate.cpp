#include "evaluate.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace veval {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Point {
  double x, y;
};

double Cross(const Point& o, const Point& a, const Point& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

double PolygonArea(const std::vector<Point>& p) {
  double s = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point& a = p[i];
    const Point& b = p[(i + 1) % p.size()];
    s += a.x * b.y - a.y * b.x;
  }
  return std::fabs(s) * 0.5;
}

// Clips `subject` by the convex polygon `clip` (Sutherland-Hodgman); both
// with the same winding.
std::vector<Point> Clip(const std::vector<Point>& subject, const std::vector<Point>& clip) {
  std::vector<Point> out = subject;
  double orientation = 0;
  for (std::size_t i = 0; i < clip.size(); ++i) {
    orientation += Cross(clip[0], clip[i], clip[(i + 1) % clip.size()]);
  }
  const double sign = orientation >= 0 ? 1.0 : -1.0;
  for (std::size_t i = 0; i < clip.size() && !out.empty(); ++i) {
    const Point& a = clip[i];
    const Point& b = clip[(i + 1) % clip.size()];
    std::vector<Point> in = out;
    out.clear();
    for (std::size_t j = 0; j < in.size(); ++j) {
      const Point& p = in[j];
      const Point& q = in[(j + 1) % in.size()];
      const double sp = sign * Cross(a, b, p);
      const double sq = sign * Cross(a, b, q);
      if (sp >= 0) out.push_back(p);
      if ((sp >= 0) != (sq >= 0)) {
        const double t = sp / (sp - sq);
        out.push_back({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
      }
    }
  }
  return out;
}

std::vector<Point> Corners(const Box& box) {
  double xs[4], ys[4];
  BoxCorners(box, xs, ys);
  return {{xs[0], ys[0]}, {xs[1], ys[1]}, {xs[2], ys[2]}, {xs[3], ys[3]}};
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, ',')) {
    while (!field.empty() && (field.back() == '\r' || field.back() == ' ')) field.pop_back();
    while (!field.empty() && field.front() == ' ') field.erase(field.begin());
    fields.push_back(field);
  }
  return fields;
}

void SetPixel(std::vector<uint8_t>* rgb, int32_t rows, int32_t columns, int32_t x, int32_t y,
              uint8_t r, uint8_t g, uint8_t b) {
  if (x < 0 || y < 0 || x >= columns || y >= rows) return;
  uint8_t* p = rgb->data() + (static_cast<std::size_t>(y) * columns + x) * 3;
  p[0] = r;
  p[1] = g;
  p[2] = b;
}

void DrawLine(std::vector<uint8_t>* rgb, int32_t rows, int32_t columns, double x0, double y0,
              double x1, double y1, int thickness, uint8_t r, uint8_t g, uint8_t b) {
  const double length = std::hypot(x1 - x0, y1 - y0);
  const int steps = static_cast<int>(length) + 1;
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps;
    const int32_t x = static_cast<int32_t>(std::lround(x0 + t * (x1 - x0)));
    const int32_t y = static_cast<int32_t>(std::lround(y0 + t * (y1 - y0)));
    for (int dy = -thickness / 2; dy <= thickness / 2; ++dy) {
      for (int dx = -thickness / 2; dx <= thickness / 2; ++dx) {
        SetPixel(rgb, rows, columns, x + dx, y + dy, r, g, b);
      }
    }
  }
}

void DrawBox(std::vector<uint8_t>* rgb, int32_t rows, int32_t columns, const Box& box,
             int thickness, uint8_t r, uint8_t g, uint8_t b) {
  double xs[4], ys[4];
  BoxCorners(box, xs, ys);
  for (int i = 0; i < 4; ++i) {
    DrawLine(rgb, rows, columns, xs[i], ys[i], xs[(i + 1) % 4], ys[(i + 1) % 4], thickness, r, g,
             b);
  }
  // A tick from the centre towards the tip shows the direction.
  const double s = std::sin(box.angle), c = std::cos(box.angle);
  DrawLine(rgb, rows, columns, box.cx, box.cy, box.cx - s * box.height * 0.5,
           box.cy - c * box.height * 0.5, thickness, r, g, b);
}

}  // namespace

void BoxCorners(const Box& box, double xs[4], double ys[4]) {
  const double c = std::cos(box.angle), s = std::sin(box.angle);
  const double hw = box.width * 0.5, hh = box.height * 0.5;
  // Across the box: (c, -s); down the box: (s, c).
  const double corners[4][2] = {{-hw, -hh}, {hw, -hh}, {hw, hh}, {-hw, hh}};
  for (int i = 0; i < 4; ++i) {
    const double u = corners[i][0], v = corners[i][1];
    xs[i] = box.cx + u * c + v * s;
    ys[i] = box.cy - u * s + v * c;
  }
}

double OrientedBoxIoU(const Box& a, const Box& b) {
  const double areaA = a.width * a.height, areaB = b.width * b.height;
  if (!(areaA > 0) || !(areaB > 0)) return 0;
  const std::vector<Point> inter = Clip(Corners(a), Corners(b));
  const double i = inter.size() >= 3 ? PolygonArea(inter) : 0.0;
  const double u = areaA + areaB - i;
  return u > 0 ? i / u : 0;
}

Box BoxFromTilt(double cx, double cy, double halfWidth, double halfHeight, double tiltDegrees) {
  Box box;
  box.cx = cx;
  box.cy = cy;
  box.width = 2 * halfWidth;
  box.height = 2 * halfHeight;
  // A tip leaning right means that going down the finger moves left:
  // (sin a, cos a) with sin a < 0.
  box.angle = -tiltDegrees * kPi / 180.0;
  return box;
}

void AssignHandPositions(ImageTruth* truth) {
  const std::size_t n = truth->fingers.size();
  if (truth->hand == 15 && n == 2) {
    truth->fingers[0].position = 6;
    truth->fingers[1].position = 1;
  } else if (n == 4 && (truth->hand == 13 || truth->hand == 14)) {
    for (std::size_t i = 0; i < n; ++i) {
      truth->fingers[i].position =
          truth->hand == 13 ? static_cast<int32_t>(2 + i) : static_cast<int32_t>(10 - i);
    }
  }
}

std::string ReadTruthCsv(const std::string& path, std::vector<ImageTruth>* images) {
  std::ifstream in(path);
  if (!in) return "cannot open " + path;
  std::string line;
  if (!std::getline(in, line)) return "empty truth file " + path;
  const std::vector<std::string> header = SplitCsv(line);
  const std::vector<std::string> expected = {"file",      "finger_from_left", "cx",       "cy",
                                             "halfwidth", "halfheight",       "angle_deg"};
  if (header != expected) return "unexpected truth header in " + path;
  std::map<std::string, std::size_t> index;
  std::map<std::string, std::vector<std::pair<int, TruthFinger>>> rowsOf;
  int lineNumber = 1;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> f = SplitCsv(line);
    if (f.size() != 7) return path + ":" + std::to_string(lineNumber) + ": expected 7 fields";
    TruthFinger finger;
    int place = 0;
    try {
      place = std::stoi(f[1]);
      finger.box = BoxFromTilt(std::stod(f[2]), std::stod(f[3]), std::stod(f[4]), std::stod(f[5]),
                               std::stod(f[6]));
    } catch (const std::exception&) {
      return path + ":" + std::to_string(lineNumber) + ": not a number";
    }
    if (index.find(f[0]) == index.end()) {
      index[f[0]] = images->size();
      ImageTruth truth;
      truth.file = f[0];
      if (f[0].find("right") != std::string::npos) truth.hand = 13;
      if (f[0].find("left") != std::string::npos) truth.hand = 14;
      if (f[0].find("thumb") != std::string::npos) truth.hand = 15;
      images->push_back(truth);
    }
    rowsOf[f[0]].push_back({place, finger});
  }
  for (ImageTruth& truth : *images) {
    auto& rows = rowsOf[truth.file];
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& r : rows) truth.fingers.push_back(r.second);
    AssignHandPositions(&truth);
  }
  return "";
}

std::vector<Detection> DetectionsFrom(const ventry::ResultCopy& result) {
  std::vector<Detection> found;
  for (const ventry::FingerCopy& finger : result.fingers) {
    const SegmentedFinger& f = finger.record;
    Detection d;
    d.box.cx = f.centerX;
    d.box.cy = f.centerY;
    d.box.width = f.boxWidth;
    d.box.height = f.boxHeight;
    d.box.angle = f.angle;
    d.position = f.position;
    d.confidence = f.fixedValue;
    found.push_back(d);
  }
  return found;
}

std::vector<int> PairByCentre(const std::vector<TruthFinger>& truth,
                              const std::vector<Detection>& found) {
  struct Pair {
    double distance;
    std::size_t t, f;
  };
  std::vector<Pair> pairs;
  for (std::size_t t = 0; t < truth.size(); ++t) {
    for (std::size_t f = 0; f < found.size(); ++f) {
      pairs.push_back(
          {std::hypot(truth[t].box.cx - found[f].box.cx, truth[t].box.cy - found[f].box.cy), t, f});
    }
  }
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const Pair& a, const Pair& b) { return a.distance < b.distance; });
  std::vector<int> foundOf(truth.size(), -1);
  std::vector<bool> usedF(found.size(), false);
  for (const Pair& p : pairs) {
    if (foundOf[p.t] >= 0 || usedF[p.f]) continue;
    foundOf[p.t] = static_cast<int>(p.f);
    usedF[p.f] = true;
  }
  return foundOf;
}

ImageScore ScoreImage(const std::vector<TruthFinger>& truth, const std::vector<Detection>& found,
                      double iouThreshold) {
  ImageScore score;
  score.truthCount = static_cast<int32_t>(truth.size());
  score.foundCount = static_cast<int32_t>(found.size());
  score.countRight = score.truthCount == score.foundCount;
  struct Pair {
    double iou;
    std::size_t t, f;
  };
  std::vector<Pair> pairs;
  for (std::size_t t = 0; t < truth.size(); ++t) {
    for (std::size_t f = 0; f < found.size(); ++f) {
      const double iou = OrientedBoxIoU(truth[t].box, found[f].box);
      if (iou >= iouThreshold) pairs.push_back({iou, t, f});
    }
  }
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const Pair& a, const Pair& b) { return a.iou > b.iou; });
  std::vector<bool> usedT(truth.size(), false), usedF(found.size(), false);
  score.positionsKnown = !truth.empty();
  for (const TruthFinger& t : truth) score.positionsKnown &= t.position != 0;
  bool codesRight = true;
  for (const Pair& p : pairs) {
    if (usedT[p.t] || usedF[p.f]) continue;
    usedT[p.t] = usedF[p.f] = true;
    ++score.matched;
    score.ious.push_back(p.iou);
    score.centreDistances.push_back(
        std::hypot(truth[p.t].box.cx - found[p.f].box.cx, truth[p.t].box.cy - found[p.f].box.cy));
    if (truth[p.t].position != found[p.f].position) codesRight = false;
  }
  for (std::size_t f = 0; f < found.size(); ++f) {
    const bool trusted = found[f].confidence >= kDoubtful;
    if (usedF[f]) {
      ++score.rightBoxes;
      score.rightTrusted += trusted ? 1 : 0;
    } else {
      ++score.wrongBoxes;
      score.wrongDoubted += trusted ? 0 : 1;
    }
  }
  score.allRight =
      score.countRight && score.positionsKnown && codesRight && score.matched == score.truthCount;
  score.codesRight = score.countRight && score.positionsKnown;
  const std::vector<int> foundOf = PairByCentre(truth, found);
  for (std::size_t t = 0; t < truth.size() && score.codesRight; ++t) {
    score.codesRight = foundOf[t] >= 0 && found[foundOf[t]].position == truth[t].position;
  }
  return score;
}

Summary Summarise(const std::vector<ImageScore>& scores) {
  Summary s;
  std::vector<double> distances, ious;
  for (const ImageScore& score : scores) {
    ++s.images;
    s.truthFingers += score.truthCount;
    s.foundFingers += score.foundCount;
    s.matched += score.matched;
    s.countRight += score.countRight ? 1 : 0;
    if (score.countRight && score.positionsKnown) {
      ++s.positionImages;
      s.codesRight += score.codesRight ? 1 : 0;
      s.allRight += score.allRight ? 1 : 0;
    }
    for (double d : score.centreDistances) distances.push_back(d * score.millimetresPerPixel);
    for (double v : score.ious) ious.push_back(v);
    s.rightBoxes += score.rightBoxes;
    s.rightTrusted += score.rightTrusted;
    s.wrongBoxes += score.wrongBoxes;
    s.wrongDoubted += score.wrongDoubted;
    s.meanMilliseconds += score.milliseconds;
    s.maxMilliseconds = std::max(s.maxMilliseconds, score.milliseconds);
  }
  if (s.images > 0) s.meanMilliseconds /= s.images;
  s.medianCentreMm = Median(distances);
  s.medianIou = Median(ious);
  return s;
}

bool HasFault(const ImageScore& score) {
  return score.matched < score.truthCount || !score.countRight ||
         (score.positionsKnown && !score.allRight);
}

std::string FormatImageLine(const ImageScore& score) {
  char line[512];
  const double medianMm = Median(score.centreDistances) * score.millimetresPerPixel;
  const bool judged = score.positionsKnown && score.countRight;
  std::snprintf(line, sizeof line,
                "%-40s status %2d  found %d/%d  matched %d  count %s  codes %s"
                "  all boxes and codes %s  centre %.1f mm  %.1f ms",
                score.name.c_str(), score.status, score.foundCount, score.truthCount, score.matched,
                score.countRight ? "ok " : "BAD",
                !judged            ? "-  "
                : score.codesRight ? "ok "
                                   : "BAD",
                !judged          ? "-  "
                : score.allRight ? "ok "
                                 : "BAD",
                medianMm, score.milliseconds);
  return line;
}

namespace {

// A box's code, size and angle (degrees), as the finger lines show it.
std::string Placed(const Box& b, int32_t position) {
  char text[96];
  std::snprintf(text, sizeof text, "pos %2d  %4.0f x %4.0f  %6.1f deg", position, b.width, b.height,
                b.angle * 180 / kPi);
  return text;
}

}  // namespace

std::string FormatFingerLines(const std::vector<TruthFinger>& truth,
                              const std::vector<Detection>& found) {
  std::string out;
  char tail[96];
  std::vector<double> bestOfFound(found.size(), 0);
  for (std::size_t t = 0; t < truth.size(); ++t) {
    double best = 0;
    int bestF = -1;
    for (std::size_t f = 0; f < found.size(); ++f) {
      const double iou = OrientedBoxIoU(truth[t].box, found[f].box);
      bestOfFound[f] = std::max(bestOfFound[f], iou);
      if (iou > best) {
        best = iou;
        bestF = static_cast<int>(f);
      }
    }
    const Box& a = truth[t].box;
    out += "  true " + std::to_string(t) + " " + Placed(a, truth[t].position) + "  |";
    if (bestF < 0) {
      out += " none\n";
      continue;
    }
    const Detection& d = found[bestF];
    std::snprintf(tail, sizeof tail, "  confidence %.2f  off %.0f px\n", d.confidence,
                  std::hypot(d.box.cx - a.cx, d.box.cy - a.cy));
    char iou[16];
    std::snprintf(iou, sizeof iou, " IoU %.2f ", best);
    out += iou + Placed(d.box, d.position) + tail;
  }
  for (std::size_t f = 0; f < found.size(); ++f) {
    if (bestOfFound[f] > 0) continue;
    const Detection& d = found[f];
    std::snprintf(tail, sizeof tail, "  confidence %.2f  at %.0f, %.0f\n", d.confidence, d.box.cx,
                  d.box.cy);
    out += "  extra " + Placed(d.box, d.position) + tail;
  }
  return out;
}

std::string FormatSummary(const std::string& label, const Summary& s) {
  char line[768];
  const double matchedShare = s.truthFingers > 0 ? 100.0 * s.matched / s.truthFingers : 0;
  const double countShare = s.images > 0 ? 100.0 * s.countRight / s.images : 0;
  const double codeShare = s.positionImages > 0 ? 100.0 * s.codesRight / s.positionImages : 0;
  const double allShare = s.positionImages > 0 ? 100.0 * s.allRight / s.positionImages : 0;
  std::snprintf(line, sizeof line,
                "%-10s images %4d  fingers %5d/%5d  matched@0.5 %6.2f %%  count right %6.2f %%"
                "  codes right %6.2f %% (%d/%d)  all boxes and codes right %6.2f %% (%d/%d)"
                "  median centre %.2f mm  median IoU %.2f  mean %.2f ms  max %.2f ms",
                label.c_str(), s.images, s.foundFingers, s.truthFingers, matchedShare, countShare,
                codeShare, s.codesRight, s.positionImages, allShare, s.allRight, s.positionImages,
                s.medianCentreMm, s.medianIou, s.meanMilliseconds, s.maxMilliseconds);
  // The confidence as a flag: wrong boxes (IoU below the threshold) it
  // doubts, right ones it trusts.
  char flags[160];
  std::snprintf(flags, sizeof flags,
                "  confidence < %.1f: wrong boxes %6.2f %% (%d/%d), right boxes %6.2f %% (%d/%d)",
                kDoubtful, s.wrongBoxes > 0 ? 100.0 * s.wrongDoubted / s.wrongBoxes : 0,
                s.wrongDoubted, s.wrongBoxes,
                s.rightBoxes > 0 ? 100.0 * (s.rightBoxes - s.rightTrusted) / s.rightBoxes : 0,
                s.rightBoxes - s.rightTrusted, s.rightBoxes);
  return std::string(line) + flags;
}

std::vector<uint8_t> DrawOverlay(const uint8_t* grey, int32_t rows, int32_t columns,
                                 const std::vector<TruthFinger>& truth,
                                 const std::vector<Detection>& found) {
  std::vector<uint8_t> rgb(static_cast<std::size_t>(rows) * columns * 3);
  for (std::size_t i = 0; i < static_cast<std::size_t>(rows) * columns; ++i) {
    // Lighten the print so that the boxes stand out.
    const uint8_t v = static_cast<uint8_t>(128 + grey[i] / 2);
    rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = v;
  }
  const int thickness = std::max(1, std::min(rows, columns) / 300);
  for (const TruthFinger& t : truth) DrawBox(&rgb, rows, columns, t.box, thickness, 0, 170, 0);
  for (const Detection& d : found) DrawBox(&rgb, rows, columns, d.box, thickness, 220, 0, 0);
  return rgb;
}

Segmenter SegmenterByName(const std::string& name) {
  const ventry::Entry* entry = ventry::FindEntry(name);
  return entry != nullptr && entry->function != nullptr ? entry : nullptr;
}

ImageScore RunAndScore(Segmenter segmenter, const uint8_t* pixels, int32_t rows, int32_t columns,
                       int32_t xppi, int32_t yppi, int32_t fingerCount,
                       const std::vector<TruthFinger>& truth, std::vector<Detection>* found) {
  const auto start = std::chrono::steady_clock::now();
  const ventry::ResultCopy result =
      ventry::RunEntry(*segmenter, xppi, yppi, pixels, rows, columns, fingerCount, 0);
  const auto stop = std::chrono::steady_clock::now();
  *found = DetectionsFrom(result);
  ImageScore score = ScoreImage(truth, *found);
  score.status = result.status;
  score.milliseconds = std::chrono::duration<double, std::milli>(stop - start).count();
  score.millimetresPerPixel = 25.4 / xppi;
  return score;
}

}  // namespace veval
