#include <algorithm>
#include <cstring>

#include "Bytes.h"
#include "P2KAPI.h"

// Discovery: the mode switch, the device search, the storage switch and the watcher.
namespace P2KAPI {

std::function<void(const std::string&)> OnLog;

namespace {

using P = IPhonePlatform;

// The USB interface number written after "&mi_" in a device path, or the default.
std::uint16_t InterfaceNumberOf(const std::string& path) {
  const size_t at = Bytes::Lower(path).find("&mi_");
  if (at == std::string::npos || at + 6 > path.size()) return kDefaultInterfaceNumber;
  const int high = Bytes::HexDigit(path[at + 4]);
  const int low = Bytes::HexDigit(path[at + 5]);
  if (high < 0 || low < 0) return kDefaultInterfaceNumber;
  return static_cast<std::uint16_t>(high * 16 + low);
}

// The SCSI pass-through request (32-bit SCSI_PASS_THROUGH_DIRECT layout) carrying the vendor
// command that takes a phone out of disk mode.
std::vector<std::uint8_t> StorageSwitchRequest(std::uint16_t code) {
  std::vector<std::uint8_t> r(44, 0);
  Bytes::PutLE16(&r[0], 44);  // Length
  r[6] = 12;                  // CdbLength
  r[8] = 1;                   // DataIn
  r[16] = 25;                 // TimeOutValue, seconds
  r[28] = 0xD6;               // Cdb
  Bytes::PutLE16(&r[38], code);
  return r;
}

}  // namespace

void TStatusWindow::Deliver(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (TP2KAPI* owner = Owner.load()) owner->StatusWindowProc(message, wParam, lParam);
}

TP2KAPI::TP2KAPI(IPhonePlatform& platform, IStatusPoster& poster)
    : StatusWindow(std::make_shared<TStatusWindow>(this)), Platform(platform), Poster(poster) {
  StopEvent = Platform.CreateEventObject(true, false);
  WatcherEnded = Platform.CreateEventObject(true, false);
}

TP2KAPI::~TP2KAPI() {
  StatusWindow->Release();
  Stop();
  if (Watcher) Watcher->Join();
  if (DeviceHandle != P::kNoHandle) Platform.CloseHandle(DeviceHandle);
  if (StopEvent != P::kNoHandle) Platform.CloseHandle(StopEvent);
  if (WatcherEnded != P::kNoHandle) Platform.CloseHandle(WatcherEnded);
}

bool TP2KAPI::Free(TP2KAPI* link, std::uint32_t waitMs) {
  if (!link) return false;
  link->StatusWindow->Release();
  link->Stop();
  // On the platform's clock, so that a simulated machine runs the watcher meanwhile.
  if (link->Watcher && link->WatcherActive) {
    link->Platform.WaitForObject(link->WatcherEnded, waitMs);
  }
  {
    std::lock_guard lock(link->ExitMutex);
    if (link->Watcher && link->WatcherActive) {
      link->Abandoned = true;
      link->Watcher->Detach();
      link->Watcher.reset();
      // From the unlock on, the watcher owns the link.
      return true;
    }
  }
  delete link;
  return false;
}

void TP2KAPI::WatcherFinished() {
  bool abandoned = false;
  {
    std::lock_guard lock(ExitMutex);
    WatcherActive = false;
    abandoned = Abandoned;
  }
  if (abandoned) {
    delete this;
    return;
  }
  Platform.SetEventObject(WatcherEnded);
}

void TP2KAPI::Log(const std::string& line) const {
  std::lock_guard lock(ExitMutex);
  if (!Abandoned && OnLog) OnLog(line);
}

void TP2KAPI::PostStatus(int status) {
  std::lock_guard lock(ExitMutex);
  if (Abandoned) return;
  Poster.Post([window = StatusWindow, status] {
    window->Deliver(WM_P2KSTATUS, static_cast<std::uintptr_t>(status), 0);
  });
}

void TP2KAPI::StatusWindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t) {
  if (message != WM_P2KSTATUS) return;
  if (OnStatus) OnStatus(wParam == 1 ? 1 : 0);
}

bool TP2KAPI::Start(bool watch) {
  {
    std::lock_guard lock(TransferLock);
    TestCommandInterface = {"Motorola Test Command", 0x0102};
    FlashInterface = {"Motorola Flash", 0x0002};
    CurrentInterface = TestCommandInterface;
    PacketNumber = 1;
    // While the watcher holds an open interface its "connected" notice stands, delivered or still
    // queued: a "not connected" posted now would arrive after it and have the last word. Checked
    // and posted under the lock, so that the watcher cannot open and post in between.
    if (DeviceHandle == P::kNoHandle) {
      Connected = false;
      PostStatus(0);
    }
  }
  if (!watch) return true;
  // A watcher that ended, or that was stopped and is winding down, is collected first.
  if (Watcher && (!WatcherActive || !Running)) {
    Watcher->Join();
    Watcher.reset();
  }
  if (!Watcher) {
    Platform.ResetEventObject(StopEvent);
    Platform.ResetEventObject(WatcherEnded);
    Running = true;
    WatcherActive = true;
    Watcher = Platform.StartThread([this] {
      WatchDevice();
      WatcherFinished();
    });
    ThreadId = Watcher->Id();
  }
  return true;
}

