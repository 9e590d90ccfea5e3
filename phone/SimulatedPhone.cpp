#include "SimulatedPhone.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "SimulatedMachineState.h"

namespace {

// '*' and '?' wildcards, without regard to case.
bool WildcardMatch(const std::string& pattern, const std::string& text) {
  const std::string p = Bytes::Lower(pattern);
  const std::string t = Bytes::Lower(text);
  size_t pi = 0, ti = 0, star = std::string::npos, mark = 0;
  while (ti < t.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == t[ti])) {
      ++pi;
      ++ti;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ti;
    } else if (star != std::string::npos) {
      pi = star + 1;
      ti = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes, size_t from, size_t count) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = from; i < from + count && i < bytes.size(); ++i) {
    if (i > from) s += ' ';
    s += digits[bytes[i] >> 4];
    s += digits[bytes[i] & 15];
  }
  return s;
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("Cannot read " + path.string());
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteWholeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& data) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("Cannot write " + path.string());
}

// A number of seems.txt: decimal, or hexadecimal after "0x"; no sign, and a leading zero does not
// make it octal.
unsigned long ParseNumber(const std::string& token, const std::string& line) {
  const bool hex = token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
  const std::string digits = hex ? token.substr(2) : token;
  const unsigned long base = hex ? 16 : 10;
  unsigned long value = 0;
  bool ok = !digits.empty();
  for (size_t i = 0; ok && i < digits.size(); ++i) {
    const int digit = Bytes::HexDigit(digits[i]);
    ok = digit >= 0 && static_cast<unsigned long>(digit) < base;
    value = value * base + static_cast<unsigned long>(digit);
    ok = ok && value <= 0xFFFF;
  }
  if (!ok) throw std::runtime_error("seems.txt: bad number \"" + token + "\" in: " + line);
  return value;
}

}  // namespace

long TPhoneCommand::SubCommand() const {
  if ((Command & 0x0FFF) != 0x4A || Data.size() < 4) return -1;
  return static_cast<long>(Bytes::BE32(Data.data()));
}

// ------------------------------------------------------------------ the phone's side of the
// machine

void TSimulatedMachine::TState::SwitchToP2K() {
  const std::uint64_t generation = Generation;
  Schedule(Setup.ModeSwitchDelayMs, [this, generation] {
    if (Plugged && Generation == generation && PhoneMode != TPhoneMode::P2K) {
      Plug(TPhoneMode::P2K);
    }
  });
}

void TSimulatedMachine::TState::Restart() {
  ++Restarts;
  Unplug();
  const std::uint64_t generation = Generation;
  Schedule(Setup.RestartDelayMs, [this, generation] {
    if (!Plugged && Generation == generation) Plug(TPhoneMode::Modem);
  });
}

