#include "Ledger.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <stdexcept>
#include <vector>

#include "platform/text/Cp949.h"

namespace paysim {
namespace {

QString U(const std::string& cp949) { return QString::fromStdString(platform::Cp949ToUtf8(cp949)); }
std::string K(const char* utf8) { return platform::Utf8ToCp949(utf8); }

void Exec(QSqlQuery& q, const QString& sql) {
  if (!q.exec(sql)) throw std::runtime_error(q.lastError().text().toStdString() + " in " + sql.toStdString());
}
void Exec(QSqlQuery& q) {
  if (!q.exec()) throw std::runtime_error(q.lastError().text().toStdString() + " in " + q.lastQuery().toStdString());
}

const char* OperationCode(Operation op) {
  switch (op) {
    case Operation::VoucherInquiry: return "9100";
    case Operation::VoucherUse: return "9000";
    case Operation::VoucherCancel: return "9002";
    case Operation::CashCardApproval: return "9300";
    case Operation::CashCardCancel: return "9302";
  }
  return "";
}

// An instrument's number on the report, which anyone on the machine can open: its
// last four characters, enough to tell the day's operations apart and no more.
QString Masked(const QString& number) {
  const qsizetype shown = number.size() > 4 ? 4 : 0;
  return QString(number.size() - shown, u'*') + number.right(shown);
}

bool HasColumn(QSqlQuery& q, const char* table, const char* column) {
  q.prepare("SELECT COUNT(*) FROM pragma_table_info(?) WHERE name = ?");
  q.addBindValue(QString::fromLatin1(table));
  q.addBindValue(QString::fromLatin1(column));
  Exec(q);
  return q.next() && q.value(0).toInt() > 0;
}

QString Won(qint64 amount) { return QLocale(QLocale::Korean).toString(amount) + QString::fromUtf8("원"); }

struct Demo {
  const char* number;
  const char* kind;
  const char* type;
  const char* name;
  qint64 balance;
};
// Documented in the README: the instruments a merchant can try.
constexpr Demo kDemo[] = {
    {"1000000000001", "voucher", "CT01", "선발금 5만원권", 50000},
    {"1000000000002", "voucher", "CT02", "즉시발급 3만원권", 30000},
    {"1000000000003", "voucher", "CT03", "로드 이용권 10만원", 100000},
    {"1000000000004", "voucher", "CT04", "가맹점 이용권 2만원", 20000},
    {"1000000000005", "voucher", "CT05", "제휴사 쿠폰 1만원", 10000},
    {"1000000000006", "voucher", "CT06", "현장할인 쿠폰 5천원", 5000},
    {"9000000000001", "cashcard", "", "큐비캐쉬 카드", 200000},
    {"9000000000002", "cashcard", "", "큐비캐쉬 카드", 50000},
};

}  // namespace

Ledger::Ledger(const QString& path) : connection_(QStringLiteral("paysim-") + path) {
  // The books are their owner's alone, whatever the caller's umask; SQLite gives the
  // files it adds beside them (-wal, -shm) the same mode.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot open " + path.toStdString() + ": " + std::strerror(errno));
  ::close(fd);
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
  db.setDatabaseName(path);
  if (!db.open()) throw std::runtime_error("cannot open " + path.toStdString() + ": " + db.lastError().text().toStdString());
  QSqlQuery q(db);
  Exec(q, "PRAGMA journal_mode=WAL");
  Exec(q, "PRAGMA synchronous=FULL");  // an answered operation survives a crash
  Exec(q, "PRAGMA busy_timeout=5000");
  Exec(q, "CREATE TABLE IF NOT EXISTS instruments ("
          " number TEXT PRIMARY KEY, kind TEXT NOT NULL CHECK (kind IN ('voucher','cashcard')),"
          " type_code TEXT NOT NULL, name TEXT NOT NULL, balance INTEGER NOT NULL CHECK (balance >= 0))");
  Exec(q, "CREATE TABLE IF NOT EXISTS operations ("
          " id INTEGER PRIMARY KEY, at TEXT NOT NULL, terminal TEXT NOT NULL, code TEXT NOT NULL,"
          " number TEXT NOT NULL, amount INTEGER NOT NULL, result TEXT NOT NULL, message TEXT NOT NULL,"
          " approval TEXT UNIQUE, original_approval TEXT)");
  // Books of an earlier version lack the business number, the answer's state and
  // whether the answer went out: their operations were all answered as far as anyone
  // knows.
  if (!HasColumn(q, "operations", "state")) {
    Exec(q, "ALTER TABLE operations ADD COLUMN business TEXT NOT NULL DEFAULT ''");
    Exec(q, "ALTER TABLE operations ADD COLUMN state TEXT NOT NULL DEFAULT 'done'"
            " CHECK (state IN ('answering', 'done', 'reversed'))");
  }
  // sent: 0 from an operation's commit until its answer is handed to the connection.
  if (!HasColumn(q, "operations", "sent"))
    Exec(q, "ALTER TABLE operations ADD COLUMN sent INTEGER NOT NULL DEFAULT 1");
  // One accepted cancellation per original approval, whatever happens; a reversed one
  // doesn't count.
  Exec(q, "DROP INDEX IF EXISTS one_cancellation");
  Exec(q, "CREATE UNIQUE INDEX one_cancellation ON operations(original_approval)"
          " WHERE result = '0000' AND original_approval IS NOT NULL AND state <> 'reversed'");
  Exec(q, "SELECT COUNT(*) FROM instruments");
  if (q.next() && q.value(0).toInt() == 0) {
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare("INSERT INTO instruments VALUES (?, ?, ?, ?, ?)");
    for (const Demo& d : kDemo) {
      insert.addBindValue(QString::fromLatin1(d.number));
      insert.addBindValue(QString::fromLatin1(d.kind));
      insert.addBindValue(QString::fromLatin1(d.type));
      insert.addBindValue(QString::fromUtf8(d.name));
      insert.addBindValue(d.balance);
      Exec(insert);
    }
    db.commit();
  }
  // The process ended while these were being answered. Those whose answer never went
  // out are reversed, the latest first: their terminals heard nothing. Those whose
  // answer was handed to the connection stand: the system delivers what was handed to
  // it even after the process has gone.
  Exec(q, "SELECT id FROM operations WHERE state = 'answering' AND sent = 0 ORDER BY id DESC");
  std::vector<qint64> unsent;
  while (q.next()) unsent.push_back(q.value(0).toLongLong());
  for (const qint64 id : unsent) {
    std::fprintf(stderr, "paysim: the answer to operation %lld never went out; reversed\n", static_cast<long long>(id));
    Undelivered(id);
  }
  Exec(q, "UPDATE operations SET state = 'done' WHERE state = 'answering'");
}

Ledger::~Ledger() {
  { QSqlDatabase::database(connection_).close(); }
  QSqlDatabase::removeDatabase(connection_);
}

Decision Ledger::Handle(const Request& request) {
  QSqlDatabase db = QSqlDatabase::database(connection_);
  if (!db.transaction()) throw std::runtime_error("cannot begin: " + db.lastError().text().toStdString());
  try {
    QSqlQuery insert(db);
    insert.prepare("INSERT INTO operations (at, terminal, business, code, number, amount, result, message) "
                   "VALUES (?, ?, ?, ?, ?, ?, '', '')");
    insert.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODate));
    insert.addBindValue(U(request.TerminalId));
    insert.addBindValue(U(request.BusinessNumber));
    insert.addBindValue(QString::fromLatin1(OperationCode(request.Op)));
    insert.addBindValue(U(request.Number));
    insert.addBindValue(static_cast<qlonglong>(request.Total));
    Exec(insert);
    const qint64 id = insert.lastInsertId().toLongLong();
    Decision decision{Decide(request, id), 0};
    const Answer& answer = decision.Reply;
    const bool moved = answer.Code == "0000" && request.Op != Operation::VoucherInquiry;
    QSqlQuery done(db);
    done.prepare("UPDATE operations SET result = ?, message = ?, approval = ?, original_approval = ?, state = ?,"
                 " sent = ? WHERE id = ?");
    done.addBindValue(QString::fromStdString(answer.Code));
    done.addBindValue(U(answer.Message));
    done.addBindValue(answer.ApprovalNumber.empty() ? QVariant() : QVariant(QString::fromStdString(answer.ApprovalNumber)));
    const bool cancel = request.Op == Operation::VoucherCancel || request.Op == Operation::CashCardCancel;
    done.addBindValue(cancel && answer.Code == "0000" ? QVariant(U(request.OriginalApproval)) : QVariant());
    done.addBindValue(QString::fromLatin1(moved ? "answering" : "done"));
    done.addBindValue(moved ? 0 : 1);
    done.addBindValue(id);
    Exec(done);
    if (!db.commit()) throw std::runtime_error("cannot commit: " + db.lastError().text().toStdString());
    if (moved) decision.AwaitingDelivery = id;
    return decision;
  } catch (...) {
    db.rollback();
    throw;
  }
}