void TP2KAPI::Stop() {
  Running = false;
  if (StopEvent != P::kNoHandle) Platform.SetEventObject(StopEvent);
}

bool TP2KAPI::Pause(std::uint32_t ms) {
  if (Platform.WaitForObject(StopEvent, ms) == P::kWaitFailed) Platform.Sleep(ms);
  return Running;
}

std::unique_lock<std::mutex> TP2KAPI::LockFromWatcher() {
  std::unique_lock lock(TransferLock, std::try_to_lock);
  while (!lock.owns_lock()) {
    Platform.Sleep(1);
    lock.try_lock();
  }
  return lock;
}

THandle TP2KAPI::CurrentDevice() {
  std::lock_guard lock(TransferLock);
  return DeviceHandle;
}

std::string TP2KAPI::RegistryKeyName() const {
  std::string path = DevicePath.size() > 4 ? DevicePath.substr(4) : std::string();
  path = path.substr(0, path.find('\0'));
  return std::string(kRegistryKeyPrefix) + path + kRegistryKeySuffix;
}

bool TP2KAPI::SendModeSwitch() {
  const std::uint32_t access = P::kGenericRead | P::kGenericWrite;
  THandle port = Platform.OpenDevice(kModemName, access, 0, 0);
  for (int number = 0; port == P::kNoHandle && number <= kLastModemNumber; ++number) {
    port = Platform.OpenDevice(kModemNumberedName + std::to_string(number), access, 0, 0);
  }
  if (port == P::kNoHandle) return false;
  std::uint32_t written = 0;
  const bool ok = Platform.WriteDevice(
      port, reinterpret_cast<const std::uint8_t*>(kModeSwitchCommand), 10, written);
  Platform.CloseHandle(port);
  return ok;
}

bool TP2KAPI::EachInterface(const TGuid& interfaceClass,
                            const std::function<bool(const std::string& path)>& visit) {
  const THandle devices = Platform.GetClassDevices(interfaceClass, kDeviceInterfaceFlags);
  if (devices == P::kNoHandle) return false;
  bool stop = false;
  for (std::uint32_t index = 0;
       !stop && Platform.EnumDeviceInterface(devices, interfaceClass, index); ++index) {
    std::uint32_t required = 0;
    std::uint32_t error = 0;
    if (Platform.QueryInterfaceDetailSize(devices, interfaceClass, index, required, error) ||
        error != P::kErrorInsufficientBuffer || required > 256) {
      continue;
    }
    std::string path;
    if (!Platform.GetInterfaceDetail(devices, interfaceClass, index, required, path)) continue;
    stop = visit(path);
  }
  Platform.DestroyDeviceList(devices);
  return true;
}

THandle TP2KAPI::FindP2KDevice(const std::string& name, std::uint16_t queryCode) {
  THandle found = P::kNoHandle;
  const bool listed = EachInterface(kP2KInterfaceClass, [&](const std::string& path) {
    Log("Dev name is " + path);
    // Opened for overlapped requests, so that the waits below can time out.
    const THandle device =
        Platform.OpenDevice(path, P::kGenericRead | P::kGenericWrite,
                            P::kFileShareRead | P::kFileShareWrite, P::kFileFlagOverlapped);
    TOverlapped overlapped;
    overlapped.Event = Platform.CreateEventObject(true, false);
    std::uint8_t query[2];
    Bytes::PutLE16(query, queryCode);
    std::uint8_t answer[512] = {};
    std::uint32_t ioError = 0;
    Platform.IoControl(device, kNameQueryIoctl, query, 2, answer, sizeof answer, &overlapped,
                       ioError);
    const std::uint32_t wait = Platform.WaitForObjects({overlapped.Event, StopEvent}, 5000);
    if (wait != P::kWaitObject0) {
      Platform.CancelIo(device, overlapped);
      Platform.CloseHandle(overlapped.Event);
      if (device != P::kNoHandle) Platform.CloseHandle(device);
      if (wait == P::kWaitTimeout) Log("DevIOCtl fail");
      return true;
    }
    std::uint32_t transferred = 0;
    if (!Platform.GetOverlappedResult(device, overlapped, transferred, false)) {
      Platform.CancelIo(device, overlapped);
      Platform.CloseHandle(overlapped.Event);
      if (device != P::kNoHandle) Platform.CloseHandle(device);
      Log("GetOverlappedResult fail");
      return true;
    }
    Platform.CloseHandle(overlapped.Event);

    // A 32-bit byte count, then UTF-16LE text; the low byte of each code unit is kept. The count
    // is not trusted beyond the answer buffer.
    const std::uint32_t count = Bytes::LE32(answer);
    const std::uint32_t units = std::min<std::uint32_t>(count / 2, (sizeof answer - 4) / 2);
    std::string interfaceName;
    bool terminated = false;
    for (std::uint32_t i = 0; i < units; ++i) {
      const char c = static_cast<char>(answer[4 + 2 * i]);
      if (c == '\0') {
        terminated = true;
        break;
      }
      interfaceName += c;
    }
    if (!terminated) interfaceName.clear();

    if (interfaceName == name && !interfaceName.empty()) {
      found = device;
      auto lock = LockFromWatcher();
      DevicePath = path;
      InterfaceNumber = InterfaceNumberOf(path);
    } else if (device != P::kNoHandle) {
      Platform.CloseHandle(device);
    }
    Log(interfaceName);
    return found != P::kNoHandle;
  });
  if (!listed) Log("Get class fail");
  return found;
}

