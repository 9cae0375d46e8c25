#include "journal/ShippedMark.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>


namespace journal {

std::string ShippedMarkFile(const std::string& folder, const std::string& journalId) {
  return folder + journalId + ".shipped";
}

std::optional<std::int64_t> ReadShippedMark(const std::string& file) {
  std::ifstream in(file);
  std::string text;
  if (!in || !std::getline(in, text)) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9' || value > (std::numeric_limits<std::int64_t>::max() - 9) / 10) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return text.empty() ? std::nullopt : std::optional(value);
}

bool WriteShippedMark(const std::string& file, std::int64_t mark) {
  const std::string next = file + ".next";
  {
    struct Close {
      void operator()(std::FILE* f) const { std::fclose(f); }
    };
    // Made anew, never opened through what is there (a link planted in its place).
    // Windows' runtime knows no "x"; no shipper runs there.
#ifdef _WIN32
    constexpr const char* kMadeAnew = "w";
#else
    constexpr const char* kMadeAnew = "wx";
#endif
    std::error_code gone;
    std::filesystem::remove(next, gone);
    std::unique_ptr<std::FILE, Close> out(std::fopen(next.c_str(), kMadeAnew));
    if (!out || std::fprintf(out.get(), "%lld\n", static_cast<long long>(mark)) < 0 || std::fflush(out.get()) != 0)
      return false;
  }
  std::error_code error;
  std::filesystem::permissions(next,
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_read | std::filesystem::perms::others_read,
                               error);
  std::filesystem::rename(next, file, error);
  return !error;
}

}  // namespace journal
