#pragma once

#include "StatusPoster.h"

class QObject;

// Posts the phone link's notices into the Qt event queue of a window, so that they run on the
// user-interface thread, in posting order, from its event loop. Calls posted after the window
// is gone are dropped with its pending events.
class TQtStatusPoster : public IStatusPoster {
 public:
  explicit TQtStatusPoster(QObject* target) : Target(target) {}
  void Post(std::function<void()> call) override;

 private:
  QObject* Target;
};
