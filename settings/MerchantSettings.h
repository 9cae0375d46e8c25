#pragma once

#include <cstdint>
#include <string>

namespace settings {

// The merchant and terminal settings, read once at start-up from VEK_Demo.ini in
// the program's directory. Texts are CP949 bytes exactly as the file gives them.
struct MerchantSettings {
  std::int32_t PrinterPort = 0;  // 0: printer port "LPT1"; anything else: serial port
  std::string MerchantName;
  std::string TerminalId;
  std::string BusinessNumber;
  std::string Telephone;
  std::string MerchantAddress;
  std::string ProgramDirectory;  // with its trailing "/"
};

// Reads `programDirectory` + "VEK_Demo.ini". Never fails: an absent file, section
// or key, or a printer port that isn't integer text, gives the defaults.
MerchantSettings LoadMerchantSettings(const std::string& programDirectory);

}  // namespace settings
