// Off Windows the machine has no phone driver: a simulated machine with nothing plugged in,
// running on real time, where every open fails and every interface list is empty.
#include "PhonePlatform.h"
#include "SimulatedMachine.h"

namespace {

class TNoPhonePlatform : public TSimulatedMachine {
 public:
  TNoPhonePlatform() : TSimulatedMachine(TClockMode::RealTime) {}
  bool HasPhoneDriver() const override { return false; }
};

}  // namespace

std::unique_ptr<IPhonePlatform> CreateSystemPhonePlatform() {
  return std::make_unique<TNoPhonePlatform>();
}
