#include <gtest/gtest.h>

#include "journal/DayClosing.h"
#include "office/ChainDay.h"
#include "office/OfficePage.h"
#include "office/OperationsCsv.h"
#include "office/PageDatabase.h"
#include "office/ServeCommand.h"

namespace {

using office::Operation;
using receipt::ReceiptKind;

Operation Op(ReceiptKind kind, std::int32_t total, int state, std::string approval = {}, std::string at = {}) {
  return {.BusinessNumber = "1234567890",
          .TerminalId = "T1",
          .At = at.empty() ? "2026-12-01 10:00:00" : at,
          .Kind = kind,
          .NumberMasked = "*********0001",
          .Total = total,
          .Approval = std::move(approval),
          .State = state};
}

// The office's rows count as the counter's closing counts its journal: the same
// entries, the withdrawn ones left out, in the same order.
TEST(CounterFigures, CountAsTheJournalsClosingAndLeaveWithdrawnOut) {
  std::vector<Operation> rows{
      Op(ReceiptKind::VoucherUse, 10000, 1, "A1"),         Op(ReceiptKind::CashCardApproval, 50000, office::kWithdrawn),
      Op(ReceiptKind::VoucherCancellation, 4000, 0, "A2"), Op(ReceiptKind::CashCardApproval, 7000, 4),
      Op(ReceiptKind::CashCardApproval, 3000, 5),          Op(ReceiptKind::VoucherUse, 1000, 6),
      Op(ReceiptKind::CashCardCancellation, 2000, 2, "A3")};
  rows[4].SettledAt = "2026-12-01 11:00:00";
  std::vector<journal::Entry> entries;
  for (const Operation& row : rows)
    if (row.State != office::kWithdrawn) entries.push_back(*office::ClosingEntry(row));
  const receipt::ClosingFigures expected = journal::DayClosing(entries);
  const receipt::ClosingFigures f = office::CounterFigures(rows);

  EXPECT_FALSE(office::ClosingEntry(rows[1]));
  for (std::size_t k = 0; k < f.Accepted.size(); ++k) {
    EXPECT_EQ(f.Accepted[k].Count, expected.Accepted[k].Count);
    EXPECT_EQ(f.Accepted[k].Amount, expected.Accepted[k].Amount);
  }
  EXPECT_EQ(f.Net, 10000 - 4000 - 2000);
  EXPECT_EQ(f.Owed.Count, 2);
  EXPECT_EQ(f.Owed.Amount, 6000);
  EXPECT_EQ(f.Unknown.Amount, 7000);
  EXPECT_EQ(f.SettledCharged.Amount, 3000);
  EXPECT_EQ(f.SettledNotCharged.Amount, 1000);
  ASSERT_EQ(f.Settled.size(), 2u);
  EXPECT_EQ(f.Settled[0].SettledAt, "2026-12-01 11:00:00");
  EXPECT_EQ(f.FirstApproval, "A1");
  EXPECT_EQ(f.LastApproval, "A3");
}

TEST(PageInput, DatesAreRealCalendarDaysInOneForm) {
  EXPECT_EQ(office::PageDate("2026-12-01"), "2026-12-01");
  EXPECT_EQ(office::PageDate("2028-02-29"), "2028-02-29");
  for (const char* bad : {"2026-02-29", "2026-13-01", "2026-00-10", "2026-12-32", "2026-1-01", "20261201",
                          "2026-12-01 ", "2026-12-0x", "0000-01-01", "-026-12-01", ""})
    EXPECT_FALSE(office::PageDate(bad)) << bad;
}

TEST(PageInput, SearchTextsAreShortPrintableUtf8) {
  EXPECT_FALSE(office::CheckQuery("A0000001"));
  EXPECT_FALSE(office::CheckQuery("승인 4321"));
  EXPECT_FALSE(office::CheckQuery(std::string(office::kMaxQueryBytes, 'x')));
  EXPECT_EQ(office::CheckQuery(std::string(office::kMaxQueryBytes + 1, 'x')), office::QueryRefusal::TooLong);
  for (const char* control : {"A\n1", "A\x01", "\x7F", "A\t"})
    EXPECT_EQ(office::CheckQuery(control), office::QueryRefusal::ControlCharacter) << control;
  EXPECT_EQ(office::CheckQuery("\xC0\xAF"), office::QueryRefusal::NotUtf8);
}

TEST(PageInput, FormParametersDecodeAsAFormSendsThem) {
  const auto params =
      office::QueryParameters("q=A+1%2B2&date=2026-12-01&q=second&flag&%ED%95%9C=%EA%B8%80&bad=%zz%4&end=%4");
  EXPECT_EQ(params.at("q"), "A 1+2");  // the first counts
  EXPECT_EQ(params.at("date"), "2026-12-01");
  EXPECT_EQ(params.at("flag"), "");
  EXPECT_EQ(params.at("한"), "글");
  EXPECT_EQ(params.at("bad"), "%zz%4");
  EXPECT_EQ(params.at("end"), "%4");
}

TEST(PageInput, ServeOptionsNeedADatabaseAndAPort) {
  const auto ok = office::ParseServeOptions({"--db", "dbname=office", "--port", "0", "--address", "::1"});
  ASSERT_TRUE(std::holds_alternative<office::ServeOptions>(ok));
  EXPECT_EQ(std::get<office::ServeOptions>(ok).Address, "::1");
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--port", "8080"},
                                             {"--db", "dbname=office"},
                                             {"--db", "x", "--port", "65536"},
                                             {"--db", "x", "--port", "80a"},
                                             {"--db", "x", "--port"},
                                             {"--db", "x", "--port", "1", "--verbose", "1"}})
    EXPECT_TRUE(std::holds_alternative<std::string>(office::ParseServeOptions(bad))) << bad.back();
}

