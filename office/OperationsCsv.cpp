#include "OperationsCsv.h"

#include "office/OfficePage.h"

namespace office {

std::string CsvText(std::string_view text) {
  std::string field = "\"";
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) field += '\'';
  for (const char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + '"';
}

std::string CsvHeading() {
  std::string heading = "\xEF\xBB\xBF";
  for (const char* label : {"일시", "사업자번호", "단말기ID", "종류", "번호", "금액", "공급가액", "부가세", "승인번호",
                            "원승인번호", "상태", "확인 일시", "저널", "행"}) {
    if (heading.size() > 3) heading += ',';
    heading += CsvText(label);
  }
  return heading + "\r\n";
}

std::string CsvLine(const Operation& op) {
  std::string line;
  for (const std::string& text : {op.At, op.BusinessNumber, op.TerminalId, KindLabel(op.Kind), op.NumberMasked})
    line.append(CsvText(text)).append(",");
  for (const std::int32_t amount : {op.Total, op.Net, op.Tax}) line.append(std::to_string(amount)).append(",");
  for (const std::string& text : {op.Approval, op.OriginalApproval, StateLabel(op.State), op.SettledAt, op.JournalId})
    line.append(CsvText(text)).append(",");
  return line.append(std::to_string(op.RowId)).append("\r\n");
}

}  // namespace office
