// The payment service simulator and the stand-in module together, spoken to with
// the terminal's own requests and read with the terminal's own reply readers.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <cstring>
#include <cstdio>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include "payment/Reply.h"
#include "payment/ReplyFields.h"
#include "payment/Requests.h"
#include "tests/support/ServiceFixture.h"

using namespace payment;
using testsupport::K;

namespace {

const std::string kVoucher = "1000000000001";  // CT01, 50,000
const std::string kBigVoucher = "1000000000003";  // CT03, 100,000
const std::string kCard = "9000000000001";  // 200,000
const TerminalIdentity kTerminal{"1004", "1234567890"};

// A connection to the loopback's `port`.
int ConnectTo(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  return fd;
}

class PaySimTest : public ::testing::Test {
 protected:
  std::string Exchange(const std::string& request) {
    const auto [ok, reply] = module.Call(request, server->Port());
    EXPECT_TRUE(ok) << reply;
    return std::string(CutPayload(reply));
  }
  std::int64_t Balance(const std::string& number) {
    const std::string payload = Exchange(BuildVoucherInquiryRequest(kTerminal, number));
    return std::stoll(ReadVoucherInquiryReply(payload).AmountText);
  }
  // A client of its own: connects, sends `bytes`, and reads what comes until the
  // server hangs up.
  std::string Raw(const std::string& bytes, bool halfClose = false) const {
    const int fd = Connect();
    for (std::size_t sent = 0; sent < bytes.size();) {
      const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    if (halfClose) shutdown(fd, SHUT_WR);
    std::string got;
    char buffer[2048];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) got.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return got;
  }
  int Connect() const { return ConnectTo(server->Port()); }
  // A client of its own that sends `request` on `fd` and reads the answer up to its
  // ETX, and no further: the connection stays as it is.
  static std::string AnswerOn(int fd, const std::string& request) {
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[2048];
    for (ssize_t n; answer.find('\x03') == std::string::npos && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
      answer.append(buffer, static_cast<std::size_t>(n));
    return answer;
  }
  // Until the server has settled every answer: confirmed, or reversed.
  void AwaitSettled() {
    for (int i = 0; i < 50 && Scalar("SELECT COUNT(*) FROM operations WHERE state = 'answering'") != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // Reads the books directly.
  qint64 Scalar(const QString& sql) {
    qint64 value = -1;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
      db.setDatabaseName(QString::fromStdString(database));
      db.open();
      QSqlQuery q(db);
      if (q.exec(sql) && q.next()) value = q.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase("check");
    return value;
  }
  // Changes the books directly (while no server has them open).
  bool Amend(const QString& sql) {
    bool done = false;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "amend");
      db.setDatabaseName(QString::fromStdString(database));
      db.open();
      QSqlQuery q(db);
      done = q.exec(sql);
    }
    QSqlDatabase::removeDatabase("amend");
    return done;
  }

  testsupport::TempDir dir;
  std::string database = dir.dir() + "paysim.db";
  std::unique_ptr<testsupport::PaySimProcess> server = std::make_unique<testsupport::PaySimProcess>(
      database, testsupport::FreePort(), testsupport::FreePort());
  testsupport::Module module;
};

}  // namespace

TEST_F(PaySimTest, VoucherInquiryUseAndCancellation) {
  std::string payload = Exchange(BuildVoucherInquiryRequest(kTerminal, kVoucher));
  EXPECT_TRUE(IsAccepted(payload));
  EXPECT_EQ(ReadVoucherInquiryReply(payload).AmountText, "000050000");
  EXPECT_NE(ReadVoucherInquiryReply(payload).InquiryText.find(K("50,000")), std::string::npos);

  payload = Exchange(BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(10000)));
  ASSERT_TRUE(IsAccepted(payload)) << MessageText(payload);
  EXPECT_EQ(MessageText(payload), K("사용되었습니다."));
  const ApprovalReply use = ReadVoucherUseReply(payload);
  EXPECT_EQ(use.TransactionDateTime.size(), 14u);
  EXPECT_EQ(VoucherTypeName(use.VoucherTypeCode), K("선발금"));
  EXPECT_EQ(use.VoucherName, K("선발금 5만원권"));
  EXPECT_EQ(use.Messages.Line2, K("잔액 : 40,000원"));
  EXPECT_EQ(Balance(kVoucher), 40000);

