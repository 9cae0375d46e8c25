#include "PaymentService.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace paysim {
namespace {

constexpr qsizetype kMaxRequest = 1024;  // the terminal's buffer: no request is longer
constexpr int kMaxConnections = 512;     // well within the descriptors of a process
// No event says when the peer acknowledged data: the send queue is looked at this
// often (on the loopback, all paysim serves, the acknowledgement comes at once).
constexpr int kAcknowledgementPollMs = 10;

}  // namespace

PaymentServer::PaymentServer(Ledger& ledger, PaymentTimeLimits limits) : ledger_(ledger), limits_(limits) {}

void PaymentServer::incomingConnection(qintptr descriptor) {
  const int fd = static_cast<int>(descriptor);
  if (open_ >= kMaxConnections) {
    ::close(fd);
    return;
  }
  new PaymentConnection(fd, ledger_, limits_, open_, this);  // goes when it is done, or with the server
}

PaymentConnection::PaymentConnection(int descriptor, Ledger& ledger, const PaymentTimeLimits& limits, int& open,
                                     QObject* server)
    : QObject(server),
      fd_(descriptor), ledger_(ledger), limits_(limits), open_(open) {
  ++open_;
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  fcntl(fd_, F_SETFD, FD_CLOEXEC);
  const int noDelay = 1;  // an answer's last byte goes out at once, not after the rest is acknowledged
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
  readable_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  QObject::connect(readable_.get(), &QSocketNotifier::activated, this, [this] { ReadRequest(); });
  deadline_.setSingleShot(true);
  QObject::connect(&deadline_, &QTimer::timeout, this, [this] { Finish(); });  // the whole request, not per byte
  deadline_.start(limits_.RequestMs);
}

PaymentConnection::~PaymentConnection() {
  readable_.reset();
  ::close(fd_);
  --open_;
}

void PaymentConnection::ReadRequest() {
  for (;;) {
    char bytes[2048];
    const ssize_t n = ::recv(fd_, bytes, sizeof bytes, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    if (n <= 0) return Finish();  // gone before the ETX: nothing to answer
    buffer_.append(bytes, n);
    if (buffer_.at(0) != '\x02' || buffer_.size() > kMaxRequest + 1) {
      Send(MalformedReply());
      return Finish();
    }
    const qsizetype etx = buffer_.indexOf('\x03');
    if (etx >= 0) return Process(buffer_.left(etx + 1).toStdString());
  }
}

bool PaymentConnection::ClientStillThere() const {
  char next = 0;
  const ssize_t n = ::recv(fd_, &next, 1, MSG_PEEK | MSG_DONTWAIT);
  return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
}

void PaymentConnection::Process(const std::string& frame) {
  deadline_.stop();
  readable_->setEnabled(false);
  // A client that hung up while the server was busy (or stopped) has given up and
  // told its operator the outcome is unknown: its request is not carried out.
  if (!ClientStillThere()) {
    std::fprintf(stderr, "paysim: a client left before its request was carried out; nothing was done\n");
    return Finish();
  }
  const auto request = ParseRequest(frame);
  if (!request) {
    Send(MalformedReply());
    return Finish();
  }
  Decision decision;
  try {
    decision = ledger_.Handle(*request);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "paysim: %s\n", error.what());
    return Finish();  // nothing was committed: the terminal sees the module's error
  }
  awaiting_ = decision.AwaitingDelivery;
  const std::string reply = BuildReply(request->Op, decision.Reply);
  if (awaiting_ == 0) {
    if (ClientStillThere()) Send(reply);
    return Finish();
  }
  // The books say the answer has gone out before its last byte, the ETX, does: a
  // terminal never holds a whole answer that the next start would reverse. Killed
  // before the mark, the server reverses the operation when it starts again, and the
  // terminal, without the ETX, says the outcome is unknown. (Killed between the mark
  // and the ETX, one system call, it keeps an answer its terminal didn't get whole.)
  const std::string_view whole(reply);
  const bool sent = ClientStillThere() && Send(whole.substr(0, whole.size() - 1)) && BookedAsSent() &&
                    Send(whole.substr(whole.size() - 1));
  if (!sent) return Confirmed(false);
  AwaitAcknowledgement();
}

bool PaymentConnection::BookedAsSent() {
  try {
    ledger_.Sent(awaiting_);
    return true;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "paysim: %s\n", error.what());
    return false;
  }
}

bool PaymentConnection::Send(std::string_view bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // a reply of a few hundred bytes fits a fresh socket's buffer
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Whether the answer arrived is the client's TCP's to say, not the time of its
// hanging up: a terminal can hold the whole answer and be held up for any time
// before it hangs up. Decided as soon as the acknowledgement comes, or the
// connection dies without it; at the time limit, as it stands then.
void PaymentConnection::AwaitAcknowledgement() {
  finQueued_ = ::shutdown(fd_, SHUT_WR) == 0;
  if (AnswerAcknowledged()) return Confirmed(true);
  QObject::disconnect(&deadline_, nullptr, this, nullptr);
  QObject::connect(&deadline_, &QTimer::timeout, this, [this] { Confirmed(AnswerAcknowledged()); });
  deadline_.start(limits_.DeliveryMs);
  QObject::connect(&acknowledgements_, &QTimer::timeout, this, [this] {
    if (AnswerAcknowledged()) {
      Confirmed(true);
    } else if (ConnectionLost()) {
      Confirmed(false);
    }
  });
  acknowledgements_.start(kAcknowledgementPollMs);
}

// Every byte of the answer acknowledged, as the bytes still unacknowledged in the
// send queue (SIOCOUTQ) say. A client's TCP acknowledges data as it arrives, whether
// or not its program has read it yet (TCP can't tell more: one that closes with the
// answer unread counts as having it); the system of a client that was gone resets
// instead and acknowledges none. The FIN after the answer takes a sequence number of
// its own, and a reset from a client that had the answer may come before the FIN's
// acknowledgement: one left unacknowledged, the last, still means the whole answer.
bool PaymentConnection::AnswerAcknowledged() const {
  int unacknowledged = 0;
  if (::ioctl(fd_, SIOCOUTQ, &unacknowledged) != 0) return false;
  return unacknowledged <= (finQueued_ ? 1 : 0);
}

// Reset (or timed out by TCP itself): nothing more will be acknowledged.
bool PaymentConnection::ConnectionLost() const {
  tcp_info info{};
  socklen_t size = sizeof info;
  return ::getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 && info.tcpi_state == TCP_CLOSE;
}

void PaymentConnection::Confirmed(bool delivered) {
  try {
    if (delivered) {
      ledger_.Delivered(awaiting_);
    } else {
      std::fprintf(stderr, "paysim: the answer to operation %lld did not reach its terminal; reversed\n",
                   static_cast<long long>(awaiting_));
      ledger_.Undelivered(awaiting_);
    }
  } catch (const std::exception& error) {
    // Left being answered: the next start lets it stand if its answer went out, and
    // reverses it if not.
    std::fprintf(stderr, "paysim: %s\n", error.what());
  }
  Finish();
}

void PaymentConnection::Finish() {
  readable_->setEnabled(false);
  deadline_.stop();
  acknowledgements_.stop();
  deleteLater();
}

}  // namespace paysim
