// The vantrel program run as a separate process.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "image_io.h"
#include "slap_generator.h"
#include "test_images.h"

namespace {
namespace fs = std::filesystem;
using nlohmann::json;

struct RunResult {
  int code = -1;
  std::string out;
  std::string err;
};

RunResult RunTool(const std::vector<std::string>& arguments) {
  const std::string dir = testimg::MakeTempDir("run");
  std::string command = std::string("'") + VANTREL_CLI_PATH + "'";
  for (const std::string& a : arguments) command += " '" + a + "'";
  const int status =
      std::system((command + " </dev/null >" + dir + "/stdout 2>" + dir + "/stderr").c_str());
  RunResult result;
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = testimg::ReadText(dir + "/stdout");
  result.err = testimg::ReadText(dir + "/stderr");
  return result;
}

json ReadJson(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in.good()) << path;
  if (!in) return json();
  return json::parse(in);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

#define EXPECT_CONTAINS(text, part) EXPECT_PRED2(Contains, text, part)

TEST(CliTest, UsageErrorsExitWithTwo) {
  const std::string dir = testimg::MakeTempDir("usage");
  const std::string image = dir + "/x.png";
  testimg::WriteFile(image, testimg::EncodePng(testimg::GreyRamp(60, 50), {500, 500}));
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{}, "subcommand"},
      {{"segment"}, "inputs"},
      {{"segment", "--ppi", "100", image}, "--ppi: 100 is out of range (give 201 to 100000)"},
      {{"segment", "--ppi", "abc", image},
       "--ppi: 'abc' is not a whole number (give 201 to 100000)"},
      {{"segment", "--xppi", "500", "--yppi", "3000000000", image}, "--yppi: 3000000000 is out"},
      {{"segment", "--overlay", "half", image}, "--overlay"},
      {{"segment", "--jobs", "0", image}, "--jobs: 0 is out of range"},
      {{"segment", "--xppi", "500", image}, "--yppi"},
      {{"segment", "--ppi", "500", "--xppi", "500", "--yppi", "500", image}, "--ppi"},
      {{"segment", "--method", "fast", image}, "--method"},
      {{"segment", "--hand", "middle", image}, "--hand"},
      {{"segment", "--fingers", "0", image}, "--fingers"},
      {{"segment", "--fingers", "6", image}, "--fingers"},
      {{"segment", "--format", "xml", image}, "--format"},
      {{"segment", "--bogus", image}, "--bogus"},
      {{"segment", "--out", image, image}, "cannot create the output folder"},
      {{"synth", "--out", dir, "--rotation", "90"}, "--rotation"},
      {{"evaluate"}, ""},
      {{"evaluate", "--synth", "1", "--method", "nonsense"}, "--method"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const RunResult run = RunTool(c.arguments);
    EXPECT_EQ(run.code, 2);
    EXPECT_CONTAINS(run.err, c.message);
  }
  const RunResult help = RunTool({"segment", "--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_CONTAINS(help.out, "--method");
}

TEST(CliTest, BadInputsAreReportedByNameAndReason) {
  const std::string dir = testimg::MakeTempDir("bad_inputs");
  const testimg::Pixels picture = testimg::GreyRamp(300, 240);
  const std::vector<uint8_t> png = testimg::EncodePng(picture, {500, 500});
  testimg::WriteFile(dir + "/truncated.png",
                     std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 2));
  testimg::WriteFile(dir + "/anim.png", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0});
  testimg::WriteFile(dir + "/tiny.png", testimg::EncodePng(testimg::GreyRamp(6, 6), {500, 500}));
  testimg::WriteFile(dir + "/screen.png", testimg::EncodePng(picture, {72, 72}));
  testimg::WriteFile(dir + "/huge.png", testimg::PngHeaderOnly(30000, 30000));
  testimg::WriteFile(dir + "/half.png", testimg::EncodePng(picture, {250, 250}));
  fs::create_directories(dir + "/nothing_here");
  testimg::WriteFile(dir + "/nothing_here/notes.txt", {'h', 'i'});
  struct Case {
    std::string input;
    std::vector<std::string> extra;
    std::string kind;
    std::string token;  // errorKind in the JSON
    std::string message;
  };
  const std::vector<Case> cases = {
      {"missing.png", {}, "file not found", "not_found", "no such file"},
      {"truncated.png",
       {},
       "corrupt or truncated image",
       "corrupt",
       "corrupt PNG: file is truncated"},
      {"anim.png", {}, "unsupported format", "unsupported", "unsupported image format: GIF"},
      {"tiny.png",
       {"--method", "separate"},
       "status 8 (",
       "status_8",
       "the image of 6 x 6 pixels is too small"},
      {"screen.png",
       {},
       "status 7 (horizontal resolution below 201",
       "status_7",
       "the image is 72 x 72 ppi (file); give --ppi"},
      {"huge.png", {}, "image too large", "too_large", "30000 x 30000 pixels exceeds the limit"},
      {"half.png",
       {"--method", "cent2"},
       "not 500 ppi (cent2)",
       "not_500ppi",
       "cent2 reads 500 ppi images only and the image is 250 x 250 ppi"},
      {"nothing_here", {}, "unusable input", "unusable_input", "folder holds no image files"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const std::string out = dir + "/out_" + fs::path(c.input).stem().string();
    std::vector<std::string> arguments = {"segment", "--out", out, dir + "/" + c.input};
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    const RunResult run = RunTool(arguments);
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_CONTAINS(run.err, "vantrel: error: " + dir + "/" + c.input + ": ");
    EXPECT_CONTAINS(run.err, c.message);
    EXPECT_CONTAINS(run.out, "summary: 1 file, 0 succeeded, 1 failed, 0 fingers found");
    EXPECT_CONTAINS(run.out, "failed: 1 x " + c.kind);
    EXPECT_CONTAINS(run.out, "(" + c.token + ")");
    const json j = ReadJson(out + "/" + fs::path(c.input).stem().string() + ".json");
    EXPECT_EQ(j["ok"], false);
    EXPECT_CONTAINS(j["error"].get<std::string>(), c.message);
    EXPECT_EQ(j["errorKind"], c.token);
  }
  RunTool({"segment", "--out", dir + "/cured", "--ppi", "500", dir + "/screen.png"});
  EXPECT_NE(ReadJson(dir + "/cured/screen.json")["status"], 7);
}

const std::string kSamples = std::string(VANTREL_SOURCE_DIR) + "/samples";

struct Rgb {
  int width = 0, height = 0;
  std::vector<uint8_t> data;
  const uint8_t* At(int x, int y) const { return &data[(size_t(y) * width + x) * 3]; }
};

Rgb ReadRgb(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Rgb out;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_RGB;
  out.data.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.data.data(), 0, nullptr)) return Rgb{};
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  return out;
}

