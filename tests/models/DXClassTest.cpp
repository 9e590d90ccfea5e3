#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <stdexcept>
#include <string>
#include <vector>

#include "DXClass.h"

TEST(DXClassTest, TicksAtTheIntervalFromTheStartOfTheLastTickNeverNested) {
  TDXTimer timer;
  timer.SetActiveOnly(false);
  QElapsedTimer clock;
  std::vector<qint64> starts;
  int depth = 0, maxDepth = 0;
  timer.OnTimer = [&] {
    starts.push_back(clock.nsecsElapsed());
    maxDepth = std::max(maxDepth, ++depth);
    timer.Tick();                              // ignored from inside a tick,
    if (starts.size() == 2) QTest::qWait(30);  // as is the timer in a nested event loop
    --depth;
  };
  timer.SetInterval(8);
  QTest::qWait(15);
  EXPECT_TRUE(starts.empty());  // starts disabled
  clock.start();
  timer.SetEnabled(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return starts.size() >= 4; }, 2000));
  timer.SetEnabled(false);
  EXPECT_EQ(maxDepth, 1);
  for (size_t i = 0; i < starts.size(); ++i)  // never early
    EXPECT_GE(starts[i] - (i ? starts[i - 1] : 0), 7'900'000) << i;
  const size_t seen = starts.size();
  QTest::qWait(20);
  timer.Tick();  // a direct tick runs even when disabled
  EXPECT_EQ(timer.TickCount(), static_cast<long long>(seen) + 1);
}

TEST(DXClassTest, IntervalSetInATickIsTheWaitAfterItFromTheTickStart) {
  TDXTimer timer;
  timer.SetActiveOnly(false);
  timer.SetEnabled(true);
  timer.OnTimer = [&] {
    timer.SetEnabled(false);  // the end of a play, and the repeat starting it again
    QTest::qSleep(20);
    timer.SetInterval(60);
    timer.SetEnabled(true);
    EXPECT_EQ(timer.RemainingTime(), -1);  // not armed while the tick runs
  };
  QElapsedTimer call;
  call.start();
  timer.Tick();
  EXPECT_LE(timer.RemainingTime(), 60 - 20 + 1);
  EXPECT_GE(timer.RemainingTime(), 60 - call.elapsed() - 1);
  timer.OnTimer = nullptr;
  timer.Tick();
  QTest::qSleep(10);
  timer.SetInterval(30);  // between ticks: from the last tick
  EXPECT_LE(timer.RemainingTime(), 20 + 1);
  timer.SetInterval(5);  // already overdue: due at once
  EXPECT_EQ(timer.RemainingTime(), 0);
}

TEST(DXClassTest, WaitsForTheApplicationAndSurvivesFailingTicks) {
  TDXTimer timer;
  std::vector<std::string> errors;
  timer.OnTimer = [] { throw std::runtime_error("Image '7' not found"); };
  timer.OnError = [&](const std::exception& e) { errors.push_back(e.what()); };
  timer.ApplicationStateChanged(Qt::ApplicationInactive);
  timer.SetInterval(1);
  timer.SetEnabled(true);
  QTest::qWait(15);
  EXPECT_TRUE(errors.empty());
  timer.ApplicationStateChanged(Qt::ApplicationActive);
  ASSERT_TRUE(QTest::qWaitFor([&] { return errors.size() >= 2; }, 1000));  // goes on after one
  EXPECT_EQ(errors[0], "Image '7' not found");
  EXPECT_THROW(timer.Tick(), std::runtime_error);  // a direct tick passes it to the caller
  EXPECT_GE(timer.RemainingTime(), 0);
  timer.ApplicationStateChanged(Qt::ApplicationHidden);
  EXPECT_EQ(timer.RemainingTime(), -1);
  timer.SetActiveOnly(false);
  EXPECT_GE(timer.RemainingTime(), 0);
}
