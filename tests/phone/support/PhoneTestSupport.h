#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "LinuxPhonePlatform.h"
#include "P2KAPI.h"
#include "SimulatedKnobs.h"
#include "StatusPoster.h"
#include "UsbPhoneModel.h"

using Bytes = std::vector<std::uint8_t>;
using P = IPhonePlatform;
using enum P2KAPI::TFailure;

inline const std::string kTC = "Motorola Test Command";

inline Bytes Pattern(std::size_t size, std::uint8_t seed = 1) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 251);
  return b;
}

// A link on a simulated machine with a manual clock, with the unit's hooks captured. The tick
// count wraps 20 s in, so that time-outs are also checked across the wrap.
class PhoneLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    P2KAPI::OnLog = [this](const std::string& line) {
      std::lock_guard lock(HookMutex);
      LogLines.push_back(line);
    };
    P2KAPI::OnProgress = [this](int percent) { Progress.push_back(percent); };
    P2KAPI::PhoneFiles = &Files;
    if (ThroughUsb) {
      Usb = std::make_unique<TUsbPhoneModel>(Sim);
      Linux = std::make_unique<TLinuxPhonePlatform>(*Usb, Sim, Paths);
    }
    Link = std::make_unique<P2KAPI::TP2KAPI>(Platform(), Poster);
    Link->OnStatus = [this](int status) { Statuses.push_back(status); };
  }
  void TearDown() override {
    Link.reset();
    Linux.reset();
    P2KAPI::OnLog = nullptr, P2KAPI::OnProgress = nullptr, P2KAPI::PhoneFiles = nullptr;
    EXPECT_EQ(std::tuple(Sim.InvalidHandleUses(), Sim.SettleTimeouts()), std::tuple(0, 0));
  }
  // Opens the phone's interface without the watcher, as the watcher would.
  void ConnectDirect() {
    if (!Sim.Phone().Plugged()) Sim.Phone().Plug(TPhoneMode::P2K);
    Link->Start(false);
    Link->DeviceHandle = Link->FindP2KDevice(kTC, 0x0102);
    ASSERT_NE(Link->DeviceHandle, P::kNoHandle);
    Link->Connected = true;
    Poster.Pump();
    Sim.Clear();
    std::lock_guard lock(HookMutex);
    LogLines.clear(), Progress.clear(), Statuses.clear();
  }
  IPhonePlatform& Platform() { return Linux ? static_cast<IPhonePlatform&>(*Linux) : Sim; }
  std::vector<std::string> Logged() {
    std::lock_guard lock(HookMutex);
    return LogLines;
  }
  bool LoggedLine(const std::string& line) { return std::ranges::count(Logged(), line) > 0; }
  // The driver calls of one kind; of IoControl, those with the code.
  std::vector<TSimRequest> Calls(TSimCall call, std::uint32_t code = 0) const {
    std::vector<TSimRequest> out;
    for (const auto& r : Sim.Requests())
      if (r.Call == call && (code == 0 || r.Code == code)) out.push_back(r);
    return out;
  }
  // Moves the clock until the status procedure has been called count times.
  bool RunUntilStatuses(std::size_t count, std::uint32_t maxMs) {
    return Sim.AdvanceUntil([&] { return Poster.Pump(), Statuses.size() >= count; }, maxMs);
  }

  std::mutex HookMutex;
  std::vector<std::string> LogLines;
  std::vector<int> Progress, Statuses;
  TTestMachine Sim{TClockMode::Manual, 0xFFFFFFFFu - 20000};
  TQueuedPoster Poster;
  P2KAPI::TFileList Files;
  // Set before SetUp: the link runs on the Linux platform, over the phone's USB model.
  bool ThroughUsb = false;
  TLinuxPaths Paths{"/-", "/-"};  // no serial ports, no disks
  std::unique_ptr<TUsbPhoneModel> Usb;
  std::unique_ptr<TLinuxPhonePlatform> Linux;
  std::unique_ptr<P2KAPI::TP2KAPI> Link;
};

// Tests run on the simulated machine (/0) and again through the Linux platform (/1).
class PhoneLinkOnBothTest : public PhoneLinkTest, public testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ThroughUsb = GetParam();
    PhoneLinkTest::SetUp();
  }
};
