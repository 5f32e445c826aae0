#include "report.h"

#include <cmath>
#include <sstream>

#include "common_flags.h"
#include "vantrel.h"

namespace vtool {
namespace {

nlohmann::ordered_json FingerJson(const Segmentation& segmentation, size_t i,
                                  const std::string& file) {
  const Finger& finger = segmentation.fingers[i];
  const SegmentedFinger& r = finger.record;
  nlohmann::ordered_json j;
  j["index"] = i;
  j["image"] = file.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(file);
  j["position"] = r.position;
  j["boxHeight"] = r.boxHeight;
  j["boxWidth"] = r.boxWidth;
  j["centerX"] = r.centerX;
  j["centerY"] = r.centerY;
  j["angle"] = r.angle;
  j["fixedValue"] = r.fixedValue;
  j["top"] = r.top;
  j["left"] = r.left;
  j["bottom"] = r.bottom;
  j["right"] = r.right;
  j["angleDegrees"] = std::round(r.angle * 180.0 / M_PI * 100) / 100;
  j["fingerName"] = segmentation.method == Method::kSeparate ? "" : FingerName(r.position);
  j["imageSource"] = finger.pixels.empty()     ? "none"
                     : finger.imageFromLibrary ? "library"
                                               : "cropped from the input by the tool";
  nlohmann::ordered_json corners = nlohmann::ordered_json::array();
  for (const auto& corner : finger.corners) {
    corners.push_back({std::round(corner[0] * 10) / 10, std::round(corner[1] * 10) / 10});
  }
  j["corners"] = corners;
  if (finger.info) {
    const FingerInfo& f = *finger.info;
    j["fingerInfo"] = {{"centerRow", f.centerRow},
                       {"centerColumn", f.centerColumn},
                       {"angleTwoDegrees", f.angleTwoDegrees},
                       {"fixedValue", f.fixedValue},
                       {"boxHeight", f.boxHeight},
                       {"boxWidth", f.boxWidth},
                       {"position", f.position},
                       {"upperLeftRow", f.upperLeftRow},
                       {"upperLeftColumn", f.upperLeftColumn},
                       {"upperRightRow", f.upperRightRow},
                       {"upperRightColumn", f.upperRightColumn},
                       {"lowerLeftRow", f.lowerLeftRow},
                       {"lowerLeftColumn", f.lowerLeftColumn},
                       {"lowerRightRow", f.lowerRightRow},
                       {"lowerRightColumn", f.lowerRightColumn}};
  }
  return j;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Text(const nlohmann::ordered_json& value) {
  if (value.is_null()) return "";
  if (value.is_string()) return value.get<std::string>();
  return value.dump();
}

}  // namespace

nlohmann::ordered_json ToJson(const InputReport& report) {
  nlohmann::ordered_json j;
  j["input"] = report.input;
  if (report.record > 0) j["record"] = report.record;
  j["ok"] = report.error.empty();
  j["error"] =
      report.error.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(report.error);
  j["errorKind"] = report.errorKind.empty() ? nlohmann::ordered_json(nullptr)
                                            : nlohmann::ordered_json(report.errorKind);
  if (report.imageRead && report.image != nullptr) {
    const vio::GreyImage& image = *report.image;
    j["format"] = vio::FormatName(image.format);
    j["image"] = {{"columns", image.columns},
                  {"rows", image.rows},
                  {"xppi", image.xppi},
                  {"yppi", image.yppi},
                  {"resolutionSource", vio::ResolutionSourceName(image.resolutionSource)}};
  } else {
    j["format"] = nullptr;
    j["image"] = nullptr;
  }
  if (report.segmentation == nullptr) {
    j["method"] = nullptr;
    j["status"] = nullptr;
    j["statusText"] = nullptr;
    j["result"] = nullptr;
    j["overlay"] = nullptr;
    return j;
  }
  const Segmentation& s = *report.segmentation;
  j["method"] = MethodName(s.method);
  j["entry"] = EntryName(s.method);
  j["fingersRequested"] = s.fingerCount;
  j["handRequested"] = s.handRequested;
  if (s.method == Method::kCent2) j["fingerMask"] = s.fingerMask;
  if (s.hasStatus) {
    j["status"] = s.status;
    j["statusText"] = VantrelStatusText(s.status);
  } else {
    // VantrelCent2 returns a record count, not a status.
    j["status"] = nullptr;
    j["statusText"] = s.fingers.empty() ? "no finger record written" : "records written";
  }
  j["angleMeaning"] = s.orientedBoxes ? "rotation of the oriented box"
                                      : "direction of the finger axis from tip to base";
  nlohmann::ordered_json fingers = nlohmann::ordered_json::array();
  for (size_t i = 0; i < s.fingers.size(); ++i) {
    fingers.push_back(
        FingerJson(s, i, i < report.fingerFiles.size() ? report.fingerFiles[i] : std::string()));
  }
  j["result"] = {{"handCode", s.handCode},
                 {"hand", HandName(s.handCode)},
                 {"count", s.fingers.size()},
                 {"fingers", fingers}};
  j["overlay"] = report.overlayFile.empty() ? nlohmann::ordered_json(nullptr)
                                            : nlohmann::ordered_json(report.overlayFile);
  return j;
}

std::string ToCsv(const InputReport& report) {
  static const char* const kInputColumns[] = {"input",
                                              "ok",
                                              "error",
                                              "format",
                                              "columns",
                                              "rows",
                                              "xppi",
                                              "yppi",
                                              "resolutionSource",
                                              "method",
                                              "fingersRequested",
                                              "handRequested",
                                              "status",
                                              "statusText",
                                              "handCode",
                                              "count",
                                              "overlay"};
  static const char* const kFingerColumns[] = {
      "index", "image",      "position", "boxHeight", "boxWidth", "centerX", "centerY",
      "angle", "fixedValue", "top",      "left",      "bottom",   "right"};
  const nlohmann::ordered_json j = ToJson(report);
  nlohmann::ordered_json flat = j;
  const nlohmann::ordered_json none;
  const nlohmann::ordered_json& image = j["image"];
  for (const char* key : {"columns", "rows", "xppi", "yppi", "resolutionSource"}) {
    flat[key] = image.is_null() ? none : image[key];
  }
  const nlohmann::ordered_json& result = j["result"];
  flat["handCode"] = result.is_null() ? none : result["handCode"];
  flat["count"] = result.is_null() ? none : result["count"];
  for (const char* key : {"fingersRequested", "handRequested"}) {
    if (!flat.contains(key)) flat[key] = none;
  }

  std::ostringstream out;
  bool first = true;
  for (const char* key : kInputColumns) out << (first ? "" : ",") << key, first = false;
  for (const char* key : kFingerColumns) out << "," << key;
  out << "\n";
  std::string prefix;
  first = true;
  for (const char* key : kInputColumns) {
    prefix += (first ? "" : ",") + CsvField(Text(flat[key]));
    first = false;
  }
  const nlohmann::ordered_json fingers =
      result.is_null() ? nlohmann::ordered_json::array() : result["fingers"];
  if (fingers.empty()) {
    out << prefix << std::string(sizeof kFingerColumns / sizeof kFingerColumns[0], ',') << "\n";
  }
  for (const auto& finger : fingers) {
    out << prefix;
    for (const char* key : kFingerColumns) out << "," << CsvField(Text(finger[key]));
    out << "\n";
  }
  return out.str();
}

std::string ToSlapsegCsv(const InputReport& report) {
  std::ostringstream out;
  out << "filename,frgp,tlx,tly,trx,try,blx,bly,brx,bry,theta\n";
  if (report.segmentation == nullptr) return out.str();
  const Segmentation& s = *report.segmentation;
  for (const Finger& finger : s.fingers) {
    out << CsvField(report.input) << "," << finger.record.position;
    // Corners run clockwise from the upper left: tl, tr, br, bl.
    for (const int k : {0, 1, 3, 2}) {
      out << "," << std::lround(finger.corners[k][0]) << "," << std::lround(finger.corners[k][1]);
    }
    const double degrees = s.orientedBoxes ? finger.record.angle * 180.0 / M_PI : 0.0;
    out << "," << std::round(degrees * 100) / 100 << "\n";
  }
  return out.str();
}

}  // namespace vtool
