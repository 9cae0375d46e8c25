// The operations' outcomes as the window applies them, with the scripted module:
// which label shows the text, which fields stay, where the cursor goes, what is
// printed, what reaches the message boxes. Every outcome itself is tested in
// tests/payment/OperationsTest.cpp.
#include <QMessageBox>
#include <QTimer>

#include "WindowFixture.h"

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
  EXPECT_EQ(messages.Errors, std::vector<std::string>{"Disk full"});
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
