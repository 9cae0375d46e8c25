#include "EntryChecks.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string_view>

#include "platform/text/Cp949.h"
#include "platform/text/IntegerText.h"

namespace payment {
namespace {

using enum EntryField;

// A field as the screen labels it; the topic is its name with the particle the
// messages need.
struct Field {
  EntryField which;
  const char* name;
  const char* topic;
  std::size_t width;  // bytes of its text field; 0: the amount's number field
};

constexpr Field kVoucherNumber{Number, "이용권NO", "이용권NO는", 13};
constexpr Field kBarcodeNumber{Number, "바코드번호", "바코드번호는", 13};
constexpr Field kVoucherAmount{Amount, "이용금액", "이용금액은", 0};
constexpr Field kCardAmount{Amount, "금액", "금액은", 0};
constexpr Field kOriginalDate{OriginalDate, "원거래일", "원거래일은", 8};
constexpr Field kOriginalApproval{OriginalApproval, "원거래번호", "원거래번호는", 20};

bool HasControlByte(std::string_view value) {
  for (const char c : value)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

// Decimal or hexadecimal digits as integer text writes them, whatever their count:
// a number, even one too large for 32 bits.
bool LooksLikeNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  const auto all = [&](std::string_view digits, auto is) {
    return !digits.empty() && std::all_of(digits.begin(), digits.end(), [&](char c) { return is(c); });
  };
  const auto decimal = [](char c) { return c >= '0' && c <= '9'; };
  const auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  for (const std::string_view prefix : {"0x", "0X", "$", "x", "X"})
    if (text.starts_with(prefix) && all(text.substr(prefix.size()), hex)) return true;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  return all(text, decimal);
}

std::string Message(const std::string& utf8) { return platform::Utf8ToCp949(utf8); }

const std::string& Value(const EntryTexts& entries, EntryField field) {
  switch (field) {
    case Number: return entries.Number;
    case Amount: return entries.Amount;
    case OriginalDate: return entries.OriginalDate;
    case OriginalApproval: return entries.OriginalApproval;
  }
  return entries.Number;
}

std::optional<std::string> Check(const EntryTexts& entries, std::initializer_list<Field> fields) {
  for (const Field& field : fields) {
    const std::string& value = Value(entries, field.which);
    if (HasControlByte(value)) return Message(std::string(field.name) + "에 입력할 수 없는 문자가 있습니다.");
    if (field.width == 0) {
      // Text that isn't a number goes out as 0, which the server refuses; a number
      // goes out as typed, so it must fit nine digits (one past 32 bits too).
      const std::optional<std::int32_t> amount = platform::ParseIntegerText(value);
      if ((amount && (*amount < 0 || *amount > kLargestAmount)) || (!amount && LooksLikeNumber(value)))
        return Message(std::string(field.topic) + " 0원부터 999,999,999원까지 입력하십시요.");
    } else if (value.size() > field.width) {
      return Message(std::string(field.topic) + " " + std::to_string(field.width) + "자리 이하로 입력하십시요.");
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> CheckSettings(const settings::MerchantSettings& settings, bool prints) {
  const auto controlByte = [](const std::string& value, const char* key) -> std::optional<std::string> {
    if (!HasControlByte(value)) return std::nullopt;
    return Message(std::string(key) + "오류, " + key + "의 제어문자를 ini에서 지우세요.");
  };
  if (auto refusal = controlByte(settings.TerminalId, "단말기ID")) return refusal;
  if (settings.TerminalId.size() > 20) return Message("단말기ID오류, 단말기ID는 20자리 이하로 ini에서 설정하세요.");
  // A raw field of ten bytes: any other length moves every field after it.
  const std::string& business = settings.BusinessNumber;
  if (business.size() != 10 || !std::all_of(business.begin(), business.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return Message("사업자번호오류, 사업자번호는 10자리 숫자로 ini에서 설정하세요.");
  if (!prints) return std::nullopt;
  for (const auto& [value, key] : {std::pair<const std::string&, const char*>{settings.MerchantName, "가맹점명"},
                                   {settings.Telephone, "전화번호"},
                                   {settings.MerchantAddress, "가맹점주소"}})
    if (auto refusal = controlByte(value, key)) return refusal;
  return std::nullopt;
}

std::optional<std::string> CheckEntries(VoucherMode mode, const EntryTexts& entries) {
  switch (mode) {
    case VoucherMode::Inquiry: return Check(entries, {kVoucherNumber});
    case VoucherMode::Use: return Check(entries, {kVoucherNumber, kVoucherAmount});
    case VoucherMode::Cancellation:
      return Check(entries, {kVoucherNumber, kVoucherAmount, kOriginalDate, kOriginalApproval});
  }
  return std::nullopt;
}

std::optional<std::string> CheckEntries(CashCardMode mode, const EntryTexts& entries) {
  if (mode == CashCardMode::Approval) return Check(entries, {kBarcodeNumber, kCardAmount});
  return Check(entries, {kBarcodeNumber, kCardAmount, kOriginalDate, kOriginalApproval});
}

}  // namespace payment
