#include "ServeCommand.h"

#include <QCoreApplication>
#include <QDate>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QUrlQuery>
#include <charconv>
#include <cstdio>
#include <exception>
#include <functional>

#include "office/ChainDay.h"
#include "office/OfficePage.h"
#include "office/OperationsCsv.h"
#include "office/PageDatabase.h"

namespace office {
namespace {

const QByteArray kHtml = "text/html; charset=utf-8";

PageResponse Message(int status, std::string_view title, std::string_view message) {
  const std::string page = MessagePage(title, message);
  return {status, kHtml, QByteArray(page.data(), static_cast<qsizetype>(page.size())), {}};
}

// The date asked for, or today's; nothing when it isn't a date.
std::optional<std::string> AskedDate(const std::map<std::string, std::string>& params, const std::string& today) {
  const auto date = params.find("date");
  if (date == params.end() || date->second.empty()) return today;
  return PageDate(date->second);
}

PageResponse QueryRefused(QueryRefusal refusal) {
  switch (refusal) {
    case QueryRefusal::TooLong:
      return Message(400, "잘못된 검색어", "검색어가 너무 깁니다 (" + std::to_string(kMaxQueryBytes) + "바이트까지).");
    case QueryRefusal::ControlCharacter:
      return Message(400, "잘못된 검색어", "검색어에 제어 문자가 있습니다.");
    case QueryRefusal::NotUtf8:
      break;
  }
  return Message(400, "잘못된 검색어", "검색어가 UTF-8 문자열이 아닙니다.");
}

PageResponse BadDate() {
  return Message(400, "잘못된 날짜", "날짜는 YYYY-MM-DD 형식의 실제 날짜로 입력하십시오 (예: 2026-12-09).");
}

// What the database's troubles look like on the page; the details go to the log.
PageResponse Answered(const std::function<PageResponse()>& answer) {
  try {
    return answer();
  } catch (const DatabaseUnavailable& error) {
    std::fprintf(stderr, "vek-office: database unavailable: %s\n", error.what());
    return Message(503, "데이터베이스에 연결할 수 없음",
                   "본사 데이터베이스에 연결할 수 없습니다. 잠시 후 다시 시도하십시오.");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vek-office: %s\n", error.what());
    return Message(500, "데이터베이스 오류", "현황을 읽는 중 데이터베이스 오류가 났습니다.");
  }
}

QHttpServerResponse Sent(const PageResponse& page) {
  QHttpServerResponse response(page.MimeType, page.Body, static_cast<QHttpServerResponse::StatusCode>(page.Status));
  response.setHeader("Cache-Control", "no-store");
  response.setHeader("X-Content-Type-Options", "nosniff");
  // No script of any kind, even one a counter's text smuggled past the escaping.
  response.setHeader("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'");
  if (!page.Disposition.isEmpty()) response.setHeader("Content-Disposition", page.Disposition);
  return response;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// As a form encodes a value: '+' a space, "%XX" a byte; a '%' without two hex
// digits after it stands for itself.
std::string FormDecoded(const QByteArray& encoded) {
  std::string bytes;
  for (qsizetype i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    const int high = c == '%' && i + 2 < encoded.size() ? HexDigit(encoded[i + 1]) : -1;
    const int low = high < 0 ? -1 : HexDigit(encoded[i + 2]);
    if (low >= 0) {
      bytes += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      bytes += c == '+' ? ' ' : c;
    }
  }
  return bytes;
}

std::map<std::string, std::string> Parameters(const QHttpServerRequest& request) {
  return QueryParameters(request.url().query(QUrl::FullyEncoded).toLatin1());
}

}  // namespace

std::variant<ServeOptions, std::string> ParseServeOptions(const std::vector<std::string>& args) {
  ServeOptions options;
  bool port = false;
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return "a value is missing after " + args[i];
    const std::string& value = args[i + 1];
    if (args[i] == "--db") {
      options.Conninfo = value;
    } else if (args[i] == "--address") {
      options.Address = value;
    } else if (args[i] == "--port") {
      unsigned number = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
      if (error != std::errc{} || end != value.data() + value.size() || number > 65535) return "not a port: " + value;
      options.Port = static_cast<std::uint16_t>(number);
      port = true;
    } else {
      return "unknown option " + args[i];
    }
  }
  if (options.Conninfo.empty()) return "--db CONNINFO is needed";
  if (!port) return "--port N is needed (0 for any free port)";
  return options;
}

std::map<std::string, std::string> QueryParameters(const QByteArray& encodedQuery) {
  std::map<std::string, std::string> params;
  for (const QByteArray& pair : encodedQuery.split('&')) {
    if (pair.isEmpty()) continue;
    const qsizetype equals = pair.indexOf('=');
    params.try_emplace(FormDecoded(equals < 0 ? pair : pair.left(equals)),
                       FormDecoded(equals < 0 ? QByteArray() : pair.mid(equals + 1)));
  }
  return params;
}

PageResponse DayPageResponse(PageDatabase& database, const std::map<std::string, std::string>& params,
                             const std::string& today) {
  const std::optional<std::string> date = AskedDate(params, today);
  if (!date) return BadDate();
  std::optional<std::string> query;
  if (const auto q = params.find("q"); q != params.end()) {
    // Blanks around a number typed or pasted don't count, as the server reads it.
    const std::string_view trimmed = journal::TrimmedApproval(q->second);
    if (const std::optional<QueryRefusal> refusal = CheckQuery(q->second)) return QueryRefused(*refusal);
    if (!trimmed.empty()) query = std::string(trimmed);
  }
  return Answered([&] {
    std::optional<SearchResult> search;
    if (query) {
      constexpr int kLimit = 200;
      search = SearchResult{*query, Search(database, *date, *query, kLimit), kLimit};
    }
    const std::string page = DayPage(*date, LoadDay(database, *date), search);
    return PageResponse{200, kHtml, QByteArray(page.data(), static_cast<qsizetype>(page.size())), {}};
  });
}

PageResponse CsvResponse(PageDatabase& database, const std::map<std::string, std::string>& params,
                         const std::string& today) {
  const std::optional<std::string> date = AskedDate(params, today);
  if (!date) return BadDate();
  return Answered([&] {
    // Into the response's own buffer: a chain's day is tens of megabytes.
    QByteArray csv = QByteArray::fromStdString(CsvHeading());
    DayOperations(database, *date, [&](const Operation& op) {
      const std::string line = CsvLine(op);
      csv.append(line.data(), static_cast<qsizetype>(line.size()));
    });
    return PageResponse{200, "text/csv; charset=utf-8", std::move(csv),
                        QByteArray("attachment; filename=\"operations-") + date->c_str() + ".csv\""};
  });
}

int Serve(const ServeOptions& options, int& argc, char** argv) {
  QCoreApplication application(argc, argv);
  PageDatabase database(options.Conninfo);
  QHttpServer server;
  const auto today = [] { return QDate::currentDate().toString(Qt::ISODate).toStdString(); };
  server.route("/", QHttpServerRequest::Method::Get, [&](const QHttpServerRequest& request) {
    return Sent(DayPageResponse(database, Parameters(request), today()));
  });
  server.route("/operations.csv", QHttpServerRequest::Method::Get, [&](const QHttpServerRequest& request) {
    return Sent(CsvResponse(database, Parameters(request), today()));
  });
  server.setMissingHandler([](const QHttpServerRequest&, QHttpServerResponder&& responder) {
    const std::string page = MessagePage("찾을 수 없음", "이 주소의 페이지는 없습니다.");
    responder.write(QByteArray(page.data(), static_cast<qsizetype>(page.size())), kHtml,
                    QHttpServerResponder::StatusCode::NotFound);
  });
  const QHostAddress address(QString::fromStdString(options.Address));
  if (address.isNull()) {
    std::fprintf(stderr, "vek-office: not an address: %s\n", options.Address.c_str());
    return 1;
  }
  const quint16 port = server.listen(address, options.Port);
  if (port == 0) {
    std::fprintf(stderr, "vek-office: can't listen on %s port %u\n", options.Address.c_str(), options.Port);
    return 1;
  }
  const std::string host =
      address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + options.Address + "]" : options.Address;
  std::printf("vek-office: serving http://%s:%u/\n", host.c_str(), static_cast<unsigned>(port));
  std::fflush(stdout);
  return application.exec();
}

}  // namespace office
