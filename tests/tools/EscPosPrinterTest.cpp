#include "tools/receipt-viewer/EscPosPrinter.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QGuiApplication app(argc, argv);  // fonts for the pictures
  return RUN_ALL_TESTS();
}