// Written through to the system without waiting for the disk: the mark has to
// outlive the process, which it does once written, and the answer's last byte waits
// for it. (A machine that goes down takes the terminals on its loopback along.)
void Ledger::Sent(qint64 operationId) {
  QSqlDatabase db = QSqlDatabase::database(connection_);
  // Every later commit waits for the disk again, whichever way this ends: a failure
  // here is the one reported, the setting put back as well as it can be.
  struct FullAgain {
    QSqlQuery pragma;
    bool done = false;
    void Now() {
      Exec(pragma, "PRAGMA synchronous=FULL");
      done = true;
    }
    ~FullAgain() {
      if (!done) pragma.exec("PRAGMA synchronous=FULL");
    }
  } full{QSqlQuery(db)};
  Exec(full.pragma, "PRAGMA synchronous=NORMAL");
  QSqlQuery q(db);
  q.prepare("UPDATE operations SET sent = 1 WHERE id = ?");
  q.addBindValue(operationId);
  if (!q.exec()) throw std::runtime_error(q.lastError().text().toStdString() + " in " + q.lastQuery().toStdString());
  full.Now();
}

void Ledger::Delivered(qint64 operationId) {
  QSqlQuery q(QSqlDatabase::database(connection_));
  q.prepare("UPDATE operations SET state = 'done' WHERE id = ? AND state = 'answering'");
  q.addBindValue(operationId);
  Exec(q);
}

