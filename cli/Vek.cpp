#include "Vek.h"

#include <exception>

#include "VekClose.h"
#include "VekJournal.h"
#include "payment/Operations.h"
#include "platform/text/Cp949.h"

namespace cli {
namespace {

using payment::CashCardMode;
using payment::VoucherMode;

struct Command {
  std::string_view name;
  std::size_t arguments;
  // Which arguments (number, amount, date, approval) must not be empty, with the
  // window's message for each.
  std::vector<std::pair<std::size_t, const char*>> required;
  std::function<payment::OperationOutcome(const payment::EntryTexts&, const payment::OperationContext&)> run;
};

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands{
      {"inquiry", 1, {}, [](auto& e, auto& c) { return payment::VoucherOperation(VoucherMode::Inquiry, e, c); }},
      {"use",
       2,
       {{0, "이용권NO를 입력하십시요."}, {1, "이용금액을 입력하십시요."}},
       [](auto& e, auto& c) { return payment::VoucherOperation(VoucherMode::Use, e, c); }},
      {"cancel",
       4,
       {{0, "이용권NO를 입력하십시요."},
        {1, "이용금액을 입력하십시요."},
        {2, "원거래일을 입력하십시요."},
        {3, "원거래번호를 입력하십시요."}},
       [](auto& e, auto& c) { return payment::VoucherOperation(VoucherMode::Cancellation, e, c); }},
      {"card-approve", 2, {}, [](auto& e, auto& c) { return payment::CashCardOperation(CashCardMode::Approval, e, c); }},
      {"card-cancel",
       4,
       {},
       [](auto& e, auto& c) { return payment::CashCardOperation(CashCardMode::Cancellation, e, c); }},
  };
  return commands;
}

std::string Utf8(const std::string& cp949) { return platform::Cp949ToUtf8(cp949); }

VekResult Operation(const Command& command, const payment::EntryTexts& entries, const VekTerminal& terminal,
                    payment::PaymentModule& module);

}  // namespace

std::string VekHelp() {
  return "usage: vek COMMAND ARGUMENTS\n"
         "\n"
         "  vek inquiry NUMBER                            look a voucher up\n"
         "  vek use NUMBER AMOUNT                         use a voucher for AMOUNT won\n"
         "  vek cancel NUMBER AMOUNT DATE APPROVAL        cancel a voucher use of DATE (YYYYMMDD)\n"
         "  vek card-approve NUMBER AMOUNT                approve a cash-card payment\n"
         "  vek card-cancel NUMBER AMOUNT DATE APPROVAL   cancel a cash-card approval\n"
         "  vek reprint [APPROVAL]                        print the oldest receipt that never\n"
         "                                                printed again (none: the last one;\n"
         "                                                or APPROVAL's) and say how many remain\n"
         "  vek reprint --all                             print every receipt never printed; a\n"
         "                                                printer failing stops, the rest stay\n"
         "  vek journal [DATE]                            the day's operations (YYYYMMDD; today\n"
         "                                                by default), numbered by row, the\n"
         "                                                receipts not printed and the operations\n"
         "                                                of unknown outcome\n"
         "  vek settle ROW charged|not-charged            record what the service said of the\n"
         "                                                unknown outcome in ROW (once): an\n"
         "                                                inquiry's balance, the service's report\n"
         "  vek close [DATE]                              the day's closing (YYYYMMDD; today by\n"
         "                                                default) on the printer and here\n"
         "\n"
         "The arguments are what the terminal's entry fields would hold, checked as the\n"
         "terminal checks them. The settings (VEK_Demo.ini), the payment module\n"
         "(VEKDLL in the current folder) and the receipt printer are the terminal's.\n"
         "\n"
         "The module's message goes to standard output in UTF-8; an accepted inquiry adds\n"
         "the amount it read on a second line. An accepted use, cancellation, approval or\n"
         "card cancellation prints its receipt as the terminal does.\n"
         "\n"
         "Every value must keep to its field: numbers of at most 13 characters, amounts\n"
         "from 0 to 999,999,999, dates of at most 8 and approval numbers of at most 20\n"
         "characters, no control characters. The printer is checked before any payment,\n"
         "its own state too where it answers the status request: paper end, an open\n"
         "cover or offline refuse the payment (5, no request made); a roll near its end\n"
         "is a warning on standard error and the payment goes on.\n"
         "\n"
         "Exit status: 0 accepted, 1 refused by the service, 2 the module answered false\n"
         "(its text says whether the outcome is unknown) or the journal could not record\n"
         "the payment before it (nothing sent), 3 the module is missing or\n"
         "unusable, 4 the input or the settings were refused by the checks (no request\n"
         "made), 5 the printer can't print (no request made) or the receipt could not be\n"
         "printed, 6 the service accepted an inquiry whose amount could not be read, 7 the\n"
         "operation was accepted and printed but the journal could not record it. reprint,\n"
         "journal, settle and close: 0 done, 4 nothing to print, a bad date or a row that\n"
         "can't be settled (none, settled before, or its answer recorded), 5 the printer\n"
         "failed (close still writes the closing here), 7 the journal can't be read (it\n"
         "is never made by these: a missing journal, a link or another user's file is\n"
         "refused).\n";
}

