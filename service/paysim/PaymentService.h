#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>
#include <memory>
#include <string_view>

#include "Ledger.h"

// The payment messages on a TCP port, one connection per exchange, each served on
// its own so that clients that hold a connection open and say nothing (or say it
// slowly) keep nobody else waiting.
namespace paysim {

// How long things may take.
struct PaymentTimeLimits {
  int RequestMs = 5000;  // from the connection to the whole request
  int DeliveryMs = 10000;  // from the answer to its client's TCP acknowledging all of it
};

class PaymentServer : public QTcpServer {
 public:
  PaymentServer(Ledger& ledger, PaymentTimeLimits limits = {});

 protected:
  void incomingConnection(qintptr descriptor) override;

 private:
  Ledger& ledger_;
  PaymentTimeLimits limits_;
  int open_ = 0;
};

// One client: its request, the decision, the answer and whether it arrived. A
// request whose client has already gone is not carried out. An answer counts as
// delivered once the client's TCP has acknowledged every byte of it, whenever the
// client then hangs up: a terminal held up between taking the answer and hanging up
// (swapped out, stopped in a debugger, its virtual machine paused) has it and prints
// it. One that could not be sent whole, one whose client was gone before taking all
// of it, and one not all acknowledged within the time limit are reversed in the
// books, as the terminal can't know their outcome.
class PaymentConnection : public QObject {
 public:
  PaymentConnection(int descriptor, Ledger& ledger, const PaymentTimeLimits& limits, int& open, QObject* server);
  ~PaymentConnection() override;

 private:
  void ReadRequest();
  void Process(const std::string& frame);
  bool ClientStillThere() const;
  bool Send(std::string_view bytes);
  bool BookedAsSent();
  void AwaitAcknowledgement();
  bool AnswerAcknowledged() const;
  bool ConnectionLost() const;
  void Confirmed(bool delivered);
  void Finish();

  int fd_;
  Ledger& ledger_;
  PaymentTimeLimits limits_;
  int& open_;
  QByteArray buffer_;
  qint64 awaiting_ = 0;
  bool finQueued_ = false;
  std::unique_ptr<QSocketNotifier> readable_;
  QTimer deadline_;
  QTimer acknowledgements_;  // the send queue looked at until it is empty
};

}  // namespace paysim
