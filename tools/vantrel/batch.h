// Batch helpers: expanding folders into image files, the progress bar and
// the closing summary.
#ifndef VANTREL_TOOLS_VANTREL_BATCH_H
#define VANTREL_TOOLS_VANTREL_BATCH_H

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace vtool {

struct InputItem {
  std::string path;
  std::string problem;  // set when the argument itself is unusable (an empty folder)
};

// Files named on the command line are taken as they are, whatever their
// name. Folders are searched recursively, in name order, for files with an
// image extension (.png .jpg .jpeg .bmp .tif .tiff .pgm .ppm .pnm, any case);
// the folder skip (the output folder) is left out.
std::vector<InputItem> ExpandInputs(const std::vector<std::string>& arguments,
                                    const std::string& skip);

// A one-line progress bar on standard error with the rate and the time left.
// It appears only when standard error is a terminal and the run has lasted
// over a second, and it is wiped before any other line is printed.
class Progress {
 public:
  Progress(size_t total, bool allowed);
  void Update(size_t done, size_t failed);
  void Clear();

 private:
  size_t total_;
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
};

// Counts of a batch for the final summary.
struct Summary {
  size_t files = 0;
  size_t succeeded = 0;
  size_t fingers = 0;
  std::map<std::string, size_t> failures;  // reason -> inputs
  size_t notStarted = 0;                   // left when the batch stopped early
  std::string stoppedBy;                   // why it stopped early: "SIGINT", ...
  size_t Failed() const { return files - succeeded; }
  void Print(std::FILE* out) const;
};

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_BATCH_H
