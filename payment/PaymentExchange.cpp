#include "PaymentExchange.h"

#include "payment/Reply.h"
#include "platform/text/Cp949.h"

namespace payment {

ExchangeResult PaymentExchange(PaymentModule& module, std::string_view request) {
  if (request.size() > kMaxRequestBytes) return {ExchangeOutcome::InputRefused, {}, {}, {}};
  const std::optional<ModuleAnswer> answer = module.Call(request);
  if (!answer) return {ExchangeOutcome::ModuleUnavailable, module.WhyUnavailable(), {}, {}};
  if (!answer->Result) return {ExchangeOutcome::CallFailed, answer->Reply, {}, answer->Reply};

  ExchangeResult result;
  result.Reply = answer->Reply;
  result.Payload = CutPayload(answer->Reply);
  result.LabelText = MessageText(result.Payload);
  result.Outcome = IsAccepted(result.Payload) ? ExchangeOutcome::Accepted : ExchangeOutcome::Refused;
  return result;
}

const std::string& ModuleUnavailableMessage() {
  static const std::string text = platform::Utf8ToCp949("신용모듈오류");
  return text;
}

const std::string& RequestTooLongMessage() {
  static const std::string text = platform::Utf8ToCp949("전문길이오류, 입력값과 ini 설정을 확인하세요.");
  return text;
}

}  // namespace payment