// ---------------------------------------------------------------- the phone's commands
std::vector<std::uint8_t> TSimulatedMachine::TState::FileSystem(
    const std::vector<std::uint8_t>& data) {
  if (data.size() < 4) return {};
  switch (Bytes::BE32(data.data())) {
    case 0: {  // open
      if (data.size() < 8) return {9};
      std::string name;
      for (size_t i = 8; i < data.size() && data[i]; ++i) name += static_cast<char>(data[i]);
      if (OpenFile) return {0};  // the last file was never closed
      if (!Files.count(Bytes::Lower(name))) return {9};
      OpenFile = Bytes::Lower(name);
      FilePos = 0;
      FileWritten = false;
      return {Setup.OpenStatus};
    }
    case 1: {  // read
      if (!OpenFile || data.size() < 8) return {};
      const auto& file = Files[*OpenFile].Data;
      const size_t wanted = std::min<size_t>(Bytes::BE32(&data[4]), kMaxAnswerData);
      const size_t from = std::min(FilePos, file.size());
      const size_t take = std::min(wanted, file.size() - from);
      FilePos = from + take;
      return std::vector<std::uint8_t>(file.begin() + static_cast<long>(from),
                                       file.begin() + static_cast<long>(from + take));
    }
    case 2: {  // write: the first write after an open replaces the file's contents
      if (!OpenFile || data.size() < 8) return {1};
      auto& file = Files[*OpenFile].Data;
      if (!FileWritten) {
        file.clear();
        FilePos = 0;
        FileWritten = true;
      }
      const size_t n = std::min<size_t>(Bytes::BE32(&data[4]), data.size() - 8);
      if (file.size() < FilePos + n) file.resize(FilePos + n);
      std::copy(data.begin() + 8, data.begin() + 8 + static_cast<long>(n),
                file.begin() + static_cast<long>(FilePos));
      FilePos += n;
      return {0};
    }
    case 4:  // close
      if (!OpenFile) return {1};
      OpenFile.reset();
      return {0};
    case 7: {  // search
      std::string dir, name;
      bool separated = false;
      for (size_t i = 4; i + 1 < data.size(); i += 2) {
        const std::uint32_t unit = Bytes::BE16(&data[i]);
        if (unit == 0) break;
        if (unit == 0xFFFE) {
          separated = true;
        } else {
          (separated ? name : dir) += static_cast<char>(unit & 0xFF);
        }
      }
      if (!separated) std::swap(dir, name);
      SearchResults.clear();
      SearchCursor = 0;
      for (const auto& [key, file] : Files) {
        if (file.Name.size() < dir.size() ||
            !Bytes::SameText(file.Name.substr(0, dir.size()), dir)) {
          continue;
        }
        const std::string rest = file.Name.substr(dir.size());
        if (rest.find('/') == std::string::npos && WildcardMatch(name, rest)) {
          SearchResults.push_back(key);
        }
      }
      std::vector<std::uint8_t> answer(4, 0);
      Bytes::PutBE16(answer.data(), static_cast<std::uint32_t>(SearchResults.size()));
      return answer;
    }
    case 8: {  // search next
      const size_t wanted = data.size() > 4 ? data[4] : 1;
      const size_t count = std::min(
          {wanted, SearchResults.size() - SearchCursor, (kMaxAnswerData - 4) / kEntrySize});
      std::vector<std::uint8_t> answer(4 + kEntrySize * count, 0);
      answer[1] = static_cast<std::uint8_t>(count);
      for (size_t i = 0; i < count; ++i) {
        const TFile& file = Files[SearchResults[SearchCursor + i]];
        std::uint8_t* entry = &answer[4 + kEntrySize * i];
        std::memcpy(entry, file.Name.data(), std::min<size_t>(file.Name.size(), 260));
        Bytes::PutBE32(entry + 264, static_cast<std::uint32_t>(file.Data.size()));
      }
      SearchCursor += count;
      return answer;
    }
    default:
      return {};
  }
}

std::vector<std::uint8_t> TSimulatedMachine::TState::SeemCommand(
    bool write, const std::vector<std::uint8_t>& data) {
  if (data.size() < 8) return {1};
  const auto key = std::make_pair(static_cast<std::uint16_t>(Bytes::BE16(&data[0])),
                                  static_cast<std::uint16_t>(Bytes::BE16(&data[2])));
  const size_t offset = Bytes::BE16(&data[4]);
  const size_t count = Bytes::BE16(&data[6]);
  auto it = Seems.find(key);
  if (it == Seems.end() || offset + count > it->second.size()) return {1};
  if (write) {
    if (data.size() < 8 + count) return {1};
    std::copy(data.begin() + 8, data.begin() + 8 + static_cast<long>(count),
              it->second.begin() + static_cast<long>(offset));
    return {0};
  }
  if (count + 1 > kMaxAnswerData) return {1};
  std::vector<std::uint8_t> answer{0};
  answer.insert(answer.end(), it->second.begin() + static_cast<long>(offset),
                it->second.begin() + static_cast<long>(offset + count));
  return answer;
}

