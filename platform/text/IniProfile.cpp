#include "IniProfile.h"

#include <fstream>
#include <iterator>

#include "Cp949.h"

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsLeadByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x81 && b <= 0xFE;
}

// Equal ignoring the case of ASCII letters. The second byte of a double-byte
// character can fall in the ASCII letter range, so it is compared exactly.
bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (IsLeadByte(a[i]) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
  }
  return true;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::string ToCp949(std::string contents) {
  static constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (std::string_view(contents).starts_with(kBom))
    return Utf8ToCp949(std::string_view(contents).substr(kBom.size()));
  bool ascii = true;
  for (char c : contents) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  // Code page 949 Korean text is never valid UTF-8 in practice (its lead bytes
  // 0xB0..0xC1 are UTF-8 continuation bytes), so valid non-ASCII UTF-8 means an
  // editor saved the file as UTF-8.
  if (!ascii && IsValidUtf8(contents)) return Utf8ToCp949(contents);
  return contents;
}

}  // namespace

IniProfile IniProfile::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return IniProfile{};
  std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return Parse(ToCp949(std::move(contents)));
}

IniProfile IniProfile::Parse(std::string_view contents) {
  IniProfile profile;
  Section* current = nullptr;
  while (!contents.empty()) {
    const std::size_t end = contents.find('\n');
    std::string_view line = contents.substr(0, end);
    contents.remove_prefix(end == std::string_view::npos ? contents.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    line = TrimBlanks(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string_view name = TrimBlanks(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
      profile.sections_.push_back(Section{std::string(name), {}});
      current = &profile.sections_.back();
      continue;
    }
    const std::size_t eq = line.find('=');
    if (current == nullptr || eq == std::string_view::npos) continue;
    current->entries.push_back(Entry{std::string(TrimBlanks(line.substr(0, eq))),
                                     std::string(Unquote(TrimBlanks(line.substr(eq + 1))))});
  }
  return profile;
}

std::string IniProfile::ReadString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const {
  const std::string_view wantedSection = TrimBlanks(section);
  const std::string_view wantedKey = TrimBlanks(key);
  std::string_view found = defaultValue;
  for (const Section& s : sections_) {
    if (!NamesEqual(s.name, wantedSection)) continue;
    for (const Entry& e : s.entries) {
      if (NamesEqual(e.key, wantedKey)) {
        found = e.value;
        break;
      }
    }
    break;  // only the first section of a name is read
  }
  return std::string(found.substr(0, kMaxValueBytes));
}

}  // namespace platform
