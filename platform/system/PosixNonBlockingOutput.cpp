#include "platform/system/NonBlockingOutput.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include "platform/system/PrinterPort.h"

namespace platform {
namespace {

// Between writes to a device that is busy although poll said it was not: often
// enough to print without a noticeable pause, seldom enough to leave the processor.
constexpr std::chrono::milliseconds kBusyRetryPause{20};

}  // namespace

void WriteWithin(const NonBlockingOutput& output, std::string_view bytes, std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  auto lastTaken = Clock::now();
  bool polledWritable = false;  // the last write that found it busy came right after poll said writable
  while (!bytes.empty()) {
    const ssize_t n = output.Write(bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(limit - (Clock::now() - lastTaken));
      if (left.count() <= 0) throw InOutError(ETIMEDOUT);
      if (polledWritable) {
        std::this_thread::sleep_for(std::min(left, kBusyRetryPause));
        polledWritable = false;
        continue;
      }
      const int ready = output.WaitWritable(left);
      if (ready == 0) throw InOutError(ETIMEDOUT);  // nothing taken for the whole limit
      if (ready < 0 && errno != EINTR) throw InOutError(errno);
      polledWritable = ready > 0;
      continue;
    }
    if (n <= 0) throw InOutError(n < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<std::size_t>(n));
    lastTaken = Clock::now();
    polledWritable = false;
  }
}

}  // namespace platform
