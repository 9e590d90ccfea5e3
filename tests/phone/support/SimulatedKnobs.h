#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "SimulatedMachine.h"

// A simulated machine for tests: it records driver calls (on a manual clock, or when asked) and
// the commands the phone decodes, and takes queued faults and answer tweaks, each used once.
class TTestMachine : public TSimulatedMachine, private ISimObserver {
 public:
  explicit TTestMachine(TClockMode mode = TClockMode::Manual, std::uint32_t startTick = 0)
      : TSimulatedMachine(mode, startTick), Recording(mode == TClockMode::Manual) {
    SetObserver(this);
  }
  // The machine's threads may run until the base is gone; from here on they see no observer.
  ~TTestMachine() override { SetObserver(nullptr); }

  std::vector<TSimRequest> Requests() const {
    std::lock_guard lock(M);
    return Log;
  }
  std::vector<TPhoneCommand> Commands() const {
    std::lock_guard lock(M);
    return CommandLog;
  }
  void Clear() {
    std::lock_guard lock(M);
    Log.clear();
    CommandLog.clear();
  }
  void SetRecording(bool on) {
    std::lock_guard lock(M);
    Recording = on;
  }
  // The next answer matching the tweak's command and sub-command is changed.
  void QueueTweak(const TAnswerTweak& tweak) {
    std::lock_guard lock(M);
    Tweaks.push_back(tweak);
  }
  // The matching request after Skip matching ones is faulted.
  void InjectIoFault(const TIoFault& fault) {
    std::lock_guard lock(M);
    Faults.push_back(fault);
  }

 private:
  void Request(const TSimRequest& r) override {
    std::lock_guard lock(M);
    if (Recording) Log.push_back(r);
  }
  void Command(const TPhoneCommand& command) override {
    std::lock_guard lock(M);
    CommandLog.push_back(command);
  }
  std::optional<TIoFault> Fault(TRequestKind kind) override {
    std::lock_guard lock(M);
    // The mode switch's synchronous requests are faulted only by name.
    const bool named = kind == TRequestKind::ModemWrite || kind == TRequestKind::StorageSwitch;
    for (auto it = Faults.begin(); it != Faults.end(); ++it) {
      if (it->Kind != kind && (named || it->Kind != TRequestKind::Any)) continue;
      if (it->Skip-- > 0) return std::nullopt;
      const TIoFault fault = *it;
      Faults.erase(it);
      return fault;
    }
    return std::nullopt;
  }
  std::optional<TAnswerTweak> Tweak(const TPhoneCommand& command) override {
    std::lock_guard lock(M);
    for (auto it = Tweaks.begin(); it != Tweaks.end(); ++it) {
      if (it->Command && *it->Command != (command.Command & 0x0FFF)) continue;
      if (it->SubCommand && static_cast<long>(*it->SubCommand) != command.SubCommand()) continue;
      const TAnswerTweak tweak = *it;
      Tweaks.erase(it);
      return tweak;
    }
    return std::nullopt;
  }

  mutable std::mutex M;
  bool Recording;
  std::vector<TSimRequest> Log;
  std::vector<TPhoneCommand> CommandLog;
  std::deque<TAnswerTweak> Tweaks;
  std::deque<TIoFault> Faults;
};
