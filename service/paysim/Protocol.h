#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "payment/MessageLines.h"

// The payment messages as the simulator reads and answers them: requests as the
// terminal lays them out, replies at the payload positions the terminal reads.
namespace paysim {

enum class Operation { VoucherInquiry, VoucherUse, VoucherCancel, CashCardApproval, CashCardCancel };

struct Request {
  Operation Op = Operation::VoucherInquiry;
  std::string TerminalId;  // trimmed; CP949
  std::string Number;      // voucher number or card barcode, trimmed
  std::string BusinessNumber;
  std::string OriginalApproval;  // cancellations
  std::string OriginalDate;      // cancellations, YYYYMMDD
  std::int64_t Total = 0, Net = 0, Tax = 0;
};

// A whole request frame, STX to ETX; nullopt when it is not one of the five.
std::optional<Request> ParseRequest(std::string_view frame);

// What the ledger decided; texts in CP949.
struct Answer {
  std::string Code = "0000";
  std::string Message;
  std::string InquiryText;        // inquiries
  std::int64_t VoucherAmount = 0;  // inquiries: the balance
  std::string ApprovalNumber;
  std::string DateTime;  // YYYYMMDDhhmmss
  std::string TypeCode;  // vouchers
  std::string VoucherName;
  payment::MessageLines Lines;
};

// The framed reply (STX payload ETX). A refusal carries the code and message only.
std::string BuildReply(Operation op, const Answer& answer);

// The refusal for a frame that could not be read.
std::string MalformedReply();

}  // namespace paysim