void Ledger::Undelivered(qint64 operationId) {
  QSqlDatabase db = QSqlDatabase::database(connection_);
  if (!db.transaction()) throw std::runtime_error("cannot begin: " + db.lastError().text().toStdString());
  try {
    Reverse(operationId);
    if (!db.commit()) throw std::runtime_error("cannot commit: " + db.lastError().text().toStdString());
  } catch (...) {
    db.rollback();
    throw;
  }
}

// A use or approval gives its amount back; a cancellation takes back what it
// returned, unless that has been spent since (the balance would go below zero):
// then it stands, and the books say so on standard error.
void Ledger::Reverse(qint64 operationId) {
  QSqlDatabase db = QSqlDatabase::database(connection_);
  QSqlQuery op(db);
  op.prepare("SELECT code, number, amount, approval FROM operations"
             " WHERE id = ? AND state = 'answering' AND result = '0000'");
  op.addBindValue(operationId);
  Exec(op);
  if (!op.next()) return;
  const QString code = op.value(0).toString();
  const bool cancel = code == "9002" || code == "9302";
  const qint64 amount = op.value(2).toLongLong();
  // A sale cancelled meanwhile has had its amount returned by the cancellation;
  // reversing it too would return it twice.
  QSqlQuery cancelled(db);
  cancelled.prepare("SELECT 1 FROM operations WHERE original_approval = ? AND result = '0000' AND state <> 'reversed'");
  cancelled.addBindValue(op.value(3));
  Exec(cancelled);
  if (!cancel && cancelled.next()) {
    QSqlQuery mark(db);
    mark.prepare("UPDATE operations SET state = 'done' WHERE id = ?");
    mark.addBindValue(operationId);
    Exec(mark);
    return;
  }
  QSqlQuery balance(db);
  balance.prepare("UPDATE instruments SET balance = balance + ? WHERE number = ? AND balance + ? >= 0");
  balance.addBindValue(cancel ? -amount : amount);
  balance.addBindValue(op.value(1).toString());
  balance.addBindValue(cancel ? -amount : amount);
  Exec(balance);
  const bool reversed = balance.numRowsAffected() == 1;
  if (!reversed)
    std::fprintf(stderr, "paysim: operation %lld was not answered, but its refund has been spent: it stands\n",
                 static_cast<long long>(operationId));
  QSqlQuery mark(db);
  mark.prepare("UPDATE operations SET state = ? WHERE id = ?");
  mark.addBindValue(QString::fromLatin1(reversed ? "reversed" : "done"));
  mark.addBindValue(operationId);
  Exec(mark);
}

