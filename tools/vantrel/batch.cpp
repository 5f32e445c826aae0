#include "batch.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace vtool {
namespace fs = std::filesystem;

namespace {

bool HasImageExtension(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static const char* const kExtensions[] = {".png",  ".jpg", ".jpeg", ".bmp", ".tif",
                                            ".tiff", ".pgm", ".ppm",  ".pnm", ".wsq",
                                            ".an2",  ".eft", ".nist"};
  return std::find(std::begin(kExtensions), std::end(kExtensions), extension) !=
         std::end(kExtensions);
}

}  // namespace

std::vector<InputItem> ExpandInputs(const std::vector<std::string>& arguments,
                                    const std::string& skip) {
  std::error_code error;
  const fs::path skipPath = skip.empty() ? fs::path() : fs::weakly_canonical(skip, error);
  std::vector<InputItem> items;
  for (const std::string& argument : arguments) {
    if (!fs::is_directory(argument, error)) {
      items.push_back({argument, ""});
      continue;
    }
    std::vector<std::string> found;
    fs::recursive_directory_iterator it(argument, fs::directory_options::skip_permission_denied,
                                        error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      std::error_code ignored;
      if (it->is_directory(ignored)) {
        if (!skipPath.empty() && fs::weakly_canonical(it->path(), ignored) == skipPath) {
          it.disable_recursion_pending();
        }
        continue;
      }
      if (it->is_regular_file(ignored) && HasImageExtension(it->path())) {
        found.push_back(it->path().string());
      }
    }
    if (error) {
      items.push_back({argument, "cannot list folder: " + error.message()});
      error.clear();
      continue;
    }
    if (found.empty()) {
      items.push_back({argument, "folder holds no image files"});
      continue;
    }
    std::sort(found.begin(), found.end());
    for (auto& path : found) items.push_back({std::move(path), ""});
  }
  return items;
}

Progress::Progress(size_t total, bool allowed)
    : total_(total),
      enabled_(allowed && isatty(STDERR_FILENO) != 0),
      start_(std::chrono::steady_clock::now()) {
  const char* term = std::getenv("TERM");
  if (term != nullptr && std::string(term) == "dumb") enabled_ = false;
}

void Progress::Update(size_t done, size_t failed) {
  if (!enabled_ || total_ < 2) return;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  if (!shown_ && elapsed < 1.0) return;
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(kWidth * done / total_);
  const double rate = elapsed > 0 ? done / elapsed : 0;
  std::string left = "--";
  if (rate > 0) {
    const long seconds = std::lround((total_ - done) / rate);
    left = seconds >= 60
               ? std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s"
               : std::to_string(seconds) + " s";
  }
  std::fprintf(stderr, "\r[%s%s] %zu/%zu files, %zu failed, %.1f files/s, %s left\x1b[K",
               std::string(filled, '#').c_str(), std::string(kWidth - filled, '.').c_str(), done,
               total_, failed, rate, left.c_str());
  std::fflush(stderr);
  shown_ = true;
}

void Progress::Clear() {
  if (!shown_) return;
  std::fprintf(stderr, "\r\x1b[K");
  std::fflush(stderr);
}

void Summary::Print(std::FILE* out) const {
  std::fprintf(out, "summary: %zu file%s, %zu succeeded, %zu failed, %zu finger%s found\n", files,
               files == 1 ? "" : "s", succeeded, Failed(), fingers, fingers == 1 ? "" : "s");
  for (const auto& [reason, count] : failures) {
    std::fprintf(out, "  failed: %zu x %s\n", count, reason.c_str());
  }
  if (!stoppedBy.empty()) {
    std::fprintf(out, "  stopped by %s: %zu file%s not started\n", stoppedBy.c_str(), notStarted,
                 notStarted == 1 ? "" : "s");
  }
}

}  // namespace vtool
