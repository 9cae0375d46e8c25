#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "office/ChainDay.h"

// The head office's page, rendered on the server (UTF-8 HTML, Korean labels, no
// script): a day's closing per counter, the receipts owed, the outcomes unknown, a
// search. Every text from the database is escaped.
namespace office {

std::string HtmlEscaped(std::string_view text);

// "이용권 사용" ... as the closing receipt names the kinds; the office's states.
std::string KindLabel(receipt::ReceiptKind kind);
std::string StateLabel(int state);
// 1234567 -> "1,234,567"
std::string Amount(std::int64_t amount);

// Why a search text is refused; nothing when it can be searched for.
enum class QueryRefusal { TooLong, ControlCharacter, NotUtf8 };
std::optional<QueryRefusal> CheckQuery(std::string_view utf8);
inline constexpr std::size_t kMaxQueryBytes = 64;

struct SearchResult {
  std::string Query{};
  std::vector<Operation> Found{};
  int Limit = 0;  // Found may have been cut at this many a part
};

// The page of `date` ("YYYY-MM-DD"). Each list shows its first kListedRows rows
// and how many more there are (the day's export has them all): a chain's bad day
// must not make a page no browser can show.
inline constexpr std::size_t kListedRows = 500;
std::string DayPage(const std::string& date, const ChainDay& day, const std::optional<SearchResult>& search);

// A page that says what went wrong (title and message are our own texts).
std::string MessagePage(std::string_view title, std::string_view message);

}  // namespace office
