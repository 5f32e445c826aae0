// vantrel-realism: measures what makes a slap look real on the real samples
// and on generated slaps, so that the generator can be held against them:
// ridge period, ridge contrast and the size of the fingertips' top segments.
//
//   vantrel-realism --real DIR [--synth N] [--seed S] [--mix plain|hard]
//
// DIR holds the real slaps and their truth.csv. Prints one Markdown table.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "image_io.h"
#include "slap_generator.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMm = 25.4;
constexpr double kBlockInches = 0.08;  // side of a block for the ridge period
constexpr double kInner = 0.6;         // share of the top segment's box that is sampled
constexpr double kPeriodMinMm = 0.3, kPeriodMaxMm = 1.0, kPeriodStepMm = 0.01;
constexpr double kMinCoherence = 0.3;  // blocks with weaker flow have no clear period
constexpr double kMinBlockSpread = 8;  // grey levels; blank paper has no period

struct Grey {
  int rows = 0, columns = 0;
  const uint8_t* pixels = nullptr;
  double ppi = 500;
  double At(int c, int r) const { return pixels[static_cast<size_t>(r) * columns + c]; }
};

// A fingertip's top segment: centre, size in pixels and the library's box angle.
struct Tip {
  double cx, cy, width, height, angle;
};

// Dominant ridge period of the square block at (x0, y0), millimetres; 0 when
// the block holds no clear ridge flow.
double BlockPeriod(const Grey& g, int x0, int y0, int side) {
  double gxx = 0, gyy = 0, gxy = 0, sum = 0, sum2 = 0;
  for (int r = y0 + 1; r < y0 + side - 1; ++r) {
    for (int c = x0 + 1; c < x0 + side - 1; ++c) {
      const double gx = g.At(c + 1, r) - g.At(c - 1, r);
      const double gy = g.At(c, r + 1) - g.At(c, r - 1);
      gxx += gx * gx, gyy += gy * gy, gxy += gx * gy;
      const double v = g.At(c, r);
      sum += v, sum2 += v * v;
    }
  }
  const double n = (side - 2.0) * (side - 2.0);
  const double spread = std::sqrt(std::max(0.0, sum2 / n - (sum / n) * (sum / n)));
  const double coherence = std::hypot(gxx - gyy, 2 * gxy) / (gxx + gyy + 1e-9);
  if (spread < kMinBlockSpread || coherence < kMinCoherence) return 0;
  // Profile across the ridges, in one-pixel bins along the gradient direction.
  const double theta = 0.5 * std::atan2(2 * gxy, gxx - gyy);
  const double cs = std::cos(theta), sn = std::sin(theta);
  const int bins = 2 * side;
  std::vector<double> total(bins, 0), count(bins, 0);
  const double mid = side / 2.0;
  for (int r = 0; r < side; ++r) {
    for (int c = 0; c < side; ++c) {
      const double dx = c - mid, dy = r - mid;
      if (dx * dx + dy * dy > mid * mid) continue;
      const int b = static_cast<int>(std::lround(dx * cs + dy * sn)) + side;
      total[b] += g.At(x0 + c, y0 + r), count[b] += 1;
    }
  }
  double mean = 0, used = 0;
  for (int b = 0; b < bins; ++b) {
    if (count[b] > 0) mean += total[b] / count[b], used += 1;
  }
  mean /= used;
  const double mmPerPixel = kMm / g.ppi;
  double best = 0, bestPower = 0;
  for (double p = kPeriodMinMm; p <= kPeriodMaxMm + 1e-9; p += kPeriodStepMm) {
    const double k = 2 * kPi * mmPerPixel / p;
    double re = 0, im = 0;
    for (int b = 0; b < bins; ++b) {
      if (count[b] == 0) continue;
      const double v = total[b] / count[b] - mean;
      re += v * std::cos(k * b), im += v * std::sin(k * b);
    }
    const double power = re * re + im * im;
    if (power > bestPower) bestPower = power, best = p;
  }
  return best;
}

