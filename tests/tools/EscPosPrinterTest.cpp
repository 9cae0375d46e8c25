#include "tools/receipt-viewer/EscPosPrinter.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "receipt/ReceiptPrinter.h"
#include "tests/support/GoldenReceipts.h"
#include "tools/receipt-viewer/ReceiptPicture.h"

using namespace viewer;
using testsupport::K;
using namespace std::string_view_literals;

namespace {

std::vector<PrintedReceipt> Print(std::string_view bytes, std::vector<std::string>* notes = nullptr) {
  EscPosPrinter printer;
  printer.Feed(bytes);
  std::vector<PrintedReceipt> receipts = printer.TakeCut();
  PrintedReceipt rest = printer.TearOff();
  if (!rest.empty()) receipts.push_back(rest);
  if (notes) *notes = printer.TakeNotes();
  return receipts;
}

std::string WithoutBlankLines(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    if (end > start) out += text.substr(start, end - start + 1);
  return out;
}

}  // namespace

TEST(EscPosPrinter, ProgramReceiptsOnBothRoutesReadAlike) {
  for (const auto& [name, input] : testsupport::GoldenCases()) {
    const std::string base = std::string("receipt-") + name;
    const auto lpt = Print(testsupport::GoldenBytes(base + ".lpt"));
    const auto serial = Print(testsupport::GoldenBytes(base + ".serial"));
    ASSERT_EQ(lpt.size(), 1u) << name;
    ASSERT_EQ(serial.size(), 1u) << name;
    EXPECT_EQ(ReceiptText(lpt[0]), testsupport::GoldenBytes(base + ".lpt.txt")) << name;
    EXPECT_EQ(ReceiptText(serial[0]), testsupport::GoldenBytes(base + ".serial.txt")) << name;
    // The printer-port route ends its line-feed lines in LF CR LF: more blank paper,
    // the same text.
    EXPECT_EQ(WithoutBlankLines(ReceiptText(lpt[0])), WithoutBlankLines(ReceiptText(serial[0]))) << name;
    EXPECT_TRUE(serial[0][0].DoubleHeight);  // the title
    EXPECT_TRUE(serial[0][3].Bold && !serial[0][3].DoubleHeight);
  }
}

TEST(EscPosPrinter, ModesAlignmentAndCuts) {
  const auto receipts = Print(
      "\x1B" "a\x01" "mid\n"
      "\x1B" "a2right\n"
      "\x1B" "a\x00\x1D!\x11" "big\n"
      "\x1D!\x00\x1B" "E\x01" "bold\n"
      "\x1B" "E\x00" "a\tb\n"
      "\x1DV\x42\x03" "next\n\x1Bm" "third\n\x1DV\x00"sv);
  ASSERT_EQ(receipts.size(), 3u);
  const PrintedReceipt& r = receipts[0];
  EXPECT_EQ(r[0].Text, std::string(19, ' ') + "mid");
  EXPECT_EQ(r[1].Text, std::string(37, ' ') + "right");
  EXPECT_TRUE(r[2].DoubleHeight && r[2].DoubleWidth);
  EXPECT_TRUE(r[3].Bold && !r[3].DoubleWidth);
  EXPECT_EQ(r[4].Text, "a       b");
  EXPECT_EQ(ReceiptText(receipts[1]), "next\n");
  EXPECT_EQ(ReceiptText(receipts[2]), "third\n");
}

TEST(EscPosPrinter, LongLinesWrapAtFortyTwoColumnsWithoutSplittingACharacter) {
  const std::string korean = K("가");
  const auto wide = Print(std::string(41, 'x') + korean + "y\n");
  ASSERT_EQ(wide[0].size(), 2u);
  EXPECT_EQ(wide[0][0].Text, std::string(41, 'x'));
  EXPECT_EQ(wide[0][1].Text, "가y");
  const auto doubled = Print("\x1B!\x20" + std::string(50, 'w') + "\n");
  EXPECT_EQ(doubled[0][0].Text.size(), 21u);
}

TEST(EscPosPrinter, MalformedStreamsPrintWhatCanBeRead) {
  std::vector<std::string> notes;
  auto r = Print("ok\n\x1B\x99" "after\n\x1B!", &notes);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(ReceiptText(r[0]), "ok\nafter\n");
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_NE(notes[0].find("ESC 99"), std::string::npos);
  EXPECT_NE(notes[1].find("cut off"), std::string::npos);

  r = Print("bad \xB0\n");  // a lead byte without its trail
  EXPECT_EQ(ReceiptText(r[0]), "bad \xEF\xBF\xBD\n");

  std::string noise;
  for (int i = 0; i < 20000; ++i) noise += static_cast<char>((i * 7919 + 13) % 256);
  EXPECT_NO_THROW(Print(noise));
}