  const std::string useDate = use.TransactionDateTime.substr(0, 8);
  const OriginalTransaction original{use.ApprovalNumber, useDate};
  payload = Exchange(BuildVoucherCancelRequest(kTerminal, kVoucher, original, SplitAmount(10000)));
  ASSERT_TRUE(IsAccepted(payload)) << MessageText(payload);
  const ApprovalReply cancel = ReadVoucherCancelReply(payload);
  EXPECT_EQ(VoucherTypeName(cancel.VoucherTypeCode), K("선발금"));
  EXPECT_EQ(cancel.VoucherName, K("선발금 5만원권"));  // its field never runs into the first line
  EXPECT_EQ(cancel.Messages.Line1, K("이용해 주셔서 감사합니다."));
  EXPECT_NE(cancel.ApprovalNumber, use.ApprovalNumber);
  EXPECT_EQ(Balance(kVoucher), 50000);

  payload = Exchange(BuildVoucherCancelRequest(kTerminal, kVoucher, original, SplitAmount(10000)));
  EXPECT_EQ(ResultCode(payload), "1005");
  EXPECT_EQ(MessageText(payload), K("이미 취소된 거래입니다."));
}

TEST_F(PaySimTest, CashCardApprovalAndCancellation) {
  std::string payload = Exchange(BuildCashCardApprovalRequest(kTerminal, kCard, SplitAmount(50000)));
  ASSERT_TRUE(IsAccepted(payload));
  const ApprovalReply approval = ReadCashCardApprovalReply(payload);
  EXPECT_EQ(approval.Messages.Line2, K("잔액 : 150,000원"));
  payload = Exchange(BuildCashCardCancelRequest(
      kTerminal, kCard, {approval.ApprovalNumber, approval.TransactionDateTime.substr(0, 8)}, SplitAmount(50000)));
  ASSERT_TRUE(IsAccepted(payload)) << MessageText(payload);
  EXPECT_EQ(ReadCashCardCancelReply(payload).Messages.Line2, K("잔액 : 200,000원"));
  EXPECT_EQ(ReadCashCardCancelReply(payload).TransactionDateTime.size(), 14u);
}

TEST_F(PaySimTest, RefusalsHaveTheirOwnCodesAndTexts) {
  const auto code = [&](const std::string& request) { return std::string(ResultCode(Exchange(request))); };
  EXPECT_EQ(code(BuildVoucherInquiryRequest(kTerminal, "999")), "1001");
  EXPECT_EQ(code(BuildCashCardApprovalRequest(kTerminal, kVoucher, SplitAmount(100))), "1002");
  EXPECT_EQ(code(BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(50001))), "1003");
  EXPECT_EQ(code(BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(0))), "1007");
  EXPECT_EQ(code(BuildVoucherCancelRequest(kTerminal, kVoucher, {"V99999999999", "20240101"}, SplitAmount(100))),
            "1004");
  const ApprovalReply use =
      ReadVoucherUseReply(Exchange(BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(1000))));
  EXPECT_EQ(code(BuildVoucherCancelRequest(kTerminal, kVoucher, {use.ApprovalNumber, use.TransactionDateTime.substr(0, 8)},
                                           SplitAmount(999))),
            "1006");
  EXPECT_EQ(code(BuildVoucherCancelRequest(kTerminal, kVoucher, {use.ApprovalNumber, "19990101"}, SplitAmount(1000))),
            "1004");
  EXPECT_EQ(code("\x02PAIR\x1C" "9999\x1C" "nonsense\x03"), "9001");
  EXPECT_EQ(Balance(kVoucher), 49000);  // only the one use took effect
}

