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
  // The journal of accepted operations: its file ("저널파일"; a relative path is
  // taken from the program's directory; without the key VEK_Journal.db in the
  // system's state folder for the terminal (platform/system/StateFolder.h), else
  // beside the settings), and
  // how many days its printed rows are kept ("저널보관일수", default 90).
  std::string JournalFile;
  std::int32_t JournalRetentionDays = 90;
  // Where the journal is shipped: the head office's PostgreSQL ("본사DB", a libpq
  // connection string without the password; empty: not shipped), and the shipper's
  // state folder ("발송폴더", with its trailing "/"; default /var/lib/vek-ship/): its
  // marks, which the terminal reads to keep what the office lacks, and the counter's
  // password file.
  std::string OfficeDb;
  std::string ShipperFolder;
};

// Reads `programDirectory` + "VEK_Demo.ini". Never fails: an absent file, section
// or key, or a number that isn't integer text, gives the defaults.
MerchantSettings LoadMerchantSettings(const std::string& programDirectory);

}  // namespace settings
