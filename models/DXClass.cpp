#include "DXClass.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGlobal>
#include <algorithm>

namespace DXClass {

TDXTimer::TDXTimer(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &TDXTimer::Timeout);
  clock_.start();
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    active_ = QGuiApplication::applicationState() == Qt::ApplicationActive;
    connect(app, &QGuiApplication::applicationStateChanged, this,
            &TDXTimer::ApplicationStateChanged);
  }
}

void TDXTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled && !inTick_) baseNs_ = clock_.nsecsElapsed();
  Arm();
}

void TDXTimer::SetInterval(int milliseconds) {
  interval_ = std::max(milliseconds, 0);
  Arm();
}

void TDXTimer::SetActiveOnly(bool activeOnly) {
  activeOnly_ = activeOnly;
  Arm();
}

void TDXTimer::ApplicationStateChanged(Qt::ApplicationState state) {
  active_ = state == Qt::ApplicationActive;
  Arm();
}

void TDXTimer::Arm() {
  // During a tick the timer stays idle: the tick re-arms it when it ends, so a nested event loop
  // inside OnTimer cannot start another tick.
  if (inTick_ || !enabled_ || (activeOnly_ && !active_)) {
    timer_.stop();
    return;
  }
  const long long due = baseNs_ + static_cast<long long>(interval_) * 1000000;
  const long long remaining = due - clock_.nsecsElapsed();
  const long long ms = remaining <= 0 ? 0 : (remaining + 500000) / 1000000;
  timer_.start(static_cast<int>(std::min<long long>(ms, interval_)));
}

void TDXTimer::Tick() {
  if (inTick_) return;
  inTick_ = true;
  timer_.stop();
  baseNs_ = clock_.nsecsElapsed();
  ++tickCount_;
  struct Finish {
    TDXTimer* timer;
    ~Finish() {
      timer->inTick_ = false;
      timer->Arm();
    }
  } finish{this};
  if (OnTimer) OnTimer();
}

void TDXTimer::Timeout() {
  if (!enabled_ || (activeOnly_ && !active_)) return;
  try {
    Tick();
  } catch (const std::exception& e) {
    if (OnError) {
      OnError(e);
    } else {
      qWarning("Timer tick failed: %s", e.what());
    }
  }
}

}  // namespace DXClass