bool InsideOrientedBox(const json& f, double x, double y) {
  const double a = f["angle"].get<double>();
  const double dx = x - f["centerX"].get<double>(), dy = y - f["centerY"].get<double>();
  const double u = dx * std::cos(a) - dy * std::sin(a);
  const double v = dx * std::sin(a) + dy * std::cos(a);
  return std::abs(u) <= f["boxWidth"].get<double>() / 2 &&
         std::abs(v) <= f["boxHeight"].get<double>() / 2;
}

// The values agree with each other, with the files written and with the
// sample's ground truth.
TEST(CliTest, BundledSampleGivesCompleteConsistentResult) {
  const std::string out = testimg::MakeTempDir("sample");
  const std::string input = kSamples + "/synth/right_250ppi.png";
  const RunResult run = RunTool({"segment", "--out", out, input});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_CONTAINS(run.out, "summary: 1 file, 1 succeeded, 0 failed, 4 fingers found");
  const json j = ReadJson(out + "/right_250ppi.json");
  EXPECT_EQ(j["input"], input);
  EXPECT_EQ(j["image"], json({{"columns", 800},
                              {"rows", 750},
                              {"xppi", 250},
                              {"yppi", 250},
                              {"resolutionSource", "file"}}));
  EXPECT_EQ(j["method"], "slap");
  EXPECT_EQ(j["entry"], "VantrelSegmentSlap");
  EXPECT_EQ(j["statusText"], "success");
  const json& result = j["result"];
  EXPECT_EQ(result["hand"], "right");
  ASSERT_EQ(result["fingers"].size(), 4u);

  const json truth = ReadJson(kSamples + "/synth/right_250ppi_truth.json");
  ASSERT_EQ(truth["fingers"].size(), 4u);
  const Rgb overlay = ReadRgb(out + "/right_250ppi_overlay.png");
  ASSERT_EQ(overlay.width, 800);
  ASSERT_EQ(overlay.height, 750);
  EXPECT_EQ(j["overlay"], "right_250ppi_overlay.png");
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const json& f = result["fingers"][i];
    EXPECT_EQ(f["position"], 2 + i);
    const std::string name =
        "right_250ppi_f" + std::to_string(i) + "_pos" + std::to_string(2 + i) + ".png";
    EXPECT_EQ(f["image"], name);
    vio::GreyImage picture;
    ASSERT_TRUE(vio::ReadImage(out + "/" + name, {}, &picture).ok());
    EXPECT_EQ(picture.columns, f["boxWidth"].get<int>());
    EXPECT_EQ(picture.rows, f["boxHeight"].get<int>());
    EXPECT_EQ(picture.xppi, 250);
    const json& t = truth["fingers"][i];
    EXPECT_TRUE(InsideOrientedBox(f, t["cx"].get<double>(), t["cy"].get<double>()))
        << "truth " << t.dump() << " found " << f.dump();
    const uint8_t* p = overlay.At(f["centerX"].get<int>(), f["centerY"].get<int>());
    EXPECT_TRUE(p[0] != p[1] || p[1] != p[2]) << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
  }
  vio::GreyImage input_image;
  ASSERT_TRUE(vio::ReadImage(input, {}, &input_image).ok());
  const uint8_t* corner = overlay.At(799, 0);
  EXPECT_EQ(corner[0], input_image.pixels[799]);
  EXPECT_EQ(corner[1], corner[0]);
}

