// Any bytes as the seed folder's seems.txt: the folder is refused, or read, exactly as its
// documented format says (decimal numbers, or hexadecimal after 0x; no signs).
#include <cctype>
#include <charconv>
#include <map>
#include <optional>
#include <stdexcept>

#include "DocSupport.h"
#include "FuzzCheck.h"
#include "SimulatedMachine.h"

using TRecords = std::map<std::pair<std::uint16_t, std::uint16_t>, std::vector<std::uint8_t>>;

static std::optional<unsigned long> Number(const std::string& token) {
  const bool hex = token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
  const char* const end = token.data() + token.size();
  unsigned long value = 0;
  const auto [stop, error] =
      std::from_chars(token.data() + (hex ? 2 : 0), end, value, hex ? 16 : 10);
  if (error != std::errc() || stop != end || value > 0xFFFF) return std::nullopt;
  return value;
}

// The format as the README states it.
static std::optional<TRecords> Expected(const std::string& seems) {
  TRecords records;
  std::istringstream lines(seems);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream tokens(line.substr(0, line.find('#')));
    std::string seem, record, offset, part, hex;
    if (!(tokens >> seem)) continue;
    if (!(tokens >> record >> offset)) return std::nullopt;
    while (tokens >> part) hex += part;
    if (hex.empty() || hex.size() % 2 != 0) return std::nullopt;
    for (char c : hex)
      if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const auto s = Number(seem), r = Number(record), o = Number(offset);
    if (!s || !r || !o) return std::nullopt;
    auto& bytes = records[{static_cast<std::uint16_t>(*s), static_cast<std::uint16_t>(*r)}];
    if (bytes.size() < *o + hex.size() / 2) bytes.resize(*o + hex.size() / 2, 0);
    for (std::size_t i = 0; i < hex.size() / 2; ++i)
      bytes[*o + i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  }
  return records;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto dir = FuzzSupport::ScratchPath("seed");
  std::filesystem::create_directories(dir);
  DocSupport::WriteBytes(dir / "seems.txt", {data, data + size});
  const std::optional<TRecords> expected =
      Expected(std::string(reinterpret_cast<const char*>(data), size));

  TSimulatedMachine machine;
  try {
    machine.Phone().LoadSeed(dir.string());
  } catch (const std::runtime_error&) {
    FUZZ_CHECK(!expected);
    return 0;
  }
  FUZZ_CHECK(expected);
  for (const auto& [key, bytes] : *expected)
    FUZZ_CHECK(machine.Phone().Seem(key.first, key.second) == bytes);
  return 0;
}
