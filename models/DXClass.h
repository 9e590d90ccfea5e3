// The preview's tick: a timer that runs its handler from the user-interface thread's event loop,
// paced from the start of each tick, never overlapping itself, pausing while the program is not
// the active application.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <exception>
#include <functional>

class TDXTimer : public QObject {
  Q_OBJECT

 public:
  explicit TDXTimer(QObject* parent = nullptr);

  // Starts disabled. Enabling measures the first wait from now (or from the start of the tick
  // that enables it).
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // Milliseconds between the starts of two ticks; negative counts as 0. A value set during a
  // tick is the wait after that tick.
  int Interval() const { return interval_; }
  void SetInterval(int milliseconds);

  // On (the default): ticks wait while the application is not the active one.
  bool ActiveOnly() const { return activeOnly_; }
  void SetActiveOnly(bool activeOnly);

  // Runs one tick now, whatever Enabled says; does nothing when called from inside a tick.
  // An exception from OnTimer passes to the caller.
  void Tick();
  bool InTick() const { return inTick_; }
  long long TickCount() const { return tickCount_; }
  // Milliseconds until the next tick is due, -1 while none is scheduled.
  int RemainingTime() const;

  // Fed by the application's state changes; callable to simulate them.
  void ApplicationStateChanged(Qt::ApplicationState state);
  bool ApplicationActive() const { return active_; }

  std::function<void()> OnTimer;
  // Receives what OnTimer throws when the tick came from the event loop (there is no caller to
  // pass it to); without it the failure is logged. The timer goes on either way.
  std::function<void(const std::exception&)> OnError;

 private:
  void Arm();
  void Timeout();

  QTimer timer_;
  QElapsedTimer clock_;
  long long baseNs_ = 0;  // the next wait is measured from here
  long long dueNs_ = 0;
  long long tickCount_ = 0;
  int interval_ = 1000;
  bool enabled_ = false;
  bool activeOnly_ = true;
  bool active_ = true;
  bool inTick_ = false;
};
