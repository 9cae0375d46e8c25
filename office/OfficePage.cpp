#include "OfficePage.h"

#include <algorithm>
#include <array>
#include <span>

#include "journal/JournalTexts.h"
#include "platform/text/Cp949.h"

namespace office {
namespace {

// The closing's kinds as columns of the totals table, in its order; the class names
// let a reader of the page, a test among them, find each figure.
constexpr std::array<const char*, 4> kKindColumns{"voucher-use", "voucher-cancel", "cash-approval", "cash-cancel"};
static_assert(kKindColumns.size() == receipt::kClosingKinds.size());

void Cell(std::string& html, std::string_view cls, std::string_view text) {
  html.append("<td class=\"").append(cls).append("\">").append(text).append("</td>");
}

void Figure(std::string& html, std::string_view cls, const receipt::CountAndAmount& figure) {
  Cell(html, std::string(cls) + "-count", std::to_string(figure.Count));
  Cell(html, std::string(cls) + "-amount", Amount(figure.Amount));
}

void Add(receipt::CountAndAmount& sum, const receipt::CountAndAmount& figure) {
  sum.Count += figure.Count;
  sum.Amount += figure.Amount;
}

void Add(receipt::ClosingFigures& sum, const receipt::ClosingFigures& f) {
  for (std::size_t k = 0; k < f.Accepted.size(); ++k) Add(sum.Accepted[k], f.Accepted[k]);
  sum.Net += f.Net;
  Add(sum.Owed, f.Owed);
  Add(sum.Unknown, f.Unknown);
  Add(sum.SettledCharged, f.SettledCharged);
  Add(sum.SettledNotCharged, f.SettledNotCharged);
}

void FigureCells(std::string& html, const receipt::ClosingFigures& f) {
  for (std::size_t k = 0; k < kKindColumns.size(); ++k) Figure(html, kKindColumns[k], f.Accepted[k]);
  Cell(html, "net", Amount(f.Net));
  Figure(html, "owed", f.Owed);
  Figure(html, "unknown", f.Unknown);
  Figure(html, "settled-charged", f.SettledCharged);
  Figure(html, "settled-not-charged", f.SettledNotCharged);
}

void Page(std::string& html, std::string_view title) {
  html.append(
          "<!DOCTYPE html>\n<html lang=\"ko\"><head><meta charset=\"utf-8\">"
          "<meta name=\"viewport\" content=\"width=device-width\"><title>")
      .append(HtmlEscaped(title))
      .append(
          "</title><style>"
          "body{font-family:sans-serif;margin:1.5em}table{border-collapse:collapse;margin-bottom:1.5em}"
          "th,td{border:1px solid #999;padding:.2em .5em}td{text-align:right}"
          "td.text{text-align:left}tr.shop{background:#f2f2f2}tr.chain{font-weight:bold}.none{color:#666}"
          "</style></head><body>\n");
}

void Totals(std::string& html, const ChainDay& day) {
  html.append("<h2>가맹점·단말기별 마감 합계</h2>\n");
  if (day.Counters.empty()) {
    html.append("<p class=\"none\" id=\"no-operations\">이 날의 거래가 없습니다.</p>\n");
    return;
  }
  html.append("<table id=\"totals\"><thead><tr><th rowspan=\"2\">사업자번호</th><th rowspan=\"2\">단말기ID</th>");
  for (const receipt::ReceiptKind kind : receipt::kClosingKinds)
    html.append("<th colspan=\"2\">").append(KindLabel(kind)).append("</th>");
  html.append(
      "<th rowspan=\"2\">순 합계</th><th colspan=\"2\">미인쇄 영수증</th><th colspan=\"2\">결과 미확인</th>"
      "<th colspan=\"2\">확인: 결제됨</th><th colspan=\"2\">확인: 결제 안 됨</th>"
      "<th rowspan=\"2\">첫 승인번호</th><th rowspan=\"2\">끝 승인번호</th></tr><tr>");
  for (int i = 0; i < 8; ++i) html.append("<th>건</th><th>금액</th>");
  html.append("</tr></thead><tbody>\n");
  receipt::ClosingFigures chain;
  for (const CounterClosing& counter : day.Counters) {
    const receipt::ClosingFigures& f = counter.Figures;
    html.append("<tr class=\"counter\" data-business=\"")
        .append(HtmlEscaped(counter.BusinessNumber))
        .append("\" data-terminal=\"")
        .append(HtmlEscaped(counter.TerminalId))
        .append("\">");
    Cell(html, "text business", HtmlEscaped(counter.BusinessNumber));
    Cell(html, "text terminal", HtmlEscaped(counter.TerminalId));
    FigureCells(html, f);
    Cell(html, "text first-approval", HtmlEscaped(f.FirstApproval));
    Cell(html, "text last-approval", HtmlEscaped(f.LastApproval));
    html.append("</tr>\n");
    Add(chain, f);
  }
  // Each shop's counters added, shop by shop in business number's order.
  std::vector<const CounterClosing*> byShop;
  for (const CounterClosing& counter : day.Counters) byShop.push_back(&counter);
  std::stable_sort(byShop.begin(), byShop.end(),
                   [](const auto* a, const auto* b) { return a->BusinessNumber < b->BusinessNumber; });
  for (auto first = byShop.begin(); first != byShop.end();) {
    auto last = first;
    receipt::ClosingFigures shop;
    for (; last != byShop.end() && (*last)->BusinessNumber == (*first)->BusinessNumber; ++last) Add(shop, (*last)->Figures);
    html.append("<tr class=\"shop\" data-business=\"")
        .append(HtmlEscaped((*first)->BusinessNumber))
        .append("\"><td class=\"text business\" colspan=\"2\">")
        .append(HtmlEscaped((*first)->BusinessNumber))
        .append(" 가맹점 합계 (")
        .append(std::to_string(last - first))
        .append("대)</td>");
    FigureCells(html, shop);
    html.append("<td></td><td></td></tr>\n");
    first = last;
  }
  html.append("<tr class=\"chain\"><td class=\"text\" colspan=\"2\">전체 (")
      .append(std::to_string(day.Counters.size()))
      .append("대)</td>");
  FigureCells(html, chain);
  html.append("<td></td><td></td></tr>\n</tbody></table>\n");

  bool settled = false;
  for (const CounterClosing& counter : day.Counters) settled = settled || !counter.Figures.Settled.empty();
  if (!settled) return;
  html.append(
      "<h2>운영자 확인</h2>\n<table id=\"settled\"><thead><tr><th>시각</th><th>사업자번호</th><th>단말기ID</th>"
      "<th>종류</th><th>금액</th><th>확인</th><th>확인 시각</th></tr></thead><tbody>\n");
  for (const CounterClosing& counter : day.Counters)
    for (const receipt::SettledOperation& s : counter.Figures.Settled) {
      html.append("<tr>");
      Cell(html, "text", HtmlEscaped(s.At));
      Cell(html, "text", HtmlEscaped(counter.BusinessNumber));
      Cell(html, "text", HtmlEscaped(counter.TerminalId));
      Cell(html, "text", KindLabel(s.Kind));
      Cell(html, "amount", Amount(s.Total));
      Cell(html, "text", s.Charged ? "결제됨" : "결제 안 됨");
      Cell(html, "text", HtmlEscaped(s.SettledAt));
      html.append("</tr>\n");
    }
  html.append("</tbody></table>\n");
}

void Operations(std::string& html, std::string_view id, std::string_view title, std::string_view empty,
                const std::vector<Operation>& rows) {
  html.append("<h2>").append(title).append(" (").append(std::to_string(rows.size())).append("건)</h2>\n");
  if (rows.empty()) {
    html.append("<p class=\"none\">").append(empty).append("</p>\n");
    return;
  }
  html.append("<table id=\"")
      .append(id)
      .append(
          "\"><thead><tr><th>시각</th><th>사업자번호</th><th>단말기ID</th><th>종류</th><th>번호</th><th>금액</th>"
          "<th>승인번호</th><th>원승인번호</th><th>상태</th></tr></thead><tbody>\n");
  const std::size_t listed = std::min(rows.size(), kListedRows);
  for (const Operation& op : std::span(rows).first(listed)) {
    html.append("<tr>");
    Cell(html, "text at", HtmlEscaped(op.At));
    Cell(html, "text business", HtmlEscaped(op.BusinessNumber));
    Cell(html, "text terminal", HtmlEscaped(op.TerminalId));
    Cell(html, "text kind", KindLabel(op.Kind));
    Cell(html, "text number", HtmlEscaped(op.NumberMasked));
    Cell(html, "amount", Amount(op.Total));
    Cell(html, "text approval", HtmlEscaped(op.Approval));
    Cell(html, "text original-approval", HtmlEscaped(op.OriginalApproval));
    Cell(html, "text state", StateLabel(op.State));
    html.append("</tr>\n");
  }
  html.append("</tbody></table>\n");
  if (listed < rows.size())
    html.append("<p class=\"more\">외 ")
        .append(std::to_string(rows.size() - listed))
        .append("건은 거래 내역 CSV에 있습니다.</p>\n");
}

}  // namespace

std::string HtmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  return out;
}

