// vantrel evaluate: scores an entry against fingertip truth, from a truth
// CSV with its images or from generated slaps, image by image and in total.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "block_maps.h"
#include "commands.h"
#include "evaluate.h"
#include "generated_truth.h"
#include "image_io.h"
#include "slap_generator.h"

namespace vtool {
namespace {
namespace fs = std::filesystem;

struct EvaluateOptions {
  std::string truth;
  std::vector<std::string> images;
  int synth = 0;
  uint64_t seed = 1;
  std::string method = "slap";
  std::string overlays;
  std::string maps;
  bool all = false;
  bool detail = false;
  std::string mix = "plain";
  int fingers = 0;
};

void WriteOverlay(const EvaluateOptions& o, const std::string& name, const uint8_t* grey,
                  int32_t rows, int32_t columns, int32_t xppi, int32_t yppi,
                  const std::vector<veval::TruthFinger>& truth,
                  const std::vector<veval::Detection>& found) {
  const std::vector<uint8_t> rgb = veval::DrawOverlay(grey, rows, columns, truth, found);
  const std::string path = o.overlays + "/" + name + "." + o.method + ".png";
  const std::string error = vio::WritePng(path, rgb.data(), rows, columns, 3, xppi, yppi);
  if (!error.empty()) std::fprintf(stderr, "vantrel: %s: %s\n", path.c_str(), error.c_str());
}

void WriteMaps(const EvaluateOptions& o, const std::string& name, const uint8_t* grey, int32_t rows,
               int32_t columns, int32_t xppi, int32_t yppi) {
  const std::string error = veval::WriteBlockMaps(o.maps, name, grey, rows, columns, xppi, yppi);
  if (!error.empty()) std::fprintf(stderr, "vantrel: %s maps: %s\n", name.c_str(), error.c_str());
}

// Creates an output folder; false (reported) when it cannot.
bool MakeFolder(const std::string& folder, const char* what) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error || !fs::is_directory(folder)) {
    std::fprintf(stderr, "vantrel: error: cannot create the %s folder %s\n", what, folder.c_str());
    return false;
  }
  return true;
}

int RunEvaluate(const EvaluateOptions& o) {
  const veval::Segmenter segmenter = veval::SegmenterByName(o.method);
  if (o.truth.empty() && o.synth < 1) {
    std::fprintf(stderr, "vantrel: error: give --truth CSV with images, or --synth N\n");
    return kExitUsage;
  }
  if ((!o.overlays.empty() && !MakeFolder(o.overlays, "overlay")) ||
      (!o.maps.empty() && !MakeFolder(o.maps, "map"))) {
    return kExitUsage;
  }
  int failed = 0;
  std::vector<veval::ImageScore> scores;
  if (!o.truth.empty()) {
    std::vector<veval::ImageTruth> truths;
    const std::string error = veval::ReadTruthCsv(o.truth, &truths);
    if (!error.empty()) {
      std::fprintf(stderr, "vantrel: error: %s\n", error.c_str());
      return kExitFailed;
    }
    for (const std::string& path : o.images) {
      const std::string name = fs::path(path).filename().string();
      const veval::ImageTruth* truth = nullptr;
      for (const auto& t : truths)
        if (t.file == name) truth = &t;
      if (truth == nullptr) {
        std::fprintf(stderr, "vantrel: %s: no truth for this file in %s\n", path.c_str(),
                     o.truth.c_str());
        ++failed;
        continue;
      }
      vio::GreyImage image;
      const vio::ReadStatus read = vio::ReadImage(path, {}, &image);
      if (!read.ok()) {
        std::fprintf(stderr, "vantrel: %s: %s\n", path.c_str(), read.message.c_str());
        ++failed;
        continue;
      }
      std::vector<veval::Detection> found;
      veval::ImageScore score =
          veval::RunAndScore(segmenter, image.pixels.data(), image.rows, image.columns, image.xppi,
                             image.yppi, 4, truth->fingers, &found);
      score.name = name;
      std::printf("%s\n", veval::FormatImageLine(score).c_str());
      if (o.detail) std::printf("%s", veval::FormatFingerLines(truth->fingers, found).c_str());
      scores.push_back(score);
      if (!o.overlays.empty()) {
        WriteOverlay(o, name, image.pixels.data(), image.rows, image.columns, image.xppi,
                     image.yppi, truth->fingers, found);
      }
      if (!o.maps.empty()) {
        WriteMaps(o, name, image.pixels.data(), image.rows, image.columns, image.xppi, image.yppi);
      }
    }
  }
  for (int i = 0; i < o.synth; ++i) {
    const uint64_t seed = o.seed + static_cast<uint64_t>(i);
    const vsynth::SlapOptions options =
        o.mix == "hard" ? vsynth::RandomHardOptions(seed) : vsynth::RandomOptions(seed);
    const vsynth::Slap slap = vsynth::GenerateSlap(options);
    const std::vector<veval::TruthFinger> truth = veval::TruthOf(slap);
    std::vector<veval::Detection> found;
    veval::ImageScore score =
        veval::ScoreGeneratedSlap(segmenter, slap, seed, truth, &found, o.fingers);
    // Pictures are named for the slap alone; its line also names its kinds.
    const std::string name = score.name;
    if (o.mix == "hard") score.name += " " + vsynth::HardKinds(options);
    // Generated runs are long: only the images with a miss or a wrong code
    // are listed.
    const bool miss = veval::HasFault(score);
    if (o.all || miss) {
      std::printf("%s\n", veval::FormatImageLine(score).c_str());
      if (o.detail) std::printf("%s", veval::FormatFingerLines(truth, found).c_str());
    }
    scores.push_back(score);
    if (!o.overlays.empty() && miss) {
      WriteOverlay(o, name, slap.pixels.data(), slap.rows, slap.columns, veval::WholePpi(slap.xppi),
                   veval::WholePpi(slap.yppi), truth, found);
    }
    if (!o.maps.empty() && miss) {
      WriteMaps(o, name, slap.pixels.data(), slap.rows, slap.columns, veval::WholePpi(slap.xppi),
                veval::WholePpi(slap.yppi));
    }
  }
  std::printf("%s\n", veval::FormatSummary(o.method, veval::Summarise(scores)).c_str());
  return failed > 0 ? kExitFailed : kExitOk;
}

}  // namespace