void TSimulatedMachine::TState::Execute(const TPhoneCommand& command) {
  TAnswer answer;
  answer.PacketWord = command.PacketWord;
  answer.Kind = static_cast<std::uint8_t>(0x80 | ((command.Command >> 8) & 0x0F));
  answer.CommandLow = static_cast<std::uint8_t>(command.Command);
  switch (command.Command & 0x0FFF) {
    case 0x4A:
      answer.Data = FileSystem(command.Data);
      break;
    case 0x20:
      answer.Data = SeemCommand(false, command.Data);
      break;
    case 0x2F:
      answer.Data = SeemCommand(true, command.Data);
      break;
    case 0x22:
      answer.RestartAfter = true;
      break;
    default:
      break;
  }
  std::uint32_t delay = 0;
  if (const auto t = Observer ? Observer->Tweak(command) : std::nullopt) {
    if (t->Status) {
      if (answer.Data.empty()) answer.Data.push_back(0);
      answer.Data[0] = *t->Status;
    }
    if (t->Data) answer.Data = *t->Data;
    delay = t->ReadyDelayMs;
    answer.Drop = t->Drop;
    if (t->ReadyCode) answer.ReadyCode = *t->ReadyCode;
    if (t->Byte4) answer.Byte4 = *t->Byte4;
    if (t->PacketWord) answer.PacketWord = *t->PacketWord;
    if (t->KindByte) answer.Kind = *t->KindByte;
    answer.LengthSkew = t->LengthSkew;
  }
  answer.ReadyAt = NowUs() + std::int64_t{delay} * 1000;
  // A new command supersedes an answer that was never fetched.
  Answers.clear();
  Answers.push_back(std::move(answer));
}

const TSimulatedMachine::TState::TAnswer* TSimulatedMachine::TState::ReadyAnswer() const {
  if (Answers.empty()) return nullptr;
  const TAnswer& a = Answers.front();
  return (!a.Drop && a.ReadyAt <= NowUs()) ? &a : nullptr;
}

std::uint16_t TSimulatedMachine::TState::PollLength(const TAnswer& a) {
  return static_cast<std::uint16_t>(18 + a.Data.size() - 4 - 2 * a.ReadyCode);
}

std::vector<std::uint8_t> TSimulatedMachine::TState::FetchBytes(const TAnswer& a) {
  std::vector<std::uint8_t> b(18 + a.Data.size(), 0);
  Bytes::PutBE16(&b[0], 1);
  b[4] = a.Byte4;
  Bytes::PutBE16(&b[8], static_cast<std::uint32_t>(a.Data.size() + 8 + a.LengthSkew));
  Bytes::PutBE16(&b[10], a.PacketWord);
  b[12] = a.Kind;
  b[13] = a.CommandLow;
  Bytes::PutBE16(&b[14], static_cast<std::uint32_t>(a.Data.size()));
  std::copy(a.Data.begin(), a.Data.end(), b.begin() + 18);
  return b;
}

