#include "EscPosPrinter.h"

#include <cstdio>
#include <utility>

#include "platform/text/Cp949.h"

namespace viewer {
namespace {

constexpr char ESC = 0x1B, GS = 0x1D, FS = 0x1C, DLE = 0x10, EOT = 0x04;

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

std::string Hex(std::string_view bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X ", c);
    out += b;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

}  // namespace

void EscPosPrinter::Feed(std::string_view bytes) {
  std::string input = pending_;
  input.append(bytes);
  pending_.clear();
  std::string_view rest(input);
  while (!rest.empty()) {
    const char c = rest.front();
    if (c == ESC || c == GS || c == FS || c == DLE) {
      const std::size_t used = Command(rest);
      if (used == 0) {  // cut off: wait for the rest
        pending_ = rest;
        return;
      }
      rest.remove_prefix(used);
      continue;
    }
    rest.remove_prefix(1);
    switch (c) {
      case '\n': PrintLine(); break;
      case '\r': break;        // the line ends at LF; CR moves nothing on this printer
      case '\0': break;        // padding after commands
      case '\t':
        do Text(' ');
        while (lineBytes_.size() % 8 != 0);
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) Note("control byte " + Hex(std::string_view(&c, 1)));
        else Text(c);
    }
  }
}

std::size_t EscPosPrinter::Command(std::string_view b) {
  if (b.size() < 2) return 0;
  const char lead = b[0], code = b[1];
  const auto arg = [&](std::size_t i) { return static_cast<unsigned char>(b[i]); };
  if (lead == ESC) {
    switch (code) {
      case '@': mode_ = Mode{}; return 2;
      case 'i':
      case 'm': Cut(); return 2;
      case '!':
        if (b.size() < 3) return 0;
        mode_.bold = arg(2) & 0x08;
        mode_.doubleHeight = arg(2) & 0x10;
        mode_.doubleWidth = arg(2) & 0x20;
        return 3;
      case 'E':
        if (b.size() < 3) return 0;
        mode_.bold = arg(2) & 0x01;
        return 3;
      case 'a':
        if (b.size() < 3) return 0;
        mode_.align = (arg(2) % 48) == 1 ? Align::Center : (arg(2) % 48) == 2 ? Align::Right : Align::Left;
        return 3;
      case 'd':  // print and feed n lines
        if (b.size() < 3) return 0;
        PrintLine();
        for (int i = 1; i < arg(2); ++i) PrintLine();
        return 3;
      case '-': case 'G': case 'M': case 'R': case 't': case '{': case 'J': case '2': case '3':
        if (code != '2' && b.size() < 3) return 0;
        return code == '2' ? 2 : 3;  // underline, double strike, font, character set, code table, spacing: no look of their own here
      default: Note("unknown command ESC " + Hex(b.substr(1, 1))); return 2;
    }
  }
  if (lead == DLE) {
    if (code != EOT) {
      Note("unknown command DLE " + Hex(b.substr(1, 1)));
      return 2;
    }
    if (b.size() < 3) return 0;
    answers_ += StatusAnswer(arg(2));
    return 3;
  }
  if (lead == GS) {
    switch (code) {
      case '!':
        if (b.size() < 3) return 0;
        mode_.doubleWidth = (arg(2) >> 4) > 0;
        mode_.doubleHeight = (arg(2) & 0x0F) > 0;
        return 3;
      case 'V':
        if (b.size() < 3) return 0;
        if (arg(2) == 65 || arg(2) == 66) {
          if (b.size() < 4) return 0;
          Cut();
          return 4;
        }
        Cut();
        return 3;
      case 'B': case 'b': case 'H': case 'f': case 'h': case 'w':
        if (b.size() < 3) return 0;
        return 3;
      default: Note("unknown command GS " + Hex(b.substr(1, 1))); return 2;
    }
  }
  // FS: the Kanji-mode commands of some printers; this one prints CP949 as it comes.
  if (code == '&' || code == '.') return 2;
  if (code == '!' || code == '-') return b.size() < 3 ? 0 : 3;
  Note("unknown command FS " + Hex(b.substr(1, 1)));
  return 2;
}

void EscPosPrinter::Text(char c) {
  if (lineBytes_.empty()) lineMode_ = mode_;
  lineBytes_ += c;
}

void EscPosPrinter::PrintLine() {
  const Mode mode = lineBytes_.empty() ? mode_ : lineMode_;
  const int columnsPerByte = mode.doubleWidth ? 2 : 1;
  const std::size_t perRow = EscPosPrinter::kColumns / columnsPerByte;
  std::string_view rest(lineBytes_);
  do {
    // A row takes as many bytes as fit, never half a Korean character.
    std::size_t take = 0;
    while (take < rest.size()) {
      const std::size_t width = IsLead(rest[take]) && take + 1 < rest.size() ? 2 : 1;
      if (take + width > perRow) break;
      take += width;
    }
    const std::string_view row = rest.substr(0, take);
    rest.remove_prefix(take);
    const std::size_t room = perRow - row.size();
    const std::size_t before = mode.align == Align::Center ? room / 2 : mode.align == Align::Right ? room : 0;
    paper_.push_back(PrintedLine{std::string(before, ' ') + platform::Cp949ToUtf8(row), mode.doubleHeight,
                                 mode.doubleWidth, mode.bold});
  } while (!rest.empty());
  lineBytes_.clear();
}

// Blank paper fed ahead of the text (the line feed after the previous cut) is the
// roll's margin, not part of the receipt.
void EscPosPrinter::Cut() {
  if (!lineBytes_.empty()) PrintLine();
  PrintedReceipt receipt = TrimLeadingFeed(std::move(paper_));
  paper_.clear();
  if (!receipt.empty()) cut_.push_back(std::move(receipt));
}

PrintedReceipt EscPosPrinter::TrimLeadingFeed(PrintedReceipt paper) {
  std::size_t blank = 0;
  while (blank < paper.size() && paper[blank].Text.find_first_not_of(' ') == std::string::npos) ++blank;
  paper.erase(paper.begin(), paper.begin() + static_cast<std::ptrdiff_t>(blank));
  return paper;
}

PrintedReceipt EscPosPrinter::TearOff() {
  if (!lineBytes_.empty()) PrintLine();
  if (!pending_.empty()) Note("command cut off at the end: " + Hex(pending_));
  pending_.clear();
  PrintedReceipt out = TrimLeadingFeed(std::move(paper_));
  paper_.clear();
  return out;
}

// Every answer byte has bits 1 and 4 set. An empty roll or an open cover also takes
// the printer offline; a roll near its end does not.
char EscPosPrinter::StatusAnswer(unsigned char request) const {
  using enum PrinterCondition;
  const bool offline = condition_ == PaperEnd || condition_ == CoverOpen || condition_ == Offline;
  unsigned char answer = 0x12;
  switch (request) {
    case 1: answer |= offline ? 0x08 : 0; break;                  // printer status: offline
    case 2:                                                       // offline cause
      answer |= condition_ == CoverOpen ? 0x04 : 0;               // cover open
      answer |= condition_ == PaperEnd ? 0x20 : 0;                // stopped at the paper's end
      break;
    case 4:                                                       // paper roll sensor
      answer |= condition_ == PaperEnd ? 0x6C : condition_ == PaperNearEnd ? 0x0C : 0;
      break;
    default: break;  // status kinds this printer doesn't tell: nothing set
  }
  return static_cast<char>(answer);
}

std::string EscPosPrinter::TakeAnswers() { return std::exchange(answers_, {}); }

std::optional<PrinterCondition> ConditionNamed(std::string_view word) {
  using enum PrinterCondition;
  static constexpr std::pair<std::string_view, PrinterCondition> kNames[] = {
      {"ready", Ready}, {"near-end", PaperNearEnd}, {"paper-end", PaperEnd}, {"cover-open", CoverOpen}, {"offline", Offline}};
  for (const auto& [name, condition] : kNames)
    if (word == name) return condition;
  return std::nullopt;
}

std::vector<PrintedReceipt> EscPosPrinter::TakeCut() { return std::exchange(cut_, {}); }
std::vector<std::string> EscPosPrinter::TakeNotes() { return std::exchange(notes_, {}); }

void EscPosPrinter::Note(const std::string& what) {
  if (notes_.size() < 1000) notes_.push_back(what);
}

std::string ReceiptText(const PrintedReceipt& receipt) {
  std::string text;
  for (const PrintedLine& line : receipt) {
    std::string_view t(line.Text);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    text.append(t);
    text += '\n';
  }
  return text;
}

}  // namespace viewer
