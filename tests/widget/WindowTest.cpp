// The window as the operator meets it: start-up, keypad, screens and commands.
#include "WindowFixture.h"
#include "shell/Pictures.h"

using testsupport::K;

namespace {
bool Shows(const QPixmap& shown, const char* picture) { return shown.toImage() == shell::EmbeddedPicture(picture); }

widgets::TSpeedButton* Key(const std::array<widgets::TSpeedButton*, 12>& keys, const char* value) {
  for (auto* key : keys)
    if (key->Hint == value) return key;
  return nullptr;
}
}  // namespace

TEST_F(WindowTest, StartsOnTheVoucherScreenWithTheCursorInTheVoucherNumber) {
  auto& w = Start();
  EXPECT_EQ(w.geometry(), QRect(0, 0, 1024, 768));
  EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(w.PC->currentIndex(), 0);
  EXPECT_TRUE(w.edTno->hasFocus());
  EXPECT_EQ(w.ActiveEntryField, w.edTno);
  EXPECT_EQ(w.Settings.TerminalId, "1004");
  EXPECT_TRUE(messages.Messages.empty());
  EXPECT_EQ(w.lMsg1->text(), " ");
  EXPECT_EQ(w.ImageButton1->size(), QSize(257, 58));
  EXPECT_EQ(w.ImageButton2->pos(), QPoint(262, 22));
  EXPECT_TRUE(Shows(w.Image2->pixmap(), "voucher-screen.jpg"));
  // The cash-card screen's background, decoded after the window was shown, arrives
  // without a touch.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.Image3->pixmap().isNull(); }, 5000));
  EXPECT_TRUE(Shows(w.Image3->pixmap(), "cashcard-screen.jpg"));
}

TEST_F(WindowTest, PicturesDecodedAheadByStartUpAreTheOnesShown) {
  shell::StartupPreparation prepared(shell::kFirstScreenPictures);
  auto& w = Start(&prepared);
  EXPECT_TRUE(Shows(w.Image1->pixmap(), "header.jpg"));
  EXPECT_TRUE(Shows(w.ImageButton1->PictureUp(), "voucher-button-up.jpg"));
  EXPECT_TRUE(Shows(w.ImageButton1->PictureDown(), "voucher-button-down.jpg"));
  EXPECT_TRUE(Shows(w.ImageButton2->PictureUp(), "cashcard-button-up.jpg"));
  EXPECT_TRUE(Shows(w.ImageButton2->PictureOver(), "cashcard-button-down.jpg"));
  EXPECT_TRUE(Shows(w.ImageButton3->PictureDown(), "report-button.jpg"));
  EXPECT_TRUE(Shows(w.Image2->pixmap(), "voucher-screen.jpg"));
  EXPECT_TRUE(Shows(QPixmap::fromImage(prepared.TakePicture("header.jpg")), "header.jpg"));  // taken: decoded anew
}

TEST_F(WindowTest, SerialPrinterThatCannotOpenIsToldOnceAtStartUp) {
  WriteSettings("7");
  std::filesystem::create_symlink(dir.path() / "no-such-tty", dir.path() / "devices" / "COM7");
  auto& w = Start();
  EXPECT_EQ(messages.Messages, std::vector<std::string>{K("포트오픈오류, 포트번호설정을 ini에서 확인하세요.")});
  EXPECT_FALSE(w.sio->IsOpen());
  EXPECT_EQ(w.Settings.PrinterPort, 7);
  EXPECT_TRUE(w.edTno->hasFocus());
}

TEST_F(WindowTest, NegativePrinterPortOpensNothingAndSaysNothing) {
  WriteSettings("-1");
  auto& w = Start();
  EXPECT_TRUE(messages.Messages.empty());
  EXPECT_FALSE(w.sio->IsOpen());
}