// One control transfer to the phone's P2K interface.
TSimulatedMachine::TState::TIoResult TSimulatedMachine::TState::Transfer(
    const TSimInterface& info, const std::vector<std::uint8_t>& in, std::uint8_t* out,
    std::uint32_t outLength) {
  const TIoResult stall{false, 0, kErrorGenFailure};
  if (in.size() < 8) return stall;
  const std::uint8_t type = in[0];
  const std::uint8_t request = in[1];
  const std::uint32_t value = Bytes::LE16(&in[2]);
  const std::uint32_t index = Bytes::LE16(&in[4]);
  const std::uint32_t length = Bytes::LE16(&in[6]);
  if (index != info.UsbInterface) return stall;
  if (type == 0x41 && request == 2) {
    if (length < 8 || in.size() != 8 + length + 2) return stall;
    const std::uint8_t* packet = &in[8];
    const std::uint32_t dataLength = Bytes::BE16(packet + 4);
    if (dataLength + 8 != length) return stall;
    TPhoneCommand command{NowMs(), static_cast<std::uint16_t>(Bytes::BE16(packet)),
                          static_cast<std::uint16_t>(Bytes::BE16(packet + 2)),
                          std::vector<std::uint8_t>(packet + 8, packet + 8 + dataLength)};
    if (Observer) Observer->Command(command);
    Execute(command);
    return {true, 0, 0};
  }
  if (type == 0xC1 && request == 0) {
    if (in.size() < 9 || length != 8) return stall;
    std::uint8_t answer[8] = {};
    if (const TAnswer* a = ReadyAnswer()) {
      answer[5] = a->ReadyCode;
      Bytes::PutBE16(&answer[6], PollLength(*a));
    }
    const std::uint32_t n = std::min<std::uint32_t>(8, outLength);
    std::memcpy(out, answer, n);
    return {true, n, 0};
  }
  if (type == 0xC1 && request == 1) {
    if (in.size() < 9) return stall;
    const TAnswer* a = ReadyAnswer();
    if (!a) return {true, 0, 0};
    if (value != a->ReadyCode ||
        length != static_cast<std::uint16_t>(PollLength(*a) + 4 + 2 * a->ReadyCode)) {
      return stall;
    }
    const std::vector<std::uint8_t> bytes = FetchBytes(*a);
    const std::uint32_t n = std::min({static_cast<std::uint32_t>(bytes.size()), length, outLength});
    std::memcpy(out, bytes.data(), n);
    const bool restart = a->RestartAfter;
    Answers.pop_front();
    if (restart) Restart();
    return {true, n, 0};
  }
  return stall;
}

// ------------------------------------------------------------------ TSimulatedPhone

void TSimulatedPhone::Plug(TPhoneMode mode) {
  auto& s = *Machine.State;
  std::lock_guard lock(s.M);
  s.Plug(mode);
}

void TSimulatedPhone::Unplug() {
  auto& s = *Machine.State;
  std::lock_guard lock(s.M);
  s.Unplug();
}

bool TSimulatedPhone::Plugged() const {
  std::lock_guard lock(Machine.State->M);
  return Machine.State->Plugged;
}

TPhoneMode TSimulatedPhone::Mode() const {
  std::lock_guard lock(Machine.State->M);
  return Machine.State->PhoneMode;
}

void TSimulatedPhone::Configure(const std::function<void(TPhoneSetup&)>& change) {
  auto& s = *Machine.State;
  std::lock_guard lock(s.M);
  change(s.Setup);
  s.RegistryChanged();
  s.Changed();
}

TPhoneSetup TSimulatedPhone::Setup() const {
  std::lock_guard lock(Machine.State->M);
  return Machine.State->Setup;
}

void TSimulatedPhone::AddFile(const std::string& name, const std::vector<std::uint8_t>& data) {
  std::lock_guard lock(Machine.State->M);
  Machine.State->Files[Bytes::Lower(name)] = {name, data};
}

std::optional<std::vector<std::uint8_t>> TSimulatedPhone::File(const std::string& name) const {
  std::lock_guard lock(Machine.State->M);
  auto it = Machine.State->Files.find(Bytes::Lower(name));
  if (it == Machine.State->Files.end()) return std::nullopt;
  return it->second.Data;
}

std::vector<std::string> TSimulatedPhone::FileNames() const {
  std::lock_guard lock(Machine.State->M);
  std::vector<std::string> names;
  for (const auto& [key, file] : Machine.State->Files) names.push_back(file.Name);
  return names;
}

void TSimulatedPhone::SetSeem(std::uint16_t seem, std::uint16_t record,
                              const std::vector<std::uint8_t>& data) {
  std::lock_guard lock(Machine.State->M);
  Machine.State->Seems[{seem, record}] = data;
}

std::optional<std::vector<std::uint8_t>> TSimulatedPhone::Seem(std::uint16_t seem,
                                                               std::uint16_t record) const {
  std::lock_guard lock(Machine.State->M);
  auto it = Machine.State->Seems.find({seem, record});
  if (it == Machine.State->Seems.end()) return std::nullopt;
  return it->second;
}

