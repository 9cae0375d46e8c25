#include "PrinterStatus.h"

#include "platform/text/Cp949.h"

namespace receipt {
namespace {

// Every status byte has bits 1 and 4 set and bits 0 and 7 clear.
bool IsStatusByte(unsigned char b) { return (b & 0x93) == 0x12; }

}  // namespace

std::optional<PrinterState> DecodeStatus(std::string_view answer) {
  if (answer.size() != kStatusAnswerSize) return std::nullopt;
  for (const char c : answer)
    if (!IsStatusByte(static_cast<unsigned char>(c))) return std::nullopt;
  const auto printer = static_cast<unsigned char>(answer[0]);
  const auto offlineCause = static_cast<unsigned char>(answer[1]);
  const auto roll = static_cast<unsigned char>(answer[2]);
  // The cause before the bare offline bit: an open cover or an empty roll also
  // takes the printer offline, and the operator needs to know which.
  if ((roll & 0x60) || (offlineCause & 0x20)) return PrinterState::PaperEnd;
  if (offlineCause & 0x04) return PrinterState::CoverOpen;
  if ((printer & 0x08) || (offlineCause & 0x40)) return PrinterState::Offline;
  if (roll & 0x0C) return PrinterState::PaperNearEnd;
  return PrinterState::Ready;
}

std::optional<std::string> StateText(PrinterState state, std::string_view printerName) {
  const auto text = [&](std::string_view what, std::string_view todo) {
    return platform::Utf8ToCp949(std::string(what) + " (" + std::string(printerName) + "). " + std::string(todo));
  };
  switch (state) {
    case PrinterState::Ready: return std::nullopt;
    case PrinterState::PaperNearEnd: return text("영수증 용지가 얼마 남지 않았습니다", "용지를 준비하십시오.");
    case PrinterState::PaperEnd: return text("영수증 용지가 없습니다", "용지를 넣고 다시 하십시오.");
    case PrinterState::CoverOpen: return text("프린터 덮개가 열려 있습니다", "덮개를 닫고 다시 하십시오.");
    case PrinterState::Offline: return text("프린터가 오프라인입니다", "전원과 연결을 확인하고 다시 하십시오.");
  }
  return std::nullopt;
}

}  // namespace receipt
