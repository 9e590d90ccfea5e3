#include "LinuxPhonePlatform.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "Bytes.h"
#include "SimulatedMachine.h"

namespace fs = std::filesystem;

namespace {

using P = IPhonePlatform;

constexpr std::uint16_t kMotorolaVendor = 0x22B8;
constexpr std::uint8_t kVendorClass = 0xFF;
constexpr std::uint16_t kEnglish = 0x0409;
constexpr unsigned kRequestTimeoutMs = 5000;
constexpr std::uint32_t kNameQuery = 0x80002010u;
constexpr std::uint32_t kTransfer = 0x80002014u;
constexpr std::uint32_t kScsiPassThrough = 0x0004D014u;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorInvalidFunction = 1;
constexpr char kModemName[] = "\\\\.\\Motorola USB Modem";
constexpr char kClassSuffix[] = "#{4e1e1e15-52d7-11d4-852d-00105aa6f80b}";

struct TResult : TOverlappedState {
  bool Ok = false;
  std::uint32_t Bytes = 0;
};

// The device path of a vendor interface: the interface number after "&mi_", as the link reads
// it, and the device's location between '#' marks, which names it again in the removal key.
std::string InterfacePath(const TUsbDevice& d, const TUsbInterface& i) {
  char head[40];
  std::snprintf(head, sizeof head, "\\\\?\\usb#vid_%04x&pid_%04x&mi_%02x#", d.Vendor, d.Product,
                i.Number);
  return head + d.Location + kClassSuffix;
}

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

struct TLinuxPhonePlatform::TObject {
  enum class TKind { File, Disk, Interface, List, Key } Kind;
  int Fd = -1;
  TUsbHandle Usb = 0;
  TUsbInterface Iface{};
  bool Claimed = false;
  bool Detached = false;
  std::vector<std::string> Paths{};  // of a list
  std::string Location{};            // of a key
};

TLinuxPhonePlatform::TLinuxPhonePlatform(ILibUsb& usb, IPhonePlatform& clock, TLinuxPaths paths)
    : Usb(usb), Clock(clock), Paths(std::move(paths)) {}

TLinuxPhonePlatform::~TLinuxPhonePlatform() {
  while (!Objects.empty()) CloseHandle(Objects.begin()->first);
}

THandle TLinuxPhonePlatform::Add(TObject object) {
  std::lock_guard lock(M);
  const THandle h = NextHandle;
  NextHandle += 2;  // odd numbers, never those of the clock platform's objects
  Objects[h] = std::make_unique<TObject>(std::move(object));
  return h;
}

TLinuxPhonePlatform::TObject* TLinuxPhonePlatform::Find(THandle handle) {
  std::lock_guard lock(M);
  const auto it = Objects.find(handle);
  return it == Objects.end() ? nullptr : it->second.get();
}

// The USB vendor of the device a sysfs entry belongs to, as its idVendor file gives it.
std::string TLinuxPhonePlatform::UsbVendorOf(const std::string& sysPath) const {
  std::error_code error;
  for (fs::path p = fs::canonical(sysPath, error); !error && p.has_relative_path();
       p = p.parent_path()) {
    if (fs::exists(p / "idVendor", error)) return ReadLine(p / "idVendor");
  }
  return {};
}

// The phone's serial ports, ttyACM0 first.
std::vector<std::string> TLinuxPhonePlatform::ModemPorts() const {
  std::vector<std::string> ports;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(Paths.Sys + "/class/tty", error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("ttyACM") && UsbVendorOf(entry.path().string() + "/device") == "22b8")
      ports.push_back(name);
  }
  std::ranges::sort(ports, [](const std::string& a, const std::string& b) {
    return std::pair(a.size(), a) < std::pair(b.size(), b);
  });
  return ports;
}

