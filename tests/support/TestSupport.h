#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "platform/text/Cp949.h"

namespace testsupport {

// CP949 bytes of a UTF-8 literal, for readable expectations.
inline std::string K(std::string_view utf8) { return platform::Utf8ToCp949(utf8); }

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Payload fields: (1-based position, bytes).
using PayloadFields = std::initializer_list<std::pair<std::size_t, std::string>>;

// A reply payload: the fields laid in at their positions over `size` blanks.
std::string Payload(PayloadFields fields, std::size_t size = 391);

// The payload framed as the server sends it: STX, payload, ETX.
std::string FramedReply(PayloadFields fields, std::size_t size = 391);

// Puts `library` in `dir` under the name the program loads its payment module by
// (VEKDLL.so, VEKDLL.dll), as the module of a working directory.
void InstallModule(const std::filesystem::path& dir, const std::filesystem::path& library);

// The serial component's message for a write on a port that isn't open, with this
// system's code and text.
std::string WriteErrorOnAClosedPort();

// What this process holds of the system: its open descriptors or handles, and its
// threads.
std::size_t OpenHandles();
std::size_t RunningThreads();

// Whether the run-time library at `path` is loaded in this process.
bool LibraryLoaded(const std::string& path);

// The scripted module library (ScriptedModule.c) as ./VEKDLL.so in `dir`: its next
// answer (the result byte, then the reply as it is), and what it was last given.
void ScriptModuleAnswer(const std::filesystem::path& dir, unsigned char result, std::string_view reply);
std::string ScriptedModuleRequest(const std::filesystem::path& dir);  // empty: not called
std::string ScriptedModuleCall(const std::filesystem::path& dir);     // "server port"

// The demo merchant's settings file in CP949 with `printerPort` as its printer port.
std::string SettingsFile(std::string_view printerPort);

// A fresh folder, removed with everything in it.
class TempDir {
 public:
  TempDir() : path_(MakeUnique()) {}
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // With its trailing separator, as the program's directory is given.
  std::string dir() const { return (path_ / "").string(); }

 private:
  static std::filesystem::path MakeUnique();
  std::filesystem::path path_;
};

// Makes `dir` the current working directory until the guard goes.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& dir) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~WorkingDirectory() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

}  // namespace testsupport
