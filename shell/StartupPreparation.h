#pragma once

#include <QImage>
#include <map>
#include <span>
#include <string>
#include <thread>

namespace shell {

// What start-up can do before the application object exists, on a thread of its
// own that runs while the application object connects to the display: decode the
// pictures the window shows first, and load the system's font configuration (Qt
// matches fonts with fontconfig here, and the first text the window lays out would
// otherwise wait for it to read its configuration). Made at the program's first
// line; the window takes the pictures as it builds its screens.
class StartupPreparation {
 public:
  // Starts decoding the embedded pictures named (names that outlive it, such as
  // the window's own list).
  explicit StartupPreparation(std::span<const char* const> pictures);
  ~StartupPreparation();
  StartupPreparation(const StartupPreparation&) = delete;
  StartupPreparation& operator=(const StartupPreparation&) = delete;

  // The embedded picture NAME, decoded (the first call waits for the thread); a
  // picture not prepared, or already taken, is decoded now.
  QImage TakePicture(const char* name);

 private:
  void Prepare(std::span<const char* const> pictures);

  std::map<std::string, QImage, std::less<>> pictures_;  // the thread's until it has been joined
  std::thread thread_;
};

}  // namespace shell