double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  const size_t at = static_cast<size_t>(q * (v.size() - 1) + 0.5);
  std::nth_element(v.begin(), v.begin() + at, v.end());
  return v[at];
}

struct TipMeasures {
  double periodMm = 0;   // median over the blocks
  double spread = 0;     // grey levels, 90th minus 10th percentile
  double darkShare = 0;  // share of pixels darker than halfway from ink to paper
  double widthMm = 0, heightMm = 0;
};

TipMeasures Measure(const Grey& g, const Tip& t, double paper) {
  TipMeasures m;
  const double ca = std::cos(t.angle), sa = std::sin(t.angle);
  auto toPixel = [&](double u, double v, double& x, double& y) {
    x = t.cx + u * ca + v * sa;
    y = t.cy - u * sa + v * ca;
  };
  std::vector<double> greys;
  const double hu = kInner * t.width / 2, hv = kInner * t.height / 2;
  for (double v = -hv; v <= hv; v += 1) {
    for (double u = -hu; u <= hu; u += 1) {
      double x, y;
      toPixel(u, v, x, y);
      const int c = static_cast<int>(x), r = static_cast<int>(y);
      if (c >= 0 && r >= 0 && c < g.columns && r < g.rows) greys.push_back(g.At(c, r));
    }
  }
  const double ink = Quantile(greys, 0.05);
  m.spread = Quantile(greys, 0.9) - Quantile(greys, 0.1);
  size_t dark = 0;
  for (double v : greys) dark += v < (ink + paper) / 2;
  m.darkShare = greys.empty() ? 0 : static_cast<double>(dark) / greys.size();
  const int side = std::max(8, static_cast<int>(kBlockInches * g.ppi));
  std::vector<double> periods;
  for (double v = -hv; v <= hv; v += side / 2.0) {
    for (double u = -hu; u <= hu; u += side / 2.0) {
      double x, y;
      toPixel(u, v, x, y);
      const int x0 = static_cast<int>(x) - side / 2, y0 = static_cast<int>(y) - side / 2;
      if (x0 < 1 || y0 < 1 || x0 + side >= g.columns - 1 || y0 + side >= g.rows - 1) continue;
      const double p = BlockPeriod(g, x0, y0, side);
      if (p > 0) periods.push_back(p);
    }
  }
  m.periodMm = Quantile(periods, 0.5);
  m.widthMm = t.width / g.ppi * kMm;
  m.heightMm = t.height / g.ppi * kMm;
  return m;
}

double PaperGrey(const Grey& g) {
  std::vector<double> sample;
  for (size_t i = 0; i < static_cast<size_t>(g.rows) * g.columns; i += 7)
    sample.push_back(g.pixels[i]);
  return Quantile(sample, 0.9);
}

struct Row {
  std::vector<double> period, spread, dark, width, height;
  int images = 0;
  void Add(const TipMeasures& m) {
    if (m.periodMm > 0) period.push_back(m.periodMm);
    spread.push_back(m.spread);
    dark.push_back(m.darkShare);
    width.push_back(m.widthMm);
    height.push_back(m.heightMm);
  }
};

std::string Cell(const std::vector<double>& v, int decimals) {
  if (v.empty()) return "-";
  char text[96];
  std::snprintf(text, sizeof text, "%.*f (%.*f-%.*f)", decimals, Quantile(v, 0.5), decimals,
                Quantile(v, 0.1), decimals, Quantile(v, 0.9));
  return text;
}

void PrintRow(const std::string& label, const Row& r) {
  std::printf("| %s | %d / %zu | %s | %s | %s | %s | %s |\n", label.c_str(), r.images,
              r.spread.size(), Cell(r.period, 2).c_str(), Cell(r.spread, 0).c_str(),
              Cell(r.dark, 2).c_str(), Cell(r.width, 1).c_str(), Cell(r.height, 1).c_str());
}

