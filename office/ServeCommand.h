#pragma once

#include <QByteArray>
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

// vek-office serve: the head office's page over HTTP (Qt's HTTP server), from the
// head office's PostgreSQL.
namespace office {

class PageDatabase;

struct ServeOptions {
  std::string Conninfo{};             // --db, a libpq connection string
  std::string Address = "127.0.0.1";  // --address
  std::uint16_t Port = 0;             // --port (0: any free one, printed once listening)
};

// The options after "serve"; what is wrong with them otherwise.
std::variant<ServeOptions, std::string> ParseServeOptions(const std::vector<std::string>& args);

// A response of the page, before it goes out.
struct PageResponse {
  int Status = 200;
  QByteArray MimeType{};
  QByteArray Body{};
  QByteArray Disposition{};  // Content-Disposition, for the export
};

// A request's parameters (application/x-www-form-urlencoded, as a form sends them),
// decoded to bytes; the first of each name counts.
std::map<std::string, std::string> QueryParameters(const QByteArray& encodedQuery);

// The page ("/") and the export ("/operations.csv") for a request's parameters;
// `today` ("YYYY-MM-DD") when no date is asked for. Never raises: bad input is a
// 400 page, a database away a 503 page.
PageResponse DayPageResponse(PageDatabase& database, const std::map<std::string, std::string>& params,
                             const std::string& today);
PageResponse CsvResponse(PageDatabase& database, const std::map<std::string, std::string>& params,
                         const std::string& today);

// Serves until the process is ended; 1 when it can't listen. `argc` and `argv` go
// to Qt's application object.
int Serve(const ServeOptions& options, int& argc, char** argv);

}  // namespace office