TEST_F(PaySimTest, ModuleTellsTheOperatorWhenNoServerAnswers) {
  const auto [ok, text] = module.Call(BuildVoucherInquiryRequest(kTerminal, kVoucher), testsupport::FreePort());
  EXPECT_FALSE(ok);
  EXPECT_EQ(text, K("서버연결실패"));
}

// (A client that sends too little, too slowly: SlowClientsOnEitherPortKeepNobodyWaiting.)
TEST_F(PaySimTest, BadInputIsRefusedOrCutOffAndTheServerKeepsServing) {
  EXPECT_EQ(ResultCode(CutPayload(Raw("garbage without frame"))), "9001");
  EXPECT_EQ(ResultCode(CutPayload(Raw(std::string(1 << 20, 'x')))), "9001");
  EXPECT_EQ(ResultCode(CutPayload(Raw("\x02" + std::string(5000, 'A')))), "9001");  // no ETX in sight
  EXPECT_EQ(Raw("\x02PAIR\x1C" "9100\x1C", true), "");  // cut off: closed without a reply
  // A number typed twice moves the amount: nine of its digits would read as 1 won.
  EXPECT_EQ(ResultCode(CutPayload(
                Raw(BuildVoucherUseRequest(kTerminal, kBigVoucher + "000000001", SplitAmount(50000))))),
            "9001");
  EXPECT_EQ(ResultCode(CutPayload(Raw(BuildVoucherUseRequest(kTerminal, kBigVoucher, SplitAmount(1000000000))))),
            "9001");  // ten digits, not nine of them
  EXPECT_EQ(Balance(kVoucher), 50000);
  EXPECT_EQ(Balance(kBigVoucher), 100000);
}

TEST_F(PaySimTest, OnlyTheTerminalOfTheSaleCancelsIt) {
  const ApprovalReply approval =
      ReadCashCardApprovalReply(Exchange(BuildCashCardApprovalRequest(kTerminal, kCard, SplitAmount(30000))));
  const std::string date = approval.TransactionDateTime.substr(0, 8);
  const OriginalTransaction original{approval.ApprovalNumber, date};
  for (const TerminalIdentity other : {TerminalIdentity{"6666", "1234567890"}, TerminalIdentity{"1004", "9999999999"}}) {
    const std::string payload = Exchange(BuildCashCardCancelRequest(other, kCard, original, SplitAmount(30000)));
    EXPECT_EQ(ResultCode(payload), "1008");
    EXPECT_EQ(MessageText(payload), K("원거래의 단말기가 아닙니다."));
  }
  EXPECT_TRUE(IsAccepted(Exchange(BuildCashCardCancelRequest(kTerminal, kCard, original, SplitAmount(30000)))));
}

// An answer that never reached the terminal must not stand in the books: the operator
// was told the outcome is unknown and may try again.
TEST_F(PaySimTest, ClientThatHangsUpBeforeTheAnswerLeavesTheBooksAsTheyWere) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int fd = Connect();
    const std::string use = BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(1000));
    send(fd, use.data(), use.size(), MSG_NOSIGNAL);
    close(fd);  // before the server could answer
  }
  // The server stopped while the module waits: it gives up, and the books must not
  // take the request when the server goes on.
  server->Signal(SIGSTOP);
  const auto [ok, text] = module.Call(BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(2000)), server->Port());
  server->Signal(SIGCONT);
  EXPECT_FALSE(ok);
  EXPECT_EQ(text, K("응답시간초과: 결과를 알 수 없습니다. 조회로 확인한 뒤 다시 하십시오."));
  AwaitSettled();
  EXPECT_EQ(Balance(kVoucher), 50000);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM operations WHERE code = '9000' AND result = '0000' AND state <> 'reversed'"),
            0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM operations WHERE state = 'answering'"), 0);
}

// The module may hang up with a reset once it has read the whole answer (a close with
// SO_LINGER 0): the answer reached the terminal, which printed it, and it stands.
TEST_F(PaySimTest, ClientThatResetsAfterReadingTheWholeAnswerKeepsTheOperation) {
  for (int sale = 0; sale < 3; ++sale) {
    const int fd = Connect();
    const std::string answer = AnswerOn(fd, BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(1000)));
    EXPECT_TRUE(IsAccepted(CutPayload(answer))) << answer;
    const linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(fd);
  }
  AwaitSettled();
  EXPECT_EQ(Balance(kVoucher), 47000);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM operations WHERE code = '9000' AND state = 'done'"), 3);
}

