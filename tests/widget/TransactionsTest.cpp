// The operations' outcomes as the window applies them, with the scripted module:
// which label shows the text, which fields stay, where the cursor goes, what is
// printed, what reaches the message boxes. Every outcome itself is tested in
// tests/payment/OperationsTest.cpp.
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>

#include "WindowFixture.h"
#include "journal/Journal.h"
#include "journal/JournalTexts.h"
#include "receipt/PrinterStatus.h"
#include "tests/support/PseudoTerminal.h"

using testsupport::K;

TEST_F(WindowTest, AcceptedVoucherUsePrintsAndClearsItsFields) {
  auto& w = Start();
  const auto use = testsupport::GoldenOperations()[0];
  w.edTno->setText(QString::fromStdString(use.entries.Number));
  w.edTamt->setText(QString::fromStdString(use.entries.Amount));
  w.edTdt->setText("kept");
  RawReply(1, use.reply);
  w.edTamt->setFocus();
  Click(w.SpeedButton2);
  EXPECT_EQ(Text(w.lMsg1), K("승인되었습니다."));
  EXPECT_EQ(Paper(), Golden("receipt-voucher-use.lpt"));
  EXPECT_EQ(w.edTno->text(), "");
  EXPECT_EQ(w.edTamt->text(), "");
  EXPECT_EQ(w.edTdt->text(), "kept");
  EXPECT_TRUE(w.edTno->hasFocus());
}

TEST_F(WindowTest, RefusedUseKeepsEverythingButTheMessage) {
  auto& w = Start();
  w.edTno->setText("99999");
  w.edTamt->setText("5000");
  Reply({{1, "0101"}, {5, K("잔액이 부족합니다.")}});
  w.edTamt->setFocus();
  Click(w.SpeedButton2);
  EXPECT_EQ(Text(w.lMsg1), K("잔액이 부족합니다."));
  EXPECT_EQ(w.edTno->text(), "99999");
  EXPECT_EQ(w.edTamt->text(), "5000");
  EXPECT_TRUE(w.edTamt->hasFocus());  // not moved
  EXPECT_EQ(Paper(), "");
}

TEST_F(WindowTest, FailedCallShowsTheModuleTextAndReturnsTheCursor) {
  auto& w = Start();
  w.edTamt->setFocus();
  RawReply(0, K(" 서버 연결 실패 "));
  Click(w.SpeedButton1);
  EXPECT_EQ(Text(w.lMsg1), K(" 서버 연결 실패 "));
  EXPECT_TRUE(w.edTno->hasFocus());
}

// What a module or a server sends is text to show, whatever it holds.
TEST_F(WindowTest, ModuleTextsAreShownAsTheyAreAndNeverTakeTheTerminalDown) {
  auto& w = Start();
  RawReply(0, "\xB0\xA1 \xA2\xE8");  // ends in a pair the system's tables lack
  Click(w.SpeedButton1);
  EXPECT_EQ(w.lMsg1->text(), QString::fromUtf8("가 ㉾"));

  const QString markup = QStringLiteral("<b>refused</b> <a href='x'>here</a>");
  RawReply(0, markup.toStdString());
  Click(w.SpeedButton1);
  EXPECT_EQ(w.lMsg1->text(), markup);
  // Drawn as the characters themselves, tags and all.
  EXPECT_GE(w.lMsg1->width(), w.lMsg1->fontMetrics().horizontalAdvance(markup));
}

TEST_F(WindowTest, MessageBoxesShowTheirTextAsPlainText) {
  shell::ModalMessageBoxes boxes;
  QString shownText;
  Qt::TextFormat shownFormat = Qt::RichText;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    shownText = box->text();
    shownFormat = box->textFormat();
    box->accept();
  });
  boxes.ShowError("'<i>12 </i>' is not a valid integer value");
  EXPECT_EQ(shownText, QStringLiteral("'<i>12 </i>' is not a valid integer value"));
  EXPECT_EQ(shownFormat, Qt::PlainText);
}

