// vantrel segment: runs a segmenter over files and folders and writes, per
// input, the result (JSON or CSV), each finger's picture and an overlay.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "batch.h"
#include "commands.h"
#include "common_flags.h"
#include "image_io.h"
#include "overlay.h"
#include "report.h"
#include "segmentation.h"
#include "vantrel.h"

namespace vtool {
namespace {
namespace fs = std::filesystem;

struct SegmentOptions {
  std::vector<std::string> inputs;
  Method method = ventry::kDefaultMethod;
  int32_t fingers = 0;  // 0: 2 for thumbs, else 4
  int32_t hand = VANTREL_HAND_UNKNOWN;
  ResolutionFlags resolution;
  std::string out = "vantrel-out";
  std::string format = "json";
  bool noImages = false;
  bool noOverlay = false;
  bool noProgress = false;
  bool quiet = false;
};

// The resolution of the image, said the way the user can act on it.
std::string DescribeResolution(const vio::GreyImage& image) {
  std::string text = "the image is " + std::to_string(image.xppi) + " x " +
                     std::to_string(image.yppi) + " ppi (" +
                     vio::ResolutionSourceName(image.resolutionSource) + ")";
  if (image.resolutionSource == vio::ResolutionSource::kFile) {
    text += "; give --ppi to override the file's value";
  }
  return text;
}

std::string StatusError(const Segmentation& s, const vio::GreyImage& image) {
  if (!s.hasStatus) return "VantrelCent2 wrote no finger record";
  std::string text = "segmentation failed with status " + std::to_string(s.status) + " (" +
                     VantrelStatusText(s.status) + ")";
  if (s.status == VANTREL_BAD_XRES || (s.status == VANTREL_BAD_YRES && image.yppi < 201)) {
    text += ": " + DescribeResolution(image);
  } else if (s.status == VANTREL_BAD_YRES) {
    text += ": the image of " + std::to_string(image.columns) + " x " + std::to_string(image.rows) +
            " pixels is too small";
  }
  return text;
}

std::string StatusKind(const Segmentation& s) {
  if (!s.hasStatus) return "no finger record written (cent2)";
  return "status " + std::to_string(s.status) + " (" + VantrelStatusText(s.status) + ")";
}

class SegmentRun {
 public:
  explicit SegmentRun(const SegmentOptions& options) : options_(options) {}

  int Run() {
    std::error_code error;
    fs::create_directories(options_.out, error);
    if (error || !fs::is_directory(options_.out)) {
      std::fprintf(stderr, "vantrel: error: cannot create the output folder %s: %s\n",
                   options_.out.c_str(),
                   error ? error.message().c_str() : "a file of that name exists");
      return kExitUsage;
    }
    const std::vector<InputItem> items = ExpandInputs(options_.inputs, options_.out);
    Progress progress(items.size(), !options_.noProgress);
    for (const InputItem& item : items) {
      const bool ok = Process(item, &progress);
      summary_.files += 1;
      summary_.succeeded += ok ? 1 : 0;
      progress.Update(summary_.files, summary_.Failed());
    }
    progress.Clear();
    summary_.Print(stdout);
    std::fflush(stdout);
    return summary_.Failed() == 0 ? kExitOk : kExitFailed;
  }

 private:
  // A name for this input's outputs that no other input of the run has.
  std::string UniqueStem(const std::string& path) {
    std::string stem = fs::path(path).stem().string();
    if (stem.empty() || stem == "." || stem == "..") stem = "input";
    const int seen = ++stems_[stem];
    return seen == 1 ? stem : stem + "_" + std::to_string(seen);
  }

  void Fail(InputReport* report, const std::string& kind, const std::string& message,
            Progress* progress) {
    report->errorKind = kind;
    report->error = message;
    progress->Clear();
    std::fprintf(stderr, "vantrel: error: %s: %s\n", report->input.c_str(), message.c_str());
    summary_.failures[kind] += 1;
  }

