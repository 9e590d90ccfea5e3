// Any bytes as an INI file: every section and key the file names is found again whatever its
// case, values keep to the length bound and integers read without fault.
#include <cctype>

#include "DocSupport.h"
#include "FuzzCheck.h"
#include "IniFile.h"

static std::string Cased(std::string text, bool upper) {
  for (char& c : text) c = static_cast<char>((upper ? ::toupper : ::tolower)(c & 0xFF));
  return text;
}

static std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto path = FuzzSupport::ScratchPath("input.ini");
  DocSupport::WriteBytes(path, {data, data + size});
  const TIniFile file(path);

  std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
  std::string line, section;
  while (std::getline(lines, line)) {
    const std::string text = Trimmed(line);
    if (!text.empty() && text.front() == '[' && text.find(']') != std::string::npos) {
      section = text.substr(1, text.find(']') - 1);
      FUZZ_CHECK(file.SectionExists(Cased(section, true)) ==
                 file.SectionExists(Cased(section, false)));
      continue;
    }
    const auto equals = text.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = text.substr(0, equals);
    const std::string upper = file.ReadString(Cased(section, true), Cased(key, true), "\x01");
    const std::string lower = file.ReadString(Cased(section, false), Cased(key, false), "\x01");
    FUZZ_CHECK(upper == lower);
    FUZZ_CHECK(upper.size() <= TIniFile::MaxValueLength);
    const int32_t number = file.ReadInteger(section, key, -7);
    FUZZ_CHECK(file.ReadInteger(Cased(section, true), Cased(key, true), -7) == number);
  }
  return 0;
}
