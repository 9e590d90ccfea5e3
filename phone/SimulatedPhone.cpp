#include "SimulatedPhone.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

using P = IPhonePlatform;
using SteadyClock = std::chrono::steady_clock;

constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
// The machine's side of the driver interface takes only the values written here, as Windows and
// the drivers define them, never the link's own constants: a wrong constant in the link finds
// no phone.
constexpr const char* kP2KClassText = "{4E1E1E15-52D7-11D4-852D-00105AA6F80B}";
constexpr const char* kDiskClassText = "{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}";
constexpr std::uint32_t kPresentInterfaces = 0x12;  // DIGCF_PRESENT | DIGCF_DEVICEINTERFACE
constexpr std::uint32_t kReadWrite = 0xC0000000u;   // GENERIC_READ | GENERIC_WRITE
constexpr std::uint32_t kKeyReadAccess = 0x20019;   // KEY_READ
constexpr std::uint32_t kNotifyNameAndValue = 0x5;  // REG_NOTIFY_CHANGE_NAME | _LAST_SET
constexpr std::uint16_t kTestCommandQuery = 0x0102;
constexpr std::uint16_t kFlashQuery = 0x0002;
constexpr std::uint32_t kNameQueryIoctl = 0x80002010u;
constexpr std::uint32_t kTransferIoctl = 0x80002014u;
constexpr std::uint32_t kScsiPassThroughDirectIoctl = 0x0004D014u;
constexpr std::uint32_t kErrorInvalidFunction = 1;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr long kRegistryKeyMissing = 2;
// The most answer data that fits in the link's fetch buffer.
constexpr std::size_t kMaxAnswerData = 4083;
constexpr std::size_t kEntrySize = 268;
// How long the clock waits for the machine's threads to settle before it moves on regardless.
constexpr auto kSettleLimit = std::chrono::seconds(2);

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A class identifier as Windows writes it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
TGuid GuidFromText(const char* text) {
  std::uint8_t b[16] = {};
  int nibbles = 0;
  for (const char* p = text; *p && nibbles < 32; ++p) {
    const int v = HexValue(*p);
    if (v < 0) continue;
    b[nibbles / 2] = static_cast<std::uint8_t>(b[nibbles / 2] << 4 | v);
    ++nibbles;
  }
  TGuid g{};
  g.Data1 = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (b[2] << 8) | b[3];
  g.Data2 = static_cast<std::uint16_t>(b[4] << 8 | b[5]);
  g.Data3 = static_cast<std::uint16_t>(b[6] << 8 | b[7]);
  std::copy(b + 8, b + 16, g.Data4);
  return g;
}

const TGuid kSimP2KClass = GuidFromText(kP2KClassText);
const TGuid kSimDiskClass = GuidFromText(kDiskClassText);

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

bool SameText(const std::string& a, const std::string& b) {
  return Lower(a) == Lower(b);
}

std::uint32_t BE16(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 8) | p[1];
}
std::uint32_t BE32(const std::uint8_t* p) {
  return (BE16(p) << 16) | BE16(p + 2);
}
std::uint32_t LE16(const std::uint8_t* p) {
  return p[0] | (std::uint32_t{p[1]} << 8);
}

void PutBE16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

void PutBE32(std::uint8_t* p, std::uint32_t v) {
  PutBE16(p, v >> 16);
  PutBE16(p + 2, v);
}

// '*' and '?' wildcards, without regard to case.
bool WildcardMatch(const std::string& pattern, const std::string& text) {
  const std::string p = Lower(pattern);
  const std::string t = Lower(text);
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
    const int digit = HexValue(digits[i]);
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
  return static_cast<long>(BE32(Data.data()));
}

std::string DeviceInterfaceKey(const std::string& devicePath) {
  return "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
         "{4e1e1e15-52d7-11d4-852d-00105aa6f80b}\\##?#" +
         (devicePath.size() > 4 ? devicePath.substr(4) : std::string()) + "\\#\\Control";
}

struct TSimulatedMachine::TState {
  // ---- clock and threads
  struct TWaiter {
    const std::function<bool()>* Ready;
    std::int64_t Deadline;
    bool Woken = false;
  };
  enum class TWaitEnd { Ready, Timeout, Stalled };

  TClockMode Mode;
  std::uint32_t StartTick;
  SteadyClock::time_point Origin = SteadyClock::now();
  std::int64_t ManualNowUs = 0;
  mutable std::mutex M;
  std::condition_variable Cv;
  int Participants = 0;
  int Blocked = 0;
  int SettleTimeouts = 0;
  std::list<TWaiter*> Waiters;
  std::multimap<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> Events;
  std::uint64_t EventSeq = 0;
  std::uint32_t ThreadCounter = 0;
  std::vector<std::thread> Detached;

  // ---- handles
  enum class TKind { Event, Modem, Interface, Disk, DeviceList, RegKey };
  struct TObject {
    TKind Kind = TKind::Event;
    bool Signalled = false;
    bool ManualReset = true;
    bool OfPhone = false;
    std::uint64_t Generation = 0;
    TSimInterface Info;                  // a device, or the interface of a P2K handle
    std::vector<TSimInterface> Entries;  // a device list
    TGuid ListClass{};                   // the class a device list was made for
    std::string KeyName;                 // a registry key, lower case
    THandle NotifyEvent = 0;
  };
  std::map<THandle, TObject> Objects;
  std::set<THandle> Closed;
  THandle NextHandle = 0x100;
  int ClosedUses = 0;

  // ---- overlapped requests
  struct TSimOverlapped : TOverlappedState {
    std::uint64_t Id = 0;
    bool Done = false;
    bool Ok = false;
    std::uint32_t Bytes = 0;
    std::uint32_t Error = 0;
  };
  struct TIoResult {
    bool Ok = false;
    std::uint32_t Bytes = 0;
    std::uint32_t Error = 0;
  };
  struct TPendingIo {
    TSimOverlapped* State;
    THandle Event;
    THandle Device;
    std::function<TIoResult()> Run;
  };
  std::map<std::uint64_t, TPendingIo> Pending;
  std::uint64_t IoSeq = 0;

  // ---- the machine's own devices
  std::vector<TSimInterface> ExtraInterfaces;
  std::vector<std::string> ExtraDisks;
  bool P2KListFails = false;
  bool DiskListFails = false;