TEST(EscPosPrinter, CommandsMayArriveInPieces) {
  EscPosPrinter printer;
  for (char c : std::string("\x1B!\x10title\n\x1B") + "i") printer.Feed(std::string_view(&c, 1));
  const auto receipts = printer.TakeCut();
  ASSERT_EQ(receipts.size(), 1u);
  EXPECT_TRUE(receipts[0][0].DoubleHeight);
  EXPECT_EQ(receipts[0][0].Text, "title");
}

// DLE EOT 1, 2, 4 answered a byte each from the condition; the requests print
// nothing, also cut in pieces, also in the middle of a line.
TEST(EscPosPrinter, StatusRequestsAreAnsweredFromTheCondition) {
  const std::string request = "\x10\x04\x01\x10\x04\x02\x10\x04\x04";
  const std::pair<PrinterCondition, std::string> answers[] = {
      {PrinterCondition::Ready, "\x12\x12\x12"},     {PrinterCondition::PaperNearEnd, "\x12\x12\x1E"},
      {PrinterCondition::PaperEnd, "\x1A\x32\x7E"},  {PrinterCondition::CoverOpen, "\x1A\x16\x12"},
      {PrinterCondition::Offline, "\x1A\x12\x12"}};
  for (const auto& [condition, answer] : answers) {
    EscPosPrinter printer;
    printer.SetCondition(condition);
    printer.Feed("ab");
    for (char c : request) printer.Feed(std::string_view(&c, 1));
    printer.Feed("c\n");
    EXPECT_EQ(printer.TakeAnswers(), answer);
    EXPECT_EQ(printer.TakeAnswers(), "");
    EXPECT_EQ(ReceiptText(printer.TearOff()), "abc\n");
    EXPECT_TRUE(printer.TakeNotes().empty());
  }
  EXPECT_EQ(ConditionNamed("cover-open"), PrinterCondition::CoverOpen);
  EXPECT_EQ(ConditionNamed("near-end"), PrinterCondition::PaperNearEnd);
  EXPECT_FALSE(ConditionNamed("jammed"));

  std::vector<std::string> notes;
  EXPECT_EQ(ReceiptText(Print("\x10\x14\x01x\n", &notes)[0]), "x\n");
  ASSERT_EQ(notes.size(), 2u);  // DLE DC4 (not a status request) and its stray argument
  EXPECT_NE(notes[0].find("DLE 14"), std::string::npos);
}

TEST(ReceiptPicture, HeightFollowsTheLinesAndDoubleHeightTakesTwice) {
  const PrintedReceipt one{{"a", false, false, false}};
  const PrintedReceipt two{{"a", false, false, false}, {"b", false, false, false}};
  const PrintedReceipt tall{{"a", false, false, false}, {"B", true, false, true}};
  const int h1 = ReceiptPicture(one).height();
  const int h2 = ReceiptPicture(two).height();
  const int line = h2 - h1;
  EXPECT_GT(line, 0);
  EXPECT_EQ(ReceiptPicture(tall).height(), h1 + 2 * line);
  EXPECT_EQ(ReceiptPicture(one).width(), ReceiptPicture(tall).width());
}

TEST(ReceiptViewerProgram, UnreadableInputIsAnErrorAndFilesGetAPairEach) {
  testsupport::TempDir dir;
  const std::string program = RECEIPT_VIEWER_PATH;
  EXPECT_NE(std::system((program + " -o " + dir.dir() + " " + dir.dir() + "missing 2>/dev/null").c_str()), 0);
  const std::string input = std::string(VEK_TEST_DATA_DIR) + "/golden/receipt-voucher-use.lpt";
  ASSERT_EQ(std::system((program + " -o " + dir.dir() + "out " + input + " 2>/dev/null").c_str()), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "out" / "receipt-1.png"));
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "out" / "receipt-1.txt"),
            testsupport::GoldenBytes("receipt-voucher-use.lpt.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "out" / "receipt-2.txt"));
}

TEST(ReceiptViewerProgram, TheClosingsTextRenderingsAreWhatItMakesOfBothRoutes) {
  testsupport::TempDir dir;
  for (const std::string route : {"lpt", "serial"}) {
    const std::string input = std::string(VEK_TEST_DATA_DIR) + "/golden/closing." + route;
    ASSERT_EQ(std::system((std::string(RECEIPT_VIEWER_PATH) + " --text -o " + dir.dir() + route + " " + input).c_str()), 0);
    EXPECT_EQ(testsupport::ReadFile(dir.path() / route / "receipt-1.txt"),
              testsupport::GoldenBytes("closing." + route + ".txt"))
        << route;
  }
}