std::string KindLabel(receipt::ReceiptKind kind) {
  // The closing receipt's own names (CP949 inside the program), for the page.
  static const std::array<std::string, 4> labels{
      platform::Cp949ToUtf8(receipt::OperationName(receipt::kClosingKinds[0])),
      platform::Cp949ToUtf8(receipt::OperationName(receipt::kClosingKinds[1])),
      platform::Cp949ToUtf8(receipt::OperationName(receipt::kClosingKinds[2])),
      platform::Cp949ToUtf8(receipt::OperationName(receipt::kClosingKinds[3]))};
  for (std::size_t k = 0; k < receipt::kClosingKinds.size(); ++k)
    if (receipt::kClosingKinds[k] == kind) return labels[k];
  return "?";
}

std::string StateLabel(int state) {
  static constexpr std::array<const char*, 8> labels{"영수증 미인쇄", "인쇄됨",       "인쇄 실패",        "처리 중",
                                                     "결과 미확인",   "확인: 결제됨", "확인: 결제 안 됨", "철회됨"};
  return state >= 0 && state < static_cast<int>(labels.size()) ? labels[static_cast<std::size_t>(state)] : "?";
}

std::string Amount(std::int64_t amount) { return journal::GroupedAmount(amount, ","); }

std::optional<QueryRefusal> CheckQuery(std::string_view utf8) {
  if (utf8.size() > kMaxQueryBytes) return QueryRefusal::TooLong;
  for (const char c : utf8)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return QueryRefusal::ControlCharacter;
  if (!platform::IsValidUtf8(utf8)) return QueryRefusal::NotUtf8;
  return std::nullopt;
}

