// The library's segmentation entries as every front end calls them (the tool,
// the evaluation, the Python module, the golden and Python reference tests):
// one table of names and entry functions, and one copy of a result into
// plain records that outlive the library's container.
//
// Only the public entries are called; each program links the library copy it
// needs (the shared library or the static one).
#ifndef VANTREL_TOOLS_ENTRIES_ENTRIES_H
#define VANTREL_TOOLS_ENTRIES_ENTRIES_H

#include <cstdint>
#include <string>
#include <vector>

#include "vantrel.h"

namespace ventry {

enum class Method { kSeparate, kQuick, kQuickNew, kSlap, kCent2 };

// The entries that fill a result container share this signature.
using ContainerEntry = int32_t (*)(int32_t xres, int32_t yres, const uint8_t* pixels, int32_t rows,
                                   int32_t columns, int32_t fingerCount, int32_t handCode,
                                   VantrelResultType** result);

struct Entry {
  Method method;
  const char* name;         // as the front ends spell it: "slap", "quick-new", ...
  const char* entryName;    // the library function: "VantrelSegmentSlap", ...
  ContainerEntry function;  // null for cent2, which writes FingerInfo records
  bool orientedBoxes;       // angle rotates the box about its centre; else upright edges
};

// Every entry, container entries first in a fixed order; cent2 last.
const std::vector<Entry>& Entries();

// The method front ends use when none is named.
constexpr Method kDefaultMethod = Method::kSlap;

const Entry& EntryOf(Method method);
// Null for a name not in the table.
const Entry* FindEntry(const std::string& name);

const char* MethodName(Method method);
const char* EntryName(Method method);

// Names joined by `separator`, in table order; container entries only when
// asked.
std::string MethodNames(const char* separator, bool containerOnly = false);

struct FingerCopy {
  SegmentedFinger record{};     // as returned, with the image pointer cleared
  std::vector<uint8_t> pixels;  // boxHeight x boxWidth; empty when the library made none
};

struct ResultCopy {
  int32_t status = VANTREL_NO_FINGER;  // VANTREL_OK only with a container
  int32_t handCode = 0;
  std::vector<FingerCopy> fingers;
};

// Copies a container's records and pictures. A success status without a
// container becomes VANTREL_NO_FINGER.
ResultCopy CopyResult(int32_t status, const VantrelResultType* result);

// Runs a container entry and copies its result; the container is released on
// every path, an exception from the copy included.
ResultCopy RunEntry(const Entry& entry, int32_t xres, int32_t yres, const uint8_t* pixels,
                    int32_t rows, int32_t columns, int32_t fingerCount, int32_t handCode);

struct Cent2Records {
  int32_t count = 0;  // records written, 0 when none was found
  FingerInfo info[4] = {};
  char message[16] = {};
};

// The finger mask of VantrelCent2 for a number of fingers: that many bits
// from bit 0, at most four.
int32_t Cent2Mask(int32_t fingerCount);

Cent2Records RunCent2(const uint8_t* pixels, int32_t rows, int32_t columns, int32_t handCode,
                      int32_t fingerMask);

// The stable token of a library status, "status_<code>", as error kinds
// carry it.
std::string StatusToken(int32_t status);

}  // namespace ventry

#endif  // VANTREL_TOOLS_ENTRIES_ENTRIES_H