  // ---- records
  bool Recording;
  std::vector<TSimRequest> Log;

  // ---- the phone
  struct TAnswer {
    std::vector<std::uint8_t> Data;
    std::uint16_t PacketWord = 0;
    std::uint8_t Kind = 0x80;
    std::uint8_t CommandLow = 0;
    std::int64_t ReadyAt = 0;
    bool Drop = false;
    std::uint8_t ReadyCode = 1;
    std::uint8_t Byte4 = 1;
    int LengthSkew = 0;
    bool RestartAfter = false;
  };
  struct TFile {
    std::string Name;
    std::vector<std::uint8_t> Data;
  };
  TPhoneSetup Setup;
  bool Plugged = false;
  TPhoneMode PhoneMode = TPhoneMode::Modem;
  std::uint64_t Generation = 0;
  std::map<std::string, TFile> Files;  // by lower-case name
  std::map<std::pair<std::uint16_t, std::uint16_t>, std::vector<std::uint8_t>> Seems;
  std::optional<std::string> OpenFile;
  size_t FilePos = 0;
  bool FileWritten = false;
  std::vector<std::string> SearchResults;
  size_t SearchCursor = 0;
  std::deque<TAnswerTweak> Tweaks;
  std::deque<TIoFault> Faults;
  std::vector<TPhoneCommand> Commands;
  std::deque<TAnswer> Answers;
  int Restarts = 0;

  TState(TClockMode mode, std::uint32_t startTick)
      : Mode(mode), StartTick(startTick), Recording(mode == TClockMode::Manual) {}

