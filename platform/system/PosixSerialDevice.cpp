// The serial device on Linux. This file speaks the kernel's termios2 interface
// directly (any baud rate, mark and space parity), so it includes no <termios.h>.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>

#include "platform/system/SerialDevice.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

struct StandardRate {
  std::uint32_t rate;
  unsigned code;
};
constexpr StandardRate kStandardRates[] = {{110, B110},       {300, B300},       {600, B600},     {1200, B1200},
                                           {2400, B2400},     {4800, B4800},     {9600, B9600},   {19200, B19200},
                                           {38400, B38400},   {57600, B57600},   {115200, B115200}};

class PosixSerialDevice final : public SerialDevice {
 public:
  explicit PosixSerialDevice(int fd) : fd_(fd) {}
  ~PosixSerialDevice() override {
    if (epoll_ >= 0) close(epoll_);
    close(fd_);  // also releases the exclusive lock
  }

  int GetState(LineSettings& s) override {
    termios2 t{};
    if (ioctl(fd_, TCGETS2, &t) != 0) return errno;
    std::lock_guard lock(mutex_);
    // Fields without a kernel counterpart read back as last set.
    s = shadow_;
    s.BaudRate = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
      case CS5: s.ByteSize = 5; break;
      case CS6: s.ByteSize = 6; break;
      case CS7: s.ByteSize = 7; break;
      default: s.ByteSize = 8; break;
    }
    if (!(t.c_cflag & PARENB)) s.Parity = 0;
    else if (t.c_cflag & CMSPAR) s.Parity = (t.c_cflag & PARODD) ? 3 : 4;
    else s.Parity = (t.c_cflag & PARODD) ? 1 : 2;
    if (!(t.c_cflag & CSTOPB)) s.StopBits = 0;
    else if (s.StopBits == 0) s.StopBits = 2;
    SetBit(s.Flags, dcb::fOutxCtsFlow, t.c_cflag & CRTSCTS);
    SetBit(s.Flags, dcb::fOutX, t.c_iflag & IXON);
    SetBit(s.Flags, dcb::fInX, t.c_iflag & IXOFF);
    SetBit(s.Flags, dcb::fParity, t.c_iflag & INPCK);
    s.XonChar = t.c_cc[VSTART];
    s.XoffChar = t.c_cc[VSTOP];
    return 0;
  }

  int SetState(const LineSettings& s) override {
    if (s.ByteSize < 5 || s.ByteSize > 8 || s.Parity > 4 || s.StopBits > 2 || s.BaudRate == 0) return EINVAL;
    termios2 t{};
    if (ioctl(fd_, TCGETS2, &t) != 0) return errno;
    // Raw bytes both ways: nothing translated, added or echoed.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD);
    t.c_cflag |= CREAD | CLOCAL;
    static constexpr unsigned kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[s.ByteSize - 5];
    if (s.Parity != 0) t.c_cflag |= PARENB;
    if (s.Parity == 1 || s.Parity == 3) t.c_cflag |= PARODD;
    if (s.Parity >= 3) t.c_cflag |= CMSPAR;
    if (s.StopBits != 0) t.c_cflag |= CSTOPB;  // with 5 data bits the UART sends 1.5
    if (s.Flags & dcb::fOutxCtsFlow) t.c_cflag |= CRTSCTS;
    if (s.Flags & dcb::fOutX) t.c_iflag |= IXON;
    if (s.Flags & dcb::fInX) t.c_iflag |= IXOFF;
    if (s.Flags & dcb::fParity) t.c_iflag |= INPCK;
    t.c_cc[VSTART] = s.XonChar;
    t.c_cc[VSTOP] = s.XoffChar;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const auto standard = std::find_if(std::begin(kStandardRates), std::end(kStandardRates),
                                       [&](const StandardRate& r) { return r.rate == s.BaudRate; });
    t.c_cflag |= standard != std::end(kStandardRates) ? standard->code : BOTHER;
    t.c_ispeed = t.c_ospeed = s.BaudRate;
    if (ioctl(fd_, TCSETS2, &t) != 0) return errno;

    SetModemLine(TIOCM_DTR, s.Flags & dcb::fDtrControlMask, dcb::DtrEnable);
    if (!(s.Flags & dcb::fOutxCtsFlow)) SetModemLine(TIOCM_RTS, s.Flags & dcb::fRtsControlMask, dcb::RtsEnable);
    std::lock_guard lock(mutex_);
    shadow_ = s;
    return 0;
  }

  int SetTimeouts() override { return 0; }  // the descriptor is non-blocking; Write keeps its own time

  int SetupQueues(std::int32_t readSize, std::int32_t writeSize) override {
    // The kernel sizes its queues itself; only nonsense sizes are refused.
    return readSize < 0 || writeSize < 0 ? EINVAL : 0;
  }

  int SetEventMask(std::uint32_t mask) override {
    if (epoll_ < 0) {
      epoll_ = epoll_create1(EPOLL_CLOEXEC);
      if (epoll_ < 0) return errno;
    }
    // Edge-triggered: a wait ends when new bytes arrive, not while old ones sit
    // unread (only a status answer, asked for before a payment, is ever read).
    epoll_event e{};
    e.events = EPOLLET | ((mask & (ev::RxChar | ev::Err | ev::Break)) ? EPOLLIN : 0u);
    e.data.fd = fd_;
    if (epoll_ctl(epoll_, EPOLL_CTL_MOD, fd_, &e) != 0 &&
        (errno != ENOENT || epoll_ctl(epoll_, EPOLL_CTL_ADD, fd_, &e) != 0))
      return errno;
    std::lock_guard lock(mutex_);
    mask_ = mask;
    return 0;
  }

  int Purge() override { return ioctl(fd_, TCFLSH, TCIOFLUSH) == 0 ? 0 : errno; }

  int Write(std::string_view bytes, std::chrono::milliseconds timeout, WriteOutcome& outcome) override {
    outcome = {};
    const auto deadline = timeout.count() < 0 ? Clock::time_point::max() : Clock::now() + timeout;
    std::size_t done = 0;
    bool first = true;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && errno != EAGAIN) {
        if (first) return errno;  // fails at once: nothing went out
        outcome.Transferred = done;
        return 0;  // failed under way (unplugged): the count stands
      } else if (!WaitWritable(deadline)) {
        return TimedOut(outcome);
      }
      first = false;
    }
    if (!Drain(deadline)) return TimedOut(outcome);
    outcome = {true, done};
    return 0;
  }

  int WaitSent(std::chrono::milliseconds timeout, bool& sent) override {
    sent = Drain(timeout.count() < 0 ? Clock::time_point::max() : Clock::now() + timeout);
    return 0;
  }

  int Read(char* buffer, std::size_t size, std::chrono::milliseconds timeout, std::size_t& got) override {
    got = 0;
    const auto deadline = Clock::now() + timeout;
    while (got < size) {
      // A raw line (VMIN and VTIME 0) reads nothing rather than EAGAIN when empty;
      // a hang-up shows in the poll.
      const ssize_t n = ::read(fd_, buffer + got, size - got);
      if (n > 0) {
        got += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return errno;
      const int left = Remaining(deadline);
      if (left == 0) return 0;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, left) < 0 && errno != EINTR) return errno;
      if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return EIO;  // the far end has gone
    }
    return 0;
  }

  int PurgeInput() override { return ioctl(fd_, TCFLSH, TCIFLUSH) == 0 ? 0 : errno; }

  int CheckLine() override {
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, 0) < 0) return errno;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) ? EIO : 0;
  }

  int WaitEvents(WaitHandle wake, std::uint32_t& events) override {
    const int wakeFd = static_cast<int>(wake);
    events = 0;
    if (epoll_ < 0 && SetEventMask(0) != 0) return errno;
    // The wake descriptor joins this wait only; it is the caller's and changes rarely.
    if (wakeFd != wakeFd_) {
      epoll_event e{};
      e.events = EPOLLIN;
      e.data.fd = wakeFd;
      if (epoll_ctl(epoll_, EPOLL_CTL_ADD, wakeFd, &e) != 0 && errno != EEXIST) return errno;
      wakeFd_ = wakeFd;
    }
    epoll_event ready[2];
    const int n = epoll_wait(epoll_, ready, 2, -1);
    if (n < 0) return errno == EINTR ? 0 : errno;
    std::uint32_t mask;
    {
      std::lock_guard lock(mutex_);
      mask = mask_;
    }
    for (int i = 0; i < n; ++i) {
      if (ready[i].data.fd != fd_) continue;
      if (ready[i].events & (EPOLLHUP | EPOLLERR)) return EIO;  // the device has gone
      if (ready[i].events & EPOLLIN) {
        events |= mask & ev::RxChar;
        const std::uint32_t errors = PeekLineErrors();
        if (errors) events |= mask & ev::Err;
        if (errors & ce::Break) events |= mask & ev::Break;
      }
    }
    return 0;
  }

  int ClearErrors(std::uint32_t& errors, std::uint32_t& inQueue) override {
    int waiting = 0;
    if (ioctl(fd_, FIONREAD, &waiting) != 0) return errno;
    inQueue = static_cast<std::uint32_t>(waiting);
    errors = TakeLineErrors();
    return 0;
  }

 private:
  static void SetBit(std::uint32_t& flags, std::uint32_t bit, bool on) { flags = on ? flags | bit : flags & ~bit; }

  // DTR and RTS as the control value asks; handshake has no kernel counterpart and
  // leaves the line alone. Ports without modem lines (ptys) refuse quietly.
  void SetModemLine(int line, std::uint32_t control, std::uint32_t enable) {
    if (control != 0 && control != enable) return;
    [[maybe_unused]] const int rc = ioctl(fd_, control == enable ? TIOCMBIS : TIOCMBIC, &line);
  }

  bool WaitWritable(Clock::time_point deadline) {
    for (;;) {
      const auto left = Remaining(deadline);
      if (left == 0) return false;
      pollfd p{fd_, POLLOUT, 0};
      const int rc = poll(&p, 1, left);
      if (rc > 0) return true;
      if (rc == 0) return false;
      if (errno != EINTR) return true;  // let write report the error
    }
  }

  // Waits until the output queue is empty, sleeping about as long as the queued
  // bytes take at the line's rate. Drivers without a queue count (ptys) are done.
  bool Drain(Clock::time_point deadline) {
    for (;;) {
      int queued = 0;
      if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
      const int left = Remaining(deadline);
      if (left == 0) return false;
      const std::uint32_t rate = std::max<std::uint32_t>(shadow_.BaudRate, 110);
      const auto estimate = static_cast<int>(std::min<std::int64_t>(std::int64_t{queued} * 10 * 1000 / rate, 1000));
      std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(estimate, 1, left < 0 ? 1000 : left)));
    }
  }

  // Milliseconds to the deadline: -1 without one, 0 when past.
  static int Remaining(Clock::time_point deadline) {
    if (deadline == Clock::time_point::max()) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, INT32_MAX));
  }

  // What the driver can't send in time is dropped, so a line reported as unsent
  // never prints later, torn, in front of the next one.
  int TimedOut(WriteOutcome& outcome) {
    [[maybe_unused]] const int rc = ioctl(fd_, TCFLSH, TCOFLUSH);
    outcome = {};
    return 0;
  }

  // Line error counters since the last ClearErrors; ports without them report none.
  std::uint32_t PeekLineErrors() {
    serial_icounter_struct now{};
    if (ioctl(fd_, TIOCGICOUNT, &now) != 0) return 0;
    std::lock_guard lock(mutex_);
    std::uint32_t errors = 0;
    if (now.buf_overrun != counted_.buf_overrun) errors |= ce::RxOver;
    if (now.overrun != counted_.overrun) errors |= ce::Overrun;
    if (now.parity != counted_.parity) errors |= ce::RxParity;
    if (now.frame != counted_.frame) errors |= ce::Frame;
    if (now.brk != counted_.brk) errors |= ce::Break;
    return errors;
  }

  std::uint32_t TakeLineErrors() {
    const std::uint32_t errors = PeekLineErrors();
    serial_icounter_struct now{};
    if (ioctl(fd_, TIOCGICOUNT, &now) == 0) {
      std::lock_guard lock(mutex_);
      counted_ = now;
    }
    return errors;
  }

  const int fd_;
  int epoll_ = -1;
  int wakeFd_ = -1;        // event thread only
  std::mutex mutex_;       // guards what both threads read: shadow_, mask_, counted_
  LineSettings shadow_{};  // the record as last set
  std::uint32_t mask_ = 0;
  serial_icounter_struct counted_{};
};

class PosixOpener final : public SerialDeviceOpener {
 public:
  std::unique_ptr<SerialDevice> Open(const std::string& path, int& error) override {
    if (path.empty()) {
      error = ENOENT;
      return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      error = errno;
      return nullptr;
    }
    // No sharing: a second opener, even root, is refused while the lock is held.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      error = errno == EWOULDBLOCK ? EBUSY : errno;
      close(fd);
      return nullptr;
    }
    error = 0;
    return std::make_unique<PosixSerialDevice>(fd);
  }
};

}  // namespace

std::shared_ptr<SerialDeviceOpener> SystemSerialDevices() { return std::make_shared<PosixOpener>(); }

}  // namespace platform