TEST(CliTest, EveryMethodWritesItsOwnFields) {
  const std::string dir = testimg::MakeTempDir("methods");
  vsynth::SlapOptions options;
  options.seed = 11;
  options.noise = 0;
  const vsynth::Slap slap = vsynth::GenerateSlap(options);
  const std::string input = dir + "/slap.png";
  ASSERT_EQ(vio::WritePng(input, slap.pixels.data(), slap.rows, slap.columns, 1, 500, 500), "");
  for (const std::string method : {"separate", "slap", "quick", "quick-new", "cent2"}) {
    SCOPED_TRACE(method);
    const std::string out = dir + "/" + method;
    const RunResult run =
        RunTool({"segment", "--method", method, "--hand", "right", "--out", out, input});
    ASSERT_EQ(run.code, 0) << run.err;
    const json j = ReadJson(out + "/slap.json");
    EXPECT_EQ(j["method"], method);
    EXPECT_EQ(j["handRequested"], 13);
    const json& fingers = j["result"]["fingers"];
    ASSERT_FALSE(fingers.empty());
    EXPECT_EQ(j["result"]["count"], fingers.size());
    for (size_t i = 0; i < fingers.size(); ++i) {
      const json& f = fingers[i];
      SCOPED_TRACE(f.dump());
      vio::GreyImage picture;
      ASSERT_TRUE(vio::ReadImage(out + "/" + f["image"].get<std::string>(), {}, &picture).ok());
      EXPECT_EQ(picture.columns, f["boxWidth"].get<int>());
      EXPECT_EQ(picture.rows, f["boxHeight"].get<int>());
      if (method == "separate" || method == "slap") {
        EXPECT_EQ(j["status"], 0);
        EXPECT_EQ(f["position"], method == "separate" ? i : 2 + i);
        double sx = 0;
        for (const auto& corner : f["corners"]) sx += corner[0].get<double>();
        EXPECT_NEAR(sx / 4, f["centerX"].get<double>(), 0.5);
        continue;
      }
      EXPECT_EQ(f["fixedValue"], 15.0);
      EXPECT_EQ(f["corners"][2], json({f["right"].get<double>(), f["bottom"].get<double>()}));
      EXPECT_FALSE(f["fingerName"].get<std::string>().empty());
      if (method != "cent2") {
        EXPECT_EQ(j["status"], 0);
        EXPECT_EQ(f["imageSource"], "library");
        EXPECT_EQ(f["position"], 2 + i);
        continue;
      }
      EXPECT_TRUE(j["status"].is_null());
      EXPECT_EQ(j["fingerMask"], 15);
      EXPECT_EQ(f["imageSource"], "cropped from the input by the tool");
      const json& info = f["fingerInfo"];
      EXPECT_EQ(info["centerRow"], f["centerY"]);
      EXPECT_EQ(info["upperRightColumn"], f["right"]);
      EXPECT_EQ(info["lowerLeftRow"], f["bottom"]);
      EXPECT_NEAR(info["angleTwoDegrees"].get<int>() * 2.0, f["angleDegrees"].get<double>(), 0.01);
    }
    // Four mask bits make a two-thumb search in cent2.
    if (method == "cent2") {
      EXPECT_LE(fingers.size(), 2u);
    }
  }
}