  // ---------------------------------------------------------------- clock
  std::int64_t NowUs() const {
    if (Mode == TClockMode::Manual) return ManualNowUs;
    return std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - Origin)
        .count();
  }

  std::uint64_t NowMs() const { return static_cast<std::uint64_t>(NowUs() / 1000); }

  static std::int64_t After(std::int64_t now, std::uint32_t ms) {
    return ms == P::kInfinite ? kNever : now + std::int64_t{ms} * 1000;
  }

  bool IsParticipant() const;

  // Wakes the waiting threads whose condition now holds or whose time has come.
  void Changed() {
    if (Mode == TClockMode::Manual) {
      for (TWaiter* w : Waiters) {
        if (!w->Woken && ((*w->Ready)() || ManualNowUs >= w->Deadline)) {
          w->Woken = true;
          --Blocked;
        }
      }
    }
    Cv.notify_all();
  }

  void Schedule(std::uint32_t delayMs, std::function<void()> action) {
    if (delayMs == 0) {
      action();
    } else {
      Events.emplace(std::make_pair(NowUs() + std::int64_t{delayMs} * 1000, EventSeq++),
                     std::move(action));
    }
    Changed();
  }

  void RunDueEvents() {
    bool ran = false;
    while (!Events.empty() && Events.begin()->first.first <= NowUs()) {
      auto action = std::move(Events.begin()->second);
      Events.erase(Events.begin());
      action();
      ran = true;
    }
    if (ran) Changed();
  }

  std::int64_t NextEventUs() const { return Events.empty() ? kNever : Events.begin()->first.first; }

  std::int64_t NextWaiterDeadline() const {
    std::int64_t next = kNever;
    for (const TWaiter* w : Waiters) {
      if (!w->Woken) next = std::min(next, w->Deadline);
    }
    return next;
  }

  void Settle(std::unique_lock<std::mutex>& lock) {
    if (Mode != TClockMode::Manual) return;
    if (!Cv.wait_for(lock, kSettleLimit, [this] { return Blocked == Participants; })) {
      ++SettleTimeouts;
    }
  }

  // Moves the manual clock to the next due moment, at most to deadline.
  bool Step(std::int64_t deadline) {
    const std::int64_t next = std::min({deadline, NextEventUs(), NextWaiterDeadline()});
    if (next == kNever) return false;
    if (next > ManualNowUs) ManualNowUs = next;
    RunDueEvents();
    Changed();
    return true;
  }

  TWaitEnd Wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
                std::int64_t deadline) {
    if (Mode == TClockMode::RealTime) {
      for (;;) {
        RunDueEvents();
        if (ready()) return TWaitEnd::Ready;
        const std::int64_t now = NowUs();
        if (now >= deadline) return TWaitEnd::Timeout;
        const std::int64_t wake = std::min(deadline, NextEventUs());
        if (wake == kNever) {
          Cv.wait(lock);
        } else {
          Cv.wait_until(lock, Origin + std::chrono::microseconds(wake));
        }
      }
    }
    if (IsParticipant()) {
      if (ready()) return TWaitEnd::Ready;
      if (ManualNowUs >= deadline) return TWaitEnd::Timeout;
      TWaiter waiter{&ready, deadline};
      Waiters.push_back(&waiter);
      ++Blocked;
      Cv.notify_all();
      Cv.wait(lock, [&] { return waiter.Woken; });
      Waiters.remove(&waiter);
      return ready() ? TWaitEnd::Ready : TWaitEnd::Timeout;
    }
    for (;;) {
      Settle(lock);
      if (ready()) return TWaitEnd::Ready;
      if (ManualNowUs >= deadline) return TWaitEnd::Timeout;
      if (!Step(deadline)) return TWaitEnd::Stalled;
    }
  }

  // ---------------------------------------------------------------- records and handles
  void Record(TSimCall call, const std::string& name, THandle handle, std::uint32_t code,
              const void* input, std::uint32_t length, bool ok, std::uint32_t share = 0,
              std::uint32_t flags = 0) {
    if (!Recording) return;
    TSimRequest r{call, NowMs(), name, handle, code, share, flags, {}, ok};
    if (input && length) {
      const auto* p = static_cast<const std::uint8_t*>(input);
      r.Input.assign(p, p + length);
    }
    Log.push_back(std::move(r));
  }

  THandle Add(TObject object) {
    const THandle h = NextHandle;
    NextHandle += 4;
    Objects.emplace(h, std::move(object));
    return h;
  }

  TObject* Find(THandle h) {
    auto it = Objects.find(h);
    if (it == Objects.end()) {
      if (Closed.count(h)) ++ClosedUses;
      return nullptr;
    }
    return &it->second;
  }

  bool Alive(const TObject& o) const {
    return !o.OfPhone || (Plugged && o.Generation == Generation);
  }

  void Signal(THandle event) {
    auto it = Objects.find(event);
    if (it != Objects.end() && it->second.Kind == TKind::Event) it->second.Signalled = true;
  }

  // ---------------------------------------------------------------- devices present
  std::vector<TSimInterface> ListedInterfaces(std::vector<bool>* ofPhone = nullptr) const {
    std::vector<TSimInterface> list = ExtraInterfaces;
    if (ofPhone) ofPhone->assign(list.size(), false);
    if (Plugged && PhoneMode == TPhoneMode::P2K) {
      for (const auto& i : Setup.Interfaces) {
        list.push_back(i);
        if (ofPhone) ofPhone->push_back(true);
      }
    }
    return list;
  }

  std::vector<std::string> ListedDisks(std::vector<bool>* ofPhone = nullptr) const {
    std::vector<std::string> list = ExtraDisks;
    if (ofPhone) ofPhone->assign(list.size(), false);
    if (Plugged && PhoneMode == TPhoneMode::Storage) {
      list.push_back(Setup.DiskPath);
      if (ofPhone) ofPhone->push_back(true);
    }
    return list;
  }

  bool KeyExists(const std::string& lowerName) const {
    for (const auto& i : ListedInterfaces()) {
      if (i.HasRegistryKey && Lower(DeviceInterfaceKey(i.Path)) == lowerName) return true;
    }
    return false;
  }

  // A watched key that went away reports its change once.
  void RegistryChanged() {
    for (auto& [h, o] : Objects) {
      if (o.Kind == TKind::RegKey && o.NotifyEvent && !KeyExists(o.KeyName)) {
        Signal(o.NotifyEvent);
        o.NotifyEvent = 0;
      }
    }
  }

  void FailPending(const std::function<bool(const TPendingIo&)>& which, std::uint32_t error) {
    for (auto it = Pending.begin(); it != Pending.end();) {
      if (which(it->second)) {
        TSimOverlapped* s = it->second.State;
        s->Done = true;
        s->Ok = false;
        s->Error = error;
        Signal(it->second.Event);
        it = Pending.erase(it);
      } else {
        ++it;
      }
    }
  }

  // ---------------------------------------------------------------- plugging
  void PhoneGone() {
    ++Generation;
    Answers.clear();
    OpenFile.reset();
    SearchResults.clear();
    FailPending(
        [this](const TPendingIo& p) {
          auto it = Objects.find(p.Device);
          return it != Objects.end() && it->second.OfPhone;
        },
        P::kErrorDeviceNotConnected);
    RegistryChanged();
  }

  void Plug(TPhoneMode mode) {
    if (Plugged) PhoneGone();
    Plugged = true;
    PhoneMode = mode;
    ++Generation;
    Changed();
  }

  void Unplug() {
    if (!Plugged) return;
    Plugged = false;
    PhoneGone();
    Changed();
  }

  void SwitchToP2K() {
    const std::uint64_t generation = Generation;
    Schedule(Setup.ModeSwitchDelayMs, [this, generation] {
      if (Plugged && Generation == generation && PhoneMode != TPhoneMode::P2K) {
        Plug(TPhoneMode::P2K);
      }
    });
  }

  void Restart() {
    ++Restarts;
    Unplug();
    const std::uint64_t generation = Generation;
    Schedule(Setup.RestartDelayMs, [this, generation] {
      if (!Plugged && Generation == generation) Plug(TPhoneMode::Modem);
    });
  }

  // ---------------------------------------------------------------- the phone's commands
  std::vector<std::uint8_t> FileSystem(const std::vector<std::uint8_t>& data) {
    if (data.size() < 4) return {};
    switch (BE32(data.data())) {
      case 0: {  // open
        if (data.size() < 8) return {9};
        std::string name;
        for (size_t i = 8; i < data.size() && data[i]; ++i) name += static_cast<char>(data[i]);
        if (OpenFile) return {0};  // the last file was never closed
        if (!Files.count(Lower(name))) return {9};
        OpenFile = Lower(name);
        FilePos = 0;
        FileWritten = false;
        return {Setup.OpenStatus};
      }
      case 1: {  // read
        if (!OpenFile || data.size() < 8) return {};
        const auto& file = Files[*OpenFile].Data;
        const size_t wanted = std::min<size_t>(BE32(&data[4]), kMaxAnswerData);
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
        const size_t n = std::min<size_t>(BE32(&data[4]), data.size() - 8);
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
          const std::uint32_t unit = BE16(&data[i]);
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
          if (file.Name.size() < dir.size() || !SameText(file.Name.substr(0, dir.size()), dir)) {
            continue;
          }
          const std::string rest = file.Name.substr(dir.size());
          if (rest.find('/') == std::string::npos && WildcardMatch(name, rest)) {
            SearchResults.push_back(key);
          }
        }
        std::vector<std::uint8_t> answer(4, 0);
        PutBE16(answer.data(), static_cast<std::uint32_t>(SearchResults.size()));
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
          PutBE32(entry + 264, static_cast<std::uint32_t>(file.Data.size()));
        }
        SearchCursor += count;
        return answer;
      }
      default:
        return {};
    }
  }

  std::vector<std::uint8_t> SeemCommand(bool write, const std::vector<std::uint8_t>& data) {
    if (data.size() < 8) return {1};
    const auto key = std::make_pair(static_cast<std::uint16_t>(BE16(&data[0])),
                                    static_cast<std::uint16_t>(BE16(&data[2])));
    const size_t offset = BE16(&data[4]);
    const size_t count = BE16(&data[6]);
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

  void Execute(const TPhoneCommand& command) {
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
    for (auto it = Tweaks.begin(); it != Tweaks.end(); ++it) {
      if (it->Command && *it->Command != (command.Command & 0x0FFF)) continue;
      if (it->SubCommand && static_cast<long>(*it->SubCommand) != command.SubCommand()) continue;
      const TAnswerTweak& t = *it;
      if (t.Status) {
        if (answer.Data.empty()) answer.Data.push_back(0);
        answer.Data[0] = *t.Status;
      }
      if (t.Data) answer.Data = *t.Data;
      delay = t.ReadyDelayMs;
      answer.Drop = t.Drop;
      if (t.ReadyCode) answer.ReadyCode = *t.ReadyCode;
      if (t.Byte4) answer.Byte4 = *t.Byte4;
      if (t.PacketWord) answer.PacketWord = *t.PacketWord;
      if (t.KindByte) answer.Kind = *t.KindByte;
      answer.LengthSkew = t.LengthSkew;
      Tweaks.erase(it);
      break;
    }
    answer.ReadyAt = NowUs() + std::int64_t{delay} * 1000;
    // A new command supersedes an answer that was never fetched.
    Answers.clear();
    Answers.push_back(std::move(answer));
  }

  const TAnswer* ReadyAnswer() const {
    if (Answers.empty()) return nullptr;
    const TAnswer& a = Answers.front();
    return (!a.Drop && a.ReadyAt <= NowUs()) ? &a : nullptr;
  }

  static std::uint16_t PollLength(const TAnswer& a) {
    return static_cast<std::uint16_t>(18 + a.Data.size() - 4 - 2 * a.ReadyCode);
  }

  static std::vector<std::uint8_t> FetchBytes(const TAnswer& a) {
    std::vector<std::uint8_t> b(18 + a.Data.size(), 0);
    PutBE16(&b[0], 1);
    b[4] = a.Byte4;
    PutBE16(&b[8], static_cast<std::uint32_t>(a.Data.size() + 8 + a.LengthSkew));
    PutBE16(&b[10], a.PacketWord);
    b[12] = a.Kind;
    b[13] = a.CommandLow;
    PutBE16(&b[14], static_cast<std::uint32_t>(a.Data.size()));
    std::copy(a.Data.begin(), a.Data.end(), b.begin() + 18);
    return b;
  }

  // One control transfer to the phone's P2K interface.
  TIoResult Transfer(const TSimInterface& info, const std::vector<std::uint8_t>& in,
                     std::uint8_t* out, std::uint32_t outLength) {
    const TIoResult stall{false, 0, kErrorGenFailure};
    if (in.size() < 8) return stall;
    const std::uint8_t type = in[0];
    const std::uint8_t request = in[1];
    const std::uint32_t value = LE16(&in[2]);
    const std::uint32_t index = LE16(&in[4]);
    const std::uint32_t length = LE16(&in[6]);
    if (index != info.UsbInterface) return stall;
    if (type == 0x41 && request == 2) {
      if (length < 8 || in.size() != 8 + length + 2) return stall;
      const std::uint8_t* packet = &in[8];
      const std::uint32_t dataLength = BE16(packet + 4);
      if (dataLength + 8 != length) return stall;
      TPhoneCommand command{NowMs(), static_cast<std::uint16_t>(BE16(packet)),
                            static_cast<std::uint16_t>(BE16(packet + 2)),
                            std::vector<std::uint8_t>(packet + 8, packet + 8 + dataLength)};
      Commands.push_back(command);
      Execute(command);
      return {true, 0, 0};
    }
    if (type == 0xC1 && request == 0) {
      if (in.size() < 9 || length != 8) return stall;
      std::uint8_t answer[8] = {};
      if (const TAnswer* a = ReadyAnswer()) {
        answer[5] = a->ReadyCode;
        PutBE16(&answer[6], PollLength(*a));
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
      const std::uint32_t n =
          std::min({static_cast<std::uint32_t>(bytes.size()), length, outLength});
      std::memcpy(out, bytes.data(), n);
      const bool restart = a->RestartAfter;
      Answers.pop_front();
      if (restart) Restart();
      return {true, n, 0};
    }
    return stall;
  }

  static TRequestKind KindOf(const std::vector<std::uint8_t>& in) {
    if (in.size() < 2) return TRequestKind::Any;
    if (in[0] == 0x41) return TRequestKind::Command;
    return in[1] == 0 ? TRequestKind::Poll : TRequestKind::Fetch;
  }

  std::optional<TIoFault> TakeFault(TRequestKind kind) {
    const bool synchronous =
        kind == TRequestKind::ModemWrite || kind == TRequestKind::StorageSwitch;
    for (auto it = Faults.begin(); it != Faults.end(); ++it) {
      if (it->Kind != kind && (synchronous || it->Kind != TRequestKind::Any)) continue;
      if (it->Skip > 0) {
        --it->Skip;
        return std::nullopt;
      }
      TIoFault fault = *it;
      Faults.erase(it);
      return fault;
    }
    return std::nullopt;
  }

  // A synchronous request under a fault: blocks its caller for the delay, or for good; returns
  // whether the request then goes through.
  bool BlockFor(std::unique_lock<std::mutex>& lock, const std::optional<TIoFault>& fault) {
    if (!fault) return true;
    if (fault->Fault == TIoFaultKind::Delay || fault->Fault == TIoFaultKind::Hang) {
      const std::function<bool()> never = [] { return false; };
      Wait(lock, never,
           After(NowUs(), fault->Fault == TIoFaultKind::Hang ? P::kInfinite : fault->DelayMs));
      return true;
    }
    return false;
  }

  // Completes a request now, through its overlapped structure when it has one.
  bool Finish(TOverlapped* overlapped, const TIoResult& result, std::uint32_t& lastError) {
    if (!overlapped) {
      lastError = result.Ok ? 0 : result.Error;
      return result.Ok;
    }
    auto state = std::make_unique<TSimOverlapped>();
    state->Done = true;
    state->Ok = result.Ok;
    state->Bytes = result.Bytes;
    state->Error = result.Error;
    overlapped->State = std::move(state);
    Signal(overlapped->Event);
    if (result.Ok) {
      lastError = 0;
      return true;
    }
    lastError = P::kErrorIoPending;  // the failure shows in the overlapped result
    return false;
  }

  // Leaves a request pending; it runs after delayMs, or never when delayMs is kInfinite.
  bool Defer(THandle device, TOverlapped* overlapped, std::function<TIoResult()> run,
             std::uint32_t delayMs, std::uint32_t& lastError) {
    if (!overlapped) return Finish(nullptr, run(), lastError);
    auto state = std::make_unique<TSimOverlapped>();
    state->Id = ++IoSeq;
    TSimOverlapped* raw = state.get();
    overlapped->State = std::move(state);
    Pending.emplace(raw->Id, TPendingIo{raw, overlapped->Event, device, std::move(run)});
    if (delayMs != P::kInfinite) {
      const std::uint64_t id = raw->Id;
      Schedule(delayMs, [this, id] {
        auto it = Pending.find(id);
        if (it == Pending.end()) return;
        TPendingIo io = std::move(it->second);
        Pending.erase(it);
        const TIoResult result = io.Run();
        io.State->Done = true;
        io.State->Ok = result.Ok;
        io.State->Bytes = result.Bytes;
        io.State->Error = result.Error;
        Signal(io.Event);
      });
    }
    lastError = P::kErrorIoPending;
    return false;
  }
};

namespace {
thread_local const TSimulatedMachine::TState* tlParticipantOf = nullptr;

class TSimThread : public IPhoneThread {
 public:
  TSimThread(TSimulatedMachine::TState& machine, std::uint32_t id)
      : Machine(machine), ThreadId(id) {}
  ~TSimThread() override { Join(); }
  std::uint32_t Id() const override { return ThreadId; }
  void Join() override {
    if (Thread.joinable()) Thread.join();
  }
  // The machine keeps the thread and joins it when the machine goes.
  void Detach() override {
    if (!Thread.joinable()) return;
    std::lock_guard lock(Machine.M);
    Machine.Detached.push_back(std::move(Thread));
  }
  std::thread Thread;

 private:
  TSimulatedMachine::TState& Machine;
  std::uint32_t ThreadId;
};
}  // namespace

bool TSimulatedMachine::TState::IsParticipant() const {
  return tlParticipantOf == this;
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
  Machine.State->Files[Lower(name)] = {name, data};
}

std::optional<std::vector<std::uint8_t>> TSimulatedPhone::File(const std::string& name) const {
  std::lock_guard lock(Machine.State->M);
  auto it = Machine.State->Files.find(Lower(name));
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

void TSimulatedPhone::QueueTweak(const TAnswerTweak& tweak) {
  std::lock_guard lock(Machine.State->M);
  Machine.State->Tweaks.push_back(tweak);
}

void TSimulatedPhone::InjectIoFault(const TIoFault& fault) {
  std::lock_guard lock(Machine.State->M);
  Machine.State->Faults.push_back(fault);
}

std::vector<TPhoneCommand> TSimulatedPhone::Commands() const {
  std::lock_guard lock(Machine.State->M);
  return Machine.State->Commands;
}

void TSimulatedPhone::ClearCommands() {
  std::lock_guard lock(Machine.State->M);
  Machine.State->Commands.clear();
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
    if (SameText(file.Name, patName)) {
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

// ------------------------------------------------------------------ TSimulatedMachine

TSimulatedMachine::TSimulatedMachine(TClockMode mode, std::uint32_t startTick)
    : State(std::make_unique<TState>(mode, startTick)), PhoneFacade(*this) {}

TSimulatedMachine::~TSimulatedMachine() {
  std::vector<std::thread> detached;
  {
    std::lock_guard lock(State->M);
    detached.swap(State->Detached);
  }
  for (std::thread& t : detached) t.join();
}

void TSimulatedMachine::AddP2KInterface(const TSimInterface& entry) {
  std::lock_guard lock(State->M);
  State->ExtraInterfaces.push_back(entry);
}

void TSimulatedMachine::AddDisk(const std::string& path) {
  std::lock_guard lock(State->M);
  State->ExtraDisks.push_back(path);
}

void TSimulatedMachine::SetClassListFails(const TGuid& interfaceClass, bool fails) {
  std::lock_guard lock(State->M);
  (interfaceClass == kSimDiskClass ? State->DiskListFails : State->P2KListFails) = fails;
}

TClockMode TSimulatedMachine::ClockMode() const {
  return State->Mode;
}

std::uint64_t TSimulatedMachine::Now() const {
  std::lock_guard lock(State->M);
  return State->NowMs();
}

void TSimulatedMachine::Advance(std::uint32_t ms) {
  AdvanceUntil([] { return false; }, ms);
}

bool TSimulatedMachine::AdvanceUntil(const std::function<bool()>& done, std::uint32_t maxMs) {
  auto& s = *State;
  std::unique_lock lock(s.M);
  const std::int64_t deadline = s.NowUs() + std::int64_t{maxMs} * 1000;
  if (s.Mode == TClockMode::RealTime || s.IsParticipant()) {
    for (;;) {
      lock.unlock();
      if (done()) return true;
      lock.lock();
      if (s.NowUs() >= deadline) return false;
      const std::function<bool()> never = [] { return false; };
      s.Wait(lock, never, std::min(deadline, s.NowUs() + 1000));
    }
  }
  // done() runs without the machine's lock, so it may look at the machine.
  for (;;) {
    s.Settle(lock);
    lock.unlock();
    const bool finished = done();
    lock.lock();
    if (finished) return true;
    if (s.ManualNowUs >= deadline) return false;
    s.Step(deadline);
  }
}

int TSimulatedMachine::Threads() const {
  std::lock_guard lock(State->M);
  return State->Participants;
}

void TSimulatedMachine::WaitIdle() {
  std::unique_lock lock(State->M);
  State->Settle(lock);
}

int TSimulatedMachine::SettleTimeouts() const {
  std::lock_guard lock(State->M);
  return State->SettleTimeouts;
}

std::vector<TSimRequest> TSimulatedMachine::Requests() const {
  std::lock_guard lock(State->M);
  return State->Log;
}

void TSimulatedMachine::ClearRequests() {
  std::lock_guard lock(State->M);
  State->Log.clear();
}

void TSimulatedMachine::SetRecording(bool on) {
  std::lock_guard lock(State->M);
  State->Recording = on;
}

int TSimulatedMachine::OpenHandles() const {
  std::lock_guard lock(State->M);
  return static_cast<int>(State->Objects.size());
}

int TSimulatedMachine::InvalidHandleUses() const {
  std::lock_guard lock(State->M);
  return State->ClosedUses;
}

THandle TSimulatedMachine::OpenDevice(const std::string& name, std::uint32_t access,
                                      std::uint32_t shareMode, std::uint32_t flags) {
  auto& s = *State;
  std::lock_guard lock(s.M);
  s.RunDueEvents();
  THandle handle = P::kNoHandle;
  // Every device of the machine is opened for reading and writing, or not at all.
  const bool readWrite = access == kReadWrite;
  if (readWrite && s.Plugged && s.PhoneMode == TPhoneMode::Modem &&
      SameText(name, s.Setup.ModemPort)) {
    TState::TObject o;
    o.Kind = TState::TKind::Modem;
    o.OfPhone = true;
    o.Generation = s.Generation;
    o.Info.Path = name;
    handle = s.Add(std::move(o));
  }
  std::vector<bool> ofPhone;
  const auto interfaces = s.ListedInterfaces(&ofPhone);
  for (size_t i = 0; readWrite && handle == P::kNoHandle && i < interfaces.size(); ++i) {
    if (SameText(name, interfaces[i].Path) && interfaces[i].Openable) {
      TState::TObject o;
      o.Kind = TState::TKind::Interface;
      o.OfPhone = ofPhone[i];
      o.Generation = s.Generation;
      o.Info = interfaces[i];
      handle = s.Add(std::move(o));
    }
  }
  const auto disks = s.ListedDisks(&ofPhone);
  for (size_t i = 0; readWrite && handle == P::kNoHandle && i < disks.size(); ++i) {
    if (SameText(name, disks[i])) {
      TState::TObject o;
      o.Kind = TState::TKind::Disk;
      o.OfPhone = ofPhone[i];
      o.Generation = s.Generation;
      o.Info.Path = disks[i];
      handle = s.Add(std::move(o));
    }
  }
  s.Record(TSimCall::OpenDevice, name, handle, access, nullptr, 0, handle != P::kNoHandle,
           shareMode, flags);
  return handle;
}

bool TSimulatedMachine::WriteDevice(THandle device, const std::uint8_t* data, std::uint32_t length,
                                    std::uint32_t& written) {
  auto& s = *State;
  std::unique_lock lock(s.M);
  written = 0;
  TState::TObject* o = s.Find(device);
  bool ok = o && o->Kind == TState::TKind::Modem && s.Alive(*o);
  s.Record(TSimCall::WriteDevice, o ? o->Info.Path : std::string(), device, 0, data, length, ok);
  if (ok) ok = s.BlockFor(lock, s.TakeFault(TRequestKind::ModemWrite));
  // The port may have gone while the write was held up.
  o = ok ? s.Find(device) : nullptr;
  if (!o || !s.Alive(*o)) return false;
  written = length;
  if (std::string(reinterpret_cast<const char*>(data), length) == "AT+MODE=8\r") s.SwitchToP2K();
  return true;
}

void TSimulatedMachine::CloseHandle(THandle handle) {
  auto& s = *State;
  std::lock_guard lock(s.M);
  TState::TObject* o = s.Find(handle);
  s.Record(TSimCall::CloseHandle, o ? o->Info.Path : std::string(), handle, 0, nullptr, 0,
           o != nullptr);
  if (!o) return;
  // Closing a device ends its pending requests.
  s.FailPending([handle](const TState::TPendingIo& p) { return p.Device == handle; },
                P::kErrorOperationAborted);
  s.Objects.erase(handle);
  s.Closed.insert(handle);
  s.Changed();
}

THandle TSimulatedMachine::GetClassDevices(const TGuid& interfaceClass, std::uint32_t flags) {
  auto& s = *State;
  std::lock_guard lock(s.M);
  s.RunDueEvents();
  const bool disks = interfaceClass == kSimDiskClass;
  const bool p2k = interfaceClass == kSimP2KClass;
  THandle handle = P::kNoHandle;
  // Only present device interfaces are ever asked for; any other flags get no list.
  if (flags == kPresentInterfaces && !(disks ? s.DiskListFails : s.P2KListFails)) {
    TState::TObject o;
    o.Kind = TState::TKind::DeviceList;
    o.ListClass = interfaceClass;
    if (disks) {
      for (const auto& path : s.ListedDisks()) o.Entries.push_back(TSimInterface{path});
    } else if (p2k) {
      o.Entries = s.ListedInterfaces();
    }
    handle = s.Add(std::move(o));
  }
  s.Record(TSimCall::GetClassDevices,
           disks ? "disk"
           : p2k ? "p2k"
                 : "other",
           handle, flags, nullptr, 0, handle != P::kNoHandle);
  return handle;
}

bool TSimulatedMachine::EnumDeviceInterface(THandle devices, const TGuid& interfaceClass,
                                            std::uint32_t index) {
  std::lock_guard lock(State->M);
  TState::TObject* o = State->Find(devices);
  return o && o->Kind == TState::TKind::DeviceList && o->ListClass == interfaceClass &&
         index < o->Entries.size();
}

bool TSimulatedMachine::QueryInterfaceDetailSize(THandle devices, const TGuid& interfaceClass,
                                                 std::uint32_t index, std::uint32_t& requiredSize,
                                                 std::uint32_t& lastError) {
  std::lock_guard lock(State->M);
  TState::TObject* o = State->Find(devices);
  if (!o || o->Kind != TState::TKind::DeviceList || o->ListClass != interfaceClass ||
      index >= o->Entries.size()) {
    lastError = P::kErrorNoMoreItems;
    return false;
  }
  const TSimInterface& entry = o->Entries[index];
  requiredSize = entry.DetailSize.value_or(static_cast<std::uint32_t>(4 + entry.Path.size() + 1));
  lastError = entry.SizeQuerySucceeds ? 0 : P::kErrorInsufficientBuffer;
  return entry.SizeQuerySucceeds;
}

bool TSimulatedMachine::GetInterfaceDetail(THandle devices, const TGuid& interfaceClass,
                                           std::uint32_t index, std::uint32_t detailSize,
                                           std::string& devicePath) {
  std::lock_guard lock(State->M);
  TState::TObject* o = State->Find(devices);
  if (!o || o->Kind != TState::TKind::DeviceList || o->ListClass != interfaceClass ||
      index >= o->Entries.size()) {
    return false;
  }
  const TSimInterface& entry = o->Entries[index];
  if (detailSize < 4 + entry.Path.size() + 1) return false;
  devicePath = entry.Path;
  return true;
}

void TSimulatedMachine::DestroyDeviceList(THandle devices) {
  std::lock_guard lock(State->M);
  if (State->Find(devices)) {
    State->Objects.erase(devices);
    State->Closed.insert(devices);
  }
}

THandle TSimulatedMachine::CreateEventObject(bool manualReset, bool initialState) {
  std::lock_guard lock(State->M);
  TState::TObject o;
  o.Kind = TState::TKind::Event;
  o.ManualReset = manualReset;
  o.Signalled = initialState;
  return State->Add(std::move(o));
}

bool TSimulatedMachine::SetEventObject(THandle event) {
  std::lock_guard lock(State->M);
  TState::TObject* o = State->Find(event);
  if (!o || o->Kind != TState::TKind::Event) return false;
  o->Signalled = true;
  State->Changed();
  return true;
}

bool TSimulatedMachine::ResetEventObject(THandle event) {
  std::lock_guard lock(State->M);
  TState::TObject* o = State->Find(event);
  if (!o || o->Kind != TState::TKind::Event) return false;
  o->Signalled = false;
  return true;
}

std::uint32_t TSimulatedMachine::WaitForObject(THandle object, std::uint32_t timeoutMs) {
  return WaitForObjects({object}, timeoutMs);
}

std::uint32_t TSimulatedMachine::WaitForObjects(const std::vector<THandle>& objects,
                                                std::uint32_t timeoutMs) {
  auto& s = *State;
  std::unique_lock lock(s.M);
  for (THandle h : objects) {
    TState::TObject* o = s.Find(h);
    if (!o || o->Kind != TState::TKind::Event) return P::kWaitFailed;
  }
  auto signalled = [&]() -> int {
    for (size_t i = 0; i < objects.size(); ++i) {
      auto it = s.Objects.find(objects[i]);
      if (it != s.Objects.end() && it->second.Signalled) return static_cast<int>(i);
    }
    return -1;
  };
  const std::function<bool()> ready = [&] { return signalled() >= 0; };
  const auto end = s.Wait(lock, ready, TState::After(s.NowUs(), timeoutMs));
  const int index = signalled();
  if (index >= 0) {
    TState::TObject& o = s.Objects[objects[static_cast<size_t>(index)]];
    if (!o.ManualReset) o.Signalled = false;
    return P::kWaitObject0 + static_cast<std::uint32_t>(index);
  }
  return end == TState::TWaitEnd::Stalled && timeoutMs == P::kInfinite ? P::kWaitFailed
                                                                       : P::kWaitTimeout;
}

bool TSimulatedMachine::IoControl(THandle device, std::uint32_t code, const void* input,
                                  std::uint32_t inputLength, void* output,
                                  std::uint32_t outputLength, TOverlapped* overlapped,
                                  std::uint32_t& lastError) {
  auto& s = *State;
  std::unique_lock lock(s.M);
  s.RunDueEvents();
  TState::TObject* o = s.Find(device);
  s.Record(TSimCall::IoControl, o ? o->Info.Path : std::string(), device, code, input, inputLength,
           o != nullptr);
  if (!o || (o->Kind != TState::TKind::Interface && o->Kind != TState::TKind::Disk)) {
    lastError = P::kErrorInvalidHandle;
    return false;
  }
  if (!s.Alive(*o)) {
    lastError = P::kErrorDeviceNotConnected;
    return false;
  }
  const auto* in = static_cast<const std::uint8_t*>(input);
  std::vector<std::uint8_t> request(in, in + inputLength);
  auto* out = static_cast<std::uint8_t*>(output);
  bool result = false;

  const bool knownQuery =
      inputLength == 2 && (LE16(in) == kTestCommandQuery || LE16(in) == kFlashQuery);
  if (o->Kind == TState::TKind::Interface && code == kNameQueryIoctl && !knownQuery) {
    result = s.Finish(overlapped, {false, 0, kErrorInvalidParameter}, lastError);
  } else if (o->Kind == TState::TKind::Interface && code == kNameQueryIoctl) {
    std::vector<std::uint8_t> answer;
    if (o->Info.NameAnswer) {
      answer = *o->Info.NameAnswer;
    } else {
      const std::uint32_t count = static_cast<std::uint32_t>(2 * (o->Info.Name.size() + 1));
      answer = {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8), 0, 0};
      for (char c : o->Info.Name) {
        answer.push_back(static_cast<std::uint8_t>(c));
        answer.push_back(0);
      }
      answer.insert(answer.end(), {0, 0});
    }
    auto run = [answer, out, outputLength]() {
      const std::uint32_t n =
          std::min<std::uint32_t>(static_cast<std::uint32_t>(answer.size()), outputLength);
      std::memcpy(out, answer.data(), n);
      return TState::TIoResult{true, n, 0};
    };
    result = o->Info.AnswersNameQuery ? s.Finish(overlapped, run(), lastError)
                                      : s.Defer(device, overlapped, run, P::kInfinite, lastError);
  } else if (o->Kind == TState::TKind::Interface && code == kTransferIoctl && o->OfPhone) {
    const TSimInterface info = o->Info;
    auto run = [&s, info, request, out, outputLength] {
      return s.Transfer(info, request, out, outputLength);
    };
    const auto fault = s.TakeFault(TState::KindOf(request));
    if (!fault) {
      result = s.Finish(overlapped, run(), lastError);
    } else if (fault->Fault == TIoFaultKind::Unplug) {
      s.Unplug();
      lastError = P::kErrorDeviceNotConnected;
      result = false;
    } else if (fault->Fault == TIoFaultKind::Fail) {
      result = s.Finish(overlapped, {false, 0, kErrorGenFailure}, lastError);
    } else if (fault->Fault == TIoFaultKind::Short) {
      std::vector<std::uint8_t> full(outputLength);
      TState::TIoResult r = s.Transfer(info, request, full.data(), outputLength);
      r.Bytes = std::min(r.Bytes, fault->Bytes);
      if (r.Bytes > 0) std::memcpy(out, full.data(), r.Bytes);
      result = s.Finish(overlapped, r, lastError);
    } else {
      result =
          s.Defer(device, overlapped, run,
                  fault->Fault == TIoFaultKind::Hang ? P::kInfinite : fault->DelayMs, lastError);
    }
  } else if (o->Kind == TState::TKind::Disk && code == kScsiPassThroughDirectIoctl) {
    static const std::uint8_t cdb[12] = {0xD6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0};
    const bool valid = inputLength == 44 && LE16(&request[0]) == 44 && request[6] == 12 &&
                       std::equal(cdb, cdb + 12, &request[28]);
    const bool ofPhone = o->OfPhone;
    // The pass-through is synchronous; a disk may take up to its 25 s time-out to answer.
    if (!overlapped && !s.BlockFor(lock, s.TakeFault(TRequestKind::StorageSwitch))) {
      result = s.Finish(overlapped, {false, 0, kErrorGenFailure}, lastError);
    } else {
      if (ofPhone && valid) s.SwitchToP2K();
      result = s.Finish(overlapped, {true, 0, 0}, lastError);
    }
  } else {
    lastError = kErrorInvalidFunction;
  }
  s.Changed();
  return result;
}

bool TSimulatedMachine::CancelIo(THandle device, TOverlapped& overlapped) {
  auto& s = *State;
  std::lock_guard lock(s.M);
  s.Record(TSimCall::CancelIo, std::string(), device, 0, nullptr, 0, true);
  auto* state = dynamic_cast<TState::TSimOverlapped*>(overlapped.State.get());
  if (!state || state->Done) return false;
  s.Pending.erase(state->Id);
  state->Done = true;
  state->Ok = false;
  state->Error = P::kErrorOperationAborted;
  return true;
}

bool TSimulatedMachine::GetOverlappedResult(THandle, TOverlapped& overlapped,
                                            std::uint32_t& bytesTransferred, bool wait) {
  auto& s = *State;
  std::unique_lock lock(s.M);
  auto* state = dynamic_cast<TState::TSimOverlapped*>(overlapped.State.get());
  if (!state) return false;
  if (!state->Done && wait) {
    const std::function<bool()> done = [state] { return state->Done; };
    s.Wait(lock, done, kNever);
  }
  if (!state->Done) return false;
  bytesTransferred = state->Bytes;
  return state->Ok;
}

long TSimulatedMachine::RegOpenLocalMachineKey(const std::string& subKey, std::uint32_t access,
                                               THandle& key) {
  auto& s = *State;
  std::lock_guard lock(s.M);
  key = P::kNoHandle;
  if (access != kKeyReadAccess) {
    s.Record(TSimCall::RegOpenKey, subKey, key, access, nullptr, 0, false);
    return static_cast<long>(kErrorAccessDenied);
  }
  if (s.KeyExists(Lower(subKey))) {
    TState::TObject o;
    o.Kind = TState::TKind::RegKey;
    o.KeyName = Lower(subKey);
    key = s.Add(std::move(o));
  }
  s.Record(TSimCall::RegOpenKey, subKey, key, access, nullptr, 0, key != P::kNoHandle);
  return key != P::kNoHandle ? 0 : kRegistryKeyMissing;
}

long TSimulatedMachine::RegNotifyChange(THandle key, bool watchSubtree, std::uint32_t filter,
                                        THandle event, bool asynchronous) {
  auto& s = *State;
  std::lock_guard lock(s.M);
  TState::TObject* o = s.Find(key);
  const std::uint32_t flags = (watchSubtree ? 1u : 0u) | (asynchronous ? 2u : 0u);
  if (!o || o->Kind != TState::TKind::RegKey) {
    s.Record(TSimCall::RegNotify, std::string(), key, filter, nullptr, 0, false, 0, flags);
    return static_cast<long>(P::kErrorInvalidHandle);
  }
  // The removal of an interface shows only in a subtree watched for names and values.
  if (filter != kNotifyNameAndValue || !watchSubtree) {
    s.Record(TSimCall::RegNotify, o->KeyName, key, filter, nullptr, 0, false, 0, flags);
    return static_cast<long>(kErrorInvalidParameter);
  }
  const bool exists = s.KeyExists(o->KeyName);
  s.Record(TSimCall::RegNotify, o->KeyName, key, filter, nullptr, 0, exists, 0, flags);
  if (!exists) return static_cast<long>(P::kErrorKeyDeleted);
  o->NotifyEvent = event;
  return 0;
}

void TSimulatedMachine::RegCloseKey(THandle key) {
  auto& s = *State;
  std::lock_guard lock(s.M);
  TState::TObject* o = s.Find(key);
  s.Record(TSimCall::RegCloseKey, o ? o->KeyName : std::string(), key, 0, nullptr, 0, o != nullptr);
  if (o) {
    s.Objects.erase(key);
    s.Closed.insert(key);
  }
}

std::unique_ptr<IPhoneThread> TSimulatedMachine::StartThread(std::function<void()> body) {
  auto& s = *State;
  std::unique_ptr<TSimThread> thread;
  {
    std::lock_guard lock(s.M);
    ++s.Participants;
    thread = std::make_unique<TSimThread>(s, ++s.ThreadCounter);
    s.Record(TSimCall::StartThread, std::string(), 0, thread->Id(), nullptr, 0, true);
  }
  thread->Thread = std::thread([&s, body = std::move(body)] {
    tlParticipantOf = &s;
    body();
    std::lock_guard lock(s.M);
    --s.Participants;
    s.Changed();
  });
  return thread;
}

void TSimulatedMachine::Sleep(std::uint32_t ms) {
  auto& s = *State;
  std::unique_lock lock(s.M);
  const std::function<bool()> never = [] { return false; };
  s.Wait(lock, never, TState::After(s.NowUs(), ms));
}

std::uint32_t TSimulatedMachine::GetTickCount() {
  std::lock_guard lock(State->M);
  return State->StartTick + static_cast<std::uint32_t>(State->NowMs());
}

std::unique_ptr<TSimulatedMachine> CreateSimulatedPhonePlatform(const std::string& seedDir) {
  auto machine = std::make_unique<TSimulatedMachine>(TClockMode::RealTime);
  machine->Phone().LoadSeed(seedDir);
  machine->Phone().Plug(TPhoneMode::Modem);
  return machine;
}
