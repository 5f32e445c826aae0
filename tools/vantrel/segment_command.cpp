// vantrel segment: the command line. The batch itself is in segment_run.cpp,
// one input's work in input_job.cpp.
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "commands.h"
#include "common_flags.h"
#include "segment_options.h"
#include "segment_run.h"

namespace vtool {

void AddSegmentCommand(CLI::App& app) {
  auto options = std::make_shared<SegmentOptions>();
  CLI::App* command = app.add_subcommand(
      "segment",
      "Cut slap images into single fingers. For each input it writes a result (JSON or CSV), "
      "one PNG per finger (NAME_f<place>_pos<position>.png) and an overlay (NAME_overlay.png).");
  command
      ->add_option("inputs", options->inputs,
                   "Image files (PNG, JPEG, BMP, TIFF, PGM, PPM; detected by content), "
                   "ANSI/NIST-ITL transactions (each slap record segmented, results named "
                   "NAME_r<record>) and folders (searched recursively for image file names)")
      ->required()
      ->type_name("FILES_OR_FOLDERS");
  std::map<std::string, Method> methods;
  for (const ventry::Entry& entry : ventry::Entries()) methods[entry.name] = entry.method;
  command
      ->add_option("--method", options->method,
                   "separate (SeparateImages, oriented boxes), quick (VantrelQuick), quick-new "
                   "(VantrelQuickNew), cent2 (VantrelCent2, 500 ppi images only) or slap "
                   "(VantrelSegmentSlap, texture-driven, fingertip top segments)")
      ->transform(CLI::CheckedTransformer(methods, CLI::ignore_case))
      ->option_text(ventry::MethodNames("|") + " (default " + MethodName(options->method) + ")");
  command->add_option("--fingers", options->fingers, "Fingers expected (default 4, thumbs 2)")
      ->check(WholeNumber(1, 5));
  AddHandFlag(
      command, &options->hand, true,
      "Hand of the impression: right (13), left (14), thumbs (15) or auto (0, the default)");
  AddResolutionFlags(command, &options->resolution, 201, 100000,
                     " (overrides the file's; default: the file's, else 500)");
  command->add_option("--out", options->out, "Output folder (created if needed)")
      ->capture_default_str();
  command
      ->add_option("--format", options->format,
                   "Result file format: json, csv (every field) or slapseg (NAME.csv: one row "
                   "per finger with its position code, box corners and angle, in the columns "
                   "of the slap segmentation evaluations)")
      ->check(CLI::IsMember({"json", "csv", "slapseg"}))
      ->capture_default_str();
  command->add_flag("--no-images", options->noImages, "Do not write the finger pictures");
  command
      ->add_option("--image-format", options->imageFormat,
                   "Finger picture format: png, or wsq (at 0.75 bits per pixel)")
      ->check(CLI::IsMember({"png", "wsq"}))
      ->capture_default_str();
  const std::map<std::string, OverlayKind> overlays{{"preview", OverlayKind::kPreview},
                                                    {"full", OverlayKind::kFull},
                                                    {"none", OverlayKind::kNone}};
  auto* overlay =
      command
          ->add_option("--overlay", options->overlay,
                       "Overlay picture: preview (long side at most 1000 pixels), full (the "
                       "input's size) or none")
          ->transform(CLI::CheckedTransformer(overlays, CLI::ignore_case))
          ->option_text("preview|full|none (default preview)");
  command
      ->add_flag_callback(
          "--no-overlay", [options] { options->overlay = OverlayKind::kNone; },
          "Do not write the overlay pictures (--overlay none)")
      ->excludes(overlay);
  command
      ->add_option("-j,--jobs", options->jobs,
                   "Inputs processed at once (default: one per core, here " +
                       std::to_string(std::max(1u, std::thread::hardware_concurrency())) + ")")
      ->check(WholeNumber(1, 256));
  auto* failFast =
      command->add_flag("--fail-fast", options->failFast,
                        "Stop at the first input that fails (inputs under way finish)");
  command
      ->add_flag_callback(
          "--keep-going", [options] { options->failFast = false; },
          "Go on past inputs that fail (the default)")
      ->excludes(failFast);
  command->add_flag("--no-progress", options->noProgress, "Never show the progress bar");
  command->add_flag("-q,--quiet", options->quiet, "Print only errors and the summary");
  CLI::Option* writeAn2 = command->add_option(
      "--write-an2", options->writeAn2,
      "With one ANSI/NIST-ITL transaction as input: write it to this file with each slap "
      "record's finger boxes in 14.021 and outlines in 14.025 (Type-4 slaps become Type-14)");
  command
      ->add_flag("--finger-records", options->fingerRecords,
                 "With --write-an2: add one Type-14 record per finger (WSQ, plain impression)")
      ->needs(writeAn2);
  command->callback([options] {
    // A folder could hold several transactions, all bound for the one output file.
    if (!options->writeAn2.empty() &&
        (options->inputs.size() != 1 || std::filesystem::is_directory(options->inputs[0]))) {
      throw CLI::ValidationError("--write-an2", "takes exactly one input transaction");
    }
    FinishWith(RunSegmentBatch(*options));
  });
}

}  // namespace vtool
