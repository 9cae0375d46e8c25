// Any bytes as a module's reply: cutting the payload and reading every operation's
// fields stay inside the reply and never crash.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "payment/Reply.h"
#include "payment/ReplyFields.h"

namespace {
bool Inside(std::string_view part, std::string_view whole) {
  return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  const std::string_view payload = payment::CutPayload(reply);
  if (!Inside(payload, reply)) std::abort();
  const std::string_view message = payment::MessageText(payload);
  if (!Inside(message, payload) || message.size() > 100) std::abort();
  (void)payment::IsAccepted(payload);
  (void)payment::ReadVoucherInquiryReply(payload);
  (void)payment::VoucherTypeName(payment::ReadVoucherUseReply(payload).VoucherTypeCode);
  (void)payment::ReadVoucherCancelReply(payload);
  (void)payment::ReadCashCardApprovalReply(payload);
  (void)payment::ReadCashCardCancelReply(payload);
  return 0;
}