TEST(CliTest, BatchContinuesPastBadFiles) {
  const std::string dir = testimg::MakeTempDir("batch");
  const std::vector<uint8_t> good = testimg::ReadFile(kSamples + "/synth/right_250ppi.png");
  testimg::WriteFile(dir + "/corrupt.png",
                     std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 3));
  const std::vector<std::string> inputs = {
      kSamples + "/synth/right_250ppi.png", dir + "/corrupt.png",
      kSamples + "/synth/left_250ppi.png", dir + "/missing.tif"};
  std::vector<std::string> arguments = {"segment", "--jobs", "3", "--out", dir + "/out"};
  arguments.insert(arguments.end(), inputs.begin(), inputs.end());
  const RunResult run = RunTool(arguments);
  EXPECT_EQ(run.code, 1);
  EXPECT_CONTAINS(run.out, "summary: 4 files, 2 succeeded, 2 failed, 8 fingers found");
  // Lines come in input order whichever worker finishes first.
  EXPECT_LT(run.out.find("right_250ppi.png: 4 fingers"), run.out.find("left_250ppi.png: 4"));
  EXPECT_LT(run.err.find("corrupt.png"), run.err.find("missing.tif"));
  EXPECT_CONTAINS(run.out, "failed: 1 x corrupt or truncated image");
  EXPECT_CONTAINS(run.out, "failed: 1 x file not found");
  EXPECT_CONTAINS(run.err, dir + "/corrupt.png: corrupt PNG");
  EXPECT_CONTAINS(run.err, dir + "/missing.tif: no such file");
  EXPECT_EQ(ReadJson(dir + "/out/left_250ppi.json")["result"]["count"], 4);
  EXPECT_TRUE(fs::exists(dir + "/out/left_250ppi_f3_pos7.png"));

  arguments = {"segment", "--fail-fast", "--jobs", "1", "--out", dir + "/fast"};
  arguments.insert(arguments.end(), inputs.begin(), inputs.end());
  const RunResult fast = RunTool(arguments);
  EXPECT_EQ(fast.code, 1);
  EXPECT_CONTAINS(fast.out, "summary: 2 files, 1 succeeded, 1 failed");
  EXPECT_CONTAINS(fast.out, "stopped by --fail-fast: 2 files not started");
  EXPECT_FALSE(fs::exists(dir + "/fast/left_250ppi.json"));
}

