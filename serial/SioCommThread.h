#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/system/SerialDevice.h"
#include "serial/MainThreadInvoker.h"
#include "serial/SioClasses.h"

namespace serial {

enum class TThreadPriority : std::uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Waits for the port's events and hands each event set to the main thread, where
// EventLink (the component's HandleCommEvents) dispatches it. It never touches the
// component: it only reads the device it was given, which outlives it.
class TSioCommThread : public std::enable_shared_from_this<TSioCommThread> {
 public:
  using TEventLink = std::function<void(TSioCommThread* Sender, std::uint32_t EventMask)>;

  // Starts the thread at once.
  static std::shared_ptr<TSioCommThread> Create(platform::SerialDevice& Device, TThreadPriority Priority,
                                                std::shared_ptr<MainThreadInvoker> MainThread);
  ~TSioCommThread();
  TSioCommThread(const TSioCommThread&) = delete;
  TSioCommThread& operator=(const TSioCommThread&) = delete;

  // Main thread. Ends the thread's wait and any hand-off still on its way; the
  // thread then ends by itself, at once.
  void StopThread();
  // Main thread, after StopThread: returns when the thread has ended, which it
  // does promptly whatever it was doing (also while a handler calls this).
  void WaitFor();

  TEventLink EventLink;  // read and written on the main thread only

 private:
  TSioCommThread(platform::SerialDevice& Device, std::shared_ptr<MainThreadInvoker> MainThread);
  void Execute(TThreadPriority Priority);
  void HandOff(std::uint32_t EventMask);
  void Dispatch(std::uint32_t EventMask);  // main thread

  platform::SerialDevice& device_;
  std::shared_ptr<MainThreadInvoker> mainThread_;
  TSioSimpleEvent wakeEvent_;
  std::atomic<bool> terminated_{false};
  std::mutex handOffMutex_;
  std::condition_variable handOffDone_;
  std::uint64_t handOffsAsked_ = 0;     // event thread only
  std::uint64_t handOffsFinished_ = 0;  // guarded by handOffMutex_
  std::thread thread_;
};

}  // namespace serial
