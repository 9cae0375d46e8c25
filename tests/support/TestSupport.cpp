#include "TestSupport.h"

namespace testsupport {

std::string Payload(PayloadFields fields, std::size_t size) {
  std::string payload(size, ' ');
  for (const auto& [position, text] : fields) payload.replace(position - 1, text.size(), text);
  return payload;
}

std::string FramedReply(PayloadFields fields, std::size_t size) { return "\x02" + Payload(fields, size) + "\x03"; }

void ScriptModuleAnswer(const std::filesystem::path& dir, unsigned char result, std::string_view reply) {
  WriteFile(dir / "scripted-reply.bin", std::string(1, static_cast<char>(result)) + std::string(reply));
}

std::string ScriptedModuleRequest(const std::filesystem::path& dir) {
  const auto path = dir / "scripted-request.bin";
  return std::filesystem::exists(path) ? ReadFile(path) : std::string();
}

std::string ScriptedModuleCall(const std::filesystem::path& dir) { return ReadFile(dir / "scripted-call.txt"); }

std::string SettingsFile(std::string_view printerPort) {
  return K("[ VEK플레노르가맹점설정 ]\r\n프린트포트=" + std::string(printerPort) +
           "\r\n가맹점명=플레노르 카페\r\n단말기ID=1004\r\n사업자번호=1234567890\r\n"
           "전화번호=02-123-4567\r\n가맹점주소=서울시 강남구 테헤란로 1\r\n");
}

}  // namespace testsupport