std::string DayPage(const std::string& date, const ChainDay& day, const std::optional<SearchResult>& search) {
  std::string html;
  Page(html, "본사 일일 현황 " + date);
  const std::string shownDate = HtmlEscaped(date);
  html.append("<h1>본사 일일 현황 <span id=\"date\">")
      .append(shownDate)
      .append("</span></h1>\n<form method=\"get\" action=\"/\"><label>날짜 <input type=\"date\" name=\"date\" value=\"")
      .append(shownDate)
      .append("\"></label> <label>승인번호 또는 번호 끝 4자리 <input type=\"search\" name=\"q\" maxlength=\"")
      .append(std::to_string(kMaxQueryBytes))
      .append("\" value=\"")
      .append(search ? HtmlEscaped(search->Query) : "")
      .append("\"></label> <button type=\"submit\">조회</button> <a id=\"csv\" href=\"/operations.csv?date=")
      .append(shownDate)
      .append("\">거래 내역 CSV</a></form>\n");
  if (search) {
    html.append("<h2>검색: <span id=\"query\">").append(HtmlEscaped(search->Query)).append("</span></h2>\n");
    Operations(html, "found", "검색 결과", "찾은 거래가 없습니다.", search->Found);
    if (static_cast<int>(search->Found.size()) >= search->Limit) html.append("<p>결과가 많아 일부만 보입니다.</p>\n");
  }
  Totals(html, day);
  Operations(html, "owed", "미인쇄 영수증", "미인쇄 영수증이 없습니다.", day.Owed);
  Operations(html, "unknown", "결과 미확인", "결과를 모르는 거래가 없습니다.", day.Unknown);
  html.append("</body></html>\n");
  return html;
}

std::string MessagePage(std::string_view title, std::string_view message) {
  std::string html;
  Page(html, title);
  html.append("<h1>")
      .append(HtmlEscaped(title))
      .append("</h1>\n<p id=\"message\">")
      .append(HtmlEscaped(message))
      .append("</p>\n<p><a href=\"/\">오늘의 현황</a></p></body></html>\n");
  return html;
}

}  // namespace office
