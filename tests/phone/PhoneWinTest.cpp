// The phone link on the Windows platform of a machine without a phone: nothing is found, no
// command is sent, the watcher keeps searching without reporting a connection, and Stop ends it.
#include <chrono>
#include <thread>

#include "P2KAPI.h"
#include "WinCheck.h"

using WinCheck::Check;
using Clock = std::chrono::steady_clock;
using P = IPhonePlatform;
using namespace std::chrono_literals;

int main() {
  std::unique_ptr<IPhonePlatform> platform = CreateSystemPhonePlatform();
  const THandle event = platform->CreateEventObject(true, false);
  const THandle second = platform->CreateEventObject(true, false);
  const std::uint32_t before = platform->GetTickCount();
  Check(platform->WaitForObject(event, 30) == P::kWaitTimeout, "an unsignalled event times out");
  Check(platform->GetTickCount() - before >= 20, "the wait took its time");
  platform->SetEventObject(second);
  Check(platform->WaitForObjects({event, second}, P::kInfinite) == P::kWaitObject0 + 1,
        "the second of two events is reported");
  THandle key = P::kNoHandle;
  Check(
      platform->RegOpenLocalMachineKey("SYSTEM\\CurrentControlSet\\Control", P::kKeyRead, key) == 0,
      "an existing key opens");
  Check(platform->RegNotifyChange(key, true, 5, event, true) == 0, "a change wait is armed");
  platform->RegCloseKey(key);
  platform->CloseHandle(event);
  platform->CloseHandle(second);

  TQueuedPoster poster;
  std::vector<int> statuses;
  {
    P2KAPI::TP2KAPI link(*platform, poster);
    link.OnStatus = [&](int status) { statuses.push_back(status); };
    Check(!link.SendModeSwitch(), "no modem port takes the mode switch");
    Check(link.FindP2KDevice("Motorola Test Command", 0x0102) == P::kNoHandle, "no interface");
    Check(!link.SwitchStorageToP2K(8), "no Motorola disk");
    link.Start(true);
    std::this_thread::sleep_for(1700ms);
    Check(link.WatcherRunning(), "the watcher keeps searching");
    poster.Pump();
    Check(statuses == std::vector<int>{0}, "only the not-connected notice of Start arrived");
    const auto stopped = Clock::now();
    link.Stop();
    while (link.WatcherRunning() && Clock::now() - stopped < 5s) std::this_thread::sleep_for(5ms);
    Check(Clock::now() - stopped < 1s, "Stop ends the watcher at once");
  }
  auto* link = new P2KAPI::TP2KAPI(*platform, poster);
  link->Start(true);
  std::this_thread::sleep_for(100ms);
  Check(!P2KAPI::TP2KAPI::Free(link), "freeing waits for a watcher that can stop");
  poster.Pump();
  Check(statuses == std::vector<int>{0}, "never connected");
  return WinCheck::Report();
}