void AddEvaluateCommand(CLI::App& app) {
  auto options = std::make_shared<EvaluateOptions>();
  CLI::App* command = app.add_subcommand(
      "evaluate",
      "Score an entry against fingertip truth: fingers returned versus truth, fingertips matched "
      "at oriented-box IoU >= 0.5, median centre distance, position codes.");
  command->add_option("--truth", options->truth,
                      "truth CSV (file,finger_from_left,cx,cy,halfwidth,halfheight,angle_deg)");
  command->add_option("images", options->images, "images named in the truth file");
  command->add_option("--synth", options->synth, "also score N generated slaps")
      ->check(CLI::Range(0, 1000000));
  command->add_option("--seed", options->seed, "first seed of the generated slaps");
  command
      ->add_option("--method", options->method,
                   "entry to score: " + ventry::MethodNames(", ", true))
      ->check([](const std::string& name) {
        return veval::SegmenterByName(name) != nullptr ? std::string()
                                                       : "not an entry that returns boxes: " + name;
      });
  command->add_option(
      "--overlays", options->overlays,
      "folder for overlays: truth and result boxes (generated: misses and wrong codes only)");
  command->add_option("--maps", options->maps,
                      "folder for the slap segmenter's block maps, NAME.map.png (ridge score, "
                      "finger mask) and NAME.feat.png (period, fill, coherence); generated: misses "
                      "and wrong codes only");
  command->add_flag("--all", options->all, "list every generated slap, not only the misses");
  command->add_flag("--detail", options->detail,
                    "under each image listed, a line per true fingertip (the found box overlapping "
                    "it most: IoU, code, confidence) and per found box overlapping none");
  command
      ->add_option("--mix", options->mix,
                   "generated slaps: plain (the usual variety) or hard (about half also carry "
                   "hard kinds of real capture, named on each line)")
      ->check(CLI::IsMember({"plain", "hard"}));
  command
      ->add_option("--fingers", options->fingers,
                   "generated slaps: fingers asked for, as a capture station that expects a hand "
                   "would (default 4, the hand left open either way)")
      ->check(CLI::Range(1, 4));
  command->callback([options] { FinishWith(RunEvaluate(*options)); });
}

}  // namespace vtool
