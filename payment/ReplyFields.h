#pragma once

#include <string>
#include <string_view>

#include "payment/MessageLines.h"

// The fields each operation reads from an accepted reply's payload.
namespace payment {

struct InquiryReply {
  std::string InquiryText;  // 169, 100 bytes, trimmed: replaces the message text
  std::string AmountText;   // 273, 9 bytes, as they are: read as integer text
};

struct ApprovalReply {
  std::string ApprovalNumber;
  std::string TransactionDateTime;  // YYYYMMDDhhmmss when well formed
  std::string VoucherTypeCode;      // voucher replies only, as it is
  std::string VoucherName;          // voucher replies only
  MessageLines Messages;
};

InquiryReply ReadVoucherInquiryReply(std::string_view payload);
ApprovalReply ReadVoucherUseReply(std::string_view payload);
ApprovalReply ReadVoucherCancelReply(std::string_view payload);
ApprovalReply ReadCashCardApprovalReply(std::string_view payload);
ApprovalReply ReadCashCardCancelReply(std::string_view payload);

// The name of a voucher type code ("CT01".."CT06"), compared exactly; empty for any
// other code.
const std::string& VoucherTypeName(std::string_view code);

}  // namespace payment
