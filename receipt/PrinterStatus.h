#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>

// The printer's own state, asked before a payment with the real-time status request
// (DLE EOT) on a line that has a back channel.
namespace receipt {

enum class PrinterState { Ready, PaperNearEnd, PaperEnd, CoverOpen, Offline };

// DLE EOT 1, 2 and 4: printer status, offline cause, paper roll sensor, one byte of
// answer each. A printer answers them even while offline; they are control bytes
// only, so one that doesn't know them prints nothing for them.
inline constexpr std::string_view kStatusRequest{"\x10\x04\x01\x10\x04\x02\x10\x04\x04", 9};
inline constexpr std::size_t kStatusAnswerSize = 3;
// A printer gives its answer within a few milliseconds; one that gives none in this
// time has no back channel (or is not a printer that knows the request).
inline constexpr std::chrono::milliseconds kStatusAnswerLimit{250};

// The state the three answer bytes tell; nothing when they are not status bytes
// (cut short, or a byte without the fixed bits).
std::optional<PrinterState> DecodeStatus(std::string_view answer);

// The operator's text for a state (CP949), naming the printer ("COM3", "LPT1"):
// why the payment is refused, or for a roll near its end the warning; nothing
// when ready.
std::optional<std::string> StateText(PrinterState state, std::string_view printerName);

// What the printer says before a payment: the error that keeps it from printing (no
// payment is made), or a warning the payment goes on with.
struct PrinterReadiness {
  std::optional<std::string> NotReady{};
  std::optional<std::string> Warning{};
};

// Printers that gave no answer since the program started: the wait for one is paid
// once, later payments go on without asking.
class SilentPrinters {
 public:
  bool Known(const std::string& name) const { return names_.contains(name); }
  void Add(const std::string& name) { names_.insert(name); }

 private:
  std::set<std::string> names_;
};

}  // namespace receipt