TEST_F(WindowTest, KeypadTypesAtTheCaretAndDoubleZeroAppends) {
  auto& w = Start();
  w.edTno->setText("123");
  w.edTno->setCursorPosition(1);
  Click(Key(w.VoucherKeys, "5"));
  EXPECT_EQ(w.edTno->text(), "1523");
  EXPECT_EQ(w.edTno->cursorPosition(), 2);
  Click(Key(w.VoucherKeys, "00"));
  EXPECT_EQ(w.edTno->text(), "152300");
  EXPECT_EQ(w.edTno->cursorPosition(), 6);
  EXPECT_TRUE(w.edTno->hasFocus());  // the keys never take the focus

  Type(w.edTamt, "1000");
  w.edTamt->selectAll();
  Click(Key(w.VoucherKeys, "5"));
  EXPECT_EQ(w.edTamt->text(), "5");
  w.edTamt->selectAll();
  Click(Key(w.VoucherKeys, "00"));
  EXPECT_EQ(w.edTamt->text(), "500");

  Click(Key(w.VoucherKeys, "BACK"));
  EXPECT_EQ(w.edTamt->text(), "50");
  Type(w.edTdt, "");
  Click(Key(w.VoucherKeys, "BACK"));
  EXPECT_EQ(w.edTdt->text(), "");
}

// Without a window manager the touch on a key is also the one that activates the
// window, and its keystroke may come first: it still belongs in the field.
TEST_F(WindowTest, KeypadReachesTheFieldWhileTheWindowIsNotYetActive) {
  auto& w = Start();
  {
    // A window that takes the activation and goes leaves no window active.
    QWidget other;
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  }
  ASSERT_EQ(QApplication::focusObject(), nullptr);
  ASSERT_EQ(w.focusWidget(), w.edTno);
  Click(Key(w.VoucherKeys, "1"));
  Click(Key(w.VoucherKeys, "2"));
  Click(Key(w.VoucherKeys, "BACK"));
  Click(Key(w.VoucherKeys, "3"));
  EXPECT_EQ(w.edTno->text(), "13");
}

// A window that stalled while the operator tapped handles the taps in one go: the
// command reads its fields while the digits tapped before it are still on their
// way as keystrokes. Every one of them is in the field it reads, in the order
// tapped, the double zero among them, and nothing arrives after the command.
TEST_F(WindowTest, KeysTappedBeforeACommandAreInTheFieldItReads) {
  auto& w = Start();
  w.edTno->setText("12345");
  Type(w.edTamt, "1");
  Reply({{1, "0101"}, {5, "refused"}});
  for (const char* key : {"5", "0", "00"}) QTest::mouseClick(Key(w.VoucherKeys, key), Qt::LeftButton);
  QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
  EXPECT_EQ(Sent().substr(44, 9), "000015000");
  QApplication::processEvents();
  EXPECT_EQ(w.edTamt->text(), "15000");

  // A touch on the amount field between the taps, handled before the keystrokes
  // queued ahead of it: each digit stays in the field it was tapped for.
  w.edTamt->clear();
  w.edTno->setFocus(Qt::MouseFocusReason);
  QApplication::processEvents();
  for (const char* key : {"5", "6"}) QTest::mouseClick(Key(w.VoucherKeys, key), Qt::LeftButton);
  w.edTamt->setFocus(Qt::MouseFocusReason);
  for (const char* key : {"7", "00"}) QTest::mouseClick(Key(w.VoucherKeys, key), Qt::LeftButton);
  QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
  EXPECT_EQ(Sent().substr(31, 13), "1234556      ");
  EXPECT_EQ(Sent().substr(44, 9), "000000700");
}

TEST_F(WindowTest, DoubleZeroWithoutAnActiveFieldDoesNothing) {
  auto& w = Start();
  w.edTno->clearFocus();
  EXPECT_EQ(w.ActiveEntryField, nullptr);
  Click(Key(w.VoucherKeys, "00"));
  Click(Key(w.VoucherKeys, "7"));
  EXPECT_EQ(w.edTno->text(), "");
}

