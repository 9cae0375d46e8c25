#include "ReplyFields.h"

#include <array>
#include <utility>

#include "Reply.h"
#include "platform/text/Cp949.h"

namespace payment {
namespace {

// Positions of the fields that differ between uses and cancellations.
struct ApprovalLayout {
  std::size_t dateTime;
  std::size_t typeCode;     // 0: not read
  std::size_t voucherName;  // 0: not read
};

ApprovalReply ReadApproval(std::string_view payload, const ApprovalLayout& layout) {
  ApprovalReply r;
  r.ApprovalNumber = ReplyField(payload, 125, 20);
  r.TransactionDateTime = ReplyField(payload, layout.dateTime, 14);
  if (layout.typeCode != 0) r.VoucherTypeCode = RawReplyField(payload, layout.typeCode, 4);
  if (layout.voucherName != 0) r.VoucherName = ReplyField(payload, layout.voucherName, 100);
  r.Messages = {.Line1 = std::string(ReplyField(payload, 272, 30)),
                .Line2 = std::string(ReplyField(payload, 302, 30)),
                .Line3 = std::string(ReplyField(payload, 332, 30)),
                .Line4 = std::string(ReplyField(payload, 362, 30))};
  return r;
}

}  // namespace

InquiryReply ReadVoucherInquiryReply(std::string_view payload) {
  return InquiryReply{std::string(ReplyField(payload, 169, 100)), std::string(RawReplyField(payload, 273, 9))};
}

ApprovalReply ReadVoucherUseReply(std::string_view payload) { return ReadApproval(payload, {145, 159, 163}); }
ApprovalReply ReadVoucherCancelReply(std::string_view payload) { return ReadApproval(payload, {159, 173, 177}); }
ApprovalReply ReadCashCardApprovalReply(std::string_view payload) { return ReadApproval(payload, {145, 0, 0}); }
ApprovalReply ReadCashCardCancelReply(std::string_view payload) { return ReadApproval(payload, {159, 0, 0}); }

const std::string& VoucherTypeName(std::string_view code) {
  static const std::array<std::pair<std::string_view, std::string>, 6> kNames{{
      {"CT01", platform::Utf8ToCp949("선발금")},
      {"CT02", platform::Utf8ToCp949("즉시발급")},
      {"CT03", platform::Utf8ToCp949("Mr.KUMO이용권")},
      {"CT04", platform::Utf8ToCp949("가맹점이용권")},
      {"CT05", platform::Utf8ToCp949("제휴사쿠폰")},
      {"CT06", platform::Utf8ToCp949("현장할인쿠폰")},
  }};
  static const std::string kNone;
  for (const auto& [c, name] : kNames)
    if (c == code) return name;
  return kNone;
}

}  // namespace payment