THandle TLinuxPhonePlatform::OpenDevice(const std::string& name, std::uint32_t, std::uint32_t share,
                                        std::uint32_t) {
  TObject object{};
  if (name.starts_with(kModemName)) {
    // The plain name comes first in every search: the ports are listed once for the numbered
    // names after it, and a refusal is reported until a whole search went without one.
    std::size_t number = 0;
    if (name == kModemName) {
      Modems = ModemPorts();
      Denied = DeniedNow.exchange(false);
    } else if (std::sscanf(name.c_str() + sizeof kModemName - 1, " #%zu", &number) != 1) {
      return kNoHandle;
    }
    if (number >= Modems.size()) return kNoHandle;
    object.Kind = TObject::TKind::File;
    object.Fd = ::open((Paths.Dev + "/" + Modems[number]).c_str(),
                       O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (object.Fd < 0) {
      if (errno == EACCES) Denied = DeniedNow = true;
      return kNoHandle;
    }
    // Not shared: no one else may open the port while the command is written.
    if (share == 0) ::ioctl(object.Fd, TIOCEXCL);
    return Add(std::move(object));
  }
  if (name.find("#usbstor#") != std::string::npos) {
    object.Kind = TObject::TKind::Disk;
    object.Fd = ::open((Paths.Dev + "/" + name.substr(0, name.find('#'))).c_str(),
                       O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return object.Fd < 0 ? kNoHandle : Add(std::move(object));
  }
  for (const TUsbDevice& d : Usb.Devices()) {
    for (const TUsbInterface& i : d.Interfaces) {
      if (InterfacePath(d, i) != name) continue;
      object.Kind = TObject::TKind::Interface;
      object.Iface = i;
      const int result = Usb.Open(d.Location, object.Usb);
      if (result == kUsbErrorAccess) Denied = DeniedNow = true;
      if (result == 0) Denied = false;
      return result == 0 ? Add(std::move(object)) : kNoHandle;
    }
  }
  return kNoHandle;
}

bool TLinuxPhonePlatform::WriteDevice(THandle device, const std::uint8_t* data,
                                      std::uint32_t length, std::uint32_t& written) {
  TObject* o = Find(device);
  const ssize_t n = o && o->Kind == TObject::TKind::File ? ::write(o->Fd, data, length) : -1;
  written = n > 0 ? static_cast<std::uint32_t>(n) : 0;
  return n == static_cast<ssize_t>(length);
}

void TLinuxPhonePlatform::CloseHandle(THandle handle) {
  std::unique_ptr<TObject> o;
  {
    std::lock_guard lock(M);
    const auto it = Objects.find(handle);
    if (it == Objects.end()) {
      Watches.erase(handle);
      TimedOut.erase(handle);
    } else {
      o = std::move(it->second);
      Objects.erase(it);
    }
  }
  if (!o) return Clock.CloseHandle(handle);
  if (o->Fd >= 0) ::close(o->Fd);
  if (o->Kind != TObject::TKind::Interface) return;
  if (o->Claimed) Usb.ReleaseInterface(o->Usb, o->Iface.Number);
  if (o->Detached) Usb.AttachKernelDriver(o->Usb, o->Iface.Number);
  Usb.Close(o->Usb);
}

THandle TLinuxPhonePlatform::GetClassDevices(const TGuid& interfaceClass, std::uint32_t) {
  TObject list{TObject::TKind::List};
  if (interfaceClass == kP2KInterfaceClass) {
    for (const TUsbDevice& d : Usb.Devices()) {
      if (d.Vendor != kMotorolaVendor) continue;
      for (const TUsbInterface& i : d.Interfaces)
        if (i.Class == kVendorClass) list.Paths.push_back(InterfacePath(d, i));
    }
  } else if (interfaceClass == kDiskInterfaceClass) {
    // USB disks; the phone's are named as Windows names them, so that the link picks them.
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(Paths.Sys + "/block", error)) {
      const std::string vendor = UsbVendorOf(entry.path().string() + "/device");
      if (!vendor.empty())
        list.Paths.push_back(entry.path().filename().string() + "#usbstor#" +
                             (vendor == "22b8" ? "motorola" : "ven_" + vendor));
    }
    std::ranges::sort(list.Paths);
  } else {
    return kNoHandle;
  }
  return Add(std::move(list));
}

bool TLinuxPhonePlatform::EnumDeviceInterface(THandle devices, const TGuid&, std::uint32_t index) {
  const TObject* o = Find(devices);
  return o && index < o->Paths.size();
}

bool TLinuxPhonePlatform::QueryInterfaceDetailSize(THandle devices, const TGuid& interfaceClass,
                                                   std::uint32_t index, std::uint32_t& requiredSize,
                                                   std::uint32_t& lastError) {
  // As SetupAPI sizes the detail: a 4-byte size field, the path and its NUL.
  lastError = EnumDeviceInterface(devices, interfaceClass, index) ? kErrorInsufficientBuffer
                                                                  : kErrorNoMoreItems;
  if (lastError == kErrorInsufficientBuffer)
    requiredSize = static_cast<std::uint32_t>(Find(devices)->Paths[index].size() + 5);
  return false;
}

bool TLinuxPhonePlatform::GetInterfaceDetail(THandle devices, const TGuid& interfaceClass,
                                             std::uint32_t index, std::uint32_t,
                                             std::string& devicePath) {
  if (!EnumDeviceInterface(devices, interfaceClass, index)) return false;
  devicePath = Find(devices)->Paths[index];
  return true;
}

void TLinuxPhonePlatform::DestroyDeviceList(THandle devices) {
  CloseHandle(devices);
}

THandle TLinuxPhonePlatform::CreateEventObject(bool manualReset, bool initialState) {
  return Clock.CreateEventObject(manualReset, initialState);
}

bool TLinuxPhonePlatform::SetEventObject(THandle event) {
  const bool ok = Clock.SetEventObject(event);
  Usb.Interrupt();  // a removal wait in the event handler looks at its events again
  return ok;
}

bool TLinuxPhonePlatform::ResetEventObject(THandle event) {
  return Clock.ResetEventObject(event);
}

std::uint32_t TLinuxPhonePlatform::WaitForObject(THandle object, std::uint32_t timeoutMs) {
  return WaitForObjects({object}, timeoutMs);
}

std::uint32_t TLinuxPhonePlatform::WaitForObjects(const std::vector<THandle>& objects,
                                                  std::uint32_t timeoutMs) {
  std::string location;
  size_t watched = 0;
  {
    std::lock_guard lock(M);
    // A request that timed out has already waited its time in libusb.
    if (TimedOut.erase(objects.at(0))) return kWaitTimeout;
    for (; watched < objects.size() && location.empty(); ++watched) {
      const auto it = Watches.find(objects[watched]);
      if (it != Watches.end()) location = it->second;
    }
  }
  if (location.empty()) return Clock.WaitForObjects(objects, timeoutMs);
  return WaitForRemoval(objects, watched - 1, location);
}

bool TLinuxPhonePlatform::Present(const std::string& location) {
  const auto devices = Usb.Devices();
  return std::ranges::any_of(devices, [&](const TUsbDevice& d) { return d.Location == location; });
}

// Waits until one of the objects is signalled or the device leaves, which signals the watched
// event. Hot-plug wakes the wait at once; without it the device list is looked at every second.
std::uint32_t TLinuxPhonePlatform::WaitForRemoval(const std::vector<THandle>& objects,
                                                  size_t watched, const std::string& location) {
  const bool hotplug = Usb.WatchRemovals();
  for (;;) {
    const std::uint32_t result = Clock.WaitForObjects(objects, hotplug ? 0 : 1000);
    if (result != kWaitTimeout) return result;
    if (!Present(location)) {
      Clock.SetEventObject(objects[watched]);
      return kWaitObject0 + static_cast<std::uint32_t>(watched);
    }
    if (hotplug) Usb.HandleEvents(1000);
  }
}

// One request buffer as the control transfer it describes: the setup packet in its first 8
// bytes, then the data of a transfer to the device.
bool TLinuxPhonePlatform::Transfer(TObject& device, const std::uint8_t* in, std::uint32_t inLength,
                                   std::uint8_t* out, std::uint32_t outLength,
                                   std::uint32_t& transferred, bool& timedOut) {
  if (inLength < 8) return false;
  const int iface = device.Iface.Number;
  if (!device.Claimed) {
    // A kernel driver bound to the vendor interface gives way, and gets it back on close.
    if (Usb.KernelDriverActive(device.Usb, iface) == 1)
      device.Detached = Usb.DetachKernelDriver(device.Usb, iface) == 0;
    device.Claimed = Usb.ClaimInterface(device.Usb, iface) == 0;
    if (!device.Claimed) return false;
  }
  const std::uint16_t length = Bytes::LE16(in + 6);
  const bool toHost = (in[0] & 0x80) != 0;
  std::vector<std::uint8_t> data;
  if (toHost) {
    data.resize(length);
  } else if (inLength >= 8u + length) {
    data.assign(in + 8, in + 8 + length);
  } else {
    return false;
  }
  const int n = Usb.ControlTransfer(device.Usb, in[0], in[1], Bytes::LE16(in + 2),
                                    Bytes::LE16(in + 4), data.data(), length, kRequestTimeoutMs);
  timedOut = n == kUsbErrorTimeout;
  if (n < 0) return false;
  transferred = toHost ? std::min<std::uint32_t>(static_cast<std::uint32_t>(n), outLength) : 0;
  if (transferred > 0) std::memcpy(out, data.data(), transferred);
  return true;
}

bool TLinuxPhonePlatform::IoControl(THandle device, std::uint32_t code, const void* input,
                                    std::uint32_t inputLength, void* output,
                                    std::uint32_t outputLength, TOverlapped* overlapped,
                                    std::uint32_t& lastError) {
  TObject* o = Find(device);
  const auto* in = static_cast<const std::uint8_t*>(input);
  auto* out = static_cast<std::uint8_t*>(output);
  bool ok = false;
  bool timedOut = false;
  std::uint32_t transferred = 0;
  if (o && o->Kind == TObject::TKind::Interface && code == kNameQuery) {
    // The interface's name: a byte count, then the UTF-16LE text with its NUL.
    std::uint8_t descriptor[255] = {};
    const int n = Usb.GetStringDescriptor(o->Usb, o->Iface.NameIndex, kEnglish, descriptor,
                                          sizeof descriptor);
    ok = n >= 2 && outputLength >= static_cast<std::uint32_t>(n) + 4;
    if (ok) {
      std::memset(out, 0, static_cast<size_t>(n) + 4);
      Bytes::PutLE32(out, static_cast<std::uint32_t>(n));
      std::memcpy(out + 4, descriptor + 2, static_cast<size_t>(n) - 2);
      transferred = static_cast<std::uint32_t>(n) + 4;
    }
    timedOut = n == kUsbErrorTimeout;
  } else if (o && o->Kind == TObject::TKind::Interface && code == kTransfer) {
    ok = Transfer(*o, in, inputLength, out, outputLength, transferred, timedOut);
  } else if (o && o->Kind == TObject::TKind::Disk && code == kScsiPassThrough &&
             inputLength >= 44) {
    // The 32-bit pass-through request as an SG_IO request without data.
    std::uint8_t sense[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = SG_DXFER_NONE;
    io.cmd_len = std::min<std::uint8_t>(in[6], 16);
    io.cmdp = const_cast<std::uint8_t*>(in + 28);
    io.mx_sb_len = sizeof sense;
    io.sbp = sense;
    io.timeout = Bytes::LE32(in + 16) * 1000;
    ok = ::ioctl(o->Fd, SG_IO, &io) == 0;
  } else {
    lastError = kErrorInvalidFunction;
    return false;
  }
  if (!overlapped) {
    lastError = ok ? 0 : kErrorGenFailure;
    return ok;
  }
  auto result = std::make_unique<TResult>();
  result->Ok = ok;
  result->Bytes = transferred;
  overlapped->State = std::move(result);
  if (timedOut) {
    // Pending as far as the link knows; its wait for the event reports the time-out at once.
    std::lock_guard lock(M);
    TimedOut.insert(overlapped->Event);
    lastError = kErrorIoPending;
    return false;
  }
  lastError = ok ? 0 : kErrorGenFailure;
  if (ok) Clock.SetEventObject(overlapped->Event);
  return ok;
}

bool TLinuxPhonePlatform::CancelIo(THandle, TOverlapped& overlapped) {
  std::lock_guard lock(M);
  TimedOut.erase(overlapped.Event);
  return overlapped.State != nullptr;
}

bool TLinuxPhonePlatform::GetOverlappedResult(THandle, TOverlapped& overlapped,
                                              std::uint32_t& bytesTransferred, bool) {
  const auto* result = dynamic_cast<const TResult*>(overlapped.State.get());
  bytesTransferred = result ? result->Bytes : 0;
  return result && result->Ok;
}

long TLinuxPhonePlatform::RegOpenLocalMachineKey(const std::string& subKey, std::uint32_t,
                                                 THandle& key) {
  // The key names the interface's path, and with it the device's location.
  key = kNoHandle;
  for (const TUsbDevice& d : Usb.Devices()) {
    if (subKey.find("#" + d.Location + "#") == std::string::npos) continue;
    key = Add({TObject::TKind::Key, -1, 0, {}, false, false, {}, d.Location});
    return 0;
  }
  return static_cast<long>(kErrorFileNotFound);
}

long TLinuxPhonePlatform::RegNotifyChange(THandle key, bool, std::uint32_t, THandle event, bool) {
  const TObject* o = Find(key);
  if (!o || o->Kind != TObject::TKind::Key) return static_cast<long>(kErrorInvalidHandle);
  std::lock_guard lock(M);
  Watches[event] = o->Location;
  return 0;
}

void TLinuxPhonePlatform::RegCloseKey(THandle key) {
  CloseHandle(key);
}

std::unique_ptr<IPhoneThread> TLinuxPhonePlatform::StartThread(std::function<void()> body) {
  return Clock.StartThread(std::move(body));
}

void TLinuxPhonePlatform::Sleep(std::uint32_t ms) {
  Clock.Sleep(ms);
}

std::uint32_t TLinuxPhonePlatform::GetTickCount() {
  return Clock.GetTickCount();
}

namespace {

// libusb and a real-time clock, owned by the platform that runs on them.
struct TSystemParts {
  std::unique_ptr<ILibUsb> Usb = CreateLibUsb();
  TSimulatedMachine Clock{TClockMode::RealTime};
};

class TSystemPhonePlatform : private TSystemParts, public TLinuxPhonePlatform {
 public:
  TSystemPhonePlatform() : TLinuxPhonePlatform(*TSystemParts::Usb, TSystemParts::Clock) {}
};

}  // namespace

std::unique_ptr<IPhonePlatform> CreateSystemPhonePlatform() {
  return std::make_unique<TSystemPhonePlatform>();
}
