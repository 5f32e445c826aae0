// Flags shared by several subcommands: resolution and hand.
#ifndef VANTREL_TOOLS_VANTREL_COMMON_FLAGS_H
#define VANTREL_TOOLS_VANTREL_COMMON_FLAGS_H

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

namespace vtool {

// --ppi N, or --xppi N with --yppi N. Zero means not given.
struct ResolutionFlags {
  int32_t ppi = 0;
  int32_t xppi = 0;
  int32_t yppi = 0;
  // Resolution across and down when one was given; false otherwise.
  bool Given(int32_t* x, int32_t* y) const;
};

// Checks a whole number from minimum to maximum; the message says whether the
// value is not a number or out of range.
CLI::Validator WholeNumber(int64_t minimum, int64_t maximum);

// Adds --ppi, --xppi and --yppi (values from minimum to maximum).
void AddResolutionFlags(CLI::App* command, ResolutionFlags* flags, int32_t minimum, int32_t maximum,
                        const std::string& what);

// Hand names accepted by --hand and the finger-position codes they stand
// for: right 13, left 14, thumbs 15, auto 0 (also the codes themselves).
void AddHandFlag(CLI::App* command, int32_t* hand, bool allowAuto, const std::string& what);

// "right", "left", "thumbs" or "unknown" for 13, 14, 15 and anything else.
const char* HandName(int32_t handCode);

// Name of a single finger's position code 1..10, e.g. "right index"; empty
// for other values.
const char* FingerName(int32_t position);

// Creates the output folder; says why on standard error and returns false when it cannot.
bool MakeOutputFolder(const std::string& folder);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_COMMON_FLAGS_H