TEST_F(WindowTest, MissingModuleIsAMessageBoxAndNothingElse) {
  std::filesystem::remove(dir.path() / "VEKDLL.so");
  auto& w = Start();
  w.edTno->setText("1");
  Click(w.SpeedButton1);
  EXPECT_EQ(messages.Messages, std::vector<std::string>{K("신용모듈오류")});
  EXPECT_EQ(w.lMsg1->text(), " ");
  EXPECT_EQ(w.edTno->text(), "1");
}

TEST_F(WindowTest, AcceptedInquiryFillsTheAmount) {
  auto& w = Start();
  w.edTno->setText("12345");
  w.edTamt->setText("typed");
  Reply({{1, "0000"}, {5, K("조회완료")}, {169, K("  잔액 15,000원  ")}, {273, "000015000"}});
  Click(w.SpeedButton1);
  EXPECT_EQ(Text(w.lMsg1), K("잔액 15,000원"));
  EXPECT_EQ(w.edTamt->text(), "15000");
  EXPECT_TRUE(w.edTno->hasFocus());
}

TEST_F(WindowTest, InquiryWithABadAmountIsAConversionErrorForTheOperator) {
  auto& w = Start();
  w.edTamt->setText("typed");
  w.edTamt->setFocus();
  Reply({{1, "0000"}, {169, "inquiry"}, {273, "00001500 "}}, 300);
  Click(w.SpeedButton1);
  EXPECT_EQ(messages.Errors, std::vector<std::string>{"'00001500 ' is not a valid integer value"});
  EXPECT_EQ(Text(w.lMsg1), "inquiry");
  EXPECT_EQ(w.edTamt->text(), "typed");
  EXPECT_TRUE(w.edTamt->hasFocus());
}

TEST_F(WindowTest, ReceiptThatCannotBePrintedLeavesTheFieldsForTheOperator) {
  std::filesystem::remove(dir.path() / "devices" / "LPT1");
  std::filesystem::create_symlink("/dev/full", dir.path() / "devices" / "LPT1");
  auto& w = Start();
  w.edTno->setText("1");
  w.edTamt->setText("100");
  Reply({{1, "0000"}, {5, "ok"}});
  w.edTamt->setFocus();
  Click(w.SpeedButton2);
  EXPECT_EQ(messages.Errors, std::vector<std::string>{"Out of paper (LPT1), the receipt was not printed"});
  EXPECT_EQ(Text(w.lMsg1), "ok");
  EXPECT_EQ(w.edTno->text(), "1");
  EXPECT_TRUE(w.edTamt->hasFocus());
}

TEST_F(WindowTest, RefusedApprovalWritesTheCashCardLabelOnly) {
  auto& w = Start();
  QTest::mouseClick(w.ImageButton2, Qt::LeftButton);
  w.edMno->setText("1");
  w.edMamt->setText("10000");
  Reply({{1, "0201"}, {5, K("카드 정보 없음")}});
  Click(w.SpeedButton5);
  EXPECT_EQ(Text(w.lMSG2), K("카드 정보 없음"));
  EXPECT_EQ(w.lMsg1->text(), " ");
  EXPECT_EQ(w.edMamt->text(), "10000");
  EXPECT_EQ(Sent().substr(44, 9), "000010000");
}

