#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An ESC/POS receipt printer with a 42-column roll, as far as receipts need it:
// fed the bytes a terminal sends, it lays out the printed lines and tears off a
// receipt at each cut. Text is code page 949; a Korean character takes two columns.
namespace viewer {

struct PrintedLine {
  std::string Text;  // UTF-8, already placed on the line (alignment blanks included)
  bool DoubleHeight = false;
  bool DoubleWidth = false;
  bool Bold = false;
};

using PrintedReceipt = std::vector<PrintedLine>;

// What the printer's real-time status answers tell, as set for a demo or a test.
enum class PrinterCondition { Ready, PaperNearEnd, PaperEnd, CoverOpen, Offline };

// The condition a word names: ready, near-end, paper-end, cover-open, offline.
std::optional<PrinterCondition> ConditionNamed(std::string_view word);

class EscPosPrinter {
 public:
  static constexpr int kColumns = 42;

  // Any bytes, in any pieces: a command cut between two calls is completed by the next.
  void Feed(std::string_view bytes);
  // Receipts completed by a cut since the last call.
  std::vector<PrintedReceipt> TakeCut();
  // What is on the paper without a cut yet (the end of a stream), then a fresh roll;
  // empty when only blank paper was fed.
  PrintedReceipt TearOff();
  // Commands that were not understood and skipped, one note each.
  std::vector<std::string> TakeNotes();

  // The real-time status requests (DLE EOT n) are answered from the condition, a
  // byte each, and print nothing; the condition applies to requests fed after it is
  // set. The printer prints what it is fed whatever its condition.
  void SetCondition(PrinterCondition condition) { condition_ = condition; }
  // The answers since the last call, for the line back to the terminal.
  std::string TakeAnswers();

 private:
  enum class Align { Left, Center, Right };
  struct Mode {
    bool doubleHeight = false, doubleWidth = false, bold = false;
    Align align = Align::Left;
  };

  std::size_t Command(std::string_view bytes);  // bytes used, 0 when incomplete
  void Text(char c);
  void PrintLine();
  void Cut();
  static PrintedReceipt TrimLeadingFeed(PrintedReceipt paper);
  void Note(const std::string& what);
  char StatusAnswer(unsigned char request) const;

  Mode mode_;
  std::string pending_;       // bytes of an incomplete command
  std::string lineBytes_;     // CP949 bytes of the line being filled
  Mode lineMode_;             // the mode the line started with
  PrintedReceipt paper_;
  std::vector<PrintedReceipt> cut_;
  std::vector<std::string> notes_;
  PrinterCondition condition_ = PrinterCondition::Ready;
  std::string answers_;
};

// The receipt as plain text, a line per printed line.
std::string ReceiptText(const PrintedReceipt& receipt);

}  // namespace viewer
