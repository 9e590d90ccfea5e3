#pragma once

#include <algorithm>
#include <cstdio>
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
  explicit TUsbPhoneModel(TSimulatedMachine& sim) : Sim(sim), Wake(sim.CreateEventObject(0, 0)) {}
  ~TUsbPhoneModel() override { Sim.CloseHandle(Wake); }

  bool Initialised = true;         // libusb_init succeeded
  int OpenError = 0;               // what libusb_open answers, 0 to open
  bool KernelDriver = false;       // a kernel driver is bound to the interfaces
  bool Hotplug = true;             // hot-plug is supported
  std::vector<std::string> Calls;  // claims, releases, detaches and attaches, in order
  THandle LastOpen = 0;            // the simulated handle behind the last open

  bool Available() const override { return Initialised; }
  std::vector<TUsbDevice> Devices() override {
    std::vector<TUsbDevice> out;
    for (const std::string& p : Paths()) {  // "...#vid_22b8&pid_4902&mi_08#location#..."
      unsigned vendor = 0, product = 0, number = 0;
      std::sscanf(p.c_str() + p.find("vid_"), "vid_%4x&pid_%4x&mi_%2x", &vendor, &product, &number);
      out.push_back({LocationOf(p),
                     static_cast<std::uint16_t>(vendor),
                     static_cast<std::uint16_t>(product),
                     {{static_cast<std::uint8_t>(number), 0xFF, 1}}});
    }
    return out;
  }
  int Open(const std::string& location, TUsbHandle& handle) override {
    for (const std::string& path : Paths()) {
      if (LocationOf(path) != location || OpenError) continue;
      handle = LastOpen = Sim.OpenDevice(path, 0xC0000000u, 3, 0x40000000u);
      return handle ? 0 : kUsbErrorNoDevice;
    }
    return OpenError ? OpenError : kUsbErrorNoDevice;
  }
  void Close(TUsbHandle handle) override { Sim.CloseHandle(handle); }
  int KernelDriverActive(TUsbHandle, int) override { return KernelDriver; }
  int DetachKernelDriver(TUsbHandle, int iface) override { return Log("detach", iface); }
  int AttachKernelDriver(TUsbHandle, int iface) override { return Log("attach", iface); }
  int ClaimInterface(TUsbHandle handle, int iface) override {
    return Claimed[handle] = iface, Log("claim", iface);
  }
  int ReleaseInterface(TUsbHandle handle, int iface) override {
    return Claimed.erase(handle), Log("release", iface);
  }
  // The name the simulated driver answers, as a string descriptor in English.
  int GetStringDescriptor(TUsbHandle handle, std::uint8_t index, std::uint16_t language,
                          std::uint8_t* data, int length) override {
    std::vector<std::uint8_t> answer(512);
    const std::uint8_t query[2] = {0x02, 0x01};
    const int n = index == 1 && language == 0x0409 ? Io(handle, 0x80002010u, query, 2, answer) : -2;
    if (n < 4) return n < 0 ? n : -2;
    const int size = std::min({answer[0] | answer[1] << 8, n - 4, 253, length});
    data[0] = static_cast<std::uint8_t>(size), data[1] = 3;  // the NUL's place takes the header
    std::copy_n(answer.begin() + 4, size - 2, data + 2);
    return size;
  }
  int ControlTransfer(TUsbHandle handle, std::uint8_t type, std::uint8_t request,
                      std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                      std::uint16_t length, unsigned timeoutMs) override {
    if (timeoutMs != 5000 || !Claimed.contains(handle) || Claimed[handle] != index) return -2;
    const auto lo = [](unsigned v) { return static_cast<std::uint8_t>(v); };
    std::vector<std::uint8_t> buffer = {type,      request,        lo(value),  lo(value >> 8),
                                        lo(index), lo(index >> 8), lo(length), lo(length >> 8)};
    const bool in = (type & 0x80) != 0;
    if (!in) buffer.insert(buffer.end(), data, data + length);
    buffer.insert(buffer.end(), in ? 1 : 2, 0);  // the driver's pad byte, or the trailer
    std::vector<std::uint8_t> answer(in ? length : 5);
    const int n =
        Io(handle, 0x80002014u, buffer.data(), static_cast<std::uint32_t>(buffer.size()), answer);
    if (in && n > 0) std::copy_n(answer.begin(), n, data);
    return n < 0 || in ? n : length;
  }
  bool WatchRemovals() override { return Hotplug; }
  void HandleEvents(std::uint32_t ms) override { Sim.WaitForObject(Wake, ms); }
  void Interrupt() override { Sim.SetEventObject(Wake); }

 private:
  static std::string LocationOf(const std::string& path) {
    const size_t from = path.find('#', path.find('#') + 1) + 1;
    return "1-" + path.substr(from, path.find('#', from) - from);
  }
  std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    const THandle list = Sim.GetClassDevices(kP2KInterfaceClass, 0x12);
    for (std::string p; Sim.GetInterfaceDetail(list, kP2KInterfaceClass, paths.size(), 256, p);)
      paths.push_back(p);
    Sim.DestroyDeviceList(list);
    return paths;
  }
  int Log(const char* what, int iface) {
    Calls.push_back(what);
    Calls.back() += ' ' + std::to_string(iface);
    return 0;
  }
  // One request of the simulated driver, waited for as libusb waits: 5 s at most.
  int Io(THandle handle, std::uint32_t code, const std::uint8_t* input, std::uint32_t length,
         std::vector<std::uint8_t>& output) {
    TOverlapped ov;
    ov.Event = Sim.CreateEventObject(true, false);
    std::uint32_t error = 0, n = 0;
    int result = -1;  // LIBUSB_ERROR_IO
    if (!Sim.IoControl(handle, code, input, length, output.data(),
                       static_cast<std::uint32_t>(output.size()), &ov, error) &&
        error != IPhonePlatform::kErrorIoPending) {
      if (error == IPhonePlatform::kErrorDeviceNotConnected) result = kUsbErrorNoDevice;
    } else if (Sim.WaitForObject(ov.Event, 5000) != IPhonePlatform::kWaitObject0) {
      Sim.CancelIo(handle, ov);
      result = kUsbErrorTimeout;
    } else if (Sim.GetOverlappedResult(handle, ov, n, false)) {
      result = static_cast<int>(n);
    }
    Sim.CloseHandle(ov.Event);
    return result;
  }

  TSimulatedMachine& Sim;
  THandle Wake;
  std::map<TUsbHandle, int> Claimed;
};