// However late a client hangs up once its TCP took the whole answer, the answer
// reached it: a terminal held up between reading it and hanging up (swapped out,
// stopped in a debugger, its virtual machine paused) prints its receipt, and the sale
// stands, past the time limit and after the hang-up. So does the sale of a client
// that has not read its answer yet: TCP can't tell it from one that has.
TEST_F(PaySimTest, AnswerAcknowledgedStandsHoweverLateItsClientHangsUp) {
  server->Stop(SIGTERM);
  server = std::make_unique<testsupport::PaySimProcess>(database, testsupport::FreePort(), testsupport::FreePort(),
                                                         std::vector<std::string>{"--delivery-ms", "300"});
  const int reading = Connect();
  const std::string answer = AnswerOn(reading, BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(5000)));
  ASSERT_TRUE(IsAccepted(CutPayload(answer))) << answer;
  const int unread = Connect();
  const std::string use = BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(2000));
  send(unread, use.data(), use.size(), MSG_NOSIGNAL);
  pollfd answered{unread, POLLIN, 0};
  ASSERT_EQ(poll(&answered, 1, 5000), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(900));  // three times the limit, still connected
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM operations WHERE code = '9000' AND state = 'done'"), 2);
  close(reading);
  close(unread);  // with its answer unread: a reset
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM operations WHERE state <> 'done'"), 0);
  EXPECT_EQ(Balance(kVoucher), 43000);
}

namespace {

bool WriteTo(const char* path, const std::string& text) {
  const int fd = open(path, O_WRONLY | O_CLOEXEC);
  const bool written = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd >= 0) close(fd);
  return written;
}

bool SetLoopback(bool up) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strcpy(request.ifr_name, "lo");
  bool done = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(up ? request.ifr_flags | IFF_UP : request.ifr_flags & ~IFF_UP);
  done = done && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  close(fd);
  return done;
}

// The calling process in a network of its own, with its loopback up, which a user
// namespace lets it change; false where the system allows no such namespace.
bool OwnNetwork() {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  return unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0 && WriteTo("/proc/self/setgroups", "deny") &&
         WriteTo("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
         WriteTo("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1") && SetLoopback(true);
}

int Unacknowledged(int fd) {
  int bytes = -1;
  ioctl(fd, SIOCOUTQ, &bytes);
  return bytes;
}

}  // namespace

