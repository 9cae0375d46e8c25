#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <stdexcept>
#include <string>

namespace testsupport {

// A pseudo-terminal pair: the program opens the slave path as its serial port; the
// test is the far end at the master. The test also keeps the slave open, so that
// the far end can hold the line (tcflow) and the pair outlives the program's close.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
    slavePath_ = ptsname(master_);
    slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) throw std::runtime_error("cannot open " + slavePath_);
  }
  ~PseudoTerminal() {
    if (slave_ >= 0) ::close(slave_);
    CloseMaster();
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // devices/<name> in `programDirectory` names this pair's slave.
  void LinkAs(const std::string& programDirectory, const std::string& name) const {
    std::filesystem::create_directories(programDirectory + "devices");
    std::filesystem::create_symlink(slavePath_, programDirectory + "devices/" + name);
  }

  // Reads what the program wrote until `count` bytes came or `timeout` passed.
  std::string Read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[4096];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  void Send(const std::string& bytes) const {
    if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
      throw std::runtime_error("pty write failed");
  }
  // The far end answers the next request of `requestSize` bytes with `answer`, as
  // a printer answers its status request while the program waits; the request comes
  // back from the future.
  std::future<std::string> AnswerNext(std::size_t requestSize, std::string answer) const {
    return std::async(std::launch::async, [this, requestSize, answer = std::move(answer)] {
      std::string request = Read(requestSize, std::chrono::seconds(2));
      if (request.size() == requestSize) Send(answer);
      return request;
    });
  }
  termios Settings() const {
    termios t{};
    tcgetattr(master_, &t);
    return t;
  }
  void HoldOutput(bool hold) const { tcflow(slave_, hold ? TCOOFF : TCOON); }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  const std::string& SlavePath() const { return slavePath_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

}  // namespace testsupport
