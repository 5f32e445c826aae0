// Development driver of the evaluation: scores a segmenter on real slaps with
// a truth CSV or on generated slaps, writes overlays and the block maps.
//
//   vantrel-eval --truth truth.csv [--method slap|separate|quick|quick-new]
//                [--overlays DIR] [--maps DIR] IMAGES...
//   vantrel-eval --synth N [--seed S] [--method ...] [--overlays DIR]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "evaluate.h"
#include "png_file.h"
#include "slap/slap_internal.h"
#include "vantrel.h"
#ifdef VANTREL_EVAL_HAVE_SYNTH
#include "generated_truth.h"
#include "slap_generator.h"
#endif

namespace {

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Block score map scaled up to the image, for looking at.
void WriteMaps(const std::string& dir, const std::string& name, const veval::GreyPicture& pic) {
  vtl::slap::WorkingImage work;
  vtl::slap::BlockMap map;
  if (vtl::slap::PrepareWorkingImage(pic.pixels.data(), pic.rows, pic.columns, pic.xppi, pic.yppi,
                                     &work) != 0 ||
      vtl::slap::BuildBlockMap(work, &map) != 0) {
    return;
  }
  const int32_t rows = work.rows, columns = work.columns, b = map.blockSize;
  std::vector<uint8_t> rgb(static_cast<std::size_t>(rows) * columns * 3);
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      const std::size_t k = static_cast<std::size_t>(y / b) * map.columns + x / b;
      const uint8_t g = work.grey[static_cast<std::size_t>(y) * columns + x];
      const float s = map.score[k];
      uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * columns + x) * 3;
      p[0] = static_cast<uint8_t>(g / 2 + 127 * s);
      p[1] = static_cast<uint8_t>(g / 2 + (map.mask[k] ? 100 : 0));
      p[2] = static_cast<uint8_t>(g / 2);
    }
  }
  veval::WritePng(dir + "/" + name + ".map.png", rgb.data(), rows, columns, 3);
  // Period (red, 0.3..1.0 mm) and fill (green, 0.3..0.9) per block.
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      const std::size_t k = static_cast<std::size_t>(y / b) * map.columns + x / b;
      uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * columns + x) * 3;
      const float e = map.energy[k] > 20 ? 1.0f : 0.2f;
      p[0] = static_cast<uint8_t>(std::clamp((map.period[k] - 0.3f) / 0.7f, 0.0f, 1.0f) * 255 * e);
      p[1] = static_cast<uint8_t>(std::clamp((map.fill[k] - 0.3f) / 0.6f, 0.0f, 1.0f) * 255 * e);
      p[2] = static_cast<uint8_t>(std::clamp(map.coherence[k], 0.0f, 1.0f) * 255 * e);
    }
  }
  veval::WritePng(dir + "/" + name + ".feat.png", rgb.data(), rows, columns, 3);
}

struct Options {
  std::string truth;
  std::string method = "slap";
  std::string overlays;
  std::string maps;
  int synth = 0;
  uint64_t seed = 1;
  bool verbose = false;
  std::vector<std::string> images;
};

