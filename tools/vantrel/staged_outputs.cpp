#include "staged_outputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "interrupt.h"

namespace vtool {
namespace {

std::atomic<uint64_t> g_counter{0};

// Writes everything or sets errno; a short write without an error means the
// device is full.
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

std::string StagedOutputs::PathOf(const std::string& name) const {
  return folder_.empty() ? name : folder_ + "/" + name;
}

std::string StagedOutputs::Stage(const std::string& name, const std::vector<uint8_t>& bytes) {
  return StageBytes(name, reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::string StagedOutputs::Stage(const std::string& name, const std::string& text) {
  return StageBytes(name, text.data(), text.size());
}

std::string StagedOutputs::StageBytes(const std::string& name, const char* data, size_t size) {
  // Hidden and ending in .tmp, so that no reader takes it for a result.
  // The name part is cut so that the temporary name stays within NAME_MAX.
  const std::string temporary = PathOf("." + name.substr(0, 100) + "." + std::to_string(getpid()) +
                                       "." + std::to_string(g_counter++) + ".tmp");
  const int slot = RegisterTemporary(temporary);
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int error = errno;
    ForgetTemporary(slot);
    return "cannot write " + PathOf(name) + ": " + std::strerror(error);
  }
  bool ok = WriteAll(fd, data, size);
  int error = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    ForgetTemporary(slot);
    return "cannot write " + PathOf(name) + ": " + std::strerror(error);
  }
  files_.push_back({name, temporary, slot});
  return std::string();
}

std::string StagedOutputs::Commit() {
  for (size_t i = 0; i < files_.size(); ++i) {
    if (rename(files_[i].temporary.c_str(), PathOf(files_[i].name).c_str()) == 0) continue;
    const std::string message =
        "cannot write " + PathOf(files_[i].name) + ": " + std::strerror(errno);
    for (size_t k = 0; k < i; ++k) {
      unlink(PathOf(files_[k].name).c_str());
      ForgetTemporary(files_[k].slot);
    }
    files_.erase(files_.begin(), files_.begin() + static_cast<std::ptrdiff_t>(i));
    Discard();
    return message;
  }
  for (const File& file : files_) ForgetTemporary(file.slot);
  files_.clear();
  return std::string();
}

void StagedOutputs::Discard() {
  for (const File& file : files_) {
    unlink(file.temporary.c_str());
    ForgetTemporary(file.slot);
  }
  files_.clear();
}

}  // namespace vtool
