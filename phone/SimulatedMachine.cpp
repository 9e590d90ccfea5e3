#include "SimulatedMachine.h"

#include "SimulatedMachineState.h"

std::string DeviceInterfaceKey(const std::string& devicePath) {
  return "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
         "{4e1e1e15-52d7-11d4-852d-00105aa6f80b}\\##?#" +
         (devicePath.size() > 4 ? devicePath.substr(4) : std::string()) + "\\#\\Control";
}

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

void TSimulatedMachine::SetObserver(ISimObserver* observer) {
  std::lock_guard lock(State->M);
  State->Observer = observer;
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
      Bytes::SameText(name, s.Setup.ModemPort)) {
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
    if (Bytes::SameText(name, interfaces[i].Path) && interfaces[i].Openable) {
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
    if (Bytes::SameText(name, disks[i])) {
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
  if (flags == kPresentInterfaces && !(s.Observer && s.Observer->ClassListFails(interfaceClass))) {
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
      inputLength == 2 && (Bytes::LE16(in) == kTestCommandQuery || Bytes::LE16(in) == kFlashQuery);
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
    const bool valid = inputLength == 44 && Bytes::LE16(&request[0]) == 44 && request[6] == 12 &&
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
  if (s.KeyExists(Bytes::Lower(subKey))) {
    TState::TObject o;
    o.Kind = TState::TKind::RegKey;
    o.KeyName = Bytes::Lower(subKey);
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