// An answer whose bytes are not all acknowledged within the time limit is reversed,
// and so, without waiting for the limit, is one whose client was gone before it
// arrived (its system resets the connection). A client's system acknowledges what
// arrives whatever its program does, so the answer is kept from arriving: in a
// network of a child process's own, the loopback goes down under the connection
// after the request is in and before the answer goes out.
TEST_F(PaySimTest, AnswerNotAcknowledgedWithinTheLimitIsReversed) {
  server->Stop(SIGTERM);  // the books go to servers in the other network
  const pid_t child = fork();
  if (child == 0) {
    if (!OwnNetwork()) _exit(77);
    // Whether the use of `amount`, its answer sent while the loopback is down, is
    // settled within `waitMs`; a client `gone` closes meanwhile and the loopback
    // comes up at once. The loopback is up again when it returns.
    const auto settledOffline = [this](const testsupport::PaySimProcess& own, std::int32_t amount, bool gone,
                                       int waitMs) {
      const int fd = ConnectTo(own.Port());
      own.Signal(SIGSTOP);
      const std::string use = BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(amount));
      send(fd, use.data(), use.size(), MSG_NOSIGNAL);
      for (int i = 0; i < 100 && Unacknowledged(fd) != 0; ++i)  // until the server's system has it
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const bool down = SetLoopback(false);
      own.Signal(SIGCONT);
      if (gone) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        close(fd);  // its reset lost; the server's next try meets one
        SetLoopback(true);
      }
      const QString state =
          QString("SELECT COUNT(*) FROM operations WHERE amount = %1 AND state <> 'answering'").arg(amount);
      bool settled = false;
      for (int waited = 0; down && waited < waitMs && !settled; waited += 50) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        settled = Scalar(state) == 1;
      }
      if (!gone) {
        close(fd);
        SetLoopback(true);
      }
      return settled;
    };
    int failed = 0;
    {
      const testsupport::PaySimProcess own(database, testsupport::FreePort(), testsupport::FreePort(),
                                           {"--delivery-ms", "300"});
      if (!settledOffline(own, 5000, false, 5000)) failed |= 1;
    }
    {
      const testsupport::PaySimProcess own(database, testsupport::FreePort(), testsupport::FreePort());
      if (!settledOffline(own, 3000, true, 5000)) failed |= 2;  // half its limit, 10 s
    }
    _exit(failed);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no network namespace of the test's own here";
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status) & 1, 0) << "the answer not acknowledged was not settled";
  EXPECT_EQ(WEXITSTATUS(status) & 2, 0) << "the answer to a client gone was not settled well within the limit";
  server = std::make_unique<testsupport::PaySimProcess>(database, testsupport::FreePort(), testsupport::FreePort());
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM operations WHERE code = '9000' AND state = 'reversed'"), 2);
  EXPECT_EQ(Balance(kVoucher), 50000);
}

