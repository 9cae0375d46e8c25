#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// Stream sockets between processes of this machine, named by a path (UNIX domain
// sockets; Linux only: on Windows the payment module is called in process). Each
// object owns its descriptor and closes it when it goes.
namespace platform {

using Deadline = std::chrono::steady_clock::time_point;

class LocalStream {
 public:
  // nullopt when nothing listens at `path` or this user may not connect to it.
  static std::optional<LocalStream> Connect(const std::string& path);
  // Two connected ends, neither inherited by programs this one starts.
  static std::pair<LocalStream, LocalStream> Pair();

  explicit LocalStream(int descriptor) noexcept : fd_(descriptor) {}
  LocalStream(LocalStream&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  LocalStream& operator=(LocalStream&& other) noexcept;
  LocalStream(const LocalStream&) = delete;
  LocalStream& operator=(const LocalStream&) = delete;
  ~LocalStream();

  // Sends every byte before `deadline`; false when the peer has gone, on an error
  // or when the deadline passes first.
  bool SendAll(std::string_view bytes, Deadline deadline);

  enum class Received { Data, Closed, TimedOut, Failed };
  // Appends what has arrived to `into`, waiting for something until `deadline`.
  Received ReceiveSome(std::string& into, Deadline deadline);

  // The user the process at the other end ran as when it connected.
  std::optional<unsigned> PeerUser() const;
  int Descriptor() const { return fd_; }

 private:
  int fd_;
};

class LocalListener {
 public:
  // Listens at `path`: a socket file only this user can open (root can open any).
  // A socket left there by a process that has ended is replaced; throws
  // std::system_error when the path can't be used, or a process listens there.
  static LocalListener Listen(const std::string& path);

  LocalListener(LocalListener&& other) noexcept
      : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}
  LocalListener& operator=(LocalListener&&) = delete;
  LocalListener(const LocalListener&) = delete;
  LocalListener& operator=(const LocalListener&) = delete;
  // Removes the socket file too.
  ~LocalListener();

  // The next waiting connection, without waiting; nullopt when there is none.
  std::optional<LocalStream> Accept();
  int Descriptor() const { return fd_; }

 private:
  LocalListener(int descriptor, std::string path) : fd_(descriptor), path_(std::move(path)) {}
  int fd_;
  std::string path_;
};

}  // namespace platform
