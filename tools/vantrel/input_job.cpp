#include "input_job.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "overlay.h"
#include "png_encode.h"
#include "report.h"
#include "staged_outputs.h"
#include "transaction_job.h"
#include "vantrel.h"

namespace vtool {
namespace {
namespace fs = std::filesystem;

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

// cent2 returns a record count, not a status.
std::string StatusToken(const Segmentation& s) {
  return s.hasStatus ? ventry::StatusToken(s.status) : "no_record";
}

std::string StatusKind(const Segmentation& s) {
  if (!s.hasStatus) return "no finger record written (cent2)";
  return "status " + std::to_string(s.status) + " (" + VantrelStatusText(s.status) + ")";
}

class InputJob {
 public:
  InputJob(const InputItem& item, const std::string& stem, const SegmentOptions& options,
           const DecodedInput* decoded = nullptr)
      : item_(item), stem_(stem), options_(options), staged_(options.out), decoded_(decoded) {
    report_.input = item.path;
    report_.record = decoded ? decoded->record : 0;
  }

  InputOutcome Run() {
    if (!item_.problem.empty()) return Failed("unusable_input", "unusable input", item_.problem);
    vio::ResolutionOverride override;
    options_.resolution.Given(&override.xppi, &override.yppi);
    const vio::ReadStatus read = decoded_ ? Decoded(override) : ReadInput(override);
    if (!read.ok())
      return Failed(vio::ReadErrorToken(read.error), vio::ReadErrorName(read.error), read.message);
    report_.imageRead = true;
    report_.image = &image_;
    if (options_.method == Method::kCent2 && (image_.xppi != 500 || image_.yppi != 500)) {
      return Failed("not_500ppi", "not 500 ppi (cent2)",
                    "cent2 reads 500 ppi images only and " + DescribeResolution(image_) +
                        "; resample the image or use another --method");
    }
    int32_t hand = options_.hand, fingers = options_.fingers;
    if (decoded_ && hand == VANTREL_HAND_UNKNOWN) hand = decoded_->hand;
    if (decoded_ && fingers == 0) fingers = decoded_->fingers;
    if (fingers == 0) fingers = hand == VANTREL_HAND_THUMBS ? 2 : 4;
    segmentation_ = std::make_unique<Segmentation>(Segment(image_, options_.method, fingers, hand));
    report_.segmentation = segmentation_.get();
    const Segmentation& s = *segmentation_;
    if (s.status != VANTREL_OK || s.fingers.empty())
      return Failed(StatusToken(s), StatusKind(s), StatusError(s, image_));

    std::string error;
    if (!options_.noImages) error = StageFingers();
    if (error.empty() && options_.overlay != OverlayKind::kNone) error = StageOverlay();
    if (error.empty()) error = staged_.Stage(ResultName(), ResultText());
    if (error.empty()) error = staged_.Commit();
    if (!error.empty()) {
      staged_.Discard();
      report_.fingerFiles.clear();
      report_.overlayFile.clear();
      return Failed("write_failed", "output not written", error);
    }
    outcome_.ok = true;
    outcome_.fingers = s.fingers.size();
    if (!options_.quiet) {
      outcome_.report = item_.path + ": " + std::to_string(s.fingers.size()) + " finger" +
                        (s.fingers.size() == 1 ? "" : "s") + ", hand " + HandName(s.handCode) +
                        " -> " + staged_.PathOf(ResultName());
    }
    return outcome_;
  }

  const Segmentation* segmentation() const { return segmentation_.get(); }

 private:
  vio::ReadStatus ReadInput(const vio::ResolutionOverride& override) {
    if (!options_.writeAn2.empty()) {
      return {vio::ReadError::kUnsupported, "--write-an2 takes an ANSI/NIST-ITL transaction"};
    }
    return vio::ReadImage(item_.path, override, &image_);
  }

  vio::ReadStatus Decoded(const vio::ResolutionOverride& override) {
    image_ = decoded_->image;
    if (override.xppi > 0) {
      image_.xppi = override.xppi;
      image_.yppi = override.yppi;
      image_.resolutionSource = vio::ResolutionSource::kFlag;
    }
    return decoded_->status;
  }

  std::string ResultName() const { return stem_ + "." + options_.ResultExtension(); }

  std::string ResultText() const {
    if (options_.format == "csv") return ToCsv(report_);
    if (options_.format == "slapseg") return ToSlapsegCsv(report_);
    // File names need not be UTF-8; JSON text must be.
    return ToJson(report_).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
           "\n";
  }

