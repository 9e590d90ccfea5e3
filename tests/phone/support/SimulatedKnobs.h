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

  std::vector<TSimRequest> Requests() const { return Copy(Log); }
  std::vector<TPhoneCommand> Commands() const { return Copy(CommandLog); }
  void Clear() {
    std::lock_guard lock(M);
    Log.clear(), CommandLog.clear();
  }
  void SetRecording(bool on) {
    std::lock_guard lock(M);
    Recording = on;
  }
  // The next answer matching the tweak's command and sub-command is changed.
  void QueueTweak(const TAnswerTweak& tweak) { Push(Tweaks, tweak); }
  // The matching request after Skip matching ones is faulted.
  void InjectIoFault(const TIoFault& fault) { Push(Faults, fault); }

 private:
  template <typename T>
  T Copy(const T& value) const {
    std::lock_guard lock(M);
    return value;
  }
  template <typename Q, typename T>
  void Push(Q& queue, const T& item) {
    std::lock_guard lock(M);
    queue.push_back(item);
  }
  void Request(const TSimRequest& r) override {
    if (Copy(Recording)) Push(Log, r);
  }
  void Command(const TPhoneCommand& command) override { Push(CommandLog, command); }
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
