#include "platform/system/PrinterPort.h"

#include <fcntl.h>
#include <linux/lp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "platform/system/NonBlockingOutput.h"

namespace platform {
namespace {

std::string RunTimeText(int code) {
  switch (code) {
    case ENOENT: return "File not found";
    case ENOTDIR: return "Path not found";
    case EMFILE: return "Too many open files";
    case EACCES:
    case EPERM: return "File access denied";
    case ENOSPC: return "Out of paper (LPT1), the receipt was not printed";  // how the printer driver says it
    case ETIMEDOUT: return "Write timeout (LPT1), the receipt was not printed";
    default: return "I/O error " + std::to_string(code);
  }
}

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// One poll step of the exchange; false when the deadline has passed. A driver
// without poll reports ready at once and its read then says EAGAIN: a short sleep
// keeps that from spinning.
bool Await(int fd, short events, Clock::time_point deadline, bool spun) {
  const int left = Remaining(deadline);
  if (left == 0) return false;
  if (spun) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, left) >= 0 || errno == EINTR;
}

}  // namespace

PrinterPortStatus AskPrinterPortStatus(const std::string& path, std::string_view request, std::size_t answerSize,
                                       std::chrono::milliseconds limit) {
  PrinterPortStatus status;
  struct stat file {};
  if (path.empty() || ::stat(path.c_str(), &file) != 0 || !S_ISCHR(file.st_mode)) return status;
  struct Descriptor {
    int fd;
    ~Descriptor() {
      if (fd >= 0) ::close(fd);
    }
  } const device{::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
  const int fd = device.fd;
  if (fd < 0) return status;
  const auto deadline = Clock::now() + limit;
  int lines = 0;
  if (::ioctl(fd, LPGETSTATUS, &lines) == 0) {
    status.LinesRead = true;
    status.PaperOut = lines & LP_POUTPA;
    status.Offline = !(lines & LP_PSELECD) || !(lines & LP_PERRORP);
  }
  // What the device sent unasked (a late answer to an earlier request) is not this answer.
  char stale[64];
  for (int reads = 0; reads < 16; ++reads)
    if (::read(fd, stale, sizeof stale) <= 0) break;
  std::size_t sent = 0;
  bool spun = false;
  while (sent < request.size()) {
    const ssize_t n = ::write(fd, request.data() + sent, request.size() - sent);
    const bool again = n < 0 && (errno == EAGAIN || errno == EINTR);
    if (n > 0) sent += static_cast<std::size_t>(n);
    else if (!again || !Await(fd, POLLOUT, deadline, spun)) break;
    spun = again;
  }
  status.Asked = !request.empty() && sent == request.size();
  spun = false;
  while (status.Asked && status.Answer.size() < answerSize) {
    char buffer[16];
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, answerSize - status.Answer.size()));
    const bool again = n < 0 && (errno == EAGAIN || errno == EINTR);
    if (n > 0) status.Answer.append(buffer, static_cast<std::size_t>(n));
    else if (!again || !Await(fd, POLLIN, deadline, spun)) break;
    spun = again;
  }
  return status;
}

InOutError::InOutError(int code) : std::runtime_error(RunTimeText(code)), code_(code) {}

PrinterPortFile::PrinterPortFile(const std::string& path, bool mayCreate, std::chrono::milliseconds writeLimit)
    : writeLimit_(writeLimit) {
  // Non-blocking, so that writes keep their time limit. A FIFO read by a viewer that
  // opens it anew after each receipt may have no reader for a moment: wait for one
  // as long as for a write.
  const auto deadline = std::chrono::steady_clock::now() + writeLimit;
  int fd = -1;
  while (!path.empty()) {
    fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (mayCreate ? O_CREAT : 0), 0644);
    if (fd >= 0 || errno != ENXIO || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (fd < 0) throw InOutError(path.empty() ? ENOENT : errno);
  handle_ = fd;
  struct stat status {};
  device_ = ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode);
}

void PrinterPortFile::CheckOpens(const std::string& path, bool mayCreate) {
  const int fd = path.empty() ? -1
                              : ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (mayCreate ? O_CREAT : 0),
                                       0644);
  if (fd < 0) throw InOutError(path.empty() ? ENOENT : errno);
  ::close(fd);
}

PrinterPortFile::~PrinterPortFile() {
  if (handle_ != kClosed) ::close(static_cast<int>(handle_));
}

void PrinterPortFile::Write(std::string_view bytes) {
  const int fd = static_cast<int>(handle_);
  try {
    WriteWithin({.Write = [fd](std::string_view rest) { return ::write(fd, rest.data(), rest.size()); },
                 .WaitWritable =
                     [fd](std::chrono::milliseconds wait) {
                       pollfd p{fd, POLLOUT, 0};
                       return ::poll(&p, 1, static_cast<int>(wait.count()));
                     }},
                bytes, writeLimit_);
  } catch (const InOutError& error) {
    // The printer driver's way of saying out of paper; a file's disk is full.
    if (error.ErrorCode() == ENOSPC && !device_) throw InOutError(ENOSPC, "Disk full");
    throw;
  }
}

void PrinterPortFile::Close() {
  // Never retried: the descriptor is released even when close reports an error
  // (EINTR included), and a second close could end a descriptor opened meanwhile.
  const int fd = static_cast<int>(std::exchange(handle_, kClosed));
  if (::close(fd) != 0) throw InOutError(errno);
}

}  // namespace platform
