#include "SioComm.h"

#include <algorithm>
#include <chrono>

#include "platform/system/DeviceNames.h"
#include "platform/system/ErrorText.h"

namespace serial {
namespace {

namespace dcb = platform::dcb;
namespace ev = platform::ev;

constexpr std::uint32_t kBaudRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                        19200, 38400, 56000, 57600, 115200, 128000, 256000};

std::string FormatWithPort(std::string_view format, std::int32_t port) {
  std::string text(format);
  text.replace(text.find("%d"), 2, std::to_string(port));
  return text;
}

}  // namespace

TSioCustomComm::TSioCustomComm(TSioComponent* Owner, TSioEnvironment Environment)
    : TSioCoreComponent(Owner), environment_(std::move(Environment)) {
  eventChars_.OnChange = [this](TSioPersistent*) { ApplySettings(); };
}

TSioCustomComm::~TSioCustomComm() {
  MarkDestroying();
  try {
    Close();
  } catch (const ESioCommError&) {
    // The purge failed; the device is released with the component all the same.
  }
}

std::string TSioCustomComm::DeviceName() const { return "COM" + std::to_string(portNum_); }

void TSioCustomComm::CheckClosed() const {
  if (IsOpen()) throw ESioCommError("Can't perform this operation when port is open");
}

void TSioCustomComm::RaiseCommError(std::string_view Format, int ErrorCode) const {
  std::string text(Format);
  if (const auto at = text.find("%d"); at != std::string::npos) text.replace(at, 2, std::to_string(ErrorCode));
  if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, platform::SystemErrorText(ErrorCode));
  throw ESioCommError(text);
}

std::uint32_t TSioCustomComm::EventMaskFromMonitorEvents() const {
  static constexpr std::pair<TSioCommEvent, std::uint32_t> kBits[] = {
      {TSioCommEvent::ceBreak, ev::Break}, {TSioCommEvent::ceCts, ev::Cts},         {TSioCommEvent::ceDsr, ev::Dsr},
      {TSioCommEvent::ceError, ev::Err},   {TSioCommEvent::ceRing, ev::Ring},       {TSioCommEvent::ceRlsd, ev::Rlsd},
      {TSioCommEvent::ceData, ev::RxChar}, {TSioCommEvent::ceTxEmpty, ev::TxEmpty}, {TSioCommEvent::ceEvent, ev::RxFlag}};
  std::uint32_t mask = 0;
  for (const auto& [member, bit] : kBits)
    if (monitorEvents_.Contains(member)) mask |= bit;
  return mask;
}

void TSioCustomComm::OpenDevice() {
  int error = 0;
  const std::string path = platform::ResolveDevice(DeviceName(), environment_.ProgramDirectory).Path;
  device_ = environment_.Devices->Open(path, error);
  if (device_) return;
  if (error == platform::kErrorNoSuchDevice) throw ESioCommError(FormatWithPort("Invalid port number (COM%d)", portNum_));
  throw ESioCommError(FormatWithPort("Can't open device COM%d", portNum_));
}

void TSioCustomComm::Open() {
  CheckClosed();
  OpenDevice();
  try {
    if (!IsOpen()) return;
    ApplySettings();
    if (const int e = device_->SetTimeouts()) RaiseCommError("Error setting timeouts (%d), %s", e);
    if (const int e = device_->SetupQueues(readBufSize_, writeBufSize_))
      RaiseCommError("Error initializing buffers (%d), %s", e);
    {
      TSioLock lock(lock_);
      if (const int e = device_->SetEventMask(EventMaskFromMonitorEvents()))
        // The leading blank is part of the message as operators and their logs know it.
        RaiseCommError(" Error setting EventMask (%d), %s", e);
    }
    thread_ = TSioCommThread::Create(*device_, priority_, environment_.MainThread);
    thread_->EventLink = [this](TSioCommThread* Sender, std::uint32_t EventMask) {
      HandleCommEvents(Sender, EventMask);
    };
    if (OnOpen) OnOpen(this);
  } catch (...) {
    StopEventThread();  // also the thread of a port whose OnOpen raised
    device_.reset();
    throw;
  }
}

void TSioCustomComm::StopEventThread() {
  if (!thread_) return;
  thread_->StopThread();
  thread_->WaitFor();
  thread_.reset();
}

void TSioCustomComm::Close() {
  if (!IsOpen()) return;
  StopEventThread();
  PurgeReadWrite();
  device_.reset();
  if (OnClose && !Destroying()) OnClose(this);
}

void TSioCustomComm::PurgeReadWrite() {
  TSioLock lock(lock_);
  const int e = device_ ? device_->Purge() : platform::kErrorInvalidHandle;
  if (e) RaiseCommError("Error clearing buffers (%d), %s", e);
}