Answer Ledger::Decide(const Request& r, qint64 operationId) {
  QSqlDatabase db = QSqlDatabase::database(connection_);
  const bool voucher = r.Op == Operation::VoucherInquiry || r.Op == Operation::VoucherUse ||
                       r.Op == Operation::VoucherCancel;
  const bool cancel = r.Op == Operation::VoucherCancel || r.Op == Operation::CashCardCancel;
  Answer a;
  const auto refuse = [&](const char* code, const char* text) {
    a = Answer{};
    a.Code = code;
    a.Message = K(text);
    return a;
  };

  QSqlQuery find(db);
  find.prepare("SELECT type_code, name, balance FROM instruments WHERE number = ? AND kind = ?");
  find.addBindValue(U(r.Number));
  find.addBindValue(QString::fromLatin1(voucher ? "voucher" : "cashcard"));
  Exec(find);
  if (!find.next())
    return voucher ? refuse("1001", "등록되지 않은 이용권입니다.") : refuse("1002", "등록되지 않은 카드입니다.");
  const std::string typeCode = find.value(0).toString().toStdString();
  const std::string name = platform::Utf8ToCp949(find.value(1).toString().toStdString());
  qint64 balance = find.value(2).toLongLong();

  if (r.Op == Operation::VoucherInquiry) {
    a.Message = K("조회되었습니다.");
    a.InquiryText = platform::Utf8ToCp949((QString::fromUtf8("잔액 ") + Won(balance)).toStdString()) + " (" + name + ")";
    a.VoucherAmount = balance;
    return a;
  }
  if (r.Total <= 0) return refuse("1007", "금액이 올바르지 않습니다.");

  if (cancel) {
    QSqlQuery original(db);
    original.prepare("SELECT amount, substr(replace(at, '-', ''), 1, 8), terminal, business FROM operations"
                     " WHERE approval = ? AND number = ? AND code = ? AND result = '0000' AND state <> 'reversed'");
    original.addBindValue(U(r.OriginalApproval));
    original.addBindValue(U(r.Number));
    original.addBindValue(QString::fromLatin1(r.Op == Operation::VoucherCancel ? "9000" : "9300"));
    Exec(original);
    if (!original.next() || original.value(1).toString().toStdString() != r.OriginalDate)
      return refuse("1004", "원거래를 찾을 수 없습니다.");
    // Only the terminal that made the sale, for the same business, cancels it.
    if (original.value(2).toString() != U(r.TerminalId) || original.value(3).toString() != U(r.BusinessNumber))
      return refuse("1008", "원거래의 단말기가 아닙니다.");
    QSqlQuery cancelled(db);
    cancelled.prepare("SELECT 1 FROM operations WHERE original_approval = ? AND result = '0000' AND state <> 'reversed'");
    cancelled.addBindValue(U(r.OriginalApproval));
    Exec(cancelled);
    if (cancelled.next()) return refuse("1005", "이미 취소된 거래입니다.");
    if (original.value(0).toLongLong() != r.Total) return refuse("1006", "원거래 금액과 일치하지 않습니다.");
    balance += r.Total;
  } else {
    if (balance < r.Total) return refuse("1003", "잔액이 부족합니다.");
    balance -= r.Total;
  }
  QSqlQuery update(db);
  update.prepare("UPDATE instruments SET balance = ? WHERE number = ?");
  update.addBindValue(balance);
  update.addBindValue(U(r.Number));
  Exec(update);

  char approval[24];
  std::snprintf(approval, sizeof approval, "%c%011lld", voucher ? 'V' : 'C', static_cast<long long>(operationId));
  a.ApprovalNumber = approval;
  a.DateTime = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss")).toStdString();
  a.TypeCode = typeCode;
  a.VoucherName = name;
  a.Message = K(cancel ? "취소되었습니다." : (voucher ? "사용되었습니다." : "승인되었습니다."));
  a.Lines.Line1 = K("이용해 주셔서 감사합니다.");
  a.Lines.Line2 = platform::Utf8ToCp949((QString::fromUtf8("잔액 : ") + Won(balance)).toStdString());
  return a;
}

