#include "MerchantSettings.h"

#include "platform/system/StateFolder.h"
#include "platform/text/Cp949.h"
#include "platform/text/IniProfile.h"
#include "platform/text/IntegerText.h"

namespace settings {
namespace {

struct SettingNames {
  std::string section = platform::Utf8ToCp949(" VEK플레노르가맹점설정 ");
  std::string printerPort = platform::Utf8ToCp949("프린트포트");
  std::string merchantName = platform::Utf8ToCp949("가맹점명");
  std::string terminalId = platform::Utf8ToCp949("단말기ID");
  std::string businessNumber = platform::Utf8ToCp949("사업자번호");
  std::string telephone = platform::Utf8ToCp949("전화번호");
  std::string merchantAddress = platform::Utf8ToCp949("가맹점주소");
  std::string journalFile = platform::Utf8ToCp949("저널파일");
  std::string journalRetentionDays = platform::Utf8ToCp949("저널보관일수");
  std::string officeDb = platform::Utf8ToCp949("본사DB");
  std::string shipperFolder = platform::Utf8ToCp949("발송폴더");
};

const SettingNames& Names() {
  static const SettingNames names;
  return names;
}

}  // namespace

MerchantSettings LoadMerchantSettings(const std::string& programDirectory) {
  const SettingNames& n = Names();
  const platform::IniProfile ini = platform::IniProfile::Load(programDirectory + "VEK_Demo.ini");
  MerchantSettings s;
  s.ProgramDirectory = programDirectory;
  s.PrinterPort = platform::ParseIntegerText(ini.ReadString(n.section, n.printerPort, "")).value_or(0);
  s.MerchantName = ini.ReadString(n.section, n.merchantName, "");
  s.TerminalId = ini.ReadString(n.section, n.terminalId, "");
  s.BusinessNumber = ini.ReadString(n.section, n.businessNumber, "");
  s.Telephone = ini.ReadString(n.section, n.telephone, "");
  s.MerchantAddress = ini.ReadString(n.section, n.merchantAddress, "");
  std::string journal = ini.ReadString(n.section, n.journalFile, "");
  const bool absolute =
      !journal.empty() && (journal.front() == '/' || journal.front() == '\\' || (journal.size() > 1 && journal[1] == ':'));
  // An installed terminal's program folder is root's or the administrators': its
  // state lies where the system keeps programs' state.
  const std::string folder = platform::StateFolder();
  if (!journal.empty()) {
    s.JournalFile = absolute ? journal : programDirectory + journal;
  } else {
    s.JournalFile = (folder.empty() ? programDirectory : folder) + "VEK_Journal.db";
  }
  const auto days = platform::ParseIntegerText(ini.ReadString(n.section, n.journalRetentionDays, ""));
  if (days && *days > 0) s.JournalRetentionDays = *days;
  s.OfficeDb = ini.ReadString(n.section, n.officeDb, "");
  s.ShipperFolder = ini.ReadString(n.section, n.shipperFolder, "/var/lib/vek-ship/");
  if (!s.ShipperFolder.empty() && s.ShipperFolder.back() != '/') s.ShipperFolder += '/';
  return s;
}

}  // namespace settings
