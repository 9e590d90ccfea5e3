#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "SimulatedMachine.h"

// A simulated machine for tests: it records every driver call and every command the phone
// decodes, and takes queued faults and answer tweaks, each used once.
class TTestMachine : public TSimulatedMachine, private ISimObserver {
 public:
  explicit TTestMachine(TClockMode mode = TClockMode::Manual, std::uint32_t startTick = 0);
  ~TTestMachine() override;

  // Driver calls are recorded on a manual clock, or when asked.
  std::vector<TSimRequest> Requests() const;
  void ClearRequests();
  void SetRecording(bool on);
  std::vector<TPhoneCommand> Commands() const;
  void ClearCommands();

  // The next answer matching the tweak's command and sub-command is changed.
  void QueueTweak(const TAnswerTweak& tweak);
  // The matching request after Skip matching ones is faulted.
  void InjectIoFault(const TIoFault& fault);
  void SetClassListFails(const TGuid& interfaceClass, bool fails);

 private:
  void Request(const TSimRequest& request) override;
  void Command(const TPhoneCommand& command) override;
  std::optional<TIoFault> Fault(TRequestKind kind) override;
  std::optional<TAnswerTweak> Tweak(const TPhoneCommand& command) override;
  bool ClassListFails(const TGuid& interfaceClass) override;

  mutable std::mutex M;
  bool Recording;
  std::vector<TSimRequest> Log;
  std::vector<TPhoneCommand> CommandLog;
  std::deque<TAnswerTweak> Tweaks;
  std::deque<TIoFault> Faults;
  std::vector<TGuid> FailingLists;
};
