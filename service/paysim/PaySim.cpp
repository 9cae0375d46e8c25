// paysim: the payment service simulator.
//   paysim [--db FILE] [--port N] [--http-port N] [--delivery-ms N]
// Payment messages on 127.0.0.1:19976 (one connection per exchange), the web report
// on http://127.0.0.1:19980/, the books in paysim.db in the current folder. An
// answer not acknowledged whole within --delivery-ms (10000) is reversed. Stops
// cleanly on SIGTERM or SIGINT. A port outside 1-65535 is refused (exit 2): a
// number cut to 16 bits, or 0 (any free port), would serve where nobody looks.
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

#include "Ledger.h"
#include "PaymentService.h"

namespace {

constexpr int kConnectionMs = 5000;  // a report client is let go by then, whatever it sends
constexpr qint64 kMaxHttpHeader = 8192;
// Report clients at once: a handful that hold their connections can't keep others
// out, and a flood can't take the descriptors the payments need.
constexpr int kMaxReportConnections = 64;
constexpr uint kMaxDeliveryMs = 600000;

int signalPipe[2];
void OnSignal(int) { [[maybe_unused]] ssize_t n = write(signalPipe[1], "x", 1); }

// Closes the connection once what was written has gone out.
void Finish(QTcpSocket* socket, const QByteArray& bytes) {
  socket->write(bytes);
  socket->disconnectFromHost();
}

void ServeReport(QTcpSocket* socket, paysim::Ledger& ledger) {
  auto* timer = new QTimer(socket);
  timer->setSingleShot(true);
  QObject::connect(timer, &QTimer::timeout, socket, [socket] {
    socket->abort();
    socket->deleteLater();  // gone even should aborting not count as a disconnection
  });
  timer->start(kConnectionMs);
  QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &ledger] {
    if (!socket->canReadLine() && socket->bytesAvailable() < kMaxHttpHeader) return;
    const QByteArray requestLine = socket->readLine(kMaxHttpHeader);
    socket->readAll();
    const QList<QByteArray> parts = requestLine.split(' ');
    QByteArray status = "200 OK";
    QByteArray body;
    if (parts.size() < 2 || parts[0] != "GET") {
      status = "405 Method Not Allowed";
    } else if (parts[1] == "/" || parts[1].startsWith("/?")) {
      body = ledger.ReportPage();
    } else {
      status = "404 Not Found";
    }
    Finish(socket, "HTTP/1.0 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                       QByteArray::number(body.size()) + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" +
                       body);
  });
}

// An option's number: decimal digits only, no more of them than `max` has, 1 to `max`.
std::optional<uint> ParseNumber(const QString& text, uint max) {
  if (text.isEmpty() || text.size() > QString::number(max).size()) return std::nullopt;
  for (const QChar c : text)
    if (c < u'0' || c > u'9') return std::nullopt;
  const uint value = text.toUInt();
  if (value < 1 || value > max) return std::nullopt;
  return value;
}

int Usage() {
  std::fprintf(stderr,
               "usage: paysim [--db FILE] [--port N] [--http-port N] [--delivery-ms N]   (ports 1 to 65535, "
               "1 to %u ms)\n",
               kMaxDeliveryMs);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QString database = QStringLiteral("paysim.db");
  quint16 port = 19976;
  quint16 httpPort = 19980;
  paysim::PaymentTimeLimits limits;
  const QStringList args = app.arguments();
  for (int i = 1; i < args.size(); ++i) {
    const QString& option = args[i];
    if (i + 1 >= args.size()) return Usage();
    const QString& value = args[++i];
    if (option == "--db") {
      database = value;
    } else if (option == "--port" || option == "--http-port") {
      const auto parsed = ParseNumber(value, 65535);
      if (!parsed) {
        std::fprintf(stderr, "paysim: %s wants a port from 1 to 65535, not \"%s\"\n", qPrintable(option),
                     qPrintable(value));
        return 2;
      }
      (option == "--port" ? port : httpPort) = static_cast<quint16>(*parsed);
    } else if (option == "--delivery-ms") {
      const auto parsed = ParseNumber(value, kMaxDeliveryMs);
      if (!parsed) {
        std::fprintf(stderr, "paysim: --delivery-ms wants milliseconds from 1 to %u, not \"%s\"\n", kMaxDeliveryMs,
                     qPrintable(value));
        return 2;
      }
      limits.DeliveryMs = static_cast<int>(*parsed);
    } else {
      return Usage();
    }
  }

  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return 1;
  QSocketNotifier stopRequests(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&stopRequests, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);

  try {
    paysim::Ledger ledger(database);
    paysim::PaymentServer payments(ledger, limits);
    int reportClients = 0;  // outlives the server, whose sockets count down as they go
    QTcpServer report;
    if (!payments.listen(QHostAddress::LocalHost, port) || !report.listen(QHostAddress::LocalHost, httpPort)) {
      std::fprintf(stderr, "paysim: cannot listen on 127.0.0.1:%u / %u: %s%s\n", port, httpPort,
                   qPrintable(payments.errorString()), qPrintable(report.errorString()));
      return 1;
    }
    QObject::connect(&report, &QTcpServer::newConnection, [&] {
      while (QTcpSocket* s = report.nextPendingConnection()) {
        if (reportClients >= kMaxReportConnections) {
          s->abort();
          s->deleteLater();
          continue;
        }
        ++reportClients;
        QObject::connect(s, &QObject::destroyed, [&reportClients] { --reportClients; });
        ServeReport(s, ledger);
      }
    });
    std::printf("paysim: payments on 127.0.0.1:%u, report on http://127.0.0.1:%u/, books in %s\n", port, httpPort,
                qPrintable(database));
    std::fflush(stdout);
    app.exec();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "paysim: %s\n", error.what());
    return 1;
  }
  return 0;
}
