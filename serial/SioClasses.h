#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/system/WaitableEvent.h"

// The serial library's base layer: change-notifying persistent objects, the
// component base, and small synchronisation wrappers on the system's events.
namespace serial {

class TSioPersistent;
using TSioNotify = std::function<void(TSioPersistent* Sender)>;

// Raised by Assign between unrelated types.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A persistent object with change notification. Changed fires OnChange while no
// update is open; BeginUpdate/EndUpdate bracket several changes into one.
class TSioPersistent {
 public:
  virtual ~TSioPersistent() = default;
  virtual std::string ClassName() const { return "TSioPersistent"; }

  // Copies another object's state; the base can copy nothing and refuses.
  virtual void Assign(const TSioPersistent& Source);

  void BeginUpdate() { ++UpdateCount; }
  void EndUpdate();
  void Changed();

  std::int32_t UpdateCount = 0;
  TSioNotify OnChange;
};

// The four special characters of the line.
class TSioEventChars : public TSioPersistent {
 public:
  std::string ClassName() const override { return "TSioEventChars"; }
  void Assign(const TSioPersistent& Source) override;

  std::uint8_t XonChar() const { return chars_[0]; }
  std::uint8_t XoffChar() const { return chars_[1]; }
  std::uint8_t ErrorChar() const { return chars_[2]; }
  std::uint8_t EventChar() const { return chars_[3]; }
  void SetXonChar(std::uint8_t c) { SetChar(1, c); }
  void SetXoffChar(std::uint8_t c) { SetChar(2, c); }
  void SetErrorChar(std::uint8_t c) { SetChar(3, c); }
  void SetEventChar(std::uint8_t c) { SetChar(4, c); }

  // Index 1 to 4: XonChar, XoffChar, ErrorChar, EventChar. Always notifies.
  void SetChar(int Index, std::uint8_t c);

 private:
  std::uint8_t chars_[4] = {17, 19, 0, 0};
};

// The component base: a name, a tag, and the loading and destroying states.
class TSioComponent {
 public:
  explicit TSioComponent(TSioComponent* Owner = nullptr) : owner_(Owner) {}
  virtual ~TSioComponent() = default;
  TSioComponent(const TSioComponent&) = delete;
  TSioComponent& operator=(const TSioComponent&) = delete;

  TSioComponent* Owner() const { return owner_; }
  std::string Name;
  std::intptr_t Tag = 0;

  bool Loading() const { return loading_; }
  bool Destroying() const { return destroying_; }
  // Bracket the assignment of stored properties, as a window layout does.
  void BeginLoading() { loading_ = true; }
  void EndLoading() { loading_ = false; }

 protected:
  // Called first thing by a destructor that must not run handlers any more.
  void MarkDestroying() { destroying_ = true; }

 private:
  TSioComponent* owner_;
  bool loading_ = false;
  bool destroying_ = false;
};

class TSioCoreComponent : public TSioComponent {
 public:
  using TSioComponent::TSioComponent;
};

enum class WaitResult { Signaled, TimedOut, Abandoned, Failed };

// A waitable handle of the system, owned and closed with the object.
class TSioHandleObject {
 public:
  virtual ~TSioHandleObject() = default;
  TSioHandleObject(const TSioHandleObject&) = delete;
  TSioHandleObject& operator=(const TSioHandleObject&) = delete;

  // Timeout in milliseconds; 0xFFFFFFFF waits without limit.
  WaitResult WaitFor(std::uint32_t Timeout);
  void Signal() { event_.Signal(); }
  void Reset() { event_.Reset(); }

  platform::WaitHandle Handle() const { return event_.Handle(); }
  int LastError = 0;  // the system's code of the last failed wait

 protected:
  TSioHandleObject() = default;

 private:
  platform::WaitableEvent event_;
};

class TSioEvent : public TSioHandleObject {};

// A manual-reset event, created unsignalled: it stays signalled until Reset.
class TSioSimpleEvent : public TSioEvent {};

// A lock the holding thread may enter again.
class TSioCriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for a scope.
class TSioLock {
 public:
  explicit TSioLock(TSioCriticalSection& section) : section_(section) { section_.Enter(); }
  ~TSioLock() { section_.Leave(); }
  TSioLock(const TSioLock&) = delete;
  TSioLock& operator=(const TSioLock&) = delete;

 private:
  TSioCriticalSection& section_;
};

}  // namespace serial
