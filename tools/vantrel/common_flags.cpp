#include "common_flags.h"

#include <map>

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

void AddResolutionFlags(CLI::App* command, ResolutionFlags* flags, int32_t minimum, int32_t maximum,
                        const std::string& what) {
  auto* ppi =
      command->add_option("--ppi", flags->ppi, "Resolution across and down, pixels per inch" + what)
          ->check(CLI::Range(minimum, maximum));
  auto* xppi = command->add_option("--xppi", flags->xppi, "Resolution across (with --yppi)")
                   ->check(CLI::Range(minimum, maximum));
  auto* yppi = command->add_option("--yppi", flags->yppi, "Resolution down (with --xppi)")
                   ->check(CLI::Range(minimum, maximum));
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

}  // namespace vtool
