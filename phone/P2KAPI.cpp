#include "P2KAPI.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "InOutError.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace P2KAPI {

TFileList* PhoneFiles = nullptr;
std::function<void(const std::string&)> OnLog;
std::function<void(int)> OnProgress;

std::string MakeSearchPattern(const std::string& text) {
  std::string pattern;
  for (char c : text) {
    if (c == '|') {
      pattern += '\xFF';
      pattern += '\xFE';
    } else {
      pattern += '\0';
      pattern += c;
    }
  }
  pattern += std::string(2, '\0');
  return pattern;
}

const std::string FunlightPattern1 = MakeSearchPattern("/a/|funlight.pat");
const std::string FunlightPattern2 = MakeSearchPattern("/c/|funlight.pat");

namespace {

using P = IPhonePlatform;

void PutBE16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

void PutLE16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutBE32(std::uint8_t* p, std::uint32_t v) {
  PutBE16(p, v >> 16);
  PutBE16(p + 2, v);
}

std::uint32_t BE16(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 8) | p[1];
}

std::uint32_t BE32(const std::uint8_t* p) {
  return (BE16(p) << 16) | BE16(p + 2);
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// Removes leading and trailing blanks and control characters (NUL padding among them).
std::string Trim(const std::string& s) {
  size_t first = 0;
  size_t last = s.size();
  while (first < last && static_cast<unsigned char>(s[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ') --last;
  return s.substr(first, last - first);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The USB interface number written after "&mi_" in a device path, or the default.
std::uint16_t InterfaceNumberOf(const std::string& path) {
  const size_t at = Lower(path).find("&mi_");
  if (at == std::string::npos || at + 6 > path.size()) return kDefaultInterfaceNumber;
  const int high = HexDigit(path[at + 4]);
  const int low = HexDigit(path[at + 5]);
  if (high < 0 || low < 0) return kDefaultInterfaceNumber;
  return static_cast<std::uint16_t>(high * 16 + low);
}

int Percent(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 100;
  const double p = std::round(static_cast<double>(done) * 100.0 / static_cast<double>(total));
  return static_cast<int>(std::clamp(p, 0.0, 100.0));
}

void Progress(int percent) {
  if (OnProgress) OnProgress(percent);
}

// The SCSI pass-through request (32-bit SCSI_PASS_THROUGH_DIRECT layout) carrying the vendor
// command that takes a phone out of disk mode.
std::vector<std::uint8_t> StorageSwitchRequest(std::uint16_t code) {
  std::vector<std::uint8_t> r(44, 0);
  PutLE16(&r[0], 44);  // Length
  r[6] = 12;           // CdbLength
  r[8] = 1;            // DataIn
  r[16] = 25;          // TimeOutValue, seconds
  r[28] = 0xD6;        // Cdb
  PutLE16(&r[38], code);
  return r;
}

// The local file of a read, created or emptied. It is never opened through a symbolic link: a link
// planted in its place must not steer the phone's bytes into another file.
class TLocalFile {
 public:
  explicit TLocalFile(const std::string& path) {
#ifdef _WIN32
    Out.open(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
#else
    Fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
#endif
  }
  ~TLocalFile() {
#ifndef _WIN32
    if (Fd >= 0) ::close(Fd);
#endif
  }
  TLocalFile(const TLocalFile&) = delete;
  TLocalFile& operator=(const TLocalFile&) = delete;

  bool IsOpen() const {
#ifdef _WIN32
    return Out.is_open();
#else
    return Fd >= 0;
#endif
  }

  bool Write(const std::uint8_t* data, std::size_t size) {
#ifdef _WIN32
    Out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(Out);
#else
    while (size > 0) {
      const ssize_t n = ::write(Fd, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
#endif
  }

 private:
#ifdef _WIN32
  std::ofstream Out;
#else
  int Fd = -1;
#endif
};

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

THandle TP2KAPI::FindP2KDevice(const std::string& name, std::uint16_t queryCode) {
  const THandle devices = Platform.GetClassDevices(kP2KInterfaceClass, kDeviceInterfaceFlags);
  if (devices == P::kNoHandle) {
    Log("Get class fail");
    return P::kNoHandle;
  }
  THandle found = P::kNoHandle;
  for (std::uint32_t index = 0;
       found == P::kNoHandle && Platform.EnumDeviceInterface(devices, kP2KInterfaceClass, index);
       ++index) {
    std::uint32_t required = 0;
    std::uint32_t error = 0;
    if (Platform.QueryInterfaceDetailSize(devices, kP2KInterfaceClass, index, required, error) ||
        error != P::kErrorInsufficientBuffer || required > 256) {
      continue;
    }
    std::string path;
    if (!Platform.GetInterfaceDetail(devices, kP2KInterfaceClass, index, required, path)) continue;
    Log("Dev name is " + path);

    // Opened for overlapped requests, so that the waits below can time out.
    const THandle device =
        Platform.OpenDevice(path, P::kGenericRead | P::kGenericWrite,
                            P::kFileShareRead | P::kFileShareWrite, P::kFileFlagOverlapped);
    TOverlapped overlapped;
    overlapped.Event = Platform.CreateEventObject(true, false);
    std::uint8_t query[2];
    PutLE16(query, queryCode);
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
      break;
    }
    std::uint32_t transferred = 0;
    if (!Platform.GetOverlappedResult(device, overlapped, transferred, false)) {
      Platform.CancelIo(device, overlapped);
      Platform.CloseHandle(overlapped.Event);
      if (device != P::kNoHandle) Platform.CloseHandle(device);
      Log("GetOverlappedResult fail");
      break;
    }
    Platform.CloseHandle(overlapped.Event);

    // A 32-bit byte count, then UTF-16LE text; the low byte of each code unit is kept. The count
    // is not trusted beyond the answer buffer.
    const std::uint32_t count =
        answer[0] | (answer[1] << 8) | (answer[2] << 16) | (std::uint32_t{answer[3]} << 24);
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
  }
  Platform.DestroyDeviceList(devices);
  return found;
}

bool TP2KAPI::SwitchStorageToP2K(std::uint16_t code) {
  const THandle devices = Platform.GetClassDevices(kDiskInterfaceClass, kDeviceInterfaceFlags);
  if (devices == P::kNoHandle) {
    Log("Get class fail");
    return false;
  }
  bool matched = false;
  for (std::uint32_t index = 0;
       !matched && Platform.EnumDeviceInterface(devices, kDiskInterfaceClass, index); ++index) {
    std::uint32_t required = 0;
    std::uint32_t error = 0;
    if (Platform.QueryInterfaceDetailSize(devices, kDiskInterfaceClass, index, required, error) ||
        error != P::kErrorInsufficientBuffer || required > 256) {
      continue;
    }
    std::string path;
    if (!Platform.GetInterfaceDetail(devices, kDiskInterfaceClass, index, required, path)) {
      continue;
    }
    path = Trim(path);
    const std::string lower = Lower(path);
    Log("Storage Dev name is " + lower);
    if (lower.find("motorola") == std::string::npos || lower.find("usbstor") == std::string::npos) {
      continue;
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
  }
  Platform.DestroyDeviceList(devices);
  return matched;
}

bool TP2KAPI::DeviceStillListed() {
  const THandle devices = Platform.GetClassDevices(kP2KInterfaceClass, kDeviceInterfaceFlags);
  if (devices == P::kNoHandle) return false;
  const std::string wanted = Lower(DevicePath.substr(0, DevicePath.find('\0')));
  bool listed = false;
  for (std::uint32_t index = 0;
       !listed && Platform.EnumDeviceInterface(devices, kP2KInterfaceClass, index); ++index) {
    std::uint32_t required = 0;
    std::uint32_t error = 0;
    std::string path;
    if (!Platform.QueryInterfaceDetailSize(devices, kP2KInterfaceClass, index, required, error) &&
        error == P::kErrorInsufficientBuffer && required <= 256 &&
        Platform.GetInterfaceDetail(devices, kP2KInterfaceClass, index, required, path)) {
      listed = Lower(path) == wanted;
    }
  }
  Platform.DestroyDeviceList(devices);
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

bool TP2KAPI::IoWait(THandle device, const std::uint8_t* input, std::uint32_t inputLength,
                     std::uint8_t* output, std::uint32_t outputLength, const char* name,
                     std::uint32_t& transferred) {
  transferred = 0;
  TOverlapped overlapped;
  overlapped.Event = Platform.CreateEventObject(true, false);
  std::uint32_t error = 0;
  if (!Platform.IoControl(device, kTransferIoctl, input, inputLength, output, outputLength,
                          &overlapped, error) &&
      error != P::kErrorIoPending) {
    // Refused outright: its event will never be signalled, so waiting for it is pointless.
    Platform.CloseHandle(overlapped.Event);
    LastFailure = TFailure::TransferFailed;
    Log(std::string(name) + " GetOverlappedResult fail");
    return false;
  }
  if (Platform.WaitForObject(overlapped.Event, kTransferTimeoutMs) != P::kWaitObject0) {
    Platform.CancelIo(device, overlapped);
    Platform.CloseHandle(overlapped.Event);
    LastFailure = TFailure::NoAnswer;
    Log(std::string(name) + " DevIOCtl fail");
    return false;
  }
  if (!Platform.GetOverlappedResult(device, overlapped, transferred, false)) {
    transferred = 0;
    Platform.CancelIo(device, overlapped);
    Platform.CloseHandle(overlapped.Event);
    LastFailure = TFailure::TransferFailed;
    Log(std::string(name) + " GetOverlappedResult fail");
    return false;
  }
  Platform.CloseHandle(overlapped.Event);
  return true;
}

bool TP2KAPI::WriteData(THandle device, const std::uint8_t* request, std::uint32_t length,
                        std::uint32_t& transferred) {
  std::uint8_t output[5] = {};
  return IoWait(device, request, length, output, sizeof output, "WriteData", transferred);
}

bool TP2KAPI::ReadData(THandle device, const std::uint8_t* request, std::uint8_t* answer,
                       std::uint32_t& received) {
  return IoWait(device, request, 9, answer, kAnswerBufferSize, "ReadData", received);
}

bool TP2KAPI::SendCommand(std::uint16_t command, const std::uint8_t* data, std::uint16_t dataLength,
                          std::uint8_t* answer, std::uint32_t answerCapacity,
                          std::uint16_t& answerLength) {
  if (dataLength > kMaxCommandData) {
    LastFailure = TFailure::TransferFailed;
    return false;
  }
  std::lock_guard lock(TransferLock);
  // The watcher has closed the interface (or never opened one): nothing to send to.
  const THandle device = DeviceHandle;
  if (device == P::kNoHandle) {
    LastFailure = TFailure::NotConnected;
    return false;
  }
  const std::uint16_t iface = InterfaceNumber;

  std::vector<std::uint8_t> request(dataLength + 18u, 0);
  request[0] = 0x41;
  request[1] = 0x02;
  PutLE16(&request[4], iface);
  PutLE16(&request[6], dataLength + 8u);
  PutBE16(&request[8], PacketNumber & 0x0FFFu);
  PutBE16(&request[10], command & 0x0FFFu);
  PutBE16(&request[12], dataLength);
  if (dataLength > 0) std::memcpy(&request[16], data, dataLength);
  std::uint32_t transferred = 0;
  if (!WriteData(device, request.data(), static_cast<std::uint32_t>(request.size()), transferred)) {
    return false;
  }
  const std::uint32_t written = Platform.GetTickCount();

  std::vector<std::uint8_t> buffer(kAnswerBufferSize, 0);
  std::uint8_t poll[9] = {0xC1, 0x00, 0, 0, 0, 0, 0, 0, 0};
  PutLE16(&poll[4], iface);
  PutLE16(&poll[6], 8);
  for (;;) {
    std::memset(buffer.data(), 0, 12);
    Platform.Sleep(1);
    if (!ReadData(device, poll, buffer.data(), transferred)) return false;
    // The bytes a short poll answer lacks would read as zeros: refuse it.
    if (transferred < kPollAnswerSize) {
      LastFailure = TFailure::BadAnswer;
      return false;
    }
    if (buffer[5] == 1 || buffer[5] == 2) break;
    if (Platform.GetTickCount() - written >= kAnswerTimeoutMs) break;
  }
  if (Platform.GetTickCount() - written >= kAnswerTimeoutMs) {
    LastFailure = TFailure::NoAnswer;
    Log("USB Time-out");
    return false;
  }

  const std::uint8_t ready = buffer[5];
  std::uint8_t fetch[9] = {0xC1, 0x01, ready, 0, 0, 0, 0, 0, 0};
  PutLE16(&fetch[4], iface);
  PutLE16(&fetch[6], static_cast<std::uint16_t>(BE16(&buffer[6]) + 4 + 2 * ready));
  std::memset(buffer.data(), 0, 1024);
  if (!ReadData(device, fetch, buffer.data(), transferred)) return false;

  // The answer counts only when all of its header and data arrived.
  const std::uint32_t length = BE16(&buffer[14]);
  if (transferred < kAnswerDataOffset + length || buffer[4] != 1 ||
      BE16(&buffer[8]) != length + 8 ||
      (((buffer[10] & 0x0Fu) << 8) | buffer[11]) != PacketNumber ||
      ((buffer[12] >> 4) != 6 && (buffer[12] >> 4) != 8) ||
      length > kAnswerBufferSize - kAnswerDataOffset) {
    LastFailure = TFailure::BadAnswer;
    return false;
  }
  answerLength = static_cast<std::uint16_t>(length);
  std::memcpy(answer, &buffer[kAnswerDataOffset], std::min(length, answerCapacity));
  return true;
}

bool TP2KAPI::OpenPhoneFile(const std::string& name, std::uint32_t size, std::uint8_t attribute) {
  std::uint8_t data[262] = {};
  PutBE32(data, kFileOpen);
  if (attribute == 0xFF) {
    PutBE32(data + 4, 0xFFFFFFFFu);
  } else {
    data[7] = attribute;
  }
  std::memcpy(data + 8, name.data(), std::min<size_t>(name.size(), 254));
  std::uint8_t status = 0xFF;
  std::uint16_t length = 0;
  if (!SendCommand(kCommandFileSystem, data, sizeof data, &status, 1, length)) {
    FileSize = 0;
    return false;
  }
  if (status == 9) {
    LastFailure = TFailure::Refused;
    FileSize = 0;
    return false;
  }
  if (status == 0) {
    ClosePhoneFile();
    status = 0xFF;
    if (!SendCommand(kCommandFileSystem, data, sizeof data, &status, 1, length)) {
      FileSize = 0;
      return false;
    }
  }
  FileSize = size;
  return true;
}

bool TP2KAPI::ClosePhoneFile() {
  std::uint8_t data[4];
  PutBE32(data, kFileClose);
  std::uint8_t status = 0xFF;
  std::uint16_t length = 0;
  return SendCommand(kCommandFileSystem, data, sizeof data, &status, 1, length) && status != 1;
}

bool TP2KAPI::ReadPhoneFile(const std::string& localPath, const std::string& phoneName,
                            std::uint32_t size) {
  if (!OpenPhoneFile(phoneName, size, 0xFF)) return false;
  TLocalFile local(localPath);
  if (!local.IsOpen()) {
    ClosePhoneFile();
    throw EInOutError("File access denied");
  }
  std::uint32_t remaining = FileSize;
  Progress(0);
  std::vector<std::uint8_t> answer(kChunkSize, 0);
  do {
    const std::uint32_t n = std::min(remaining, kChunkSize);
    std::uint8_t data[8];
    PutBE32(data, kFileRead);
    PutBE32(data + 4, n);
    std::uint16_t length = 0;
    if (!SendCommand(kCommandFileSystem, data, sizeof data, answer.data(), kChunkSize, length)) {
      ClosePhoneFile();
      return false;
    }
    if (length == 0) {
      LastFailure = TFailure::BadAnswer;
      ClosePhoneFile();
      return false;
    }
    // Only the bytes the phone sent go into the file; a short answer ends the read as failed.
    const std::uint32_t received = std::min<std::uint32_t>(length, n);
    if (!local.Write(answer.data(), received)) {
      ClosePhoneFile();
      throw EInOutError("Disk full");
    }
    if (received < n) {
      LastFailure = TFailure::BadAnswer;
      ClosePhoneFile();
      return false;
    }
    remaining -= n;
    Progress(Percent(FileSize - remaining, FileSize));
  } while (remaining > 0);
  Progress(0);
  ClosePhoneFile();
  return true;
}

bool TP2KAPI::WritePhoneFile(const std::string& localPath, const std::string& phoneName,
                             bool processMessages, std::uint8_t attribute) {
  if (!OpenPhoneFile(phoneName, 0, attribute)) return false;
  const std::filesystem::path path(localPath);
  std::ifstream local(path, std::ios::binary);
  std::error_code error;
  const auto fileSize = std::filesystem::file_size(path, error);
  if (!local || error) {
    ClosePhoneFile();
    throw EInOutError(std::filesystem::exists(path, error) ? "File access denied"
                                                           : "File not found");
  }
  const std::uint64_t total = fileSize;
  std::uint64_t remaining = total;
  Progress(0);
  std::vector<std::uint8_t> data(kWriteDataLength, 0);
  do {
    const std::uint32_t n =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, kChunkSize));
    std::fill(data.begin(), data.end(), 0);
    PutBE32(&data[0], kFileWrite);
    PutBE32(&data[4], n);
    local.read(reinterpret_cast<char*>(&data[8]), n);
    if (static_cast<std::uint32_t>(local.gcount()) != n) {
      ClosePhoneFile();
      throw EInOutError("Read beyond end of file");
    }
    std::uint8_t status = 0;
    std::uint16_t length = 0;
    if (!SendCommand(kCommandFileSystem, data.data(), kWriteDataLength, &status, 1, length)) {
      local.close();
      ClosePhoneFile();
      return false;
    }
    remaining -= n;
    Progress(Percent(total - remaining, total));
    if (processMessages && ProcessMessages) ProcessMessages();
  } while (remaining > 0);
  Progress(0);
  local.close();
  ClosePhoneFile();
  // The listing made at connection time now names a file of this size.
  if (PhoneFiles) PhoneFiles->SetSize(phoneName, static_cast<std::uint32_t>(total));
  return true;
}

bool TP2KAPI::FindPhoneFiles(const std::string& pattern, bool clear) {
  return SearchPhoneFiles(pattern, clear) == TSearchResult::Found;
}

TSearchResult TP2KAPI::SearchPhoneFiles(const std::string& pattern, bool clear) {
  if (pattern.size() + 4 > kMaxCommandData) return TSearchResult::Failed;
  std::vector<std::uint8_t> data(4 + pattern.size(), 0);
  PutBE32(&data[0], kFileSearch);
  std::memcpy(&data[4], pattern.data(), pattern.size());
  std::vector<std::uint8_t> answer(kChunkSize, 0);
  std::uint16_t length = 0;
  if (!SendCommand(kCommandFileSystem, data.data(), static_cast<std::uint16_t>(data.size()),
                   answer.data(), kChunkSize, length)) {
    return TSearchResult::Failed;
  }
  const int total = static_cast<int>(BE16(&answer[0]));
  int remaining = total;
  if (clear && PhoneFiles) PhoneFiles->Clear();
  if (total == 0) return TSearchResult::NotFound;

  bool appended = false;
  do {
    std::fill(answer.begin(), answer.end(), 0);
    std::uint8_t next[5];
    PutBE32(next, kFileSearchNext);
    next[4] = 3;
    if (!SendCommand(kCommandFileSystem, next, sizeof next, answer.data(), kChunkSize, length)) {
      return TSearchResult::Failed;
    }
    const int listed = answer[1];
    // An answer never holds more entries than fit in what arrived of it.
    const std::uint32_t received = std::min<std::uint32_t>(length, kChunkSize);
    const int held = received >= 4 ? static_cast<int>((received - 4) / kSearchEntrySize) : 0;
    const int count = std::min(listed, held);
    for (int i = 0; i < count; ++i) {
      const std::uint8_t* entry = &answer[4 + kSearchEntrySize * static_cast<std::uint32_t>(i)];
      std::string name = Trim(std::string(reinterpret_cast<const char*>(entry), 259));
      if (name.size() > 255) name.resize(255);
      if (PhoneFiles) {
        PhoneFiles->Add({name, BE32(entry + 264)});
        appended = true;
      }
    }
    remaining -= listed;
    Progress(Percent(static_cast<std::uint64_t>(std::max(total - remaining, 0)),
                     static_cast<std::uint64_t>(total)));
    if (count == 0) break;
  } while (remaining > 0);
  Progress(0);
  return appended ? TSearchResult::Found : TSearchResult::NotFound;
}

bool TP2KAPI::ReadSeem(std::uint16_t seem, std::uint16_t record, std::uint16_t offset,
                       std::uint16_t count, std::uint8_t* buffer, std::uint16_t& size) {
  std::uint8_t data[8];
  PutBE16(data, seem);
  PutBE16(data + 2, record);
  PutBE16(data + 4, offset);
  PutBE16(data + 6, count);
  std::vector<std::uint8_t> answer(65536, 0);
  std::uint16_t length = 0;
  if (!SendCommand(RDELEM, data, sizeof data, answer.data(), 65536, length)) return false;
  // An answer without its status byte counts as refused.
  if (length == 0 || answer[0] != 0) {
    LastFailure = length == 0 ? TFailure::BadAnswer : TFailure::Refused;
    LastError = "RDELEM answer: no seem or access denided";
    return false;
  }
  const std::uint16_t received = static_cast<std::uint16_t>(length - 1);
  if (received > size) {
    size = received;
    LastFailure = TFailure::BadAnswer;
    LastError = "Buffer too small";
    return false;
  }
  size = received;
  std::memcpy(buffer, &answer[1], received);
  return true;
}

bool TP2KAPI::WriteSeem(std::uint16_t seem, std::uint16_t record, std::uint16_t offset,
                        std::uint16_t count, const std::uint8_t* source) {
  if (count + 8u > kMaxCommandData) {
    LastFailure = TFailure::TransferFailed;
    return false;
  }
  std::vector<std::uint8_t> data(8u + count, 0);
  PutBE16(&data[0], seem);
  PutBE16(&data[2], record);
  PutBE16(&data[4], offset);
  PutBE16(&data[6], count);
  if (count > 0) std::memcpy(&data[8], source, count);
  std::vector<std::uint8_t> answer(65536, 0);
  std::uint16_t length = 0;
  if (!SendCommand(WRELEM, data.data(), static_cast<std::uint16_t>(data.size()), answer.data(),
                   65536, length)) {
    return false;
  }
  if (length == 0 || answer[0] != 0) {
    LastFailure = length == 0 ? TFailure::BadAnswer : TFailure::Refused;
    LastError = "No seem or access denided";
    return false;
  }
  return true;
}

bool TP2KAPI::RestartPhone() {
  if (Connected) {
    std::uint8_t answer[4] = {};
    std::uint16_t length = 0;
    SendCommand(kCommandRestart, nullptr, 0, answer, sizeof answer, length);
  }
  return true;
}

}  // namespace P2KAPI
