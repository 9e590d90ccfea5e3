#pragma once
// The simulated machine's state, shared by the machine (SimulatedMachine.cpp) and its phone
// (SimulatedPhone.cpp). Not for use outside those two files.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "Bytes.h"
#include "SimulatedMachine.h"

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

// A class identifier as Windows writes it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
inline TGuid GuidFromText(const char* text) {
  std::uint8_t b[16] = {};
  int nibbles = 0;
  for (const char* p = text; *p && nibbles < 32; ++p) {
    const int v = Bytes::HexDigit(*p);
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

inline const TGuid kSimP2KClass = GuidFromText(kP2KClassText);
inline const TGuid kSimDiskClass = GuidFromText(kDiskClassText);

}  // namespace

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

  // ---- the test's observer
  ISimObserver* Observer = nullptr;

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
  std::deque<TAnswer> Answers;
  int Restarts = 0;

  TState(TClockMode mode, std::uint32_t startTick) : Mode(mode), StartTick(startTick) {}

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
    if (!Observer) return;
    TSimRequest r{call, NowMs(), name, handle, code, share, flags, {}, ok};
    if (input && length) {
      const auto* p = static_cast<const std::uint8_t*>(input);
      r.Input.assign(p, p + length);
    }
    Observer->Request(r);
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
      if (i.HasRegistryKey && Bytes::Lower(DeviceInterfaceKey(i.Path)) == lowerName) return true;
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

  // The phone (SimulatedPhone.cpp).
  void SwitchToP2K();
  void Restart();
  std::vector<std::uint8_t> FileSystem(const std::vector<std::uint8_t>& data);
  std::vector<std::uint8_t> SeemCommand(bool write, const std::vector<std::uint8_t>& data);
  void Execute(const TPhoneCommand& command);
  const TAnswer* ReadyAnswer() const;
  static std::uint16_t PollLength(const TAnswer& a);
  static std::vector<std::uint8_t> FetchBytes(const TAnswer& a);
  // One control transfer to the phone's P2K interface.
  TIoResult Transfer(const TSimInterface& info, const std::vector<std::uint8_t>& in,
                     std::uint8_t* out, std::uint32_t outLength);

  static TRequestKind KindOf(const std::vector<std::uint8_t>& in) {
    if (in.size() < 2) return TRequestKind::Any;
    if (in[0] == 0x41) return TRequestKind::Command;
    return in[1] == 0 ? TRequestKind::Poll : TRequestKind::Fetch;
  }

  std::optional<TIoFault> TakeFault(TRequestKind kind) {
    return Observer ? Observer->Fault(kind) : std::nullopt;
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
