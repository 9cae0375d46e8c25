#include "TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dlfcn.h>
#endif

#include <random>

#include "payment/LibraryPaymentModule.h"
#include "platform/system/ErrorText.h"

namespace testsupport {

std::filesystem::path TempDir::MakeUnique() {
  std::random_device random;
  for (;;) {
    const auto path = std::filesystem::temp_directory_path() / ("vek-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(path)) return path;
  }
}

std::string WriteErrorOnAClosedPort() {
  const int code = platform::kErrorInvalidHandle;
  return "Write error (" + std::to_string(code) + "), " + platform::SystemErrorText(code);
}

#ifdef _WIN32
std::size_t OpenHandles() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}

std::size_t RunningThreads() {
  std::size_t threads = 0;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++threads;
  CloseHandle(snapshot);
  return threads;
}
#else
namespace {
std::size_t Entries(const char* folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}
}  // namespace

std::size_t OpenHandles() { return Entries("/proc/self/fd"); }
std::size_t RunningThreads() { return Entries("/proc/self/task"); }
#endif

bool LibraryLoaded(const std::string& path) {
#ifdef _WIN32
  return GetModuleHandleA(std::filesystem::path(path).filename().string().c_str()) != nullptr;
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
#endif
}

void InstallModule(const std::filesystem::path& dir, const std::filesystem::path& library) {
  std::filesystem::copy_file(library, dir / std::filesystem::path(payment::kModulePath).filename());
}

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
