#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/system/SerialDevice.h"
#include "serial/MainThreadInvoker.h"
#include "serial/SioClasses.h"
#include "serial/SioCommThread.h"

namespace serial {

// The one exception class of the serial component.
class ESioCommError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TSioBaudrate : std::uint8_t {
  br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
  br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum class TSioParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum class TSioDatabits : std::uint8_t { db4, db5, db6, db7, db8 };
enum class TSioStopbits : std::uint8_t { sb1, sb15, sb2 };
enum class TSioFlowControl : std::uint8_t { fcNone, fcRtsCts, fcDtrDsr, fcXonXoff };
enum class TSioDTRControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum class TSioRTSControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum class TSioCommOption : std::uint8_t { coContinueOnXOff, coErrorChar, coNullStrip, coParityCheck, coDsrSensitivity };
enum class TSioCommEvent : std::uint8_t { ceBreak, ceCts, ceDsr, ceError, ceRing, ceRlsd, ceData, ceTxEmpty, ceEvent };

// A set of enumeration members, one bit each.
template <typename E, typename Bits>
class TSioSet {
 public:
  constexpr TSioSet() = default;
  constexpr TSioSet(std::initializer_list<E> members) {
    for (E m : members) Include(m);
  }
  constexpr bool Contains(E m) const { return bits_ & Bit(m); }
  constexpr void Include(E m) { bits_ = static_cast<Bits>(bits_ | Bit(m)); }
  constexpr void Exclude(E m) { bits_ = static_cast<Bits>(bits_ & ~Bit(m)); }
  constexpr bool operator==(const TSioSet&) const = default;

 private:
  static constexpr Bits Bit(E m) { return static_cast<Bits>(1u << static_cast<unsigned>(m)); }
  Bits bits_ = 0;
};
using TSioCommEvents = TSioSet<TSioCommEvent, std::uint16_t>;
using TSioCommOptions = TSioSet<TSioCommOption, std::uint8_t>;

class TSioCustomComm;
using TNotifyEvent = std::function<void(TSioCustomComm* Sender)>;
using TSioCommErrorEvent = std::function<void(TSioCustomComm* Sender, std::int32_t Errors)>;
using TSioCommDataEvent = std::function<void(TSioCustomComm* Sender, std::int32_t Count)>;

// What the component reaches outside itself; tests put doubles in its place.
struct TSioEnvironment {
  std::shared_ptr<platform::SerialDeviceOpener> Devices;
  std::shared_ptr<MainThreadInvoker> MainThread;
  std::string ProgramDirectory;  // where devices/ names the ports
};

// A serial port opened by number ("COM%d"), configured from its properties.
class TSioCustomComm : public TSioCoreComponent {
 public:
  TSioCustomComm(TSioComponent* Owner, TSioEnvironment Environment);
  ~TSioCustomComm() override;

  void Open();
  void Close();
  bool IsOpen() const { return device_ != nullptr; }
  // The number of bytes written: all of them, fewer when the device failed under
  // way, 0 when the write did not finish within WriteTimeout.
  std::int32_t WriteBuf(const void* Buffer, std::int32_t Count);
  bool WriteText(std::string_view Text);
  // The number of bytes read: what arrived within ReadTimeout milliseconds, at most
  // Count of them (those that came before the call included).
  std::int32_t ReadBuf(void* Buffer, std::int32_t Count);
  // Discards what has arrived and not been read.
  void PurgeRead();
  // Waits up to WriteTimeout until what was written has left the output queue; false
  // when some of it is still there. Close discards what it finds queued, so a
  // program that closes the port after a receipt waits for this first.
  bool WaitSent();
  // Raises the error a write would now fail with: the port isn't open, or its
  // device has gone.
  void CheckLine();
  void PurgeReadWrite();
  void ApplySettings();

