#pragma once

#include <QSqlDatabase>
#include <QString>

#include "Protocol.h"

namespace paysim {

// What the books decided for one request.
struct Decision {
  Answer Reply;
  // The operation moved a balance and is kept only once its answer has reached the
  // terminal (Delivered); until then it stands in the books as being answered, and
  // as not yet sent until its answer goes out (Sent).
  qint64 AwaitingDelivery = 0;  // its id; 0: nothing to confirm
};

// The service's books in SQLite: the demo vouchers and cash cards with their
// balances, and every operation with its result. Each operation is one transaction,
// committed before its reply is sent, so a process killed at any moment keeps none
// half done. An operation whose answer did not reach its terminal is reversed: its
// balance is restored and it stays in the books marked as reversed. Of those being
// answered when the process ended, the next start reverses the ones whose answer
// never went out, and the others stand (their answers were handed over). A balance
// never goes below zero.
class Ledger {
 public:
  // Opens (creating and seeding on first start, bringing older books up to date) the
  // database file; of what was left being answered, what was never sent is reversed
  // and the rest stands.
  explicit Ledger(const QString& path);
  ~Ledger();
  Ledger(const Ledger&) = delete;
  Ledger& operator=(const Ledger&) = delete;

  Decision Handle(const Request& request);
  // The answer is going out: from now on a restart lets the operation stand.
  void Sent(qint64 operationId);
  void Delivered(qint64 operationId);
  void Undelivered(qint64 operationId);
  // The web report: the day's operations per terminal, totals, balances (UTF-8 HTML);
  // instruments by the last four characters of their numbers only.
  QByteArray ReportPage();

 private:
  Answer Decide(const Request& request, qint64 operationId);
  void Reverse(qint64 operationId);
  QString connection_;
};

}  // namespace paysim
