#pragma once

#include <QSqlDatabase>
#include <QString>

#include "Protocol.h"

namespace paysim {

// The service's books in SQLite: the demo vouchers and cash cards with their
// balances, and every operation with its result. Each operation is one transaction,
// committed before its reply is sent, so a process killed at any moment keeps every
// answered operation and none half done. A balance never goes below zero.
class Ledger {
 public:
  // Opens (creating and seeding on first start) the database file.
  explicit Ledger(const QString& path);
  ~Ledger();
  Ledger(const Ledger&) = delete;
  Ledger& operator=(const Ledger&) = delete;

  Answer Handle(const Request& request);
  // The web report: the day's operations per terminal, totals, balances (UTF-8 HTML).
  QByteArray ReportPage();

 private:
  Answer Decide(const Request& request, qint64 operationId);
  QString connection_;
};

}  // namespace paysim
