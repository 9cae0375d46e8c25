// Any bytes as a request to the payment service simulator: reading it never crashes
// or reads past it, and what it takes keeps to the fields of the layouts; every
// request it takes is answered with one framed reply.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "payment/Amounts.h"
#include "service/paysim/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view frame(reinterpret_cast<const char*>(data), size);
  const auto request = paysim::ParseRequest(frame);
  if (!request) return 0;
  if (request->TerminalId.size() > 20 || request->Number.size() > 13 || request->OriginalApproval.size() > 20 ||
      request->OriginalDate.size() > 8 || request->BusinessNumber.size() > size)
    std::abort();
  if (request->Op != paysim::Operation::VoucherInquiry) {
    const payment::Amounts split = payment::SplitAmount(static_cast<std::int32_t>(request->Total));
    if (request->Total < -999'999'999 || request->Total > 999'999'999 || request->Net != split.Net ||
        request->Tax != split.Tax)
      std::abort();
  }
  paysim::Answer answer;
  answer.Message = request->Number;
  answer.ApprovalNumber = request->OriginalApproval;
  const std::string reply = paysim::BuildReply(request->Op, answer);
  if (reply.size() != 393 && reply.size() != 283) std::abort();
  if (reply.front() != '\x02' || reply.back() != '\x03') std::abort();
  return 0;
}