  // Properties. Setters of the line settings re-apply them to an open port; those
  // of PortNum, MonitorEvents, the buffer sizes and Priority are refused while open.
  TSioBaudrate Baudrate() const { return baudrate_; }
  void SetBaudrate(TSioBaudrate Value) { SetLineProperty(baudrate_, Value); }
  TSioParity Parity() const { return parity_; }
  void SetParity(TSioParity Value) { SetLineProperty(parity_, Value); }
  TSioDatabits Databits() const { return databits_; }
  void SetDatabits(TSioDatabits Value) { SetLineProperty(databits_, Value); }
  TSioStopbits Stopbits() const { return stopbits_; }
  void SetStopbits(TSioStopbits Value) { SetLineProperty(stopbits_, Value); }
  std::int32_t PortNum() const { return portNum_; }
  void SetPortNum(std::int32_t Value) { SetClosedProperty(portNum_, Value); }
  TSioCommEvents MonitorEvents() const { return monitorEvents_; }
  void SetMonitorEvents(TSioCommEvents Value) { SetClosedProperty(monitorEvents_, Value); }
  TSioEventChars& EventChars() { return eventChars_; }
  void SetEventChars(const TSioEventChars& Value) { eventChars_.Assign(Value); }
  std::int32_t ReadBufSize() const { return readBufSize_; }
  void SetReadBufSize(std::int32_t Value) { SetClosedProperty(readBufSize_, Value); }
  std::int32_t WriteBufSize() const { return writeBufSize_; }
  void SetWriteBufSize(std::int32_t Value) { SetClosedProperty(writeBufSize_, Value); }
  std::int32_t ReadTimeout() const { return readTimeout_; }
  void SetReadTimeout(std::int32_t Value) { readTimeout_ = Value; }
  std::int32_t WriteTimeout() const { return writeTimeout_; }
  void SetWriteTimeout(std::int32_t Value) { writeTimeout_ = Value; }  // negative: no limit
  TSioFlowControl FlowControl() const { return flowControl_; }
  void SetFlowControl(TSioFlowControl Value) { SetLineProperty(flowControl_, Value); }
  TSioCommOptions Options() const { return options_; }
  void SetOptions(TSioCommOptions Value) { SetLineProperty(options_, Value); }
  std::int32_t XonLim() const { return xonLim_; }
  void SetXonLim(std::int32_t Value) { SetLineProperty(xonLim_, Value); }
  std::int32_t XoffLim() const { return xoffLim_; }
  void SetXoffLim(std::int32_t Value) { SetLineProperty(xoffLim_, Value); }
  TThreadPriority Priority() const { return priority_; }
  void SetPriority(TThreadPriority Value) { SetClosedProperty(priority_, Value); }
  TSioDTRControl DTRControl() const { return dtrControl_; }
  void SetDTRControl(TSioDTRControl Value) { SetLineProperty(dtrControl_, Value); }
  TSioRTSControl RTSControl() const { return rtsControl_; }
  void SetRTSControl(TSioRTSControl Value) { SetLineProperty(rtsControl_, Value); }

  // Handlers, called on the main thread with the component as Sender.
  TNotifyEvent OnOpen, OnClose, OnCts, OnDsr, OnRlsd, OnRing, OnBreak;
  TSioCommErrorEvent OnError;
  TSioCommDataEvent OnData;
  TNotifyEvent OnRxFlag, OnEvent1, OnEvent2, OnTxEmpty, OnRx80Full;

 protected:
  // Opens the device named by DeviceName and keeps it; raises when it can't.
  virtual void OpenDevice();
  // Turns an event set into handler calls (main thread).
  virtual void HandleCommEvents(TSioCommThread* Sender, std::uint32_t EventMask);

  std::string DeviceName() const;
  void CheckClosed() const;
  // Format's %d becomes ErrorCode and %s the system's text for it.
  [[noreturn]] void RaiseCommError(std::string_view Format, int ErrorCode) const;
  void Lock() { lock_.Enter(); }
  void Unlock() { lock_.Leave(); }
  std::uint32_t EventMaskFromMonitorEvents() const;

  // For an OpenDevice of a descendant.
  void SetDevice(std::unique_ptr<platform::SerialDevice> Device) { device_ = std::move(Device); }
  const TSioEnvironment& Environment() const { return environment_; }

 private:
  template <typename T>
  void SetLineProperty(T& field, const T& value) {
    if (field == value) return;
    field = value;
    ApplySettings();
  }
  template <typename T>
  void SetClosedProperty(T& field, const T& value) {
    if (field == value) return;
    CheckClosed();
    field = value;
  }
  void StopEventThread();

  TSioEnvironment environment_;
  std::unique_ptr<platform::SerialDevice> device_;  // none while closed
  TSioCriticalSection lock_;
  std::shared_ptr<TSioCommThread> thread_;
  std::int32_t portNum_ = 0;
  TSioCommEvents monitorEvents_;
  TSioBaudrate baudrate_ = TSioBaudrate::br1200;
  TSioParity parity_ = TSioParity::paNone;
  TSioDatabits databits_ = TSioDatabits::db8;
  TSioStopbits stopbits_ = TSioStopbits::sb1;
  std::int32_t readBufSize_ = 4096;
  std::int32_t writeBufSize_ = 2048;
  std::int32_t readTimeout_ = 1000;
  std::int32_t writeTimeout_ = 1000;
  TSioCommOptions options_;
  TSioFlowControl flowControl_ = TSioFlowControl::fcRtsCts;
  TSioEventChars eventChars_;
  std::int32_t xonLim_ = 1024;
  std::int32_t xoffLim_ = 1024;
  TThreadPriority priority_ = TThreadPriority::tpNormal;
  TSioDTRControl dtrControl_ = TSioDTRControl::dtrEnable;
  TSioRTSControl rtsControl_ = TSioRTSControl::rtsEnable;
};

// The component as the window uses it; it publishes the properties above.
class TSioComm : public TSioCustomComm {
 public:
  using TSioCustomComm::TSioCustomComm;
};

}  // namespace serial