TEST_F(PaySimTest, ConcurrentUsesNeverOverdrawAndSurviveAKill) {
  std::atomic<std::int64_t> acceptedSum{0};
  std::atomic<bool> stop{false};
  const auto hammer = [&] {
    std::vector<std::thread> clients;
    for (int c = 0; c < 20; ++c)
      clients.emplace_back([&, c] {
        testsupport::Module own;
        while (!stop) {
          const auto [ok, reply] = own.Call(BuildVoucherUseRequest({"T" + std::to_string(c), "1234567890"},
                                                                   kBigVoucher, SplitAmount(700)),
                                            server->Port());
          if (ok && IsAccepted(CutPayload(reply))) acceptedSum += 700;
        }
      });
    return clients;
  };
  auto clients = hammer();
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  server->Stop(SIGKILL);  // in the middle of it all
  stop = true;
  for (auto& t : clients) t.join();

  server = std::make_unique<testsupport::PaySimProcess>(database, server->Port(), testsupport::FreePort());
  const qint64 balance = Balance(kBigVoucher);
  const qint64 booked = Scalar(
      "SELECT COALESCE(SUM(amount), 0) FROM operations WHERE code = '9000' AND result = '0000' AND state <> 'reversed'");
  EXPECT_GE(balance, 0);
  EXPECT_EQ(balance + booked, 100000);   // the records add up exactly
  // Every answered use was kept; of what was committed as the process died, only an
  // answer booked as gone out may have been kept without reaching its client (at most
  // one in flight per client).
  EXPECT_GE(booked, acceptedSum.load());
  EXPECT_LE(booked - acceptedSum.load(), 20 * 700);
  EXPECT_GT(acceptedSum.load(), 0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM operations WHERE result = '' OR state = 'answering'"), 0);  // nothing half done
}

// Killed between an operation's commit and its answer, the server finds at its next
// start that the answer never went out (the terminal heard nothing and told its
// operator the outcome is unknown): the operation is reversed, unless it is a sale
// cancelled meanwhile. One whose answer went out stands, and so does every operation
// of books kept before they said which.
TEST_F(PaySimTest, AtTheNextStartOperationsWhoseAnswerNeverWentOutAreReversed) {
  for (const std::int64_t amount : {1000, 2000, 3000})
    ASSERT_TRUE(IsAccepted(Exchange(BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(amount)))));
  const ApprovalReply use =
      ReadVoucherUseReply(Exchange(BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(4000))));
  ASSERT_TRUE(IsAccepted(Exchange(BuildVoucherCancelRequest(
      kTerminal, kVoucher, {use.ApprovalNumber, use.TransactionDateTime.substr(0, 8)}, SplitAmount(4000)))));
  const ApprovalReply approval =
      ReadCashCardApprovalReply(Exchange(BuildCashCardApprovalRequest(kTerminal, kCard, SplitAmount(30000))));
  ASSERT_TRUE(IsAccepted(Exchange(BuildCashCardCancelRequest(
      kTerminal, kCard, {approval.ApprovalNumber, approval.TransactionDateTime.substr(0, 8)}, SplitAmount(30000)))));
  server->Stop(SIGKILL);
  // As the books stand when the process dies: the use of 2,000 answered and not yet
  // confirmed, the use of 3,000, the use of 4,000 (cancelled meanwhile, its approval
  // read off the report) and the card's cancellation committed and not yet answered.
  // The cancelled use has had its amount back once, by its cancellation.
  const QString unsent = QString::fromStdString("amount = 3000 OR code = '9302' OR approval = '" +
                                                use.ApprovalNumber + "'");
  EXPECT_TRUE(Amend("UPDATE operations SET state = 'answering' WHERE amount = 2000 OR " + unsent));
  EXPECT_TRUE(Amend("UPDATE operations SET sent = 0 WHERE " + unsent));
  server = std::make_unique<testsupport::PaySimProcess>(database, server->Port(), testsupport::FreePort());
  EXPECT_EQ(Balance(kVoucher), 47000);
  EXPECT_EQ(Scalar(QString::fromStdString("SELECT state = 'done' FROM operations WHERE approval = '" +
                                          use.ApprovalNumber + "'")),
            1);
  // The refund never announced is taken back.
  EXPECT_EQ(Scalar(QString::fromStdString("SELECT balance FROM instruments WHERE number = '" + kCard + "'")), 170000);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM operations WHERE state = 'reversed'"), 2);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM operations WHERE state = 'reversed' AND (amount = 3000 OR code = '9302')"),
            2);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM operations WHERE state = 'answering'"), 0);

  // Books of the version before, with an answer still to be confirmed: it stands.
  server->Stop(SIGKILL);
  EXPECT_TRUE(Amend("ALTER TABLE operations DROP COLUMN sent"));
  EXPECT_TRUE(Amend("UPDATE operations SET state = 'answering' WHERE amount = 1000"));
  server = std::make_unique<testsupport::PaySimProcess>(database, server->Port(), testsupport::FreePort());
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM operations WHERE amount = 1000 AND state = 'done'"), 1);
  EXPECT_TRUE(IsAccepted(Exchange(BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(500)))));
  EXPECT_EQ(Balance(kVoucher), 46500);
}

namespace {

using Clock = std::chrono::steady_clock;

// The whole answer to GET / on `port` (the server hangs up after it).
std::string ReportPage(int port) {
  const int fd = ConnectTo(port);
  const std::string request = "GET / HTTP/1.0\r\n\r\n";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string got;
  char buffer[4096];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) got.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  return got;
}

// How long the server keeps a client that sends a byte every 200 ms and never a
// whole request.
Clock::duration TrickleUntilCutOff(int port, const std::string& first) {
  const auto start = Clock::now();
  const int fd = ConnectTo(port);
  send(fd, first.data(), first.size(), MSG_NOSIGNAL);
  while (Clock::now() - start < std::chrono::seconds(15)) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 200) > 0) {
      char byte;
      if (recv(fd, &byte, 1, MSG_DONTWAIT) <= 0) break;  // hung up on (or reset)
    }
    if (send(fd, "A", 1, MSG_NOSIGNAL) < 0) break;
  }
  close(fd);
  return Clock::now() - start;
}

}  // namespace

