// Off Windows the machine has no phone driver: a simulated machine with nothing plugged in,
// running on real time, where every open fails and every interface list is empty.
#include "PhonePlatform.h"
#include "SimulatedPhone.h"

std::unique_ptr<IPhonePlatform> CreateSystemPhonePlatform() {
  return std::make_unique<TSimulatedMachine>(TClockMode::RealTime);
}