// The checks before any request, as the operator meets them on each screen: the
// message, the fields as typed, nothing sent.
TEST_F(WindowTest, ValuesThatWouldLeaveTheirFieldsAreToldAndNotSent) {
  auto& w = Start();
  Reply({{1, "0000"}, {5, "ok"}});
  w.edTno->setText("10000000000031000");  // typed twice
  w.edTamt->setText("50000");
  Click(w.SpeedButton2);
  EXPECT_EQ(messages.Messages.back(), K("이용권NO는 13자리 이하로 입력하십시요."));
  QTest::mouseClick(w.ImageButton2, Qt::LeftButton);
  w.edMno->setText("9000000000001");
  w.edMamt->setText("-12000");
  Click(w.SpeedButton5);
  EXPECT_EQ(messages.Messages.back(), K("금액은 0원부터 999,999,999원까지 입력하십시요."));
  EXPECT_EQ(messages.Messages.size(), 2u);
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(w.edMamt->text(), "-12000");
  EXPECT_EQ(w.lMSG2->text(), " ");
}

TEST_F(WindowTest, TerminalIdThatWouldMoveTheFieldsIsToldAtStartUpAndNeverSent) {
  testsupport::WriteFile(dir.path() / "VEK_Demo.ini",
                         K("[ VEK플레노르가맹점설정 ]\r\n단말기ID=123456789012345678901\r\n사업자번호=1234567890\r\n"));
  auto& w = Start();
  const std::string told = K("단말기ID오류, 단말기ID는 20자리 이하로 ini에서 설정하세요.");
  EXPECT_EQ(messages.Messages, std::vector<std::string>{told});
  Reply({{1, "0000"}, {5, "ok"}});
  w.edTno->setText("1");
  Click(w.SpeedButton1);
  EXPECT_EQ(messages.Messages, (std::vector<std::string>{told, told}));
  EXPECT_EQ(Sent(), "");
}

// The printer is asked before a payment: one that could not print its receipt is
// never made. An inquiry prints nothing and goes out all the same.
TEST_F(WindowTest, NoPaymentWhenThePrinterCannotPrint) {
  std::filesystem::remove(dir.path() / "devices" / "LPT1");
  std::filesystem::create_symlink(dir.path() / "no-such-folder" / "lp0", dir.path() / "devices" / "LPT1");
  auto& w = Start();
  w.edTno->setText("1");
  w.edTamt->setText("100");
  RawReply(1, testsupport::GoldenOperations()[0].reply);
  Click(w.SpeedButton2);
  EXPECT_EQ(messages.Errors, std::vector<std::string>{"File not found"});
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(w.lMsg1->text(), " ");
  EXPECT_EQ(w.edTamt->text(), "100");
  Reply({{1, "0000"}, {169, "inquiry"}, {273, "000015000"}});
  Click(w.SpeedButton1);
  EXPECT_EQ(Sent().substr(6, 4), "9100");
}

