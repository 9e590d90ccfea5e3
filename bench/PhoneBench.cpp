// Transfer speed against a simulated phone that answers at once, on real time, directly and
// through the Linux platform over the phone's USB model, and the processor time of a watcher that
// finds no phone.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "LinuxPhonePlatform.h"
#include "P2KAPI.h"
#include "SimulatedKnobs.h"
#include "UsbPhoneModel.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Seven rounds of reading and writing 64 KiB on the platform, whose phone is sim's.
int Transfers(IPhonePlatform& platform, TTestMachine& sim, const char* title) {
  const std::string name = "/a/funlight.pat";
  const std::filesystem::path local =
      std::filesystem::temp_directory_path() / "glowsmith-phone-bench.pat";
  std::vector<std::uint8_t> content(65536);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 13);

  TQueuedPoster poster;
  sim.Phone().AddFile(name, content);
  sim.Phone().Plug(TPhoneMode::P2K);
  std::vector<double> reads, writes;
  {
    P2KAPI::TP2KAPI link(platform, poster);
    link.Start(false);
    link.DeviceHandle = link.FindP2KDevice("Motorola Test Command", 0x0102);
    link.Connected = true;
    if (!link.DeviceHandle) {
      std::fprintf(stderr, "the simulated phone was not found\n");
      return 1;
    }
    for (int round = 0; round < 7; ++round) {
      auto start = Clock::now();
      if (!link.ReadPhoneFile(local.string(), name, 65536)) return 1;
      reads.push_back(Ms(Clock::now() - start));
      start = Clock::now();
      if (!link.WritePhoneFile(local.string(), name, false, 0xFF)) return 1;
      writes.push_back(Ms(Clock::now() - start));
    }
    if (sim.Phone().File(name) != content) {
      std::fprintf(stderr, "the file did not survive the round trip\n");
      return 1;
    }
  }
  std::filesystem::remove(local);
  const auto commands = sim.Commands().size() / 7 / 2;  // per transfer
  std::printf("%s: 64 KiB transfer, %zu commands each (64 data commands, open, close)\n", title,
              commands);
  std::printf("  read : median %.1f ms, best %.1f ms\n", Median(reads),
              *std::min_element(reads.begin(), reads.end()));
  std::printf("  write: median %.1f ms, best %.1f ms\n", Median(writes),
              *std::min_element(writes.begin(), writes.end()));
  std::printf("  floor 64 ms (1 ms sleep before each data command's poll), target <= 96 ms\n");
  return 0;
}

// Processor time of a watcher that finds no phone on the platform, over three seconds.
void IdleWatcher(IPhonePlatform& platform, const char* title) {
  TQueuedPoster poster;
  P2KAPI::TP2KAPI link(platform, poster);
  link.Start(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const double cpuBefore = CpuMs();
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  std::printf("idle watcher without a phone, %s: %.1f ms processor time in %.0f ms\n", title,
              CpuMs() - cpuBefore, Ms(Clock::now() - start));
  link.Stop();
}

}  // namespace

int main() {
  TTestMachine sim(TClockMode::RealTime), usbSim(TClockMode::RealTime);
  TUsbPhoneModel usb(usbSim);
  TLinuxPhonePlatform linuxUsb(usb, usbSim, {"/-", "/-"});
  if (Transfers(sim, sim, "simulated machine") ||
      Transfers(linuxUsb, usbSim, "Linux platform, USB"))
    return 1;
  IdleWatcher(*CreateSystemPhonePlatform(), "this system's platform");
  TTestMachine empty(TClockMode::RealTime);
  IdleWatcher(empty, "simulated machine");
  return 0;
}
