// vantrel synth: writes generated slaps as PNG (resolution in pHYs) with
// their ground truth as JSON.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "common_flags.h"
#include "image_io.h"
#include "slap_generator.h"

namespace vtool {
namespace {
namespace fs = std::filesystem;

struct SynthOptions {
  std::string out;
  int count = 1;
  uint64_t seed = 1;
  bool random = false;
  int32_t hand = 13;
  ResolutionFlags resolution;
  double rotation = 0;
  bool clutter = false;
  int missing = -1;
  bool touching = false;
  double contrast = 1.0;
  double noise = 0.03;
  bool bilevel = false;
  double width = 0;
  double height = 0;
  std::string prefix = "slap";
  std::string mix = "plain";
  // Hard kinds.
  double dryness = 0;
  double smudge = 0;
  int blobs = 0;
  double littleDrop = 0;
  double littleFaint = 1;
  std::string littleCut = "none";
  bool largeThumbs = false;
  std::vector<double> thumbLean;
  double topCut = 0;
  bool palm = false;
};

// The hard-kind flags given explicitly, over whatever the draw chose.
void ApplyHardFlags(const SynthOptions& o, const CLI::App& command, vsynth::SlapOptions& s) {
  auto given = [&command](const char* name) { return command.count(name) > 0; };
  if (given("--dry")) s.dryness = o.dryness;
  if (given("--smudge")) s.smudge = o.smudge;
  if (given("--blobs")) s.pressureBlobs = o.blobs;
  if (given("--little-drop")) s.littleDrop = o.littleDrop;
  if (given("--little-faint")) s.littleFaint = o.littleFaint;
  if (given("--little-cut"))
    s.littleCut = o.littleCut == "bottom" ? 1 : (o.littleCut == "side" ? 2 : 0);
  if (given("--large-thumbs")) s.largeThumbs = o.largeThumbs;
  if (given("--thumb-lean")) {
    s.thumbLean = true;
    s.thumbLeanDeg[0] = o.thumbLean[0];
    s.thumbLeanDeg[1] = o.thumbLean[1];
  }
  if (given("--top-cut")) s.topCut = o.topCut;
  if (given("--palm")) s.palm = o.palm;
}

int RunSynth(const SynthOptions& options, const CLI::App& command) {
  if (!MakeOutputFolder(options.out)) return kExitUsage;
  auto given = [&command](const char* name) { return command.count(name) > 0; };
  int failed = 0;
  for (int i = 0; i < options.count; ++i) {
    const uint64_t seed = options.seed + static_cast<uint64_t>(i);
    // With --random every image draws its own options from its seed; flags
    // given explicitly still win.
    vsynth::SlapOptions slapOptions = !options.random         ? vsynth::SlapOptions{}
                                      : options.mix == "hard" ? vsynth::RandomHardOptions(seed)
                                                              : vsynth::RandomOptions(seed);
    // The drawn options carry their own generator seed: keeping it writes
    // the slap that evaluate scores under the same seed.
    if (!options.random) slapOptions.seed = seed;
    if (!options.random || given("--hand")) slapOptions.hand = options.hand;
    int32_t xppi = 0, yppi = 0;
    if (options.resolution.Given(&xppi, &yppi)) {
      slapOptions.xppi = xppi;
      slapOptions.yppi = yppi;
    }
    if (!options.random || given("--rotation")) slapOptions.rotationDeg = options.rotation;
    if (!options.random || given("--clutter")) slapOptions.clutter = options.clutter;
    if (!options.random || given("--missing")) slapOptions.missingFinger = options.missing;
    if (!options.random || given("--touching")) slapOptions.touching = options.touching;
    if (!options.random || given("--contrast")) slapOptions.contrast = options.contrast;
    if (!options.random || given("--noise")) slapOptions.noise = options.noise;
    if (!options.random || given("--bilevel")) slapOptions.bilevel = options.bilevel;
    if (!options.random || given("--width")) slapOptions.widthInches = options.width;
    if (!options.random || given("--height")) slapOptions.heightInches = options.height;
    ApplyHardFlags(options, command, slapOptions);

    const vsynth::Slap slap = vsynth::GenerateSlap(slapOptions);
    const std::string stem =
        options.prefix + "_" + std::to_string(seed) + "_" + HandName(slap.hand);
    const fs::path png = fs::path(options.out) / (stem + ".png");
    const fs::path truth = fs::path(options.out) / (stem + "_truth.json");
    std::string problem = vio::WritePng(png.string(), slap.pixels.data(), slap.rows, slap.columns,
                                        1, static_cast<int32_t>(std::lround(slap.xppi)),
                                        static_cast<int32_t>(std::lround(slap.yppi)));
    if (problem.empty()) {
      std::ofstream json(truth, std::ios::trunc);
      json << vsynth::ToJson(slap) << "\n";
      json.close();
      if (!json) problem = "cannot write " + truth.string();
    }
    if (!problem.empty()) {
      std::fprintf(stderr, "vantrel: error: %s: %s\n", png.string().c_str(), problem.c_str());
      ++failed;
      continue;
    }
    std::printf("%s: %d x %d pixels, %g x %g ppi, %s, %zu fingers, %s\n", png.string().c_str(),
                slap.columns, slap.rows, slap.xppi, slap.yppi, HandName(slap.hand),
                slap.fingers.size(), vsynth::HardKinds(slapOptions).c_str());
  }
  std::printf("summary: %d slap%s written, %d failed\n", options.count - failed,
              options.count - failed == 1 ? "" : "s", failed);
  return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

void AddSynthCommand(CLI::App& app) {
  auto options = std::make_shared<SynthOptions>();
  CLI::App* command = app.add_subcommand(
      "synth",
      "Write generated slaps as PNG (with their resolution) and their truth as JSON: "
      "PREFIX_<seed>_<hand>.png and PREFIX_<seed>_<hand>_truth.json.");
  command->add_option("--out", options->out, "Output folder (created if needed)")->required();
  command->add_option("--count", options->count, "Number of slaps")
      ->check(CLI::Range(1, 100000))
      ->capture_default_str();
  command->add_option("--seed", options->seed, "Seed of the first slap; the next ones count up")
      ->capture_default_str();
  command->add_flag("--random", options->random,
                    "Draw varied options per slap from its seed (hand, resolution, rotation, "
                    "clutter, ...); options given explicitly still apply");
  AddHandFlag(command, &options->hand, false, "Hand: right (13, default), left (14), thumbs (15)");
  AddResolutionFlags(command, &options->resolution, 100, 2000, " (default 500)");
  command
      ->add_option("--rotation", options->rotation,
                   "Rotation of the whole hand in degrees, + clockwise")
      ->check(CLI::Range(-60.0, 60.0));
  command->add_flag("--clutter", options->clutter,
                    "Inked-card clutter: form lines, text, handwriting, a hole");
  command
      ->add_option("--missing", options->missing,
                   "Leave out the finger at this place from the left (0-3)")
      ->check(CLI::Range(0, 3));
  command->add_flag("--touching", options->touching, "Neighbouring fingers touch lower down");
  command->add_option("--contrast", options->contrast, "Contrast, 0.1 faint to 1 full")
      ->check(CLI::Range(0.1, 1.0));
  command
      ->add_option("--noise", options->noise,
                   "Background noise, standard deviation as a fraction of 255")
      ->check(CLI::Range(0.0, 0.5));
  command->add_flag("--bilevel", options->bilevel, "Black and white only");
  command->add_option("--width", options->width, "Image width in inches (default 3.2, thumbs 2.4)")
      ->check(CLI::Range(0.5, 10.0));
  command
      ->add_option("--height", options->height, "Image height in inches (default 3.0, thumbs 2.0)")
      ->check(CLI::Range(0.5, 10.0));
  command->add_option("--prefix", options->prefix, "File name prefix")->capture_default_str();
  command
      ->add_option("--mix", options->mix,
                   "With --random: plain (the usual variety) or hard (about half of the slaps "
                   "also get hard kinds of real capture)")
      ->check(CLI::IsMember({"plain", "hard"}))
      ->capture_default_str();
  command
      ->add_option("--dry", options->dryness,
                   "Dry print, 0 off to 1: broken ridges, speckle, voids")
      ->check(CLI::Range(0.0, 1.0));
  command->add_option("--smudge", options->smudge, "Smudged print, 0 off to 1")
      ->check(CLI::Range(0.0, 1.0));
  command->add_option("--blobs", options->blobs, "Dark pressure blobs")->check(CLI::Range(0, 8));
  command
      ->add_option("--little-drop", options->littleDrop,
                   "Inches the little fingertip lies below the mean of the other tips")
      ->check(CLI::Range(0.0, 2.5));
  command->add_option("--little-faint", options->littleFaint, "Little finger pressure, 0.2 to 1")
      ->check(CLI::Range(0.2, 1.0));
  command->add_option("--little-cut", options->littleCut, "Little fingertip cut by an edge")
      ->check(CLI::IsMember({"none", "bottom", "side"}));
  command->add_flag("--large-thumbs", options->largeThumbs, "Thumbs of a large hand");
  command
      ->add_option("--thumb-lean", options->thumbLean,
                   "Lean of the left and right thumb on screen, degrees, + clockwise")
      ->expected(2)
      ->check(CLI::Range(-45.0, 45.0));
  command
      ->add_option("--top-cut", options->topCut, "Inches the highest tip lies above the top edge")
      ->check(CLI::Range(0.0, 1.0));
  command->add_flag("--palm", options->palm, "Lower phalanges pressed hard, palm below");
  command->callback([options, command] { FinishWith(RunSynth(*options, *command)); });
}

}  // namespace vtool
