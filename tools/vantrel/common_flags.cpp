#include "common_flags.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>

#include "vantrel.h"

namespace vtool {

bool ResolutionFlags::Given(int32_t* x, int32_t* y) const {
  if (ppi > 0) {
    *x = *y = ppi;
    return true;
  }
  if (xppi > 0 && yppi > 0) {
    *x = xppi;
    *y = yppi;
    return true;
  }
  return false;
}

CLI::Validator WholeNumber(int64_t minimum, int64_t maximum) {
  const std::string range = std::to_string(minimum) + " to " + std::to_string(maximum);
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        errno = 0;
        char* end = nullptr;
        const long long value = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || end == text.c_str() || *end != '\0') {
          return "'" + text + "' is not a whole number (give " + range + ")";
        }
        if (errno == ERANGE || value < minimum || value > maximum) {
          return text + " is out of range (give " + range + ")";
        }
        return std::string();
      },
      "INT in " + range);
}

void AddResolutionFlags(CLI::App* command, ResolutionFlags* flags, int32_t minimum, int32_t maximum,
                        const std::string& what) {
  auto* ppi =
      command->add_option("--ppi", flags->ppi, "Resolution across and down, pixels per inch" + what)
          ->check(WholeNumber(minimum, maximum));
  auto* xppi = command->add_option("--xppi", flags->xppi, "Resolution across (with --yppi)")
                   ->check(WholeNumber(minimum, maximum));
  auto* yppi = command->add_option("--yppi", flags->yppi, "Resolution down (with --xppi)")
                   ->check(WholeNumber(minimum, maximum));
  ppi->excludes(xppi)->excludes(yppi);
  xppi->needs(yppi);
  yppi->needs(xppi);
}

void AddHandFlag(CLI::App* command, int32_t* hand, bool allowAuto, const std::string& what) {
  std::map<std::string, int32_t> names{
      {"right", VANTREL_HAND_RIGHT}, {"left", VANTREL_HAND_LEFT}, {"thumbs", VANTREL_HAND_THUMBS}};
  if (allowAuto) names["auto"] = VANTREL_HAND_UNKNOWN;
  command->add_option("--hand", *hand, what)
      ->transform(CLI::CheckedTransformer(names, CLI::ignore_case))
      ->option_text(allowAuto ? "right|left|thumbs|auto|13|14|15|0" : "right|left|thumbs|13|14|15");
}

const char* HandName(int32_t handCode) {
  switch (handCode) {
    case VANTREL_HAND_RIGHT: return "right";
    case VANTREL_HAND_LEFT: return "left";
    case VANTREL_HAND_THUMBS: return "thumbs";
    default: return "unknown";
  }
}

const char* FingerName(int32_t position) {
  static const char* const kNames[] = {
      "",           "right thumb", "right index", "right middle", "right ring", "right little",
      "left thumb", "left index",  "left middle", "left ring",    "left little"};
  return position >= 1 && position <= 10 ? kNames[position] : "";
}

bool MakeOutputFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!error && std::filesystem::is_directory(folder)) return true;
  std::fprintf(stderr, "vantrel: error: cannot create the output folder %s: %s\n", folder.c_str(),
               error ? error.message().c_str() : "a file of that name exists");
  return false;
}

}  // namespace vtool
