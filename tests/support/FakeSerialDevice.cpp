#include "FakeSerialDevice.h"

#include <cerrno>
#include <thread>

namespace testsupport {


void FakeLine::Inject(std::uint32_t events, std::uint32_t receivedBytes, std::uint32_t errors) {
  {
    std::lock_guard lock(mutex);
    pendingEvents |= events;
    inQueue += receivedBytes;
    pendingErrors |= errors;
    if (errors && (state.Flags & platform::dcb::fAbortOnError)) aborted = true;
  }
  notify.Signal();
}

void FakeLine::Hold(bool on) {
  {
    std::lock_guard lock(mutex);
    held = on;
  }
  released.notify_all();
}

FakeSerialDevice::FakeSerialDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {
  std::lock_guard lock(line_->mutex);
  line_->open = true;
}

FakeSerialDevice::~FakeSerialDevice() {
  std::lock_guard lock(line_->mutex);
  line_->open = false;
}

int FakeSerialDevice::GetState(platform::LineSettings& settings) {
  std::lock_guard lock(line_->mutex);
  if (line_->failGetState) return line_->failGetState;
  settings = line_->state;
  return 0;
}

int FakeSerialDevice::SetState(const platform::LineSettings& settings) {
  std::lock_guard lock(line_->mutex);
  if (line_->failSetState) return line_->failSetState;
  line_->state = settings;
  ++line_->setStateCalls;
  return 0;
}

int FakeSerialDevice::SetTimeouts() {
  std::lock_guard lock(line_->mutex);
  return line_->failTimeouts;
}

int FakeSerialDevice::SetupQueues(std::int32_t, std::int32_t) {
  std::lock_guard lock(line_->mutex);
  return line_->failQueues;
}

int FakeSerialDevice::SetEventMask(std::uint32_t mask) {
  std::lock_guard lock(line_->mutex);
  if (line_->failMask) return line_->failMask;
  line_->mask = mask;
  return 0;
}

int FakeSerialDevice::Purge() {
  std::lock_guard lock(line_->mutex);
  if (line_->failPurge) return line_->failPurge;
  ++line_->purges;
  return 0;
}

int FakeSerialDevice::Write(std::string_view bytes, std::chrono::milliseconds timeout,
                            platform::WriteOutcome& outcome) {
  outcome = {};
  std::unique_lock lock(line_->mutex);
  if (line_->failWrite) return line_->failWrite;
  if (line_->aborted) return EIO;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  if (!line_->released.wait_until(lock, deadline, [&] { return !line_->held; })) return 0;
  if (line_->bytesPerSecond > 0) {
    const auto takes = std::chrono::milliseconds(bytes.size() * 1000 / line_->bytesPerSecond);
    lock.unlock();
    std::this_thread::sleep_for(std::min(takes, timeout));
    lock.lock();
    if (takes > timeout) return 0;
  }
  line_->written.append(bytes);
  outcome = {true, bytes.size()};
  return 0;
}

// Writes land at once; a held line keeps nothing queued that a wait could see go.
int FakeSerialDevice::WaitSent(std::chrono::milliseconds, bool& sent) {
  std::lock_guard lock(line_->mutex);
  sent = !line_->held;
  return 0;
}

int FakeSerialDevice::Read(char* buffer, std::size_t size, std::chrono::milliseconds, std::size_t& got) {
  std::lock_guard lock(line_->mutex);
  got = line_->toRead.copy(buffer, size);
  line_->toRead.erase(0, got);
  return line_->failWrite;
}

int FakeSerialDevice::PurgeInput() {
  std::lock_guard lock(line_->mutex);
  line_->toRead.clear();
  return 0;
}

int FakeSerialDevice::CheckLine() {
  std::lock_guard lock(line_->mutex);
  return line_->failWrite;
}

int FakeSerialDevice::WaitEvents(platform::WaitHandle wake, std::uint32_t& events) {
  events = 0;
  for (;;) {
    {
      std::lock_guard lock(line_->mutex);
      ++line_->waitCalls;
      if (line_->failWait) return line_->failWait;
      events = line_->pendingEvents & line_->mask;
      line_->pendingEvents = 0;
      if (events) return 0;
    }
    int error = 0;
    const int signalled = platform::WaitForEither(line_->notify.Handle(), wake, error);
    if (signalled < 0) return error;
    if (signalled == 1) return 0;
    line_->notify.Reset();
  }
}

int FakeSerialDevice::ClearErrors(std::uint32_t& errors, std::uint32_t& inQueue) {
  std::lock_guard lock(line_->mutex);
  ++line_->clearErrorCalls;
  if (line_->failClearErrors) return line_->failClearErrors;
  errors = line_->pendingErrors;
  inQueue = line_->inQueue;
  line_->pendingErrors = 0;
  line_->aborted = false;
  return 0;
}

std::shared_ptr<FakeLine> FakeOpener::Add(const std::string& path) {
  return lines_[path] = std::make_shared<FakeLine>();
}

std::unique_ptr<platform::SerialDevice> FakeOpener::Open(const std::string& path, int& error) {
  const auto found = lines_.find(path);
  if (found == lines_.end()) {
    error = ENOENT;
    return nullptr;
  }
  {
    std::lock_guard lock(found->second->mutex);
    if (found->second->open) {
      error = EBUSY;
      return nullptr;
    }
  }
  error = 0;
  return std::make_unique<FakeSerialDevice>(found->second);
}

}  // namespace testsupport
