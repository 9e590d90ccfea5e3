#include "SimulatedKnobs.h"

#include <algorithm>

TTestMachine::TTestMachine(TClockMode mode, std::uint32_t startTick)
    : TSimulatedMachine(mode, startTick), Recording(mode == TClockMode::Manual) {
  SetObserver(this);
}

TTestMachine::~TTestMachine() {
  // The machine's threads may still run until the base is gone; from here on they see no observer.
  SetObserver(nullptr);
}

std::vector<TSimRequest> TTestMachine::Requests() const {
  std::lock_guard lock(M);
  return Log;
}

void TTestMachine::ClearRequests() {
  std::lock_guard lock(M);
  Log.clear();
}

void TTestMachine::SetRecording(bool on) {
  std::lock_guard lock(M);
  Recording = on;
}

std::vector<TPhoneCommand> TTestMachine::Commands() const {
  std::lock_guard lock(M);
  return CommandLog;
}

void TTestMachine::ClearCommands() {
  std::lock_guard lock(M);
  CommandLog.clear();
}

void TTestMachine::QueueTweak(const TAnswerTweak& tweak) {
  std::lock_guard lock(M);
  Tweaks.push_back(tweak);
}

void TTestMachine::InjectIoFault(const TIoFault& fault) {
  std::lock_guard lock(M);
  Faults.push_back(fault);
}

void TTestMachine::SetClassListFails(const TGuid& interfaceClass, bool fails) {
  std::lock_guard lock(M);
  std::erase(FailingLists, interfaceClass);
  if (fails) FailingLists.push_back(interfaceClass);
}

void TTestMachine::Request(const TSimRequest& request) {
  std::lock_guard lock(M);
  if (Recording) Log.push_back(request);
}

void TTestMachine::Command(const TPhoneCommand& command) {
  std::lock_guard lock(M);
  CommandLog.push_back(command);
}

std::optional<TIoFault> TTestMachine::Fault(TRequestKind kind) {
  std::lock_guard lock(M);
  // The mode switch's synchronous requests are faulted only by name.
  const bool synchronous = kind == TRequestKind::ModemWrite || kind == TRequestKind::StorageSwitch;
  for (auto it = Faults.begin(); it != Faults.end(); ++it) {
    if (it->Kind != kind && (synchronous || it->Kind != TRequestKind::Any)) continue;
    if (it->Skip > 0) {
      --it->Skip;
      return std::nullopt;
    }
    const TIoFault fault = *it;
    Faults.erase(it);
    return fault;
  }
  return std::nullopt;
}

std::optional<TAnswerTweak> TTestMachine::Tweak(const TPhoneCommand& command) {
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

bool TTestMachine::ClassListFails(const TGuid& interfaceClass) {
  std::lock_guard lock(M);
  return std::find(FailingLists.begin(), FailingLists.end(), interfaceClass) != FailingLists.end();
}
