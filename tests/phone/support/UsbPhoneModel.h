#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "LibUsb.h"
#include "SimulatedMachine.h"

// The simulated phone as libusb sees it: each P2K interface of the simulated machine is a USB
// device of its own, whose control transfers are handed to the simulated phone as the request
// buffers it decodes. Only the literal setup values of the transport get through (vendor
// requests to the claimed interface, 5 s time-outs); a wrong field fails like a stalled pipe.
class TUsbPhoneModel : public ILibUsb {
 public:
  explicit TUsbPhoneModel(TSimulatedMachine& sim)
      : Sim(sim), Wake(sim.CreateEventObject(false, false)) {}
  ~TUsbPhoneModel() override { Sim.CloseHandle(Wake); }

  bool Initialised = true;    // libusb_init succeeded
  int OpenError = 0;          // what libusb_open answers, 0 to open
  bool KernelDriver = false;  // a kernel driver is bound to the interfaces
  bool Hotplug = true;
  std::vector<std::string> Calls;  // claims, releases, detaches and attaches, in order
  THandle LastOpen = 0;            // the simulated handle behind the last open

  bool Available() const override { return Initialised; }
  std::vector<TUsbDevice> Devices() override {
    std::vector<TUsbDevice> out;
    for (const std::string& path : Paths()) {
      std::string lower = path;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const auto hex = [&](const char* key, size_t digits) {
        const size_t at = lower.find(key);
        return at == std::string::npos ? 0 : std::stoi(lower.substr(at + 4, digits), nullptr, 16);
      };
      out.push_back({LocationOf(path),
                     static_cast<std::uint16_t>(hex("vid_", 4)),
                     static_cast<std::uint16_t>(hex("pid_", 4)),
                     {{static_cast<std::uint8_t>(hex("&mi_", 2)), 0xFF, 1}}});
    }
    return out;
  }
  int Open(const std::string& location, TUsbHandle& handle) override {
    for (const std::string& path : Paths()) {
      if (LocationOf(path) != location) continue;
      if (OpenError) return OpenError;
      handle = LastOpen = Sim.OpenDevice(path, 0xC0000000u, 3, 0x40000000u);
      return handle ? 0 : kUsbErrorNoDevice;
    }
    return kUsbErrorNoDevice;
  }
  void Close(TUsbHandle handle) override {
    Claimed.erase(handle);
    Sim.CloseHandle(handle);
  }
  int KernelDriverActive(TUsbHandle, int) override { return KernelDriver; }
  int DetachKernelDriver(TUsbHandle, int iface) override { return Log("detach", iface); }
  int AttachKernelDriver(TUsbHandle, int iface) override { return Log("attach", iface); }
  int ClaimInterface(TUsbHandle handle, int iface) override {
    Claimed[handle] = iface;
    return Log("claim", iface);
  }
  int ReleaseInterface(TUsbHandle handle, int iface) override {
    Claimed.erase(handle);
    return Log("release", iface);
  }
  // The name the simulated driver would answer, as a string descriptor in English.
  int GetStringDescriptor(TUsbHandle handle, std::uint8_t index, std::uint16_t language,
                          std::uint8_t* data, int length) override {
    std::vector<std::uint8_t> answer(512);
    const std::uint8_t query[2] = {0x02, 0x01};
    const int n = index == 1 && language == 0x0409 ? Io(handle, 0x80002010u, query, 2, answer)
                                                   : kErrorInvalidParam;
    if (n < 6) return n < 0 ? n : kErrorInvalidParam;
    const int size = std::min<int>({answer[0] | answer[1] << 8, n - 4, 253});
    data[0] = static_cast<std::uint8_t>(size);  // the NUL's two bytes stand for the header's
    data[1] = 3;
    std::copy_n(answer.begin() + 4, std::min(size - 2, length - 2), data + 2);
    return std::min(size, length);
  }
  int ControlTransfer(TUsbHandle handle, std::uint8_t type, std::uint8_t request,
                      std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                      std::uint16_t length, unsigned timeoutMs) override {
    const auto claimed = Claimed.find(handle);
    if (timeoutMs != 5000 || claimed == Claimed.end() || claimed->second != index)
      return kErrorInvalidParam;
    const auto lo = [](unsigned v) { return static_cast<std::uint8_t>(v); };
    std::vector<std::uint8_t> buffer = {type,      request,        lo(value),  lo(value >> 8),
                                        lo(index), lo(index >> 8), lo(length), lo(length >> 8)};
    const bool in = (type & 0x80) != 0;
    if (!in) buffer.insert(buffer.end(), data, data + length);
    buffer.insert(buffer.end(), in ? 1 : 2, 0);  // the driver's pad byte, or the trailer
    std::vector<std::uint8_t> answer(in ? length : 5);
    const int n =
        Io(handle, 0x80002014u, buffer.data(), static_cast<std::uint32_t>(buffer.size()), answer);
    if (n < 0 || !in) return n < 0 ? n : length;
    std::copy_n(answer.begin(), n, data);
    return n;
  }
  bool WatchRemovals() override { return Hotplug; }
  void HandleEvents(std::uint32_t ms) override { Sim.WaitForObject(Wake, ms); }
  void Interrupt() override { Sim.SetEventObject(Wake); }

 private:
  static constexpr int kErrorIo = -1, kErrorInvalidParam = -2;
  static std::string LocationOf(const std::string& path) {
    const size_t from = path.find('#', path.find('#') + 1) + 1;
    return "1-" + path.substr(from, path.find('#', from) - from);
  }
  std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    const THandle list = Sim.GetClassDevices(kP2KInterfaceClass, 0x12);
    std::string path;
    for (std::uint32_t i = 0; Sim.GetInterfaceDetail(list, kP2KInterfaceClass, i, 256, path); ++i)
      paths.push_back(path);
    Sim.DestroyDeviceList(list);
    return paths;
  }
  int Log(const char* what, int iface) {
    Calls.push_back(what + std::string(" ") + std::to_string(iface));
    return 0;
  }
  // One request of the simulated driver, waited for as libusb waits: 5 s at most.
  int Io(THandle handle, std::uint32_t code, const std::uint8_t* input, std::uint32_t length,
         std::vector<std::uint8_t>& output) {
    TOverlapped overlapped;
    overlapped.Event = Sim.CreateEventObject(true, false);
    std::uint32_t error = 0, n = 0;
    int result = kErrorIo;
    if (!Sim.IoControl(handle, code, input, length, output.data(),
                       static_cast<std::uint32_t>(output.size()), &overlapped, error) &&
        error != IPhonePlatform::kErrorIoPending) {
      result = error == IPhonePlatform::kErrorDeviceNotConnected ? kUsbErrorNoDevice : kErrorIo;
    } else if (Sim.WaitForObject(overlapped.Event, 5000) != IPhonePlatform::kWaitObject0) {
      Sim.CancelIo(handle, overlapped);
      result = kUsbErrorTimeout;
    } else if (Sim.GetOverlappedResult(handle, overlapped, n, false)) {
      result = static_cast<int>(n);
    }
    Sim.CloseHandle(overlapped.Event);
    return result;
  }

  TSimulatedMachine& Sim;
  THandle Wake;
  std::map<TUsbHandle, int> Claimed;
};