QByteArray Ledger::ReportPage() {
  QSqlDatabase db = QSqlDatabase::database(connection_);
  const QString today = QDate::currentDate().toString(Qt::ISODate);
  QString html = QString::fromUtf8(
      "<!doctype html><html lang=ko><head><meta charset=utf-8><title>VEK 결제 서비스</title><style>"
      "body{font-family:'NanumGothic',sans-serif;margin:0;background:#eef3f8;color:#1e2a3a}"
      "header{background:linear-gradient(90deg,#0a2e6e,#145db8);color:#fff;padding:14px 24px}"
      "h1{margin:0;font-size:24px}h2{font-size:18px;margin:18px 24px 6px}"
      "table{border-collapse:collapse;margin:0 24px;width:calc(100% - 48px);background:#fff;font-size:14px}"
      "th,td{padding:5px 8px;border-bottom:1px solid #dde5ef;text-align:left}th{background:#f5f8fc}"
      "td.n{text-align:right}.ok{color:#1b7f43}.no{color:#c62828}</style></head><body>");
  html += QString::fromUtf8("<header><h1>VEK 결제 서비스 · 오늘의 거래</h1>%1</header>").arg(today);

  QSqlQuery q(db);
  q.prepare("SELECT terminal, substr(at, 12, 8), code, number, amount, coalesce(approval, ''), result, message, state"
            " FROM operations WHERE substr(at, 1, 10) = ? ORDER BY terminal, id");
  q.addBindValue(today);
  Exec(q);
  const auto kind = [](const QString& code) {
    if (code == "9100") return QString::fromUtf8("이용권 조회");
    if (code == "9000") return QString::fromUtf8("이용권 사용");
    if (code == "9002") return QString::fromUtf8("이용권 취소");
    if (code == "9300") return QString::fromUtf8("큐비캐쉬 승인");
    return QString::fromUtf8("큐비캐쉬 취소");
  };
  QString terminal;
  bool first = true;
  qint64 paid = 0;
  int count = 0;
  const auto closeTerminal = [&] {
    if (first) return;
    html += QString::fromUtf8("<tr><th colspan=4>합계 %1건</th><th class=n>%2</th><th colspan=2></th></tr></table>")
                .arg(count)
                .arg(Won(paid).toHtmlEscaped());
  };
  while (q.next()) {
    if (first || q.value(0).toString() != terminal) {
      closeTerminal();
      terminal = q.value(0).toString();
      first = false;
      paid = 0;
      count = 0;
      html += QString::fromUtf8("<h2>단말기 %1</h2><table><tr><th>시각</th><th>거래</th><th>번호</th><th>결과</th>"
                                "<th class=n>금액</th><th>승인번호</th><th>메시지</th></tr>")
                  .arg(terminal.toHtmlEscaped());
    }
    const QString code = q.value(2).toString();
    // A reversed operation was never answered: it shows, and counts for nothing.
    const bool reversed = q.value(8).toString() == "reversed";
    const bool ok = q.value(6).toString() == "0000" && !reversed;
    const qint64 amount = q.value(4).toLongLong();
    ++count;
    if (ok && (code == "9000" || code == "9300")) paid += amount;
    if (ok && (code == "9002" || code == "9302")) paid -= amount;
    html += QString("<tr><td>%1</td><td>%2</td><td>%3</td><td class=%4>%5</td><td class=n>%6</td><td>%7</td><td>%8</td></tr>")
                .arg(q.value(1).toString(), kind(code), Masked(q.value(3).toString()).toHtmlEscaped(), ok ? "ok" : "no",
                     reversed ? QString::fromUtf8("되돌림") : q.value(6).toString(), code == "9100" ? QString() : Won(amount),
                     q.value(5).toString(),
                     reversed ? QString::fromUtf8("응답이 단말기에 전달되지 않아 되돌렸습니다.")
                              : q.value(7).toString().toHtmlEscaped());
  }
  closeTerminal();
  if (first) html += QString::fromUtf8("<h2>오늘은 아직 거래가 없습니다.</h2>");

  html += QString::fromUtf8("<h2>이용권 · 카드 잔액</h2><table><tr><th>번호</th><th>종류</th><th>이름</th>"
                            "<th class=n>잔액</th></tr>");
  QSqlQuery b(db);
  Exec(b, "SELECT number, kind, type_code, name, balance FROM instruments ORDER BY kind DESC, number");
  while (b.next())
    html += QString("<tr><td>%1</td><td>%2</td><td>%3</td><td class=n>%4</td></tr>")
                .arg(Masked(b.value(0).toString()).toHtmlEscaped(),
                     b.value(1).toString() == "voucher" ? QString::fromUtf8("이용권 ") + b.value(2).toString()
                                                        : QString::fromUtf8("큐비캐쉬"),
                     b.value(3).toString().toHtmlEscaped(), Won(b.value(4).toLongLong()));
  html += "</table></body></html>";
  return html.toUtf8();
}

}  // namespace paysim
