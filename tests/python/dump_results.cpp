// Reference side of the Python tests: runs the library's public entries from
// C++ on an image file and prints every record as JSON, with each picture
// written to a raw file, so the tests can compare the module field by field
// and byte for byte.
//
//   vantrel_dump_results run <image> <outdir> <method>:<fingers>:<hand> ...
//     method: separate, quick, quick-new, slap (status + records) or cent2
//     (fingers is then the finger mask). Prints one JSON object.
//   vantrel_dump_results synth <seed> <out.png>
//     writes the generator's slap for that seed (RandomOptions).
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "entries.h"
#include "image_io.h"
#include "vantrel.h"
#if defined(VANTREL_HAVE_SYNTH)
#include "slap_generator.h"
#endif

namespace {

uint32_t FloatBits(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

bool WriteRaw(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

// One "method:fingers:hand" run, printed as a JSON object.
bool Run(const vio::GreyImage& image, const std::string& outdir, const std::string& request,
         int index) {
  const size_t a = request.find(':');
  const size_t b = a == std::string::npos ? a : request.find(':', a + 1);
  if (b == std::string::npos) {
    std::fprintf(stderr, "bad run request %s\n", request.c_str());
    return false;
  }
  const std::string method = request.substr(0, a);
  const int32_t fingers = std::atoi(request.substr(a + 1, b - a - 1).c_str());
  const int32_t hand = std::atoi(request.substr(b + 1).c_str());
  std::printf("{\"method\":\"%s\",\"fingers\":%d,\"hand\":%d,", method.c_str(), fingers, hand);

  const ventry::Entry* entry = ventry::FindEntry(method);
  if (entry == nullptr) {
    std::fprintf(stderr, "unknown method %s\n", method.c_str());
    return false;
  }
  if (entry->function == nullptr) {
    const ventry::Cent2Records cent2 =
        ventry::RunCent2(image.pixels.data(), image.rows, image.columns, hand, fingers);
    std::printf("\"count\":%d,\"message\":\"%s\",\"records\":[", cent2.count, cent2.message);
    for (int32_t i = 0; i < cent2.count && i < 4; ++i) {
      const FingerInfo& f = cent2.info[i];
      std::printf(
          "%s{\"centerRow\":%d,\"centerColumn\":%d,\"angleTwoDegrees\":%d,\"fixedValue\":%d,"
          "\"boxHeight\":%d,\"boxWidth\":%d,\"position\":%d,\"upperLeftRow\":%d,"
          "\"upperLeftColumn\":%d,\"upperRightRow\":%d,\"upperRightColumn\":%d,"
          "\"lowerLeftRow\":%d,\"lowerLeftColumn\":%d,\"lowerRightRow\":%d,"
          "\"lowerRightColumn\":%d}",
          i ? "," : "", f.centerRow, f.centerColumn, f.angleTwoDegrees, f.fixedValue, f.boxHeight,
          f.boxWidth, f.position, f.upperLeftRow, f.upperLeftColumn, f.upperRightRow,
          f.upperRightColumn, f.lowerLeftRow, f.lowerLeftColumn, f.lowerRightRow,
          f.lowerRightColumn);
    }
    std::printf("]}");
    return true;
  }

  const ventry::ResultCopy result =
      ventry::RunEntry(*entry, image.xppi, image.yppi, image.pixels.data(), image.rows,
                       image.columns, fingers, hand);
  std::printf("\"status\":%d,", result.status);
  if (result.status != VANTREL_OK) {
    std::printf("\"records\":[]}");
    return true;
  }
  std::printf("\"handCode\":%d,\"records\":[", result.handCode);
  bool ok = true;
  for (size_t i = 0; i < result.fingers.size(); ++i) {
    const ventry::FingerCopy& finger = result.fingers[i];
    const SegmentedFinger& f = finger.record;
    std::string picture = "null";
    if (!finger.pixels.empty()) {
      const std::string name =
          "run" + std::to_string(index) + "_finger" + std::to_string(i) + ".raw";
      ok = ok && WriteRaw(outdir + "/" + name, finger.pixels.data(), finger.pixels.size());
      picture = "\"" + name + "\"";
    }
    std::printf(
        "%s{\"position\":%d,\"boxHeight\":%d,\"boxWidth\":%d,\"centerX\":%d,\"centerY\":%d,"
        "\"angleBits\":%" PRIu32 ",\"fixedValueBits\":%" PRIu32
        ",\"top\":%d,\"left\":%d,\"bottom\":%d,\"right\":%d,\"image\":%s}",
        i ? "," : "", f.position, f.boxHeight, f.boxWidth, f.centerX, f.centerY, FloatBits(f.angle),
        FloatBits(f.fixedValue), f.top, f.left, f.bottom, f.right, picture.c_str());
  }
  std::printf("]}");
  return ok;
}

int RunCommand(int argc, char** argv) {
  const std::string path = argv[2];
  const std::string outdir = argv[3];
  vio::GreyImage image;
  const vio::ReadStatus read = vio::ReadImage(path, vio::ResolutionOverride{}, &image);
  if (!read.ok()) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), read.message.c_str());
    return 1;
  }
  if (!WriteRaw(outdir + "/pixels.raw", image.pixels.data(), image.pixels.size())) {
    std::fprintf(stderr, "cannot write into %s\n", outdir.c_str());
    return 1;
  }
  std::printf("{\"rows\":%d,\"columns\":%d,\"xppi\":%d,\"yppi\":%d,\"runs\":[", image.rows,
              image.columns, image.xppi, image.yppi);
  bool ok = true;
  for (int i = 4; i < argc; ++i) {
    if (i > 4) std::printf(",");
    ok = Run(image, outdir, argv[i], i - 4) && ok;
  }
  std::printf("]}\n");
  DestroyVantrelParameter();
  return ok ? 0 : 1;
}

int SynthCommand(char** argv) {
#if defined(VANTREL_HAVE_SYNTH)
  const uint64_t seed = std::strtoull(argv[2], nullptr, 10);
  const vsynth::Slap slap = vsynth::GenerateSlap(vsynth::RandomOptions(seed));
  const std::string error =
      vio::WritePng(argv[3], slap.pixels.data(), slap.rows, slap.columns, 1,
                    static_cast<int32_t>(slap.xppi + 0.5), static_cast<int32_t>(slap.yppi + 0.5));
  if (!error.empty()) {
    std::fprintf(stderr, "%s: %s\n", argv[3], error.c_str());
    return 1;
  }
  std::printf("{\"hand\":%d,\"rows\":%d,\"columns\":%d}\n", slap.hand, slap.rows, slap.columns);
  return 0;
#else
  (void)argv;
  std::fprintf(stderr, "built without the slap generator\n");
  return 2;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::strcmp(argv[1], "run") == 0) return RunCommand(argc, argv);
  if (argc == 4 && std::strcmp(argv[1], "synth") == 0) return SynthCommand(argv);
  std::fprintf(stderr,
               "usage: %s run <image> <outdir> <method>:<fingers>:<hand> ...\n"
               "       %s synth <seed> <out.png>\n",
               argv[0], argv[0]);
  return 2;
}
