#pragma once

#include <string>
#include <string_view>
#include <vector>

// A read-only INI profile that answers like the Windows profile reader
// (GetPrivateProfileStringA): section and key names compare case-insensitively
// for ASCII letters (the bytes of a double-byte character compare exactly), blanks
// around names and values are ignored, a section name matches with or without the
// blanks inside its brackets, a value's surrounding quotes are removed, the first of
// duplicate keys wins, lines starting with ";" are comments, and a value is returned
// up to 2047 bytes.
//
// The file is code page 949. A file saved as UTF-8 (with or without a byte order
// mark) is converted to code page 949 first, so callers always get CP949 bytes.
namespace platform {

class IniProfile {
 public:
  static constexpr std::size_t kMaxValueBytes = 2047;

  // Reads the file; an absent or unreadable file gives an empty profile.
  static IniProfile Load(const std::string& path);
  static IniProfile Parse(std::string_view contents);

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  std::vector<Section> sections_;
};

}  // namespace platform
