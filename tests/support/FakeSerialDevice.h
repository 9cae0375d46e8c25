#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/system/SerialDevice.h"

namespace testsupport {

// The far side of a fake serial port, shared by the test and the device: what was
// set and written, and what the line does next. Safe from any thread.
class FakeLine {
 public:
  FakeLine() = default;
  FakeLine(const FakeLine&) = delete;
  FakeLine& operator=(const FakeLine&) = delete;

  // Line events as the port would report them; errors abort transfers as a port
  // with abort-on-error does, until they are cleared.
  void Inject(std::uint32_t events, std::uint32_t receivedBytes = 0, std::uint32_t errors = 0);
  void Hold(bool held);  // flow control: writes wait while held

  std::mutex mutex;
  std::condition_variable released;
  platform::LineSettings state;
  std::string written;
  std::string toRead;  // what the far end has sent; a read takes it at once, never waits
  std::uint32_t mask = 0;
  std::uint32_t inQueue = 0;
  std::uint32_t pendingEvents = 0;
  std::uint32_t pendingErrors = 0;
  bool aborted = false;
  bool held = false;
  bool open = false;
  int bytesPerSecond = 0;  // pacing; 0 is instant
  int setStateCalls = 0;
  int purges = 0;
  int clearErrorCalls = 0;
  int waitCalls = 0;
  // errno to fail each operation with; 0 succeeds.
  int failGetState = 0, failSetState = 0, failTimeouts = 0, failQueues = 0, failMask = 0, failPurge = 0,
      failWrite = 0, failWait = 0, failClearErrors = 0;
  platform::WaitableEvent notify;  // signalled when events are pending
};

class FakeSerialDevice final : public platform::SerialDevice {
 public:
  explicit FakeSerialDevice(std::shared_ptr<FakeLine> line);
  ~FakeSerialDevice() override;
  int GetState(platform::LineSettings& settings) override;
  int SetState(const platform::LineSettings& settings) override;
  int SetTimeouts() override;
  int SetupQueues(std::int32_t readSize, std::int32_t writeSize) override;
  int SetEventMask(std::uint32_t mask) override;
  int Purge() override;
  int Write(std::string_view bytes, std::chrono::milliseconds timeout, platform::WriteOutcome& outcome) override;
  int WaitSent(std::chrono::milliseconds timeout, bool& sent) override;
  int Read(char* buffer, std::size_t size, std::chrono::milliseconds timeout, std::size_t& got) override;
  int PurgeInput() override;
  int CheckLine() override;
  int WaitEvents(platform::WaitHandle wake, std::uint32_t& events) override;
  int ClearErrors(std::uint32_t& errors, std::uint32_t& inQueue) override;

 private:
  std::shared_ptr<FakeLine> line_;
};

// Opens fake lines by path; an unknown path is a missing device, an open line is busy.
class FakeOpener final : public platform::SerialDeviceOpener {
 public:
  std::shared_ptr<FakeLine> Add(const std::string& path);
  std::unique_ptr<platform::SerialDevice> Open(const std::string& path, int& error) override;

 private:
  std::map<std::string, std::shared_ptr<FakeLine>> lines_;
};

}  // namespace testsupport
