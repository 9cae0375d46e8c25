#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>

#include "platform/system/LocalSocket.h"

namespace platform {
namespace {

std::optional<sockaddr_un> Address(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path || path.find('\0') != std::string::npos)
    return std::nullopt;
  std::memcpy(address.sun_path, path.data(), path.size());
  return address;
}

int StreamSocket() {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "socket");
  return fd;
}

bool Connects(int fd, const sockaddr_un& address) {
  int rc;
  do rc = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  while (rc != 0 && errno == EINTR);
  return rc == 0;
}

// Waits for `events` until `deadline`: true when they came.
bool WaitFor(int fd, short events, Deadline deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const int timeout = static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
    pollfd p{fd, events, 0};
    const int rc = poll(&p, 1, timeout);
    if (rc > 0) return true;  // an error or hang-up shows in the call that follows
    if (rc == 0) return false;
    if (errno != EINTR) return false;
  }
}

}  // namespace

std::optional<LocalStream> LocalStream::Connect(const std::string& path) {
  const auto address = Address(path);
  if (!address) return std::nullopt;
  LocalStream stream(StreamSocket());
  if (!Connects(stream.fd_, *address)) return std::nullopt;
  return stream;
}

std::pair<LocalStream, LocalStream> LocalStream::Pair() {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    throw std::system_error(errno, std::generic_category(), "socketpair");
  return {LocalStream(fds[0]), LocalStream(fds[1])};
}

LocalStream& LocalStream::operator=(LocalStream&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

LocalStream::~LocalStream() {
  if (fd_ >= 0) close(fd_);
}

bool LocalStream::SendAll(std::string_view bytes, Deadline deadline) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd_, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

LocalStream::Received LocalStream::ReceiveSome(std::string& into, Deadline deadline) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
      return Received::Data;
    }
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return Received::Closed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Received::Failed;
    if (!WaitFor(fd_, POLLIN, deadline)) return Received::TimedOut;
  }
}

std::optional<unsigned> LocalStream::PeerUser() const {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (getsockopt(fd_, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return std::nullopt;
  return credentials.uid;
}

LocalListener LocalListener::Listen(const std::string& path) {
  const auto address = Address(path);
  if (!address) throw std::system_error(ENAMETOOLONG, std::generic_category(), path);
  {
    // A socket left by a process that has ended refuses connections: replace it.
    // Anything else at the path stays.
    LocalStream probe(StreamSocket());
    if (Connects(probe.Descriptor(), *address))
      throw std::system_error(EADDRINUSE, std::generic_category(), "another process listens at " + path);
    struct stat existing{};
    if (lstat(path.c_str(), &existing) == 0) {
      if (!S_ISSOCK(existing.st_mode)) throw std::system_error(EEXIST, std::generic_category(), path);
      unlink(path.c_str());
    }
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "socket");
  LocalListener listener(fd, {});
  // Created for this user alone from the start, not opened up for a moment.
  const mode_t previous = umask(0177);
  const int bound = bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
  const int bindError = errno;
  umask(previous);
  if (bound != 0) throw std::system_error(bindError, std::generic_category(), "bind " + path);
  listener.path_ = path;  // ours to remove from here on
  if (chmod(path.c_str(), 0600) != 0 || listen(fd, 16) != 0)
    throw std::system_error(errno, std::generic_category(), "listen " + path);
  return listener;
}

LocalListener::~LocalListener() {
  if (fd_ < 0) return;
  close(fd_);
  if (!path_.empty()) unlink(path_.c_str());
}

std::optional<LocalStream> LocalListener::Accept() {
  for (;;) {
    const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return LocalStream(fd);
    if (errno != EINTR) return std::nullopt;
  }
}

}  // namespace platform
