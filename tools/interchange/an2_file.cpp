// Transactions on disk: reading whole files of bounded size, and writing
// through a temporary file so that a reader never sees half a transaction.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "an2_transaction.h"

namespace an2 {
namespace {

vio::ReadStatus Failure(vio::ReadError error, const std::string& message) {
  vio::ReadStatus status;
  status.error = error;
  status.message = message;
  return status;
}

}  // namespace

vio::ReadStatus ReadTransaction(const std::string& path, Transaction* transaction) {
  using vio::ReadError;
  *transaction = Transaction{};
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return Failure(ReadError::kNotFound, "no such file");
    return Failure(ReadError::kUnreadable, std::strerror(errno));
  }
  if (!S_ISREG(info.st_mode)) return Failure(ReadError::kUnreadable, "not a regular file");
  if (static_cast<int64_t>(info.st_size) > kMaxTransactionBytes) {
    return Failure(ReadError::kTooLarge,
                   "transaction of " + std::to_string(info.st_size) + " bytes is too large");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return Failure(ReadError::kUnreadable, std::string("cannot open: ") + std::strerror(errno));
  std::string bytes(static_cast<size_t>(info.st_size), '\0');
  if (!bytes.empty() && !in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()))) {
    return Failure(ReadError::kUnreadable, "read error");
  }
  return ParseTransaction(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                          transaction);
}

std::string WriteTransaction(const std::string& path, const Transaction& transaction) {
  std::string bytes, error;
  if (!SerializeTransaction(transaction, &bytes, &error)) return error;
  std::string temporary = path + ".XXXXXX";
  const int descriptor = mkstemp(&temporary[0]);
  if (descriptor < 0) return std::string("cannot create file: ") + std::strerror(errno);
  // mkstemp makes the file readable by its owner only; a transaction is
  // shared like the tool's other outputs.
  fchmod(descriptor, 0644);
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(descriptor, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const int savedErrno = errno;
  const bool closed = close(descriptor) == 0;
  if (written != bytes.size() || !closed) {
    std::remove(temporary.c_str());
    return std::string("write error: ") +
           std::strerror(written != bytes.size() ? savedErrno : errno);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    std::remove(temporary.c_str());
    return "cannot replace " + path + ": " + reason;
  }
  return std::string();
}

}  // namespace an2