TEST_F(WindowTest, ScreenButtonsMoveTheFocusAndKeepTheTexts) {
  auto& w = Start();
  Type(w.edTamt, "100");
  QTest::mouseClick(w.ImageButton1, Qt::LeftButton);
  EXPECT_TRUE(w.edTno->hasFocus());
  Click(Key(w.VoucherKeys, "00"));
  EXPECT_EQ(w.edTno->text(), "00");

  QTest::mouseClick(w.ImageButton2, Qt::LeftButton);
  EXPECT_EQ(w.PC->currentIndex(), 1);
  EXPECT_TRUE(Shows(w.Image3->pixmap(), "cashcard-screen.jpg"));  // also when chosen before its decoding ended
  EXPECT_EQ(w.ActiveEntryField, w.edMno);
  Click(Key(w.CashCardKeys, "9"));
  EXPECT_EQ(w.edMno->text(), "9");
  QTest::mouseClick(w.ImageButton1, Qt::LeftButton);
  EXPECT_EQ(w.edTamt->text(), "100");
  EXPECT_EQ(w.edTno->text(), "00");
  EXPECT_TRUE(w.edTno->hasFocus());
  EXPECT_EQ(w.ImageButton1->State(), widgets::TImageButtonState::ibReleased);  // back to its up picture
}

TEST_F(WindowTest, WebPageScreenWithoutItsBrowserIsToldAndStays) {
  auto& w = Start();
  QTest::mouseClick(w.ImageButton3, Qt::LeftButton);
  EXPECT_EQ(w.PC->currentIndex(), 2);
  EXPECT_EQ(w.ActiveEntryField, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.Messages.empty(); }, 5000));
  ASSERT_EQ(messages.Messages.size(), 1u);
  EXPECT_NE(messages.Messages[0].find("could not be started"), std::string::npos);
  EXPECT_EQ(w.PC->currentIndex(), 2);
  EXPECT_EQ(w.WEB(), nullptr);
}

// A browser that takes its time to start: the press returns at once, the keypad
// works meanwhile, and every address pressed for reaches the browser once it runs.
TEST_F(WindowTest, WebPageButtonDoesNotWaitForTheBrowser) {
  const auto browser = dir.path() / shell::kWebBrowserProgram;
  testsupport::WriteFile(browser, "#!/bin/sh\nwhile [ ! -e go ]; do sleep 0.02; done\nexec cat >addresses.txt\n");
  std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
  auto& w = Start();
  QTest::mouseClick(w.ImageButton3, Qt::LeftButton);
  QTest::mouseClick(w.ImageButton3, Qt::LeftButton);
  QTest::mouseClick(w.ImageButton1, Qt::LeftButton);
  Click(Key(w.VoucherKeys, "4"));
  EXPECT_EQ(w.edTno->text(), "4");
  testsupport::WriteFile(dir.path() / "go", "");
  const auto addresses = dir.path() / "addresses.txt";
  const std::string twice = std::string(shell::kServiceWebPage) + "\n" + shell::kServiceWebPage + "\n";
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return std::filesystem::exists(addresses) && testsupport::ReadFile(addresses) == twice; }, 5000));
  EXPECT_TRUE(messages.Messages.empty());
}

TEST_F(WindowTest, CloseAreaEndsTheProgram) {
  auto& w = Start();
  QTest::mouseClick(w.Image4, Qt::LeftButton, {}, QPoint(100, 30));
  EXPECT_FALSE(w.isVisible());
}

TEST_F(WindowTest, VoucherCommandsCheckTheirFieldsInOrder) {
  auto& w = Start();
  Reply({{1, "0000"}});
  Click(w.SpeedButton3);
  EXPECT_EQ(messages.Messages, std::vector<std::string>{K("이용권NO를 입력하십시요.")});
  w.edTno->setText("12345");
  Click(w.SpeedButton2);
  EXPECT_EQ(messages.Messages.back(), K("이용금액을 입력하십시요."));
  w.edTamt->setText("1000");
  w.edTdt->setText("20241205");
  Click(w.SpeedButton3);
  EXPECT_EQ(messages.Messages.back(), K("원거래번호를 입력하십시요."));
  EXPECT_EQ(Sent(), "");  // nothing went out
  w.edTreg->setText(" ");  // a blank passes
  Click(w.SpeedButton3);
  EXPECT_EQ(messages.Messages.size(), 3u);
  EXPECT_EQ(Sent().substr(6, 4), "9002");
}
