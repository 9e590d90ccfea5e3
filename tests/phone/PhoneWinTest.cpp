// The phone link on the Windows platform of a machine without a phone: nothing is found, no
// command is sent, the watcher keeps searching without reporting a connection, and Stop ends it.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "P2KAPI.h"
#include "PhonePlatform.h"
#include "StatusPoster.h"
#include "WinCheck.h"

namespace {

using WinCheck::Check;

using Clock = std::chrono::steady_clock;

// Hands every call to the Windows platform and notes the device names opened.
class TWatchedPlatform : public IPhonePlatform {
 public:
  explicit TWatchedPlatform(IPhonePlatform& inner) : Inner(inner) {}

  std::vector<std::string> Opened() {
    std::lock_guard lock(Mutex);
    return Names;
  }
  int Count(const std::string& name) {
    int n = 0;
    for (const auto& o : Opened()) n += o == name;
    return n;
  }

  THandle OpenDevice(const std::string& name, std::uint32_t access, std::uint32_t shareMode,
                     std::uint32_t flags) override {
    {
      std::lock_guard lock(Mutex);
      Names.push_back(name);
    }
    return Inner.OpenDevice(name, access, shareMode, flags);
  }
  bool WriteDevice(THandle device, const std::uint8_t* data, std::uint32_t length,
                   std::uint32_t& written) override {
    return Inner.WriteDevice(device, data, length, written);
  }
  void CloseHandle(THandle handle) override { Inner.CloseHandle(handle); }
  THandle GetClassDevices(const TGuid& c, std::uint32_t flags) override {
    return Inner.GetClassDevices(c, flags);
  }
  bool EnumDeviceInterface(THandle d, const TGuid& c, std::uint32_t i) override {
    return Inner.EnumDeviceInterface(d, c, i);
  }
  bool QueryInterfaceDetailSize(THandle d, const TGuid& c, std::uint32_t i, std::uint32_t& size,
                                std::uint32_t& error) override {
    return Inner.QueryInterfaceDetailSize(d, c, i, size, error);
  }
  bool GetInterfaceDetail(THandle d, const TGuid& c, std::uint32_t i, std::uint32_t size,
                          std::string& path) override {
    return Inner.GetInterfaceDetail(d, c, i, size, path);
  }
  void DestroyDeviceList(THandle d) override { Inner.DestroyDeviceList(d); }
  THandle CreateEventObject(bool manual, bool initial) override {
    return Inner.CreateEventObject(manual, initial);
  }
  bool SetEventObject(THandle e) override { return Inner.SetEventObject(e); }
  bool ResetEventObject(THandle e) override { return Inner.ResetEventObject(e); }
  std::uint32_t WaitForObject(THandle o, std::uint32_t ms) override {
    return Inner.WaitForObject(o, ms);
  }
  std::uint32_t WaitForObjects(const std::vector<THandle>& o, std::uint32_t ms) override {
    return Inner.WaitForObjects(o, ms);
  }
  bool IoControl(THandle d, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                 std::uint32_t outLength, TOverlapped* ov, std::uint32_t& error) override {
    return Inner.IoControl(d, code, in, inLength, out, outLength, ov, error);
  }
  bool CancelIo(THandle d, TOverlapped& ov) override { return Inner.CancelIo(d, ov); }
  bool GetOverlappedResult(THandle d, TOverlapped& ov, std::uint32_t& n, bool wait) override {
    return Inner.GetOverlappedResult(d, ov, n, wait);
  }
  long RegOpenLocalMachineKey(const std::string& k, std::uint32_t a, THandle& key) override {
    return Inner.RegOpenLocalMachineKey(k, a, key);
  }
  long RegNotifyChange(THandle k, bool s, std::uint32_t f, THandle e, bool a) override {
    return Inner.RegNotifyChange(k, s, f, e, a);
  }
  void RegCloseKey(THandle k) override { Inner.RegCloseKey(k); }
  std::unique_ptr<IPhoneThread> StartThread(std::function<void()> body) override {
    return Inner.StartThread(std::move(body));
  }
  void Sleep(std::uint32_t ms) override { Inner.Sleep(ms); }
  std::uint32_t GetTickCount() override { return Inner.GetTickCount(); }