VekResult RunVek(const std::vector<std::string>& args, const VekTerminal& terminal) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) return {kAccepted, VekHelp(), {}};
  if (args.size() == 2 && args[0] == "reprint" && args[1] == "--all") return RunReprintAll(terminal);
  if (args.size() == 3 && args[0] == "settle") return RunSettle(args[1], args[2], terminal);
  if (!args.empty() && args[0] == "reprint" && args.size() <= 2)
    return RunReprint(args.size() == 2 ? std::optional(args[1]) : std::nullopt, terminal);
  if (!args.empty() && args[0] == "journal" && args.size() <= 2)
    return RunJournal(args.size() == 2 ? std::optional(args[1]) : std::nullopt, terminal);
  if (!args.empty() && args[0] == "close" && args.size() <= 2)
    return RunClose(args.size() == 2 ? std::optional(args[1]) : std::nullopt, terminal);
  const Command* command = nullptr;
  for (const Command& c : Commands())
    if (!args.empty() && args[0] == c.name) command = &c;
  if (command == nullptr || args.size() != command->arguments + 1) return {kInputRefused, {}, VekHelp()};

  std::vector<std::string> fields(4);
  for (std::size_t i = 0; i < command->arguments; ++i) fields[i] = platform::Utf8ToCp949(args[i + 1]);
  for (const auto& [field, message] : command->required)
    if (fields[field].empty()) return {kInputRefused, {}, std::string(message) + "\n"};

  const payment::EntryTexts entries{
      .Number = fields[0], .Amount = fields[1], .OriginalDate = fields[2], .OriginalApproval = fields[3]};
  // A payment's journal is opened (made, the first time) before the printer and the
  // module are touched: one it can't record stops there.
  if (command->name != "inquiry") terminal.Desk.journal();
  journal::JournaledModule journaled(terminal.Desk, terminal.Module);
  VekResult result = Operation(*command, entries, terminal, journaled);
  // After the operation, so the customer doesn't wait for it; what keeps the old
  // rows is a warning, never the operation's end.
  if (command->name != "inquiry")
    if (const auto warning = terminal.Desk.RemoveExpired()) result.Err += Utf8(*warning) + "\n";
  return result;
}

namespace {

VekResult OperationResult(const payment::OperationOutcome& outcome, const VekTerminal& terminal);

// The printer's warning (a roll near its end) comes first on standard error, whatever
// the payment's outcome.
VekResult Operation(const Command& command, const payment::EntryTexts& entries, const VekTerminal& terminal,
                    payment::PaymentModule& module) {
  const payment::OperationOutcome outcome =
      command.run(entries, {terminal.Settings, module, terminal.ThousandsSeparator, terminal.Printer.NotReady});
  VekResult result = OperationResult(outcome, terminal);
  if (outcome.PrinterWarning) result.Err.insert(0, Utf8(*outcome.PrinterWarning) + "\n");
  return result;
}

VekResult OperationResult(const payment::OperationOutcome& outcome, const VekTerminal& terminal) {
  VekResult result;
  switch (outcome.Exchange) {
    case payment::ExchangeOutcome::InputRefused: return {kInputRefused, {}, Utf8(*outcome.MessageBox) + "\n"};
    case payment::ExchangeOutcome::PrinterNotReady:
      return {kReceiptNotPrinted, {}, Utf8(*outcome.PrintError) + "\n"};
    case payment::ExchangeOutcome::ModuleUnavailable:
      return {kModuleUnusable, {},
              Utf8(*outcome.MessageBox) + "\n" + (outcome.LabelText ? Utf8(*outcome.LabelText) + "\n" : "")};
    case payment::ExchangeOutcome::CallFailed: return {kCallFailed, Utf8(*outcome.LabelText) + "\n", {}};
    case payment::ExchangeOutcome::Refused: return {kRefused, Utf8(*outcome.LabelText) + "\n", {}};
    case payment::ExchangeOutcome::Accepted: break;
  }
  result.Out = Utf8(outcome.LabelText.value_or("")) + "\n";
  if (outcome.ConversionError) return {kReplyUnreadable, result.Out, Utf8(outcome.ConversionError->what()) + "\n"};
  if (outcome.AmountText) result.Out += *outcome.AmountText + "\n";
  if (outcome.Receipt && outcome.Accepted) {
    const journal::PrintedReceipt printed = terminal.Desk.RecordAndPrint(
        *outcome.Accepted, *outcome.Receipt, terminal.Settings.PrinterPort, terminal.Printer.Print);
    if (printed.JournalError) result.Err += Utf8(*printed.JournalError) + "\n";
    if (printed.PrintError) {
      terminal.Desk.Failed(printed.Id);
      result.Err = Utf8(*printed.PrintError) + "\n" + result.Err;
      if (printed.Id != 0) result.Err += "vek reprint " + Utf8(outcome.Accepted->ApprovalNumber) + ": 다시 인쇄\n";
      result.Status = kReceiptNotPrinted;
    } else if (printed.JournalError) {
      result.Status = kNotJournaled;
    }
  }
  return result;
}

}  // namespace

}  // namespace cli
