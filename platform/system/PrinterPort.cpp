#include "PrinterPort.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

std::string RunTimeText(int code) {
  switch (code) {
    case ENOENT: return "File not found";
    case ENOTDIR: return "Path not found";
    case EMFILE: return "Too many open files";
    case EACCES:
    case EPERM: return "File access denied";
    case ENOSPC: return "Disk full";
    default: return "I/O error " + std::to_string(code);
  }
}

}  // namespace

InOutError::InOutError(int code) : std::runtime_error(RunTimeText(code)), code_(code) {}

PrinterPortFile::PrinterPortFile(const std::string& path, bool mayCreate)
    : fd_(path.empty() ? -1
                       : ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | (mayCreate ? O_CREAT : 0),
                                0644)) {
  if (fd_ < 0) throw InOutError(path.empty() ? ENOENT : errno);
}

PrinterPortFile::~PrinterPortFile() {
  if (fd_ >= 0) ::close(fd_);
}

void PrinterPortFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw InOutError(n < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void PrinterPortFile::Close() {
  // Never retried: the descriptor is released even when close reports an error
  // (EINTR included), and a second close could end a descriptor opened meanwhile.
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw InOutError(errno);
}

}  // namespace platform