bool TP2KAPI::SwitchStorageToP2K(std::uint16_t code) {
  bool matched = false;
  const bool listed = EachInterface(kDiskInterfaceClass, [&](const std::string& found) {
    const std::string path = Bytes::Trim(found);
    const std::string lower = Bytes::Lower(path);
    Log("Storage Dev name is " + lower);
    if (lower.find("motorola") == std::string::npos || lower.find("usbstor") == std::string::npos) {
      return false;
    }
    matched = true;
    const THandle disk =
        Platform.OpenDevice(path, P::kGenericRead | P::kGenericWrite,
                            P::kFileShareRead | P::kFileShareWrite, P::kFileFlagNoBuffering);
    const std::vector<std::uint8_t> request = StorageSwitchRequest(code);
    std::uint32_t ioError = 0;
    Platform.IoControl(disk, kScsiPassThroughDirectIoctl, request.data(),
                       static_cast<std::uint32_t>(request.size()), nullptr, 0, nullptr, ioError);
    if (disk != P::kNoHandle) Platform.CloseHandle(disk);
    return true;
  });
  if (!listed) Log("Get class fail");
  return matched;
}

bool TP2KAPI::DeviceStillListed() {
  const std::string wanted = Bytes::Lower(DevicePath.substr(0, DevicePath.find('\0')));
  bool listed = false;
  EachInterface(kP2KInterfaceClass, [&](const std::string& path) {
    listed = Bytes::Lower(path) == wanted;
    return listed;
  });
  return listed;
}

void TP2KAPI::WaitForRemoval() {
  bool waited = false;
  THandle key = P::kNoHandle;
  if (Platform.RegOpenLocalMachineKey(RegistryKeyName(), P::kKeyRead, key) == 0) {
    const THandle changed = Platform.CreateEventObject(true, false);
    if (Platform.RegNotifyChange(key, true, P::kRegNotifyChangeName | P::kRegNotifyChangeLastSet,
                                 changed, true) == 0) {
      const std::uint32_t wait = Platform.WaitForObjects({changed, StopEvent}, P::kInfinite);
      waited = wait == P::kWaitObject0 || wait == P::kWaitObject0 + 1;
    }
    Platform.CloseHandle(changed);
    Platform.RegCloseKey(key);
  }
  if (waited) return;
  // Without the key there is no change to wait for: look for the interface once a second
  // instead of reporting the phone gone right after reporting it connected.
  Log("Removal key unavailable");
  while (Pause(1000) && DeviceStillListed()) {
  }
}

void TP2KAPI::CloseDevice() {
  auto lock = LockFromWatcher();
  if (DeviceHandle != P::kNoHandle) Platform.CloseHandle(DeviceHandle);
  DeviceHandle = P::kNoHandle;
}

void TP2KAPI::WatchDevice() {
  while (Running) {
    SendModeSwitch();
    if (!Pause(500)) break;
    TInterfaceName testCommand;
    TInterfaceName flash;
    {
      auto lock = LockFromWatcher();
      testCommand = TestCommandInterface;
      flash = FlashInterface;
      CurrentInterface = testCommand;
    }
    THandle device = FindP2KDevice(testCommand.Name, testCommand.QueryCode);
    if (device == P::kNoHandle && Running) {
      {
        auto lock = LockFromWatcher();
        CurrentInterface = flash;
      }
      device = FindP2KDevice(flash.Name, flash.QueryCode);
      if (device == P::kNoHandle && Running && SwitchStorageToP2K(kStorageSwitchCode)) Pause(1000);
    }
    {
      auto lock = LockFromWatcher();
      DeviceHandle = device;
    }
    if (device != P::kNoHandle) {
      PostStatus(1);
      WaitForRemoval();
      CloseDevice();
      PostStatus(0);
    }
    if (!Running) break;
    Pause(1000);
  }
}

}  // namespace P2KAPI
