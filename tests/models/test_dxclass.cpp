#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <stdexcept>
#include <vector>

#include "DXClass.h"

namespace {

void BusyWait(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
  }
}

// A timer that ticks whether or not a window of the test is active.
struct FreeTimer : TDXTimer {
  FreeTimer() { SetActiveOnly(false); }
};

}  // namespace

TEST(Timer, StartsDisabledAndActiveOnly) {
  TDXTimer timer;
  EXPECT_FALSE(timer.Enabled());
  EXPECT_TRUE(timer.ActiveOnly());
  EXPECT_EQ(timer.RemainingTime(), -1);
}

TEST(Timer, DisabledDoesNotFire) {
  FreeTimer timer;
  int ticks = 0;
  timer.OnTimer = [&] { ++ticks; };
  timer.SetInterval(1);
  QTest::qWait(15);
  EXPECT_EQ(ticks, 0);

  timer.SetEnabled(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 1000));
  timer.SetEnabled(false);
  const int seen = ticks;
  EXPECT_EQ(timer.RemainingTime(), -1);
  QTest::qWait(15);
  EXPECT_EQ(ticks, seen);
}

TEST(Timer, FiresFromTheEventLoopAtItsInterval) {
  FreeTimer timer;
  QElapsedTimer clock;
  std::vector<qint64> starts;
  timer.OnTimer = [&] { starts.push_back(clock.nsecsElapsed()); };
  timer.SetInterval(8);
  clock.start();
  timer.SetEnabled(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return starts.size() >= 4; }, 2000));
  timer.SetEnabled(false);
  qint64 previous = 0;
  for (qint64 start : starts) {
    // Never early.
    EXPECT_GE(start - previous, 7'900'000) << "gap in ns";
    previous = start;
  }
}

TEST(Timer, IntervalSetInATickIsTheWaitAfterItFromTheTickStart) {
  FreeTimer timer;
  timer.SetInterval(10);
  timer.SetEnabled(true);
  QElapsedTimer work;
  qint64 workMs = 0;
  timer.OnTimer = [&] {
    work.start();
    BusyWait(20);
    timer.SetInterval(60);
    workMs = work.elapsed();
  };
  QElapsedTimer call;
  call.start();
  timer.Tick();
  const qint64 callMs = call.elapsed();
  const int remaining = timer.RemainingTime();
  // 60 ms from the start of the tick, of which the tick's own work is already gone.
  EXPECT_LE(remaining, 60 - workMs + 1);
  EXPECT_GE(remaining, 60 - callMs - 1);

  // The next tick does not change it: the whole interval again.
  timer.OnTimer = nullptr;
  timer.Tick();
  EXPECT_GE(timer.RemainingTime(), 58);
  EXPECT_LE(timer.RemainingTime(), 60);
  timer.SetEnabled(false);
}

TEST(Timer, IntervalChangedBetweenTicksCountsFromTheLastTick) {
  FreeTimer timer;
  timer.SetInterval(500);
  timer.SetEnabled(true);
  QElapsedTimer since;
  since.start();
  timer.Tick();
  BusyWait(10);
  timer.SetInterval(100);
  const int remaining = timer.RemainingTime();
  EXPECT_LE(remaining, 90 + 1);
  EXPECT_GE(remaining, 100 - since.elapsed() - 1);
  timer.SetInterval(5);  // already overdue: due at once
  EXPECT_EQ(timer.RemainingTime(), 0);
  timer.SetEnabled(false);
}

TEST(Timer, TicksDoNotNest) {
  FreeTimer timer;
  int depth = 0;
  int maxDepth = 0;
  int ticks = 0;
  timer.OnTimer = [&] {
    ++ticks;
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    timer.Tick();                      // a direct call from inside is ignored
    if (ticks == 1) QTest::qWait(30);  // a nested event loop while the timer is due
    --depth;
  };
  timer.SetInterval(1);
  timer.SetEnabled(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 1000));
  timer.SetEnabled(false);
  EXPECT_EQ(maxDepth, 1);
}

TEST(Timer, NestedEventLoopInATickStartsNoTick) {
  FreeTimer timer;
  int ticks = 0;
  int ticksSeenInside = -1;
  timer.OnTimer = [&] {
    ++ticks;
    if (ticks == 1) {
      QTest::qWait(25);
      ticksSeenInside = ticks;
    }
  };
  timer.SetInterval(1);
  timer.SetEnabled(true);
  timer.Tick();
  EXPECT_EQ(ticksSeenInside, 1);
  timer.SetEnabled(false);
}

TEST(Timer, StopAndRestartInOneTickWaitsAFullIntervalFromTheTick) {
  FreeTimer timer;
  timer.SetInterval(40);
  timer.SetEnabled(true);
  timer.OnTimer = [&] {
    timer.SetEnabled(false);  // end of a play ...
    BusyWait(5);
    timer.SetInterval(30);  // ... and the repeat starts it again
    timer.SetEnabled(true);
    EXPECT_EQ(timer.RemainingTime(), -1);  // not armed while the tick runs
  };
  QElapsedTimer call;
  call.start();
  timer.Tick();
  const qint64 callMs = call.elapsed();
  EXPECT_TRUE(timer.Enabled());
  EXPECT_LE(timer.RemainingTime(), 30 - 5 + 1);
  EXPECT_GE(timer.RemainingTime(), 30 - callMs - 1);

  timer.OnTimer = [&] { timer.SetEnabled(false); };
  timer.Tick();
  EXPECT_FALSE(timer.Enabled());
  EXPECT_EQ(timer.RemainingTime(), -1);
}

TEST(Timer, ActiveOnlyWaitsForTheApplication) {
  QCoreApplication::processEvents();  // activations of windows shown by earlier tests
  TDXTimer timer;
  int ticks = 0;
  timer.OnTimer = [&] { ++ticks; };
  timer.ApplicationStateChanged(Qt::ApplicationInactive);
  timer.SetInterval(1);
  timer.SetEnabled(true);
  EXPECT_EQ(timer.RemainingTime(), -1);
  QTest::qWait(15);
  EXPECT_EQ(ticks, 0);

  timer.ApplicationStateChanged(Qt::ApplicationActive);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 1; }, 1000));

  timer.ApplicationStateChanged(Qt::ApplicationHidden);
  const int seen = ticks;
  QTest::qWait(15);
  EXPECT_EQ(ticks, seen);

  timer.SetActiveOnly(false);  // switched off: ticks go on while inactive
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > seen; }, 1000));
  timer.SetEnabled(false);
}

TEST(Timer, ADirectTickRunsEvenWhenDisabled) {
  TDXTimer timer;
  int ticks = 0;
  timer.OnTimer = [&] { ++ticks; };
  timer.Tick();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(timer.TickCount(), 1);
  EXPECT_EQ(timer.RemainingTime(), -1);
}

TEST(Timer, FailuresOfATick) {
  FreeTimer timer;
  timer.SetInterval(1);
  timer.SetEnabled(true);
  timer.OnTimer = [] { throw std::runtime_error("Image '7' not found"); };
  EXPECT_THROW(timer.Tick(), std::runtime_error);
  EXPECT_FALSE(timer.InTick());
  EXPECT_GE(timer.RemainingTime(), 0);  // still running

  std::vector<std::string> errors;
  timer.OnError = [&](const std::exception& e) { errors.push_back(e.what()); };
  ASSERT_TRUE(QTest::qWaitFor([&] { return errors.size() >= 2; }, 1000));
  timer.SetEnabled(false);
  EXPECT_EQ(errors[0], "Image '7' not found");
}