int TSimulatedPhone::Restarts() const {
  std::lock_guard lock(Machine.State->M);
  return Machine.State->Restarts;
}

void TSimulatedPhone::LoadSeed(const std::string& dir, const std::string& patName) {
  namespace fs = std::filesystem;
  const fs::path root(dir);
  if (!fs::is_directory(root)) throw std::runtime_error("No such folder: " + dir);
  for (const auto& drive : fs::directory_iterator(root)) {
    const std::string letter = drive.path().filename().string();
    if (!drive.is_directory() || letter.size() != 1) continue;
    for (const auto& item : fs::recursive_directory_iterator(drive.path())) {
      if (!item.is_regular_file()) continue;
      const std::string rest = fs::relative(item.path(), drive.path()).generic_string();
      AddFile("/" + letter + "/" + rest, ReadWholeFile(item.path()));
    }
  }
  if (fs::is_regular_file(root / "funlight.pat")) {
    AddFile(patName, ReadWholeFile(root / "funlight.pat"));
  }
  const fs::path seems = root / "seems.txt";
  if (!fs::is_regular_file(seems)) return;
  std::ifstream in(seems);
  std::map<std::pair<std::uint16_t, std::uint16_t>, std::vector<std::uint8_t>> records;
  std::string line;
  while (std::getline(in, line)) {
    const std::string text = line.substr(0, line.find('#'));
    std::istringstream tokens(text);
    std::string seemText, recordText, offsetText, hex, part;
    if (!(tokens >> seemText)) continue;
    if (!(tokens >> recordText >> offsetText)) {
      throw std::runtime_error("seems.txt: expected SEEM RECORD OFFSET BYTES in: " + line);
    }
    while (tokens >> part) hex += part;
    if (hex.empty() || hex.size() % 2 != 0 ||
        hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      throw std::runtime_error("seems.txt: bad bytes in: " + line);
    }
    const auto key = std::make_pair(static_cast<std::uint16_t>(ParseNumber(seemText, line)),
                                    static_cast<std::uint16_t>(ParseNumber(recordText, line)));
    const size_t offset = ParseNumber(offsetText, line);
    auto& record = records[key];
    if (record.size() < offset + hex.size() / 2) record.resize(offset + hex.size() / 2, 0);
    for (size_t i = 0; i < hex.size() / 2; ++i) {
      record[offset + i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    }
  }
  for (const auto& [key, data] : records) SetSeem(key.first, key.second, data);
}

void TSimulatedPhone::SaveSeed(const std::string& dir, const std::string& patName) const {
  namespace fs = std::filesystem;
  const fs::path root(dir);
  fs::create_directories(root);
  std::map<std::string, TSimulatedMachine::TState::TFile> files;
  std::map<std::pair<std::uint16_t, std::uint16_t>, std::vector<std::uint8_t>> seems;
  {
    std::lock_guard lock(Machine.State->M);
    files = Machine.State->Files;
    seems = Machine.State->Seems;
  }
  for (const auto& [key, file] : files) {
    if (Bytes::SameText(file.Name, patName)) {
      WriteWholeFile(root / "funlight.pat", file.Data);
    } else if (file.Name.size() > 3 && file.Name[0] == '/' && file.Name[2] == '/') {
      WriteWholeFile(root / file.Name.substr(1), file.Data);
    }
  }
  std::ofstream out(root / "seems.txt", std::ios::trunc);
  out << "# seem record offset bytes\n";
  for (const auto& [key, data] : seems) {
    for (size_t from = 0; from < data.size(); from += 32) {
      char head[40];
      std::snprintf(head, sizeof head, "0x%04X %u %zu ", key.first, key.second, from);
      out << head << HexBytes(data, from, 32) << '\n';
    }
  }
  if (!out) throw std::runtime_error("Cannot write " + (root / "seems.txt").string());
}