void TSioCustomComm::ApplySettings() {
  if (Loading() || !IsOpen()) return;
  TSioLock lock(lock_);
  platform::LineSettings s;
  if (const int e = device_->GetState(s)) RaiseCommError("Error reading dcb (%d), %s", e);
  s.BaudRate = kBaudRates[static_cast<int>(baudrate_)];
  s.Parity = static_cast<std::uint8_t>(parity_);
  s.StopBits = static_cast<std::uint8_t>(stopbits_);
  s.ByteSize = static_cast<std::uint8_t>(4 + static_cast<int>(databits_));
  s.XonChar = eventChars_.XonChar();
  s.XoffChar = eventChars_.XoffChar();
  s.ErrorChar = eventChars_.ErrorChar();
  s.EvtChar = eventChars_.EventChar();
  s.XonLim = static_cast<std::uint16_t>(xonLim_);
  s.XoffLim = static_cast<std::uint16_t>(xoffLim_);

  std::uint32_t flags = dcb::fBinary | dcb::fAbortOnError;
  switch (flowControl_) {
    case TSioFlowControl::fcNone: break;
    case TSioFlowControl::fcRtsCts: flags |= dcb::fOutxCtsFlow | dcb::RtsHandshake; break;
    case TSioFlowControl::fcDtrDsr: flags |= dcb::fOutxDsrFlow | dcb::DtrHandshake; break;
    case TSioFlowControl::fcXonXoff: flags |= dcb::fOutX | dcb::fInX; break;
  }
  static constexpr std::uint32_t kDtr[] = {0, dcb::DtrEnable, dcb::DtrHandshake};
  static constexpr std::uint32_t kRts[] = {0, dcb::RtsEnable, dcb::RtsHandshake, dcb::RtsToggle};
  if (flowControl_ != TSioFlowControl::fcDtrDsr) flags |= kDtr[static_cast<int>(dtrControl_)];
  if (flowControl_ != TSioFlowControl::fcRtsCts) flags |= kRts[static_cast<int>(rtsControl_)];
  static constexpr std::pair<TSioCommOption, std::uint32_t> kOptions[] = {
      {TSioCommOption::coContinueOnXOff, dcb::fTXContinueOnXoff}, {TSioCommOption::coErrorChar, dcb::fErrorChar},
      {TSioCommOption::coNullStrip, dcb::fNull},                  {TSioCommOption::coParityCheck, dcb::fParity},
      {TSioCommOption::coDsrSensitivity, dcb::fDsrSensitivity}};
  for (const auto& [option, bit] : kOptions) flags = options_.Contains(option) ? flags | bit : flags & ~bit;
  s.Flags = flags;

  if (const int e = device_->SetState(s)) RaiseCommError("Error writing dcb (%d), %s", e);
}

std::int32_t TSioCustomComm::WriteBuf(const void* Buffer, std::int32_t Count) {
  TSioLock lock(lock_);
  if (!device_) RaiseCommError("Write error (%d), %s", platform::kErrorInvalidHandle);
  if (Count < 0) RaiseCommError("Write error (%d), %s", platform::kErrorInvalidParameter);
  if (Buffer == nullptr && Count > 0) RaiseCommError("Write error (%d), %s", platform::kErrorBadBuffer);
  platform::WriteOutcome outcome;
  const std::string_view bytes(static_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
  if (const int e = device_->Write(bytes, std::chrono::milliseconds(writeTimeout_), outcome))
    RaiseCommError("Write error (%d), %s", e);
  return static_cast<std::int32_t>(outcome.Transferred);
}

bool TSioCustomComm::WriteText(std::string_view Text) {
  if (Text.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  const auto count = static_cast<std::int32_t>(Text.size());
  return WriteBuf(Text.data(), count) == count;
}

std::int32_t TSioCustomComm::ReadBuf(void* Buffer, std::int32_t Count) {
  TSioLock lock(lock_);
  if (!device_) RaiseCommError("Read error (%d), %s", platform::kErrorInvalidHandle);
  if (Count < 0) RaiseCommError("Read error (%d), %s", platform::kErrorInvalidParameter);
  if (Buffer == nullptr && Count > 0) RaiseCommError("Read error (%d), %s", platform::kErrorBadBuffer);
  std::size_t got = 0;
  if (const int e = device_->Read(static_cast<char*>(Buffer), static_cast<std::size_t>(Count),
                                  std::chrono::milliseconds(std::max(readTimeout_, 0)), got))
    RaiseCommError("Read error (%d), %s", e);
  return static_cast<std::int32_t>(got);
}

void TSioCustomComm::PurgeRead() {
  TSioLock lock(lock_);
  const int e = device_ ? device_->PurgeInput() : platform::kErrorInvalidHandle;
  if (e) RaiseCommError("Error clearing buffers (%d), %s", e);
}

bool TSioCustomComm::WaitSent() {
  TSioLock lock(lock_);
  if (!device_) RaiseCommError("Write error (%d), %s", platform::kErrorInvalidHandle);
  bool sent = false;
  if (const int e = device_->WaitSent(std::chrono::milliseconds(writeTimeout_), sent))
    RaiseCommError("Write error (%d), %s", e);
  return sent;
}

void TSioCustomComm::CheckLine() {
  TSioLock lock(lock_);
  const int e = device_ ? device_->CheckLine() : platform::kErrorInvalidHandle;
  if (e) RaiseCommError("Write error (%d), %s", e);
}

void TSioCustomComm::HandleCommEvents(TSioCommThread*, std::uint32_t EventMask) {
  std::uint32_t errors = 0;
  std::uint32_t count = 0;
  if (EventMask & (ev::Err | ev::RxChar)) {
    TSioLock lock(lock_);
    const int e = device_ ? device_->ClearErrors(errors, count) : platform::kErrorInvalidHandle;
    if (e) RaiseCommError("Error retrieving statistics (%d), %s", e);
  }
  const auto notify = [&](std::uint32_t bit, const TNotifyEvent& handler) {
    if ((EventMask & bit) && handler) handler(this);
  };
  if ((EventMask & ev::Err) && OnError) OnError(this, static_cast<std::int32_t>(errors));
  if ((EventMask & ev::RxChar) && OnData && count > 0) OnData(this, static_cast<std::int32_t>(count));
  notify(ev::RxFlag, OnRxFlag);
  notify(ev::Rx80Full, OnRx80Full);
  notify(ev::Cts, OnCts);
  notify(ev::Dsr, OnDsr);
  notify(ev::Ring, OnRing);
  notify(ev::Rlsd, OnRlsd);
  notify(ev::TxEmpty, OnTxEmpty);
  notify(ev::Break, OnBreak);
  notify(ev::Event1, OnEvent1);
  notify(ev::Event2, OnEvent2);
}

}  // namespace serial
