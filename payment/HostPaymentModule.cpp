#include "HostPaymentModule.h"

#include "payment/LibraryPaymentModule.h"
#include "platform/system/LocalSocket.h"
#include "platform/text/Cp949.h"

namespace payment {

std::optional<ModuleAnswer> HostPaymentModule::Call(std::string_view request) {
  using modulehost::CallStatus;
  const auto deadline = std::chrono::steady_clock::now() + wait_;
  auto channel = platform::LocalStream::Connect(socketPath_);
  if (!channel) return std::nullopt;
  const modulehost::CallRequest call{modulePath_, kPaymentServerAddress, kPaymentServerPort,
                                     std::string(request.substr(0, kMaxRequestBytes))};
  // The supervisor acts on a whole request only: one that didn't get out wasn't sent.
  if (modulePath_.size() > modulehost::kMaxModulePathBytes || !channel->SendAll(modulehost::Encode(call), deadline))
    return std::nullopt;

  // From here on the call may have been made: whatever goes wrong, the outcome is unknown.
  const ModuleAnswer unknown{false, HostEndedMessage()};
  std::string received;
  for (;;) {
    const auto decoded = modulehost::Decode(received);
    if (decoded.Is == modulehost::Decoded::State::Malformed) return unknown;
    if (decoded.Is == modulehost::Decoded::State::Complete) {
      const auto* answer = std::get_if<modulehost::CallAnswer>(&decoded.Value);
      if (answer == nullptr) return unknown;
      switch (answer->Status) {
        case CallStatus::Answered: return ModuleAnswer{answer->Result != 0, ReplyText(answer->Reply)};
        case CallStatus::HostEnded: return unknown;
        case CallStatus::TimedOut: return ModuleAnswer{false, HostTimedOutMessage()};
        default: return std::nullopt;  // nothing was sent
      }
    }
    switch (channel->ReceiveSome(received, deadline)) {
      case platform::LocalStream::Received::Data: break;
      case platform::LocalStream::Received::TimedOut: return ModuleAnswer{false, HostTimedOutMessage()};
      default: return unknown;
    }
  }
}

const std::string& HostEndedMessage() {
  static const std::string text =
      platform::Utf8ToCp949("결제모듈 비정상 종료: 거래결과를 알 수 없습니다. 다시 하기 전에 조회로 확인하십시오.");
  return text;
}

const std::string& HostTimedOutMessage() {
  static const std::string text =
      platform::Utf8ToCp949("결제모듈 응답시간 초과: 거래결과를 알 수 없습니다. 다시 하기 전에 조회로 확인하십시오.");
  return text;
}

}  // namespace payment