// Bad input is refused before the database is asked; a database that isn't there
// is said to be away, with the page still answering.
TEST(PageResponses, BadInputIs400AndAnAbsentDatabase503) {
  office::PageDatabase nowhere("host=/nonexistent-vek-office-socket-folder port=1 connect_timeout=2");
  const auto status = [&](std::map<std::string, std::string> params) {
    return office::DayPageResponse(nowhere, params, "2026-12-01").Status;
  };
  EXPECT_EQ(status({{"date", "2026-02-30"}}), 400);
  EXPECT_EQ(status({{"q", std::string(100, '1')}}), 400);
  EXPECT_EQ(status({{"q", "1\r\n2"}}), 400);
  EXPECT_EQ(office::CsvResponse(nowhere, {{"date", "yesterday"}}, "2026-12-01").Status, 400);
  const office::PageResponse away = office::DayPageResponse(nowhere, {{"q", "4321"}}, "2026-12-01");
  EXPECT_EQ(away.Status, 503);
  EXPECT_TRUE(away.Body.contains("데이터베이스에 연결할 수 없습니다"));
  EXPECT_EQ(office::CsvResponse(nowhere, {}, "2026-12-01").Status, 503);
}

TEST(DayPage, EscapesEveryTextFromTheDatabase) {
  const std::string hostile = "<script>alert('x')</script>\"&";
  const std::string escaped = "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&quot;&amp;";
  EXPECT_EQ(office::HtmlEscaped(hostile), escaped);
  Operation op = Op(ReceiptKind::VoucherUse, 1000, 0, hostile);
  op.BusinessNumber = op.TerminalId = op.NumberMasked = op.OriginalApproval = op.At = hostile;
  office::ChainDay day;
  day.Counters.push_back({hostile, hostile, office::CounterFigures({op})});
  day.Owed.push_back(op);
  day.Unknown.push_back(op);
  const std::string page =
      office::DayPage("2026-12-01", day, office::SearchResult{.Query = hostile, .Found = {op}, .Limit = 200});
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("'x'"), std::string::npos);
  EXPECT_NE(page.find("value=\"" + escaped + "\""), std::string::npos);
  EXPECT_NE(page.find("data-terminal=\"" + escaped + "\""), std::string::npos);
}

TEST(DayPage, ShowsEachCountersFiguresEachShopsAndTheChainsSum) {
  office::ChainDay day;
  receipt::ClosingFigures a, b;
  a.Accepted[0] = {3, 25000};
  a.Accepted[1] = {1, 10000};
  a.Net = 15000;
  a.Unknown = {1, 7000};
  a.FirstApproval = "A1";
  b.Accepted[0] = {2, 1000000};
  b.Net = 1000000;
  b.Owed = {1, 500};
  day.Counters = {{"2208112345", "T1", b}, {"1234567890", "T1", a}, {"2208112345", "T2", a}};
  const std::string page = office::DayPage("2026-12-01", day, std::nullopt);
  // A shop's row: its counters added, wherever they came in the counters' order.
  const std::size_t shop = page.find("<tr class=\"shop\" data-business=\"2208112345\">");
  ASSERT_NE(shop, std::string::npos);
  EXPECT_LT(page.find("<tr class=\"shop\" data-business=\"1234567890\">"), shop);
  EXPECT_EQ(page.find("<td class=\"voucher-use-count\">5</td><td class=\"voucher-use-amount\">1,025,000</td>", shop),
            page.find("<td class=\"voucher-use-count\">", shop));
  EXPECT_NE(page.find("가맹점 합계 (2대)", shop), std::string::npos);
  EXPECT_NE(page.find("<td class=\"voucher-use-count\">3</td><td class=\"voucher-use-amount\">25,000</td>"),
            std::string::npos);
  EXPECT_NE(page.find("<td class=\"net\">1,000,000</td>"), std::string::npos);
  // The chain's row: every counter's figures added.
  const std::size_t chain = page.find("<tr class=\"chain\">");
  ASSERT_NE(chain, std::string::npos);
  EXPECT_NE(page.find("<td class=\"voucher-use-count\">8</td><td class=\"voucher-use-amount\">1,050,000</td>", chain),
            std::string::npos);
  EXPECT_NE(page.find("<td class=\"net\">1,030,000</td>", chain), std::string::npos);
  EXPECT_EQ(office::Amount(-1234567), "-1,234,567");
  EXPECT_EQ(office::Amount(999), "999");
}

TEST(OperationsCsv, QuotesTextsAndDisarmsFormulas) {
  EXPECT_EQ(office::CsvHeading().substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(office::CsvHeading().substr(office::CsvHeading().size() - 2), "\r\n");
  EXPECT_EQ(office::CsvText("A\"1,2\"\n"), "\"A\"\"1,2\"\"\n\"");
  for (const char* formula : {"=1+2", "+1", "-1", "@SUM(A1)", "\tx", "\rx"})
    EXPECT_EQ(office::CsvText(formula), "\"'" + std::string(formula) + "\"") << formula;
  EXPECT_EQ(office::CsvText("A=1"), "\"A=1\"");
  Operation op = Op(ReceiptKind::CashCardCancellation, 12000, office::kWithdrawn, "=HYPERLINK(\"x\")");
  op.Net = 10909;
  op.Tax = 1091;
  op.JournalId = "j";
  op.RowId = 42;
  EXPECT_EQ(office::CsvLine(op),
            "\"2026-12-01 10:00:00\",\"1234567890\",\"T1\",\"큐비캐쉬 취소\",\"*********0001\",12000,10909,1091,"
            "\"'=HYPERLINK(\"\"x\"\")\",\"\",\"철회됨\",\"\",\"j\",42\r\n");
}

}  // namespace
