// A build without SQLite (the 32-bit Windows build here): no journal is kept.
#include <ctime>

#include "journal/Journal.h"

namespace journal {

std::string LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  return text;
}

std::unique_ptr<Journal> Journal::Open(const std::string&, int) { return nullptr; }

}  // namespace journal