 private:
  IPhonePlatform& Inner;
  std::mutex Mutex;
  std::vector<std::string> Names;
};

void PlatformCalls(IPhonePlatform& platform) {
  using P = IPhonePlatform;
  const THandle event = platform.CreateEventObject(true, false);
  Check(event != P::kNoHandle, "an event is created");
  const std::uint32_t before = platform.GetTickCount();
  Check(platform.WaitForObject(event, 30) == P::kWaitTimeout, "an unsignalled event times out");
  Check(platform.GetTickCount() - before >= 20, "the wait took its time");
  const THandle second = platform.CreateEventObject(true, false);
  platform.SetEventObject(second);
  Check(platform.WaitForObjects({event, second}, P::kInfinite) == P::kWaitObject0 + 1,
        "the second of two events is reported");
  platform.ResetEventObject(second);
  Check(platform.WaitForObject(second, 0) == P::kWaitTimeout, "a reset event is unsignalled");

  THandle key = P::kNoHandle;
  Check(platform.RegOpenLocalMachineKey("SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
                                        "{4e1e1e15-52d7-11d4-852d-00105aa6f80b}\\##?#none",
                                        P::kKeyRead, key) != 0,
        "a missing device-interface key does not open");
  Check(
      platform.RegOpenLocalMachineKey("SYSTEM\\CurrentControlSet\\Control", P::kKeyRead, key) == 0,
      "an existing key opens");
  Check(platform.RegNotifyChange(key, true, 5, event, true) == 0, "a change wait is armed");
  Check(platform.WaitForObject(event, 20) == P::kWaitTimeout, "the key does not change");
  platform.RegCloseKey(key);

  TOverlapped overlapped;
  overlapped.Event = event;
  std::uint8_t query[2] = {0x02, 0x01};
  std::uint8_t answer[16];
  std::uint32_t error = 0;
  Check(!platform.IoControl(P::kNoHandle, P2KAPI::kNameQueryIoctl, query, 2, answer, sizeof answer,
                            &overlapped, error) &&
            error != P::kErrorIoPending,
        "a request without a device is refused at once");
  std::uint32_t transferred = 0;
  Check(!platform.GetOverlappedResult(P::kNoHandle, overlapped, transferred, false),
        "a refused request has no result");
  platform.CloseHandle(event);
  platform.CloseHandle(second);

  // A detached thread runs on after its object is gone.
  std::atomic<bool> done{false};
  const THandle go = platform.CreateEventObject(true, false);
  platform
      .StartThread([&] {
        platform.WaitForObject(go, P::kInfinite);
        done = true;
      })
      ->Detach();
  platform.SetEventObject(go);
  const auto detached = Clock::now();
  while (!done && Clock::now() - detached < std::chrono::seconds(5)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Check(done, "a detached thread runs on after its object is gone");
  platform.CloseHandle(go);
}

}  // namespace

int main() {
  std::unique_ptr<IPhonePlatform> system = CreateSystemPhonePlatform();
  TWatchedPlatform platform(*system);
  PlatformCalls(platform);

  TQueuedPoster poster;
  std::vector<int> statuses;
  std::vector<std::string> lines;
  std::mutex linesMutex;
  P2KAPI::OnLog = [&](const std::string& line) {
    std::lock_guard lock(linesMutex);
    lines.push_back(line);
  };
  const std::string modem = P2KAPI::kModemName;
  {
    P2KAPI::TP2KAPI link(platform, poster);
    link.OnStatus = [&](int status) { statuses.push_back(status); };

    Check(!link.SendModeSwitch(), "no modem port takes the mode switch");
    const auto opened = platform.Opened();
    Check(opened.size() == 22, "22 modem names are tried");
    Check(!opened.empty() && opened.front() == modem && opened.back() == modem + " #20",
          "the plain name first, #20 last");
    Check(link.FindP2KDevice("Motorola Test Command", 0x0102) == IPhonePlatform::kNoHandle,
          "no test command interface");
    Check(link.FindP2KDevice("Motorola Flash", 0x0002) == IPhonePlatform::kNoHandle,
          "no flash interface");
    Check(!link.SwitchStorageToP2K(8), "no Motorola disk");

    link.Start(true);
    Check(link.ThreadId != 0, "the watcher thread has an identifier");
    const auto start = Clock::now();
    const int cyclesBefore = platform.Count(modem);
    while (platform.Count(modem) < cyclesBefore + 2 &&
           Clock::now() - start < std::chrono::seconds(10)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double cycle = std::chrono::duration<double>(Clock::now() - start).count();
    Check(platform.Count(modem) >= cyclesBefore + 2, "the watcher starts a second cycle");
    Check(cycle >= 1.4, "a cycle takes its 1.5 s of pauses");
    poster.Pump();
    Check(statuses == std::vector<int>{0}, "only the not-connected notice of Start arrived");

    link.Stop();
    const auto stopped = Clock::now();
    while (link.WatcherRunning() && Clock::now() - stopped < std::chrono::seconds(5)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Check(!link.WatcherRunning(), "Stop ends the watcher");
    Check(Clock::now() - stopped < std::chrono::seconds(2), "without waiting out its pauses");
    const int cyclesAtStop = platform.Count(modem);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Check(platform.Count(modem) == cyclesAtStop, "no cycle after Stop");
  }
  {
    auto* link = new P2KAPI::TP2KAPI(platform, poster);
    link->Start(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto freeing = Clock::now();
    Check(!P2KAPI::TP2KAPI::Free(link), "freeing waits for a watcher that can stop");
    Check(Clock::now() - freeing < std::chrono::seconds(1), "within the second");
  }
  poster.Pump();
  Check(statuses == std::vector<int>{0}, "never connected");
  {
    std::lock_guard lock(linesMutex);
    for (const auto& line : lines) std::printf("log: %s\n", line.c_str());
  }
  P2KAPI::OnLog = nullptr;
  return WinCheck::Report();
}
