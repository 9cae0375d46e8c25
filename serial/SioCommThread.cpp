#include "SioCommThread.h"

#include <algorithm>

#include "platform/system/ThreadPriority.h"

namespace serial {
namespace {

// The platform's relative priorities of the priority table.
void ApplyPriority(TThreadPriority priority) {
  static constexpr int kRelative[] = {-15, -2, -1, 0, 1, 2, 15};
  platform::SetCurrentThreadPriority(kRelative[static_cast<int>(priority)]);
}

}  // namespace

TSioCommThread::TSioCommThread(platform::SerialDevice& Device, std::shared_ptr<MainThreadInvoker> MainThread)
    : device_(Device), mainThread_(std::move(MainThread)) {}

std::shared_ptr<TSioCommThread> TSioCommThread::Create(platform::SerialDevice& Device, TThreadPriority Priority,
                                                       std::shared_ptr<MainThreadInvoker> MainThread) {
  std::shared_ptr<TSioCommThread> thread(new TSioCommThread(Device, std::move(MainThread)));
  thread->thread_ = std::thread([raw = thread.get(), Priority] { raw->Execute(Priority); });
  return thread;
}

TSioCommThread::~TSioCommThread() {
  if (thread_.joinable()) {
    StopThread();
    thread_.join();
  }
}

void TSioCommThread::StopThread() {
  {
    std::lock_guard lock(handOffMutex_);
    terminated_ = true;
  }
  EventLink = nullptr;
  wakeEvent_.Signal();
  handOffDone_.notify_all();
}

void TSioCommThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TSioCommThread::Execute(TThreadPriority Priority) {
  ApplyPriority(Priority);
  std::uint32_t backoffMs = 0;
  while (!terminated_) {
    std::uint32_t mask = 0;
    const int error = device_.WaitEvents(wakeEvent_.Handle(), mask);
    if (terminated_) break;
    if (error != 0 || mask == 0) {
      // A wait that ends at once with nothing (a device that has gone, an empty
      // event set) would spin; wait a growing while, still woken by a stop.
      backoffMs = std::clamp<std::uint32_t>(backoffMs * 2, 10, 1000);
      wakeEvent_.WaitFor(backoffMs);
      continue;
    }
    backoffMs = 0;
    if (mainThread_->ApplicationTerminating()) continue;
    HandOff(mask);
    wakeEvent_.Reset();
  }
}

void TSioCommThread::HandOff(std::uint32_t EventMask) {
  const std::uint64_t ticket = ++handOffsAsked_;
  mainThread_->Post([self = shared_from_this(), EventMask, ticket] {
    self->Dispatch(EventMask);
    {
      std::lock_guard lock(self->handOffMutex_);
      self->handOffsFinished_ = ticket;
    }
    self->handOffDone_.notify_all();
  });
  std::unique_lock lock(handOffMutex_);
  handOffDone_.wait(lock, [&] { return handOffsFinished_ >= ticket || terminated_; });
}

void TSioCommThread::Dispatch(std::uint32_t EventMask) {
  if (!EventLink) return;  // stopped, or not linked yet: the event set is dropped
  try {
    EventLink(this, EventMask);
  } catch (const std::exception& error) {
    mainThread_->ShowException(error);
  } catch (...) {
    mainThread_->ShowException(std::runtime_error("Unknown exception in a serial event handler"));
  }
}

}  // namespace serial