TEST(ReceiptViewerProgram, FollowsAFifoAndWritesAPairForEachReceipt) {
  testsupport::TempDir dir;
  const std::string fifo = dir.dir() + "printer";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const pid_t viewer = fork();
  if (viewer == 0) {
    execl(RECEIPT_VIEWER_PATH, "receipt-viewer", "-o", (dir.dir() + "out").c_str(), "--follow", fifo.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string receipt = testsupport::GoldenBytes("receipt-voucher-use.lpt");
  const auto arrived = [&](const char* name) {
    for (int i = 0; i < 100 && !std::filesystem::exists(dir.path() / "out" / name); ++i) usleep(50000);
    return std::filesystem::exists(dir.path() / "out" / name);
  };
  testsupport::WriteFile(fifo, receipt);  // each receipt opens the printer anew, as the terminal does
  EXPECT_TRUE(arrived("receipt-1.png"));
  testsupport::WriteFile(fifo, receipt);
  EXPECT_TRUE(arrived("receipt-2.png"));
  kill(viewer, SIGTERM);
  waitpid(viewer, nullptr, 0);
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "out" / "receipt-2.txt"),
            testsupport::GoldenBytes("receipt-voucher-use.lpt.txt"));
}

// The virtual serial printer as the terminal sees it: it answers the status request
// with the condition its state file names at the time, and prints the receipt.
TEST(ReceiptViewerProgram, VirtualSerialPrinterAnswersItsStateAsSet) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir.path() / "devices");
  const std::string state = dir.dir() + "printer-state";
  testsupport::WriteFile(state, "paper-end\n");
  const pid_t viewer = fork();
  if (viewer == 0) {
    execl(RECEIPT_VIEWER_PATH, "receipt-viewer", "--text", "-o", (dir.dir() + "out").c_str(), "--pty",
          (dir.dir() + "devices/COM3").c_str(), "--state", state.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 100 && !std::filesystem::is_symlink(dir.path() / "devices" / "COM3"); ++i) usleep(50000);
  serial::TSioComm sio(nullptr, {platform::SystemSerialDevices(), std::make_shared<serial::NoMainThread>(), dir.dir()});
  sio.SetPortNum(3);
  sio.SetBaudrate(serial::TSioBaudrate::br9600);
  ASSERT_NO_THROW(sio.Open());
  receipt::ReceiptPrinter printer(sio, dir.dir());
  const auto text = [](const std::string& utf8) { return std::optional(K(utf8)); };
  EXPECT_EQ(printer.NotReady(3).NotReady, text("영수증 용지가 없습니다 (COM3). 용지를 넣고 다시 하십시오."));
  testsupport::WriteFile(state, "cover-open");
  EXPECT_EQ(printer.NotReady(3).NotReady, text("프린터 덮개가 열려 있습니다 (COM3). 덮개를 닫고 다시 하십시오."));
  testsupport::WriteFile(state, "offline");
  EXPECT_EQ(printer.NotReady(3).NotReady, text("프린터가 오프라인입니다 (COM3). 전원과 연결을 확인하고 다시 하십시오."));
  testsupport::WriteFile(state, "near-end");
  const receipt::PrinterReadiness nearEnd = printer.NotReady(3);
  EXPECT_FALSE(nearEnd.NotReady);
  EXPECT_EQ(nearEnd.Warning, text("영수증 용지가 얼마 남지 않았습니다 (COM3). 용지를 준비하십시오."));
  std::filesystem::remove(state);
  const receipt::PrinterReadiness ready = printer.NotReady(3);
  EXPECT_FALSE(ready.NotReady || ready.Warning);

  const std::string receipt = testsupport::GoldenBytes("receipt-voucher-use.serial");
  ASSERT_TRUE(sio.WriteText(receipt));
  for (int i = 0; i < 100 && !std::filesystem::exists(dir.path() / "out" / "receipt-1.txt"); ++i) usleep(50000);
  kill(viewer, SIGTERM);
  waitpid(viewer, nullptr, 0);
  // The five requests printed nothing: the receipt alone, as from the file.
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "out" / "receipt-1.txt"),
            testsupport::GoldenBytes("receipt-voucher-use.serial.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "out" / "receipt-2.txt"));
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QGuiApplication app(argc, argv);  // fonts for the pictures
  return RUN_ALL_TESTS();
}