int Usage() {
  std::fprintf(
      stderr,
      "usage: vantrel-eval --truth CSV [--method M] [--overlays DIR] [--maps DIR] IMAGES...\n"
      "       vantrel-eval --synth N [--seed S] [--method M] [--overlays DIR]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--truth")
      o.truth = next();
    else if (a == "--method")
      o.method = next();
    else if (a == "--overlays")
      o.overlays = next();
    else if (a == "--maps")
      o.maps = next();
    else if (a == "--synth")
      o.synth = std::atoi(next().c_str());
    else if (a == "--seed")
      o.seed = std::strtoull(next().c_str(), nullptr, 10);
    else if (a == "-v")
      o.verbose = true;
    else if (!a.empty() && a[0] == '-')
      return Usage();
    else
      o.images.push_back(a);
  }
  const veval::Segmenter segmenter = veval::SegmenterByName(o.method);
  if (segmenter == nullptr) return Usage();
  std::vector<veval::ImageScore> scores;
  if (!o.truth.empty()) {
    std::vector<veval::ImageTruth> truths;
    const std::string error = veval::ReadTruthCsv(o.truth, &truths);
    if (!error.empty()) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    for (const std::string& path : o.images) {
      const std::string name = BaseName(path);
      const veval::ImageTruth* truth = nullptr;
      for (const auto& t : truths) {
        if (t.file == name) truth = &t;
      }
      if (truth == nullptr) {
        std::fprintf(stderr, "no truth for %s\n", name.c_str());
        continue;
      }
      veval::GreyPicture pic;
      const std::string readError = veval::ReadPng(path, &pic);
      if (!readError.empty()) {
        std::fprintf(stderr, "%s\n", readError.c_str());
        return 1;
      }
      if (pic.xppi <= 0) pic.xppi = pic.yppi = 500;
      std::vector<veval::Detection> found;
      veval::ImageScore score =
          veval::RunAndScore(segmenter, pic.pixels.data(), pic.rows, pic.columns, pic.xppi,
                             pic.yppi, 4, truth->fingers, &found);
      score.name = name;
      std::printf("%s\n", veval::FormatImageLine(score).c_str());
      if (o.verbose) {
        for (const auto& d : found) {
          std::printf("   pos %2d  c (%.0f, %.0f)  %.0f x %.0f  tilt %.1f deg\n", d.position,
                      d.box.cx, d.box.cy, d.box.width, d.box.height,
                      -d.box.angle * 180 / 3.14159265358979);
        }
      }
      scores.push_back(score);
      if (!o.overlays.empty()) {
        const std::vector<uint8_t> rgb =
            veval::DrawOverlay(pic.pixels.data(), pic.rows, pic.columns, truth->fingers, found);
        veval::WritePng(o.overlays + "/" + name + "." + o.method + ".png", rgb.data(), pic.rows,
                        pic.columns, 3);
      }
      if (!o.maps.empty()) WriteMaps(o.maps, name, pic);
    }
  }
#ifdef VANTREL_EVAL_HAVE_SYNTH
  for (int i = 0; i < o.synth; ++i) {
    const vsynth::SlapOptions options = vsynth::RandomOptions(o.seed + i);
    const vsynth::Slap slap = vsynth::GenerateSlap(options);
    const std::vector<veval::TruthFinger> truth = veval::TruthOf(slap);
    std::vector<veval::Detection> found;
    const veval::ImageScore score =
        veval::ScoreGeneratedSlap(segmenter, slap, o.seed + i, truth, &found);
    const std::string& name = score.name;
    const bool bad = veval::HasFault(score);
    if (o.verbose || bad) {
      std::printf("%s\n", veval::FormatImageLine(score).c_str());
      std::printf(
          "   options: %.0fx%.0f ppi  turn %.1f  missing %d  touching %d  clutter %d"
          "  contrast %.2f  noise %.3f  bilevel %d  size %dx%d\n",
          options.xppi, options.yppi, options.rotationDeg, options.missingFinger, options.touching,
          options.clutter, options.contrast, options.noise, options.bilevel, slap.columns, slap.rows);
      for (const auto& t : truth) {
        std::printf("   truth %2d  c (%.0f, %.0f)  %.0f x %.0f  tilt %.1f\n", t.position, t.box.cx,
                    t.box.cy, t.box.width, t.box.height, -t.box.angle * 180 / 3.14159265358979);
      }
      for (const auto& d : found) {
        std::printf("   found %2d  c (%.0f, %.0f)  %.0f x %.0f  tilt %.1f\n", d.position, d.box.cx,
                    d.box.cy, d.box.width, d.box.height, -d.box.angle * 180 / 3.14159265358979);
      }
    }
    scores.push_back(score);
    if (!o.overlays.empty() && bad) {
      const std::vector<uint8_t> rgb =
          veval::DrawOverlay(slap.pixels.data(), slap.rows, slap.columns, truth, found);
      veval::WritePng(o.overlays + "/" + name + "." + o.method + ".png", rgb.data(), slap.rows,
                      slap.columns, 3);
    }
    if (!o.maps.empty() && bad) {
      veval::GreyPicture pic;
      pic.rows = slap.rows;
      pic.columns = slap.columns;
      pic.xppi = veval::WholePpi(slap.xppi);
      pic.yppi = veval::WholePpi(slap.yppi);
      pic.pixels = slap.pixels;
      WriteMaps(o.maps, name, pic);
    }
  }
#endif
  std::printf("%s\n", veval::FormatSummary(o.method, veval::Summarise(scores)).c_str());
  return 0;
}