  bool Process(const InputItem& item, Progress* progress) {
    InputReport report;
    report.input = item.path;
    const std::string stem = UniqueStem(item.path);
    vio::GreyImage image;
    std::unique_ptr<Segmentation> segmentation;
    if (!item.problem.empty()) {
      Fail(&report, "unusable input", item.problem, progress);
      WriteReport(stem, &report, progress);
      return false;
    }
    vio::ResolutionOverride override;
    options_.resolution.Given(&override.xppi, &override.yppi);
    const vio::ReadStatus read = vio::ReadImage(item.path, override, &image);
    if (!read.ok()) {
      Fail(&report, vio::ReadErrorName(read.error), read.message, progress);
      WriteReport(stem, &report, progress);
      return false;
    }
    report.imageRead = true;
    report.image = &image;
    if (options_.method == Method::kCent2 && (image.xppi != 500 || image.yppi != 500)) {
      Fail(&report, "not 500 ppi (cent2)",
           "cent2 reads 500 ppi images only and " + DescribeResolution(image) +
               "; resample the image or use another --method",
           progress);
      WriteReport(stem, &report, progress);
      return false;
    }
    const int32_t fingers =
        options_.fingers > 0 ? options_.fingers : (options_.hand == VANTREL_HAND_THUMBS ? 2 : 4);
    VtlSetImageFileName(item.path.c_str());
    segmentation =
        std::make_unique<Segmentation>(Segment(image, options_.method, fingers, options_.hand));
    report.segmentation = segmentation.get();
    const Segmentation& s = *segmentation;
    if (s.status != VANTREL_OK || s.fingers.empty()) {
      Fail(&report, StatusKind(s), StatusError(s, image), progress);
      WriteReport(stem, &report, progress);
      return false;
    }
    std::string writeError;
    if (!options_.noImages) writeError = WriteFingers(stem, image, s, &report);
    if (writeError.empty() && !options_.noOverlay) {
      const std::string title = fs::path(item.path).filename().string() + "  " +
                                MethodName(s.method) + "  hand " + HandName(s.handCode);
      const RgbImage overlay = MakeOverlay(image, s, title);
      const std::string name = stem + "_overlay.png";
      writeError = vio::WritePng((fs::path(options_.out) / name).string(), overlay.pixels.data(),
                                 overlay.rows, overlay.columns, 3, image.xppi, image.yppi);
      if (writeError.empty()) report.overlayFile = name;
    }
    if (!writeError.empty()) {
      Fail(&report, "output not written", writeError, progress);
      WriteReport(stem, &report, progress);
      return false;
    }
    if (!WriteReport(stem, &report, progress)) return false;
    summary_.fingers += s.fingers.size();
    if (!options_.quiet) {
      progress->Clear();
      std::printf("%s: %zu finger%s, hand %s -> %s\n", item.path.c_str(), s.fingers.size(),
                  s.fingers.size() == 1 ? "" : "s", HandName(s.handCode),
                  (fs::path(options_.out) / (stem + "." + options_.format)).string().c_str());
      std::fflush(stdout);
    }
    return true;
  }

  std::string WriteFingers(const std::string& stem, const vio::GreyImage& image,
                           const Segmentation& s, InputReport* report) {
    report->fingerFiles.assign(s.fingers.size(), std::string());
    for (size_t i = 0; i < s.fingers.size(); ++i) {
      const Finger& finger = s.fingers[i];
      if (finger.pixels.empty()) continue;
      const std::string name = stem + "_f" + std::to_string(i) + "_pos" +
                               std::to_string(finger.record.position) + ".png";
      int32_t width = finger.record.boxWidth, height = finger.record.boxHeight;
      if (!finger.imageFromLibrary) {
        // A crop clipped to the image may be smaller than the record's box.
        width =
            std::min(finger.record.right, image.columns - 1) - std::max(finger.record.left, 0) + 1;
        height = static_cast<int32_t>(finger.pixels.size() / width);
      }
      const std::string error =
          vio::WritePng((fs::path(options_.out) / name).string(), finger.pixels.data(), height,
                        width, 1, image.xppi, image.yppi);
      if (!error.empty()) return name + ": " + error;
      report->fingerFiles[i] = name;
    }
    return std::string();
  }

  // Writes the JSON or CSV of the input; false (reported) when it cannot.
  bool WriteReport(const std::string& stem, InputReport* report, Progress* progress) {
    const fs::path path = fs::path(options_.out) / (stem + "." + options_.format);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out << (options_.format == "csv" ? ToCsv(*report) : ToJson(*report).dump(2) + "\n");
    out.close();
    if (!out) {
      if (report->error.empty()) {
        Fail(report, "output not written", "cannot write " + path.string(), progress);
      }
      return false;
    }
    return true;
  }

  const SegmentOptions& options_;
  Summary summary_;
  std::map<std::string, int> stems_;
};

}  // namespace

void AddSegmentCommand(CLI::App& app) {
  auto options = std::make_shared<SegmentOptions>();
  CLI::App* command = app.add_subcommand(
      "segment",
      "Cut slap images into single fingers. For each input it writes a result (JSON or CSV), "
      "one PNG per finger (NAME_f<place>_pos<position>.png) and an overlay (NAME_overlay.png).");
  command
      ->add_option("inputs", options->inputs,
                   "Image files (PNG, JPEG, BMP, TIFF, PGM, PPM; detected by content) and "
                   "folders (searched recursively for image file names)")
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
      ->check(CLI::Range(1, 5));
  AddHandFlag(
      command, &options->hand, true,
      "Hand of the impression: right (13), left (14), thumbs (15) or auto (0, the default)");
  AddResolutionFlags(command, &options->resolution, 201, 100000,
                     " (overrides the file's; default: the file's, else 500)");
  command->add_option("--out", options->out, "Output folder (created if needed)")
      ->capture_default_str();
  command->add_option("--format", options->format, "Result file format: json or csv")
      ->check(CLI::IsMember({"json", "csv"}))
      ->capture_default_str();
  command->add_flag("--no-images", options->noImages, "Do not write the finger pictures");
  command->add_flag("--no-overlay", options->noOverlay, "Do not write the overlay pictures");
  command->add_flag("--no-progress", options->noProgress, "Never show the progress bar");
  command->add_flag("-q,--quiet", options->quiet, "Print only errors and the summary");
  command->callback([options] { FinishWith(SegmentRun(*options).Run()); });
}

}  // namespace vtool
