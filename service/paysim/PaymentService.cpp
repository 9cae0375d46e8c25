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
  WatchForHangUp();
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

void PaymentConnection::WatchForHangUp() {
  const bool finQueued = ::shutdown(fd_, SHUT_WR) == 0;
  QObject::disconnect(readable_.get(), nullptr, this, nullptr);
  QObject::connect(readable_.get(), &QSocketNotifier::activated, this, [this, finQueued] {
    char bytes[256];
    const ssize_t n = ::recv(fd_, bytes, sizeof bytes, 0);
    if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR))) return;  // not yet
    Confirmed(AnswerAcknowledged(finQueued));
  });
  readable_->setEnabled(true);
  QObject::disconnect(&deadline_, nullptr, this, nullptr);
  QObject::connect(&deadline_, &QTimer::timeout, this, [this] { Confirmed(false); });
  deadline_.start(limits_.ConfirmMs);
}

// The client hung up, with a FIN or a reset. A client may reset once it has read the
// whole answer (a close with SO_LINGER 0); the system of one that was gone before the
// answer came resets too. What tells them apart is whether the client's TCP
// acknowledged every byte of the answer first, as the bytes still unacknowledged in
// the send queue (SIOCOUTQ) say: a client's TCP acknowledges data as it arrives (on
// the loopback, all paysim serves, at once), a closed socket acknowledges none. A
// reset's own acknowledgement is not taken, so the FIN that follows the answer may be
// left unacknowledged; as the last sequence number, one unacknowledged still means
// the whole answer arrived. (TCP can't tell whether the client's program read it: one
// that closes with the answer unread counts as having it.)
bool PaymentConnection::AnswerAcknowledged(bool finQueued) const {
  int unacknowledged = 0;
  if (::ioctl(fd_, SIOCOUTQ, &unacknowledged) != 0) return false;
  return unacknowledged <= (finQueued ? 1 : 0);
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
  deleteLater();
}

}  // namespace paysim