  // Records the failure and writes the result file that says so.
  InputOutcome Failed(const std::string& token, const std::string& kind,
                      const std::string& message) {
    report_.errorKind = token;
    report_.error = message;
    outcome_.ok = false;
    outcome_.failureKind = kind + " (" + token + ")";
    outcome_.errors.push_back(item_.path + ": " + message);
    std::string error = staged_.Stage(ResultName(), ResultText());
    if (error.empty()) error = staged_.Commit();
    if (!error.empty()) {
      // A result file of an earlier run must not stand in for this one.
      std::error_code ignored;
      fs::remove(staged_.PathOf(ResultName()), ignored);
      outcome_.errors.push_back(item_.path + ": " + error);
    }
    return outcome_;
  }

  std::string StagePng(const std::string& name, const std::vector<uint8_t>& png) {
    if (png.empty()) return "cannot encode " + staged_.PathOf(name) + ": out of memory";
    return staged_.Stage(name, png);
  }

  // A finger picture in the format asked for; WSQ carries one resolution, the one across.
  std::string StageFingerPicture(const std::string& stem, const uint8_t* pixels, int32_t rows,
                                 int32_t columns, std::string* name) {
    if (options_.imageFormat != "wsq") {
      *name = stem + ".png";
      return StagePng(*name, EncodePng(pixels, rows, columns, 1, image_.xppi, image_.yppi));
    }
    *name = stem + ".wsq";
    std::vector<uint8_t> wsq;
    const std::string error =
        vio::EncodeWsq(pixels, rows, columns, image_.xppi, vio::kWsqDefaultBitRate, &wsq);
    if (!error.empty()) return "cannot encode " + staged_.PathOf(*name) + ": " + error;
    return staged_.Stage(*name, wsq);
  }

  std::string StageFingers() {
    const Segmentation& s = *segmentation_;
    report_.fingerFiles.assign(s.fingers.size(), std::string());
    for (size_t i = 0; i < s.fingers.size(); ++i) {
      const Finger& finger = s.fingers[i];
      if (finger.pixels.empty()) continue;
      const std::string stem =
          stem_ + "_f" + std::to_string(i) + "_pos" + std::to_string(finger.record.position);
      int32_t width = finger.record.boxWidth, height = finger.record.boxHeight;
      if (!finger.imageFromLibrary) {
        // A crop clipped to the image may be smaller than the record's box.
        width =
            std::min(finger.record.right, image_.columns - 1) - std::max(finger.record.left, 0) + 1;
        height = static_cast<int32_t>(finger.pixels.size() / width);
      }
      std::string name;
      const std::string error =
          StageFingerPicture(stem, finger.pixels.data(), height, width, &name);
      if (!error.empty()) return error;
      report_.fingerFiles[i] = name;
    }
    return std::string();
  }

  std::string StageOverlay() {
    const Segmentation& s = *segmentation_;
    const std::string title = fs::path(item_.path).filename().string() + "  " +
                              MethodName(s.method) + "  hand " + HandName(s.handCode);
    const int32_t longSide = options_.overlay == OverlayKind::kFull ? 0 : kPreviewLongSide;
    const RgbImage overlay = MakeOverlay(image_, s, title, longSide);
    // The preview's pixels are larger; its resolution says so.
    const double scale = static_cast<double>(overlay.columns) / image_.columns;
    const std::string name = stem_ + "_overlay.png";
    const auto xppi = static_cast<int32_t>(image_.xppi * scale + 0.5);
    const auto yppi =
        static_cast<int32_t>(image_.yppi * overlay.rows / static_cast<double>(image_.rows) + 0.5);
    std::string error;
    if (options_.overlay == OverlayKind::kFull) {
      error = StagePng(
          name, EncodePng(overlay.pixels.data(), overlay.rows, overlay.columns, 3, xppi, yppi));
    } else {
      const PaletteImage preview = ToPalette(overlay);
      error = StagePng(name, EncodePalettePng(preview.indices.data(), preview.rows, preview.columns,
                                              preview.palette, xppi, yppi));
    }
    if (error.empty()) report_.overlayFile = name;
    return error;
  }

  const InputItem& item_;
  const std::string& stem_;
  const SegmentOptions& options_;
  StagedOutputs staged_;
  InputReport report_;
  InputOutcome outcome_;
  const DecodedInput* decoded_;
  vio::GreyImage image_;
  std::unique_ptr<Segmentation> segmentation_;
};

}  // namespace

InputOutcome ProcessInput(const InputItem& item, const std::string& stem,
                          const SegmentOptions& options) {
  if (item.problem.empty() && IsTransactionFile(item.path)) {
    return ProcessTransaction(item, stem, options);
  }
  return InputJob(item, stem, options).Run();
}

InputOutcome ProcessDecoded(const InputItem& item, const std::string& stem,
                            const SegmentOptions& options, const DecodedInput& input,
                            Segmentation* segmentation) {
  InputJob job(item, stem, options, &input);
  InputOutcome outcome = job.Run();
  if (job.segmentation()) *segmentation = *job.segmentation();
  return outcome;
}

}  // namespace vtool