// The output folder inside an input folder is left out; same-named inputs
// get distinct outputs.
TEST(CliTest, FoldersAndNameClashes) {
  const std::string dir = testimg::MakeTempDir("folders");
  fs::create_directories(dir + "/in/a");
  fs::create_directories(dir + "/in/b");
  fs::copy_file(kSamples + "/synth/thumbs_250ppi.png", dir + "/in/a/card.png");
  fs::copy_file(kSamples + "/synth/left_250ppi.png", dir + "/in/b/card.PNG");
  testimg::WriteFile(dir + "/in/readme.txt", {'x'});
  const std::string out = dir + "/in/results";
  RunResult run = RunTool({"segment", "--hand", "auto", "--out", out, dir + "/in"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_CONTAINS(run.out, "summary: 2 files, 2 succeeded");
  EXPECT_EQ(ReadJson(out + "/card.json")["input"], dir + "/in/a/card.png");
  EXPECT_EQ(ReadJson(out + "/card_2.json")["input"], dir + "/in/b/card.PNG");
  run = RunTool({"segment", "--out", out, dir + "/in"});
  EXPECT_CONTAINS(run.out, "summary: 2 files, 2 succeeded");
}

TEST(CliTest, SynthWritesSlapsWithTheirTruth) {
  const std::string dir = testimg::MakeTempDir("synth");
  const RunResult run = RunTool(
      {"synth", "--out", dir, "--count", "2", "--seed", "7", "--hand", "left", "--ppi", "300"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_CONTAINS(run.out, "summary: 2 slaps written, 0 failed");
  for (const std::string stem : {"/slap_7_left", "/slap_8_left"}) {
    vio::GreyImage slap;
    ASSERT_TRUE(vio::ReadImage(dir + stem + ".png", {}, &slap).ok()) << stem;
    EXPECT_EQ(slap.xppi, 300);
    EXPECT_EQ(ReadJson(dir + stem + "_truth.json")["fingers"].size(), 4u);
  }
}

// A slap that evaluate scored badly can be written out to look at.
TEST(CliTest, SynthRandomWritesTheSlapEvaluateScores) {
  const std::string dir = testimg::MakeTempDir("synth_random");
  const RunResult run =
      RunTool({"synth", "--out", dir, "--random", "--mix", "hard", "--seed", "5114"});
  ASSERT_EQ(run.code, 0) << run.err;
  const vsynth::Slap slap = vsynth::GenerateSlap(vsynth::RandomHardOptions(5114));
  std::vector<uint8_t> pixels;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".png") continue;
    vio::GreyImage written;
    ASSERT_TRUE(vio::ReadImage(entry.path().string(), {}, &written).ok());
    pixels = written.pixels;
  }
  EXPECT_TRUE(pixels == slap.pixels);
}

TEST(CliTest, CsvAndSwitchesForPictures) {
  const std::string dir = testimg::MakeTempDir("csv");
  const std::string input = kSamples + "/synth/right_250ppi.png";
  RunResult run =
      RunTool({"segment", "--format", "csv", "--no-images", "--no-overlay", "--out", dir, input});
  ASSERT_EQ(run.code, 0) << run.err;
  std::istringstream csv(testimg::ReadText(dir + "/right_250ppi.csv"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(csv, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u);  // header and four fingers
  EXPECT_EQ(lines[0].substr(0, 20), "input,ok,error,forma");
  const size_t columns = std::count(lines[0].begin(), lines[0].end(), ',');
  EXPECT_FALSE(fs::exists(dir + "/right_250ppi.json"));  // csv only
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','), long(columns)) << lines[i];
    EXPECT_CONTAINS(lines[i], input + ",true,,png,800,750,250,250,file,slap,4,0,0,success,13,4,");
  }
  for (const auto& entry : fs::directory_iterator(dir)) EXPECT_NE(entry.path().extension(), ".png");

  // WSQ finger pictures decode to the boxes of the result, at the image's resolution.
  const std::string wsq = dir + "/wsq";
  run = RunTool({"segment", "--image-format", "wsq", "--no-overlay", "--out", wsq,
                 kSamples + "/real/livescan_right_500ppi.png"});
  ASSERT_EQ(run.code, 0) << run.err;
  const json j = ReadJson(wsq + "/livescan_right_500ppi.json");
  ASSERT_EQ(j["result"]["count"], 4);
  for (const json& f : j["result"]["fingers"]) {
    const std::string name = f["image"].get<std::string>();
    EXPECT_EQ(fs::path(name).extension(), ".wsq");
    vio::GreyImage picture;
    ASSERT_TRUE(vio::ReadImage(wsq + "/" + name, {}, &picture).ok()) << name;
    EXPECT_EQ(picture.format, vio::Format::kWsq);
    EXPECT_EQ(picture.columns, f["boxWidth"]);
    EXPECT_EQ(picture.rows, f["boxHeight"]);
    EXPECT_EQ(picture.xppi, 500);
  }
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

// Each slapseg row carries its finger's code, corners (tl, tr, bl, br, the
// top at the fingertip) and angle from the JSON; overlays are previews.
TEST(CliTest, SlapsegRowsAgreeWithTheJsonResults) {
  const std::string dir = testimg::MakeTempDir("slapseg");
  const std::string real = kSamples + "/real";
  RunResult run =
      RunTool({"segment", "--method", "slap", "--no-images", "--out", dir + "/json", real});
  ASSERT_EQ(run.code, 0) << run.err;
  run = RunTool({"segment", "--method", "slap", "--format", "slapseg", "--no-images", "--overlay",
                 "none", "--out", dir + "/csv", real});
  ASSERT_EQ(run.code, 0) << run.err;
  size_t rows = 0;
  for (const auto& entry : fs::directory_iterator(real)) {
    if (entry.path().extension() != ".png") continue;
    const std::string stem = entry.path().stem().string();
    SCOPED_TRACE(stem);
    const json j = ReadJson(dir + "/json/" + stem + ".json");
    const std::vector<std::string> lines =
        Split(testimg::ReadText(dir + "/csv/" + stem + ".csv"), '\n');
    ASSERT_EQ(lines.size(), j["result"]["fingers"].size() + 1);
    EXPECT_EQ(lines[0], "filename,frgp,tlx,tly,trx,try,blx,bly,brx,bry,theta");
    for (size_t i = 1; i < lines.size(); ++i, ++rows) {
      const json& f = j["result"]["fingers"][i - 1];
      const std::vector<std::string> cells = Split(lines[i], ',');
      ASSERT_EQ(cells.size(), 11u) << lines[i];
      EXPECT_EQ(cells[0], j["input"]);
      EXPECT_EQ(std::stoi(cells[1]), f["position"]);
      std::vector<double> v;
      for (size_t k = 2; k < cells.size(); ++k) v.push_back(std::stod(cells[k]));
      const json& c = f["corners"];  // clockwise from the upper left
      const json expected = {c[0], c[1], c[3], c[2]};
      for (size_t k = 0; k < 4; ++k) {
        EXPECT_NEAR(v[2 * k], expected[k][0].get<double>(), 0.56) << lines[i];
        EXPECT_NEAR(v[2 * k + 1], expected[k][1].get<double>(), 0.56) << lines[i];
      }
      EXPECT_DOUBLE_EQ(v[8], f["angleDegrees"].get<double>());
      // The top edge runs at theta, counter-clockwise on screen, and lies
      // above the bottom one.
      EXPECT_NEAR(std::atan2(v[1] - v[3], v[2] - v[0]) * 180 / M_PI, v[8], 1.5) << lines[i];
      EXPECT_LT(v[1] + v[3], v[5] + v[7]) << lines[i];
    }
    const Rgb overlay = ReadRgb(dir + "/json/" + stem + "_overlay.png");
    const int columns = j["image"]["columns"], rowsIn = j["image"]["rows"];
    const double scale = std::min(1.0, 1000.0 / std::max(columns, rowsIn));
    EXPECT_NEAR(overlay.width, columns * scale, 0.5);
    EXPECT_NEAR(overlay.height, rowsIn * scale, 0.5);
  }
  EXPECT_EQ(rows, 28u);
  run = RunTool({"segment", "--method", "slap", "--no-images", "--overlay", "full", "--out",
                 dir + "/full", real + "/livescan_right_500ppi.png"});
  EXPECT_EQ(ReadRgb(dir + "/full/livescan_right_500ppi_overlay.png").width, 1576);
}

// Any byte may appear in a name; the overlay draws what it cannot as '?'.
TEST(CliTest, NamesWithAnyBytes) {
  const std::string dir = testimg::MakeTempDir("names");
  const std::vector<std::string> names = {"\xc3\x9c.png", "tab\there\x01\x7f\xff.png",
                                          std::string(180, 'w') + ".png"};
  std::vector<std::string> arguments = {"segment", "--method", "slap", "--out", dir + "/out"};
  for (const std::string& name : names) {
    fs::copy_file(kSamples + "/synth/right_250ppi.png", dir + "/" + name);
    arguments.push_back(dir + "/" + name);
  }
  const RunResult run = RunTool(arguments);
  EXPECT_EQ(run.code, 0) << run.err;
  for (std::string name : names) {
    const std::string stem = fs::path(name).stem().string();
    EXPECT_EQ(ReadRgb(dir + "/out/" + stem + "_overlay.png").width, 800);
    // JSON holds UTF-8 only: a byte that is not becomes U+FFFD.
    const size_t bad = name.find('\xff');
    if (bad != std::string::npos) name.replace(bad, 1, "\xef\xbf\xbd");
    EXPECT_EQ(ReadJson(dir + "/out/" + stem + ".json")["input"], dir + "/" + name);
  }
}

TEST(CliTest, EvaluateScoresAgainstTruth) {
  const std::string real = std::string(VANTREL_SOURCE_DIR) + "/samples/real";
  const std::string out = testimg::MakeTempDir("evaluate");
  const RunResult slap =
      RunTool({"evaluate", "--truth", real + "/truth.csv", "--overlays", out, "--maps", out,
               real + "/livescan_right_500ppi.png", real + "/nist_card_left_500ppi.png"});
  EXPECT_EQ(slap.code, 0) << slap.err;
  EXPECT_CONTAINS(slap.out, "livescan_right_500ppi.png");
  EXPECT_CONTAINS(slap.out, "fingers     8/    8");
  EXPECT_CONTAINS(slap.out, "matched@0.5 100.00 %");
  EXPECT_TRUE(fs::exists(out + "/nist_card_left_500ppi.png.slap.png"));
  // Block maps are drawn over the segmenter's working image, about 250 ppi.
  vio::GreyImage input, map;
  ASSERT_TRUE(vio::ReadImage(real + "/nist_card_left_500ppi.png", {}, &input).ok());
  ASSERT_TRUE(vio::ReadImage(out + "/nist_card_left_500ppi.png.map.png", {}, &map).ok());
  EXPECT_TRUE(fs::exists(out + "/nist_card_left_500ppi.png.feat.png"));
  EXPECT_EQ(map.xppi, 250);
  EXPECT_NEAR(map.columns, input.columns / 2, 2);

  const RunResult synth = RunTool({"evaluate", "--synth", "3", "--seed", "5", "--all", "--method",
                                   "quick", "--mix", "hard", "--overlays", out});
  EXPECT_EQ(synth.code, 0) << synth.err;
  EXPECT_CONTAINS(synth.out, "quick      images    3");
  // Named for the slap, without the kinds its line lists.
  for (const auto& entry : fs::directory_iterator(out)) {
    EXPECT_EQ(entry.path().filename().string().find(' '), std::string::npos) << entry.path();
  }
  const int hand = vsynth::GenerateSlap(vsynth::RandomHardOptions(5)).hand;
  EXPECT_TRUE(fs::exists(out + "/synth-5-h" + std::to_string(hand) + ".quick.png"));

  const RunResult unnamed =
      RunTool({"evaluate", "--truth", real + "/truth.csv", kSamples + "/synth/right_250ppi.png"});
  EXPECT_EQ(unnamed.code, 1);
  EXPECT_CONTAINS(unnamed.err, "no truth for this file");
}

}  // namespace
