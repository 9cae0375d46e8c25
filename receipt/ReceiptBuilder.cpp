#include "ReceiptBuilder.h"

#include <algorithm>

#include "ReceiptText.h"
#include "platform/text/Cp949.h"

namespace receipt {
namespace {

// The receipt's fixed texts in CP949, converted once.
struct Texts {
  static std::string K(std::string_view utf8) { return platform::Utf8ToCp949(utf8); }
  std::string titleVoucherUse = K("[미스터쿠모 로드 이용권 사용]");
  std::string titleVoucherCancel = K("[미스터쿠모 로드 이용권 취소]");
  std::string titleCashApproval = K("[큐비캐쉬 승인]");
  std::string titleCashCancel = K("[큐비캐쉬 취소]");
  std::string terminal = K("단말기번호 : ");
  std::string dateTime = K("거래  일시 : ");
  std::string originalDate = K("원거래일시 : ");
  std::string voucherNumber = K("이용권번호 : ");
  std::string voucherType = K("이용권종류 : ");
  std::string voucherName = K("이용권  명 : ");
  std::string barcode = K("바코드번호 : ");
  std::string net = K("  금    액 : ");
  std::string tax = K("  세    금 : ");
  std::string total = K("  합    계 : ");
  std::string won = K("원");
  std::string approval = K("  승인번호 : ");
  std::string merchant = K("가맹점  명 : ");
  std::string representative = K("대표자  명 : 나대표");
  std::string business = K("사업자번호 : ");
  std::string telephone = K("가맹점전화 : ");
  std::string separator = std::string(kReceiptColumns, '=');
};

const Texts& T() {
  static const Texts texts;
  return texts;
}

std::string_view Title(ReceiptKind kind) {
  switch (kind) {
    case ReceiptKind::VoucherUse: return T().titleVoucherUse;
    case ReceiptKind::VoucherCancellation: return T().titleVoucherCancel;
    case ReceiptKind::CashCardApproval: return T().titleCashApproval;
    case ReceiptKind::CashCardCancellation: return T().titleCashCancel;
  }
  return {};
}

std::string Join(std::string_view label, std::string_view value) {
  std::string line;
  line.reserve(label.size() + value.size());
  line.append(label).append(value);
  return line;
}

}  // namespace

ReceiptLines ComposeReceiptLines(const ReceiptInput& in, const settings::MerchantSettings& settings,
                                 std::string_view thousandsSeparator) {
  const Texts& t = T();
  const bool voucher = in.Kind == ReceiptKind::VoucherUse || in.Kind == ReceiptKind::VoucherCancellation;
  const bool cancellation =
      in.Kind == ReceiptKind::VoucherCancellation || in.Kind == ReceiptKind::CashCardCancellation;
  const std::string_view title = Title(in.Kind);
  const auto amount = [&](std::string_view label, std::int32_t value) {
    return Join(label, FormatAmount(value, thousandsSeparator)) + t.won;
  };

  ReceiptLines lines;
  lines.reserve(32);
  lines.emplace_back(kInitialise);
  lines.emplace_back(kDoubleHeight);
  lines.push_back(title.empty() ? std::string() : CenterText(title, TextStyle::ftNormal));
  lines.emplace_back(kEmphasised);
  lines.emplace_back(kLineFeed);
  lines.push_back(Join(t.terminal, settings.TerminalId));
  lines.push_back(Join(t.dateTime, FillMask(in.TransactionDateTime, "@@@@/@@/@@ @@:@@:@@")));
  if (cancellation) lines.push_back(Join(t.originalDate, FillMask(in.OriginalDate, "@@@@/@@/@@")));
  if (voucher) {
    lines.push_back(Join(t.voucherNumber, in.InstrumentNumber));
    lines.push_back(Join(t.voucherType, in.VoucherTypeName));
    lines.push_back(Join(t.voucherName, in.VoucherName));
  } else {
    lines.push_back(Join(t.barcode, in.InstrumentNumber));
  }
  lines.push_back(t.separator);
  lines.push_back(amount(t.net, in.NetAmount));
  lines.push_back(amount(t.tax, in.TaxAmount));
  lines.push_back(amount(t.total, in.TotalAmount));
  lines.push_back(t.separator);
  lines.push_back(Join(t.approval, in.ApprovalNumber));
  lines.push_back(t.separator);
  lines.push_back(Join(t.merchant, settings.MerchantName));
  lines.push_back(t.representative);
  lines.push_back(Join(t.business, settings.BusinessNumber));
  lines.push_back(Join(t.telephone, settings.Telephone));
  lines.push_back(settings.MerchantAddress);
  lines.push_back(t.separator);
  lines.push_back(in.Messages.Line1);
  lines.push_back(in.Messages.Line2);
  lines.push_back(in.Messages.Line3);
  lines.push_back(in.Messages.Line4);
  lines.push_back(t.separator);
  lines.emplace_back(kLineFeed);
  lines.emplace_back(kLineFeed);
  lines.emplace_back(kCut);
  return lines;
}

ReceiptLines MarkedAsReprint(const ReceiptLines& lines, bool cancelledSince) {
  static const std::string kMark = CenterText(platform::Utf8ToCp949("재출력"), TextStyle::ftNormal);
  static const std::string kCancelledMark = CenterText(platform::Utf8ToCp949("재출력(취소)"), TextStyle::ftNormal);
  ReceiptLines marked = lines;
  marked.insert(marked.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(3, marked.size())),
                cancelledSince ? kCancelledMark : kMark);
  return marked;
}

}  // namespace receipt
