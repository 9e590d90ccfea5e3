#include "DXClass.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <thread>

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

namespace {
// The event loop wakes up to a millisecond or so after the time asked for, more on a busy machine,
// so the timer is set to wake early and the last stretch is slept here.
constexpr long long kWakeEarlyNs = 2'000'000;
constexpr long long kMaxSleepNs = 3'000'000;
}  // namespace

void TDXTimer::Arm() {
  // During a tick the timer stays idle: the tick re-arms it when it ends, so a nested event loop
  // inside OnTimer cannot start another tick.
  if (inTick_ || !enabled_ || (activeOnly_ && !active_)) {
    timer_.stop();
    return;
  }
  dueNs_ = baseNs_ + static_cast<long long>(interval_) * 1'000'000;
  const long long wait = dueNs_ - clock_.nsecsElapsed() - kWakeEarlyNs;
  timer_.start(static_cast<int>(std::clamp<long long>(wait / 1'000'000, 0, interval_)));
}

int TDXTimer::RemainingTime() const {
  if (!timer_.isActive()) return -1;
  const long long remaining = dueNs_ - clock_.nsecsElapsed();
  return remaining <= 0 ? 0 : static_cast<int>((remaining + 500'000) / 1'000'000);
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
  const long long early = dueNs_ - clock_.nsecsElapsed();
  if (early > kMaxSleepNs) {
    Arm();
    return;
  }
  // A sleep rather than a busy wait: a sleeping thread is woken on time, a spinning one may lose
  // its processor for a whole scheduler slice.
  if (early > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(early));
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
