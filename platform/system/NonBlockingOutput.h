#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string_view>

// Output to a device opened non-blocking, the way the printer-port route writes on
// Linux. A driver may have no poll of its own (the parallel printer port's): poll
// then says it is writable while every write still finds it busy.
namespace platform {

struct NonBlockingOutput {
  // write(2): the bytes taken, or -1 with errno set (EAGAIN: none now).
  std::function<ssize_t(std::string_view)> Write;
  // poll(2) for output: > 0 writable, 0 not within the time, -1 with errno set.
  std::function<int(std::chrono::milliseconds)> WaitWritable;
};

// Writes every byte or raises InOutError: the error a write gave, or ETIMEDOUT once
// the device has taken nothing for `limit` since it last took a byte.
void WriteWithin(const NonBlockingOutput& output, std::string_view bytes, std::chrono::milliseconds limit);

}  // namespace platform