namespace {
// A module whose call takes long enough for the operator to tap again: the taps
// arrive (queued) while it blocks the screen.
class TappedDuringTheCall : public payment::PaymentModule {
 public:
  TappedDuringTheCall(QWidget*& button, std::string reply) : button_(button), reply_(std::move(reply)) {}
  std::optional<payment::ModuleAnswer> Call(std::string_view request) override {
    Requests.emplace_back(request);
    for (int tap = 0; tap < 3; ++tap) {
      const QPointF at(10, 10);
      QCoreApplication::postEvent(button_, new QMouseEvent(QEvent::MouseButtonPress, at, button_->mapToGlobal(at),
                                                           Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
      QCoreApplication::postEvent(button_, new QMouseEvent(QEvent::MouseButtonRelease, at, button_->mapToGlobal(at),
                                                           Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }
    return payment::ModuleAnswer{true, reply_};
  }
  std::vector<std::string> Requests;

 private:
  QWidget*& button_;
  std::string reply_;
};
}  // namespace

TEST_F(WindowTest, TapsWhileTheExchangeBlocksTheScreenAreDropped) {
  QWidget* approve = nullptr;
  auto module = std::make_shared<TappedDuringTheCall>(approve, testsupport::GoldenOperations()[2].reply);
  window = std::make_unique<shell::TfmMain>(shell::TfmMainEnvironment{dir.dir(), module, &messages, nullptr, nullptr});
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  auto& w = *window;
  approve = w.SpeedButton5;
  QTest::mouseClick(w.ImageButton2, Qt::LeftButton);
  w.edMno->setText("9876543210123");
  w.edMamt->setText("50000");
  Click(w.SpeedButton5);
  QApplication::processEvents();
  EXPECT_EQ(module->Requests.size(), 1u);
  EXPECT_EQ(Text(w.lMSG2), K("승인되었습니다."));
  EXPECT_EQ(Paper(), Golden("receipt-cashcard-approval.lpt"));
}

// The journal keeps a payment back (it can't be opened yet): the taps that came
// while the screen waited are dropped too, and none of them sends the payment once
// the journal can be opened.
TEST_F(WindowTest, TapsWhileTheJournalKeepsAPaymentBackAreDropped) {
  testsupport::WriteFile(dir.path() / "VEK_Demo.ini", testsupport::SettingsFile("0") + K("저널파일=later/VEK_Journal.db\r\n"));
  auto& w = Start();
  RawReply(1, testsupport::GoldenOperations()[2].reply);
  QTest::mouseClick(w.ImageButton2, Qt::LeftButton);
  w.edMno->setText("9876543210123");
  w.edMamt->setText("50000");
  for (int tap = 0; tap < 3; ++tap) {
    const QPointF at(10, 10);
    QCoreApplication::postEvent(w.SpeedButton5, new QMouseEvent(QEvent::MouseButtonPress, at, w.SpeedButton5->mapToGlobal(at),
                                                                 Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(w.SpeedButton5, new QMouseEvent(QEvent::MouseButtonRelease, at, w.SpeedButton5->mapToGlobal(at),
                                                                 Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
  }
  QTest::mouseClick(w.SpeedButton5, Qt::LeftButton);
  EXPECT_EQ(Text(w.lMSG2).rfind(K("거래를 보내지 않았습니다: "), 0), 0u) << Text(w.lMSG2);
  std::filesystem::create_directory(dir.path() / "later");
  QApplication::processEvents();
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(Paper(), "");
}

namespace {
// The golden receipt on the printer port, as printed again: one line "재출력" under
// its title.
std::string ReprintedOnPaper(const char* golden) {
  std::string paper = testsupport::GoldenBytes(golden);
  paper.insert(paper.find("\r\n") + 2, std::string(18, ' ') + K("재출력") + "\r\n");
  return paper;
}
}  // namespace

// The print error box offers "다시 인쇄": the same receipt, marked, as often as the
// operator asks; once it is out, the use ends as a printed one does.
TEST_F(WindowTest, ReceiptThatDidNotPrintIsPrintedAgainFromTheErrorBox) {
  const auto lpt1 = dir.path() / "devices" / "LPT1";
  std::filesystem::remove(lpt1);
  std::filesystem::create_symlink("/dev/full", lpt1);
  auto& w = Start();
  const auto use = testsupport::GoldenOperations()[0];
  w.edTno->setText(QString::fromStdString(use.entries.Number));
  w.edTamt->setText(QString::fromStdString(use.entries.Amount));
  RawReply(1, use.reply);
  int asked = 0;
  messages.Reprint = [&] {
    if (++asked == 2) {  // the operator fixed the printer
      std::filesystem::remove(lpt1);
      std::filesystem::create_symlink(dir.path() / "paper.bin", lpt1);
    }
    return true;
  };
  Click(w.SpeedButton2);
  EXPECT_EQ(messages.Errors, (std::vector<std::string>(2, "Out of paper (LPT1), the receipt was not printed")));
  EXPECT_EQ(Paper(), ReprintedOnPaper("receipt-voucher-use.lpt"));
  EXPECT_EQ(w.edTno->text(), "");
  auto journal = journal::Journal::Open(dir.dir() + "VEK_Journal.db");
  EXPECT_EQ(journal->Last()->Printed, journal::PrintState::Printed);
}

// The terminal died between the answer and the paper, more than once, and
// receipts printed since: at the next start one list offers every receipt owed,
// and "모두 인쇄" prints them oldest first with their mark. "나중에" leaves them owed,
// offered again at the next start.
TEST_F(WindowTest, ReceiptsOwedAreOfferedInOneListAtStartUp) {
  {
    auto journal = journal::Journal::Open(dir.dir() + "VEK_Journal.db");
    const auto lines = [](int golden) {
      return receipt::ComposeReceiptLines(testsupport::GoldenCases()[golden].input, testsupport::GoldenSettings(), ",");
    };
    journal->Record({.At = journal::LocalTimeNow(), .Number = "1234567890123", .Total = 10000,
                     .ApprovalNumber = "A0000123", .Lines = lines(0)});
    journal->Record({.At = journal::LocalTimeNow(),
                     .Kind = receipt::ReceiptKind::CashCardApproval,
                     .ApprovalNumber = "C0000001",
                     .Lines = lines(2)});
    journal->SetPrinted(journal->Record({.At = journal::LocalTimeNow(), .ApprovalNumber = "A0000124"}),
                        journal::PrintState::Printed);
  }
  Start();  // later
  ASSERT_EQ(messages.Questions.size(), 1u);
  const std::string& list = messages.Questions[0];
  EXPECT_EQ(list.rfind(K("영수증이 인쇄되지 않은 거래가 있습니다 (2건).\n"), 0), 0u) << list;
  EXPECT_NE(list.find(K("이용권 사용  *********0123  10,000원  A0000123")), std::string::npos) << list;
  EXPECT_NE(list.find(K("큐비캐쉬 승인")), std::string::npos);
  EXPECT_LT(list.find("A0000123"), list.find("C0000001"));
  EXPECT_EQ(list.find("A0000124"), std::string::npos);
  EXPECT_EQ(Paper(), "");
  window.reset();

  messages.Answers = {0};  // 모두 인쇄
  Start();
  ASSERT_EQ(messages.Questions.size(), 2u);
  // Each receipt opens the printer anew: the paper holds the last, the newest.
  EXPECT_EQ(Paper(), ReprintedOnPaper("receipt-cashcard-approval.lpt"));
  EXPECT_TRUE(messages.Errors.empty());
  EXPECT_TRUE(journal::Journal::Open(dir.dir() + "VEK_Journal.db")
                  ->InStates({journal::PrintState::Pending, journal::PrintState::Failed})
                  .empty());
  window.reset();

  Start();  // all printed: nothing to offer
  EXPECT_EQ(messages.Questions.size(), 2u);
}

// A day of a dead printer: one box however many are owed, listing the first ten;
// the printer failing stops the batch and every receipt stays owed.
TEST_F(WindowTest, PrinterFailingStopsTheBatchAndKeepsTheRestOwed) {
  {
    auto journal = journal::Journal::Open(dir.dir() + "VEK_Journal.db");
    for (int i = 0; i < 25; ++i)
      journal->Record({.At = journal::LocalTimeNow(), .ApprovalNumber = "A" + std::to_string(100 + i),
                       .Lines = {"receipt"}});
  }
  const auto lpt1 = dir.path() / "devices" / "LPT1";
  std::filesystem::remove(lpt1);
  std::filesystem::create_symlink("/dev/full", lpt1);
  messages.Answers = {0};
  Start();
  ASSERT_EQ(messages.Questions.size(), 1u);
  EXPECT_NE(messages.Questions[0].find("A109"), std::string::npos);
  EXPECT_EQ(messages.Questions[0].find("A110"), std::string::npos);
  EXPECT_NE(messages.Questions[0].find(K("  외 15건")), std::string::npos);
  ASSERT_EQ(messages.Errors.size(), 1u);
  EXPECT_NE(messages.Errors[0].find(K("인쇄 0건, 남은 영수증 25건")), std::string::npos) << messages.Errors[0];
  EXPECT_EQ(journal::Journal::Open(dir.dir() + "VEK_Journal.db")
                ->InStates({journal::PrintState::Pending, journal::PrintState::Failed})
                .size(),
            25u);
}

// An operation sent and never answered is told at start-up, on a window already
// painted, until the operator settles it with what the service said: once, and
// with no receipt to print for a charge whose answer never came.
TEST_F(WindowTest, UnknownOutcomesAreSettledFromTheStartUpNotice) {
  std::int64_t use = 0, approval = 0;
  {
    auto journal = journal::Journal::Open(dir.dir() + "VEK_Journal.db");
    use = journal->RecordInFlight({.At = journal::LocalTimeNow(), .Number = "9000000000001", .Total = 12000});
    approval = journal->RecordInFlight({.At = journal::LocalTimeNow(), .Kind = receipt::ReceiptKind::CashCardApproval,
                                        .Number = "9000000000002", .Total = 3000});
  }
  // The window's first paint comes before the first box.
  int paintsBeforeTheBox = -1;
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) ++paints;
      return false;
    }
  } counter;
  messages.OnChoose = [&] {
    if (paintsBeforeTheBox < 0) paintsBeforeTheBox = counter.paints;
  };
  QApplication::instance()->installEventFilter(&counter);
  Start();  // later
  QApplication::instance()->removeEventFilter(&counter);
  EXPECT_GT(paintsBeforeTheBox, 0);
  ASSERT_EQ(messages.Questions.size(), 1u);
  EXPECT_EQ(messages.Questions[0].rfind(K("결과를 알 수 없는 거래가 있습니다 (2건)."), 0), 0u) << messages.Questions[0];
  window.reset();

  messages.Answers = {0, 0, 2};  // 조회 결과 입력; the use charged; the approval skipped
  Start();
  ASSERT_EQ(messages.Questions.size(), 4u);
  EXPECT_NE(messages.Questions[2].find("*********0001"), std::string::npos);
  EXPECT_NE(messages.Questions[3].find("*********0002"), std::string::npos);
  ASSERT_EQ(messages.Messages.size(), 1u);
  EXPECT_NE(messages.Messages[0].find(journal::NoReceiptForSettledCharge()), std::string::npos) << messages.Messages[0];
  EXPECT_EQ(Paper(), "");
  {
    auto journal = journal::Journal::Open(dir.dir() + "VEK_Journal.db");
    EXPECT_EQ(journal->ById(use)->Printed, journal::PrintState::SettledCharged);
    EXPECT_FALSE(journal->ById(use)->SettledAt.empty());
    EXPECT_EQ(journal->ById(approval)->Printed, journal::PrintState::Unknown);
  }
  window.reset();

  messages.Answers = {0, 1};  // the approval not charged: the settled use is no longer in the notice
  Start();
  ASSERT_EQ(messages.Questions.size(), 6u);
  EXPECT_EQ(messages.Questions[4].rfind(K("결과를 알 수 없는 거래가 있습니다 (1건)."), 0), 0u);
  EXPECT_EQ(messages.Questions[4].find("*********0001"), std::string::npos);
  EXPECT_EQ(messages.Messages.size(), 1u);
  EXPECT_EQ(journal::Journal::Open(dir.dir() + "VEK_Journal.db")->ById(approval)->Printed,
            journal::PrintState::SettledNotCharged);
  window.reset();

  Start();  // nothing left to tell
  EXPECT_EQ(messages.Questions.size(), 6u);
}

// Settled meanwhile elsewhere (vek settle) while the box asked: the first finding
// stands, and the operator is told.
TEST_F(WindowTest, AnOutcomeIsSettledOnlyOnce) {
  const std::int64_t id = journal::Journal::Open(dir.dir() + "VEK_Journal.db")
                              ->RecordInFlight({.At = journal::LocalTimeNow(), .Number = "9000000000001", .Total = 500});
  messages.Answers = {0, 1};  // 조회 결과 입력; 결제 안 됨
  messages.OnChoose = [&] {
    if (messages.Questions.size() == 2)
      journal::Journal::Open(dir.dir() + "VEK_Journal.db")->Settle(id, journal::Finding::Charged, journal::LocalTimeNow());
  };
  Start();
  ASSERT_EQ(messages.Messages.size(), 1u);
  EXPECT_EQ(messages.Messages[0].rfind(K("이미 정리된 거래입니다.\n"), 0), 0u) << messages.Messages[0];
  EXPECT_EQ(journal::Journal::Open(dir.dir() + "VEK_Journal.db")->ById(id)->Printed,
            journal::PrintState::SettledCharged);
}

// The day's closing: a long press on the header picture away from its buttons,
// then the confirmation. A tap does nothing; a second closing is marked.
TEST_F(WindowTest, LongPressOnTheHeaderClosesTheDayOnceConfirmed) {
  {
    auto journal = journal::Journal::Open(dir.dir() + "VEK_Journal.db");
    journal->SetPrinted(journal->Record({.At = journal::LocalTimeNow(), .Kind = receipt::ReceiptKind::VoucherUse,
                                         .Total = 5000, .ApprovalNumber = "A0000777"}),
                        journal::PrintState::Printed);
  }
  auto& w = Start();
  const QPoint strip(400, 10);  // above the screen buttons
  QTest::mouseClick(w.Image1, Qt::LeftButton, {}, strip);
  QTest::qWait(2300);
  EXPECT_TRUE(messages.Questions.empty());

  const auto hold = [&] {
    QTest::mousePress(w.Image1, Qt::LeftButton, {}, strip);
    QTest::qWait(2300);
    QTest::mouseRelease(w.Image1, Qt::LeftButton, {}, strip);
  };
  hold();  // 취소
  ASSERT_EQ(messages.Questions.size(), 1u);
  EXPECT_NE(messages.Questions[0].find(K("마감 영수증을 인쇄하시겠습니까?")), std::string::npos);
  EXPECT_EQ(Paper(), "");

  messages.Answers = {0};
  hold();
  const std::string first = Paper();
  EXPECT_NE(first.find(K("[일 마감]")), std::string::npos);
  EXPECT_NE(first.find(K("이용권 사용         1건            5,000원")), std::string::npos);
  EXPECT_NE(first.find(K("첫 승인번호 : A0000777")), std::string::npos);
  EXPECT_EQ(first.find(K("번째 마감")), std::string::npos);
  messages.Answers = {0};
  hold();
  EXPECT_NE(Paper().find(K("(2번째 마감)")), std::string::npos);  // the printer opened anew
  EXPECT_TRUE(messages.Errors.empty());
}

// A serial printer that went away after start-up is found before the payment, and
// one that came back is opened again.
TEST_F(WindowTest, SerialPrinterLostAfterStartUpIsFoundBeforeThePaymentAndReopened) {
  WriteSettings("3");
  auto gone = std::make_unique<testsupport::PseudoTerminal>();
  gone->LinkAs(dir.dir(), "COM3");
  auto& w = Start();
  ASSERT_TRUE(w.sio->IsOpen());
  gone->CloseMaster();  // the printer is switched off
  QTest::mouseClick(w.ImageButton2, Qt::LeftButton);
  const auto approval = testsupport::GoldenOperations()[2];
  w.edMno->setText(QString::fromStdString(approval.entries.Number));
  w.edMamt->setText(QString::fromStdString(approval.entries.Amount));
  RawReply(1, approval.reply);
  Click(w.SpeedButton5);
  ASSERT_EQ(messages.Errors.size(), 1u);
  EXPECT_EQ(messages.Errors[0].rfind("Write error (", 0), 0u) << messages.Errors[0];
  EXPECT_EQ(Sent(), "");

  testsupport::PseudoTerminal back;  // switched on again, on the same name
  std::filesystem::remove(dir.path() / "devices" / "COM3");
  back.LinkAs(dir.dir(), "COM3");
  Click(w.SpeedButton5);
  EXPECT_EQ(messages.Errors, std::vector<std::string>{messages.Errors[0]}) << messages.Errors.back();
  const std::string golden = Golden("receipt-cashcard-approval.serial");
  // (asked for its state first; it doesn't answer)
  EXPECT_EQ(back.Read(receipt::kStatusRequest.size() + golden.size()), std::string(receipt::kStatusRequest) + golden);
}

// A serial printer out of paper refuses the payment with a box that says so; one
// whose roll is near its end prints, and the label says so after the message.
TEST_F(WindowTest, SerialPrinterStateIsAskedBeforeThePayment) {
  WriteSettings("3");
  testsupport::PseudoTerminal printer;
  printer.LinkAs(dir.dir(), "COM3");
  auto& w = Start();
  QTest::mouseClick(w.ImageButton2, Qt::LeftButton);
  const auto approval = testsupport::GoldenOperations()[2];
  const auto pay = [&](const std::string& status) {
    w.edMno->setText(QString::fromStdString(approval.entries.Number));
    w.edMamt->setText(QString::fromStdString(approval.entries.Amount));
    RawReply(1, approval.reply);
    auto asked = printer.AnswerNext(receipt::kStatusRequest.size(), status);
    Click(w.SpeedButton5);
    EXPECT_EQ(asked.get(), receipt::kStatusRequest);
  };
  pay("\x1A\x32\x7E");  // offline: the paper ended
  EXPECT_EQ(messages.Errors,
            std::vector<std::string>{testsupport::K("영수증 용지가 없습니다 (COM3). 용지를 넣고 다시 하십시오.")});
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(w.edMamt->text().toStdString(), approval.entries.Amount);

  pay("\x12\x12\x1E");
  EXPECT_EQ(messages.Errors.size(), 1u);
  EXPECT_NE(Sent(), "");
  EXPECT_EQ(Text(w.lMSG2), testsupport::K("승인되었습니다. 영수증 용지가 얼마 남지 않았습니다 (COM3). 용지를 준비하십시오."));
  const std::string golden = Golden("receipt-cashcard-approval.serial");
  EXPECT_EQ(printer.Read(golden.size()), golden);
}

// "모두 인쇄" asks the printer's own state first: out of paper, the box says so and
// every receipt stays owed, none taken for printed by a printer that prints nothing.
TEST_F(WindowTest, ReceiptsOwedWaitForAPrinterWithPaper) {
  {
    auto journal = journal::Journal::Open(dir.dir() + "VEK_Journal.db");
    for (const char* approval : {"A1", "A2"})
      journal->Record({.At = journal::LocalTimeNow(), .ApprovalNumber = approval, .Lines = {"receipt"}});
  }
  WriteSettings("3");
  testsupport::PseudoTerminal printer;
  printer.LinkAs(dir.dir(), "COM3");
  auto asked = printer.AnswerNext(receipt::kStatusRequest.size(), "\x1A\x32\x7E");  // the paper ended
  messages.Answers = {0};  // 모두 인쇄
  Start();
  EXPECT_EQ(asked.get(), receipt::kStatusRequest);
  EXPECT_EQ(messages.Errors,
            std::vector<std::string>{testsupport::K("영수증 용지가 없습니다 (COM3). 용지를 넣고 다시 하십시오.")});
  EXPECT_EQ(printer.Read(1, std::chrono::milliseconds(100)), "");
  EXPECT_EQ(journal::Journal::Open(dir.dir() + "VEK_Journal.db")
                ->InStates({journal::PrintState::Pending, journal::PrintState::Failed})
                .size(),
            2u);
}