// truth.csv: file,finger_from_left,cx,cy,halfwidth,halfheight,angle_deg (tilt, + = tip right).
std::map<std::string, std::vector<Tip>> ReadTruth(const std::string& path) {
  std::map<std::string, std::vector<Tip>> tips;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::stringstream s(line);
    std::string file, field;
    std::vector<double> v;
    std::getline(s, file, ',');
    while (std::getline(s, field, ',')) v.push_back(std::atof(field.c_str()));
    if (v.size() != 6) continue;
    tips[file].push_back({v[1], v[2], 2 * v[3], 2 * v[4], -v[5] * kPi / 180});
  }
  return tips;
}

}  // namespace

int main(int argc, char** argv) {
  std::string real, mix = "plain";
  int synth = 0;
  uint64_t seed = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], value = argv[i + 1];
    if (a == "--real")
      real = value;
    else if (a == "--synth")
      synth = std::atoi(value.c_str());
    else if (a == "--seed")
      seed = std::strtoull(value.c_str(), nullptr, 10);
    else if (a == "--mix")
      mix = value;
  }
  if (real.empty() && synth == 0) {
    std::fprintf(stderr,
                 "usage: vantrel-realism --real DIR [--synth N] [--seed S] [--mix plain|hard]\n");
    return 2;
  }
  std::printf(
      "| set | images / tips | ridge period mm | grey spread p90-p10 | dark share | "
      "tip width mm | tip height mm |\n|---|---|---|---|---|---|---|\n");
  std::map<std::string, Row> rows;
  if (!real.empty()) {
    for (const auto& [file, tips] : ReadTruth(real + "/truth.csv")) {
      vio::GreyImage image;
      if (!vio::ReadImage(real + "/" + file, {}, &image).ok()) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        continue;
      }
      const Grey g{image.rows, image.columns, image.pixels.data(), static_cast<double>(image.xppi)};
      const double paper = PaperGrey(g);
      const bool bilevel = file.find("bilevel") != std::string::npos;
      const std::string group = bilevel                                  ? "real, 1-bit cards"
                                : file.find("card") != std::string::npos ? "real, grey cards"
                                                                         : "real, livescan";
      Row* targets[] = {&rows[group], bilevel ? nullptr : &rows["real, all grey"]};
      for (Row* r : targets) {
        if (r == nullptr) continue;
        r->images += 1;
        for (const Tip& t : tips) r->Add(Measure(g, t, paper));
      }
    }
  }
  for (int i = 0; i < synth; ++i) {
    const vsynth::SlapOptions o =
        mix == "hard" ? vsynth::RandomHardOptions(seed + i) : vsynth::RandomOptions(seed + i);
    if (o.bilevel || o.xppi != o.yppi) continue;  // measures assume square grey pixels
    const vsynth::Slap s = vsynth::GenerateSlap(o);
    const Grey g{s.rows, s.columns, s.pixels.data(), s.xppi};
    const double paper = PaperGrey(g);
    // Real slaps are all four-finger hands: thumbs are a group of their own.
    const std::string hand = s.hand == 15 ? "thumbs" : "fingers";
    std::vector<std::string> groups = {"generated " + mix + ", " + hand};
    const std::string kinds = vsynth::HardKinds(o);
    for (size_t at = 0, next; at < kinds.size(); at = next + 1) {
      next = std::min(kinds.find('+', at), kinds.size());
      groups.push_back("generated, " + kinds.substr(at, next - at) + ", " + hand);
    }
    for (const std::string& group : groups) {
      Row& r = rows[group];
      r.images += 1;
      for (const auto& f : s.fingers)
        r.Add(Measure(g, {f.cx, f.cy, f.width, f.height, f.angle}, paper));
    }
  }
  for (const auto& [label, row] : rows) PrintRow(label, row);
  std::printf(
      "\nmedian (10th-90th percentile) over fingertips; grey spread and dark share over "
      "the middle %.0f %% of each top segment\n",
      kInner * 100);
  return 0;
}