// Clients that open a connection and then say nothing, half a request, or a byte now
// and then get a time limit for the whole request, each on its own: the terminals'
// inquiries and the report page are answered at once meanwhile.
TEST_F(PaySimTest, SlowClientsOnEitherPortKeepNobodyWaiting) {
  std::vector<int> holding;
  for (int i = 0; i < 6; ++i) {
    holding.push_back(Connect());
    if (i % 2 == 1) send(holding.back(), "\x02PAIR\x1C", 6, MSG_NOSIGNAL);
  }
  for (int i = 0; i < 3; ++i) {
    holding.push_back(ConnectTo(server->HttpPort()));
    if (i == 1) send(holding.back(), "GET / HT", 8, MSG_NOSIGNAL);
  }
  Clock::duration paymentTrickle{}, reportTrickle{};
  std::thread trickling([&] { paymentTrickle = TrickleUntilCutOff(server->Port(), "\x02"); });
  std::thread tricklingReport([&] { reportTrickle = TrickleUntilCutOff(server->HttpPort(), "GET /"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // all of them in before the terminals

  std::atomic<int> answered{0};
  std::atomic<Clock::rep> slowest{0};
  std::vector<std::thread> terminals;
  for (int t = 0; t < 10; ++t)
    terminals.emplace_back([&, t] {
      testsupport::Module own;
      const auto start = Clock::now();
      const auto [ok, reply] =
          own.Call(BuildVoucherInquiryRequest({"T" + std::to_string(t), "1234567890"}, kVoucher), server->Port());
      const Clock::rep took = (Clock::now() - start).count();
      for (Clock::rep was = slowest; took > was && !slowest.compare_exchange_weak(was, took);) {
      }
      if (ok && IsAccepted(CutPayload(reply))) ++answered;
    });
  for (auto& t : terminals) t.join();
  const auto reportStart = Clock::now();
  const std::string page = ReportPage(server->HttpPort());
  const auto reportTook = Clock::now() - reportStart;

  EXPECT_EQ(answered, 10);
  // Well within the time a silent client is given (5 s), let alone the module's.
  EXPECT_LT(Clock::duration(slowest.load()), std::chrono::seconds(2));
  EXPECT_EQ(page.rfind("HTTP/1.0 200 OK", 0), 0u);
  EXPECT_LT(reportTook, std::chrono::seconds(2));
  trickling.join();
  tricklingReport.join();
  EXPECT_GT(paymentTrickle, std::chrono::seconds(4));  // bytes keep coming: not let go per byte...
  EXPECT_LT(paymentTrickle, std::chrono::seconds(8));  // ...but by the limit of the whole request
  EXPECT_GT(reportTrickle, std::chrono::seconds(4));
  EXPECT_LT(reportTrickle, std::chrono::seconds(8));
  // Those that held their connections have been let go by the same limit.
  for (const int fd : holding) {
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 3000), 1);
    char byte;
    EXPECT_LE(recv(fd, &byte, 1, MSG_DONTWAIT), 0);
    close(fd);
  }
}

// The books are their owner's alone, whatever the umask paysim starts with; the
// report page, which anyone on the machine can open, shows an instrument by the
// last four digits of its number, with its balance.
TEST(PaySimBooks, PrivateBooksAndAReportWithoutWholeNumbers) {
  testsupport::TempDir dir;
  const std::string books = dir.dir() + "paysim.db";
  const mode_t was = umask(0);
  testsupport::PaySimProcess server(books, testsupport::FreePort(), testsupport::FreePort());
  umask(was);
  testsupport::Module module;
  const auto [ok, reply] = module.Call(BuildVoucherUseRequest(kTerminal, kVoucher, SplitAmount(1000)), server.Port());
  ASSERT_TRUE(ok && IsAccepted(CutPayload(reply))) << reply;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    struct stat st {};
    ASSERT_EQ(stat((books + suffix).c_str(), &st), 0) << suffix;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << suffix;
  }

  const std::string page = ReportPage(server.HttpPort());
  ASSERT_EQ(page.rfind("HTTP/1.0 200 OK", 0), 0u) << page.substr(0, 100);
  for (const char* whole : {"1000000000001", "1000000000003", "9000000000001"})
    EXPECT_EQ(page.find(whole), std::string::npos) << whole;
  // The use, and each instrument's row with its balance.
  EXPECT_NE(page.find("<td>*********0001</td><td class=ok>0000</td><td class=n>1,000원</td>"), std::string::npos);
  EXPECT_NE(page.find("<td>*********0001</td><td>이용권 CT01</td><td>선발금 5만원권</td><td class=n>49,000원</td>"),
            std::string::npos);
  EXPECT_NE(page.find("<td>*********0002</td><td>큐비캐쉬</td><td>큐비캐쉬 카드</td><td class=n>50,000원</td>"),
            std::string::npos);
}

// A port the service can't use is refused at once: not cut to 16 bits, not 0 (a port
// of the system's choosing nobody would look for), not read up to the first letter.
// So is a time limit for an answer's delivery of 0 (every answer reversed) or beyond
// what it allows.
TEST(PaySimOptions, PortsAndTimeLimitsOutOfRangeAreRefused) {
  for (const std::string args : {"--port abc", "--port 0", "--port 65536", "--http-port 70000", "--http-port 0",
                                 "--port -1", "--port 19976x", "--port ''", "--http-port", "--delivery-ms 0",
                                 "--delivery-ms 600001", "--delivery-ms 4294967297", "--delivery-ms 10s"}) {
    const std::string command = std::string(PAYSIM_PATH) + " --db /nonexistent/folder/paysim.db " + args + " 2>&1";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string said;
    char buffer[256];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, out)) > 0;) said.append(buffer, n);
    const int status = pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args << ": " << status;
    const std::string option = args.substr(0, args.find(' '));
    std::string expected = "paysim: " + option + " wants a port from 1 to 65535";
    if (args == "--http-port") expected = "usage: paysim";
    if (option == "--delivery-ms") expected = "paysim: --delivery-ms wants milliseconds from 1 to 600000";
    EXPECT_NE(said.find(expected), std::string::npos) << args << ": " << said;
  }
}

namespace {

// A server that takes one request and answers it with `reply`, then hangs up.
class OneShotServer {
 public:
  explicit OneShotServer(std::string reply)
      : listener_(socket(AF_INET, SOCK_STREAM, 0)), port_(testsupport::BindLoopback(listener_)) {
    listen(listener_, 1);
    thread_ = std::thread([this, reply = std::move(reply)] {
      const int client = accept(listener_, nullptr, nullptr);
      char buffer[2048];
      [[maybe_unused]] const ssize_t got = recv(client, buffer, sizeof buffer, 0);
      [[maybe_unused]] const ssize_t sent = send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      close(client);
    });
  }
  ~OneShotServer() {
    thread_.join();
    close(listener_);
  }
  int Port() const { return port_; }

 private:
  int listener_;
  int port_;
  std::thread thread_;
};

}  // namespace

// Once the request went out, the operator hears that the outcome is unknown.
TEST(StandInModule, RepliesThatAreNotOneFramedMessageAreTheOperatorsError) {
  testsupport::Module module;
  const std::string request = BuildVoucherInquiryRequest(kTerminal, kVoucher);
  const std::string badReply = K("응답전문오류: 결과를 알 수 없습니다. 조회로 확인한 뒤 다시 하십시오.");
  const std::string lost = K("연결끊김: 결과를 알 수 없습니다. 조회로 확인한 뒤 다시 하십시오.");
  for (const auto& [reply, said] : {std::pair{std::string("no frame at all"), badReply},
                                    std::pair{"\x02" + std::string(2000, 'A') + "\x03", badReply},
                                    std::pair{std::string("\x02" "0000 cut short"), lost},
                                    std::pair{std::string(), lost}}) {
    OneShotServer server(reply);
    const auto [ok, text] = module.Call(request, server.Port());
    EXPECT_FALSE(ok) << reply.substr(0, 20);
    EXPECT_EQ(text, said) << reply.substr(0, 20);
  }
  OneShotServer good("\x02" "0000ok\x03" "trailing bytes");
  const auto [ok, text] = module.Call(request, good.Port());
  EXPECT_TRUE(ok);
  EXPECT_EQ(text, "\x02" "0000ok\x03");  // one message, up to its ETX
}
