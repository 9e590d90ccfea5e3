// Time of one preview tick on the drawing layer: background, phone picture, seven elements of two
// blended shapes each (a rectangle and a circle), flip. Then, with "--pace N", N ticks of 100 and
// 150 ms in turn in the real event loop, timed at the tick and at the repaint. Not a test; run by
// hand.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "DXClass.h"
#include "DXDraws.h"

namespace {

struct PaintClock : QObject {
  QElapsedTimer* clock;
  std::vector<qint64>* paints;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) paints->push_back(clock->nsecsElapsed());
    return false;
  }
};

// Differences between measured gaps and the planned ones, in ms, sorted.
std::vector<double> Errors(const std::vector<qint64>& at, const std::vector<int>& planned) {
  std::vector<double> errors;
  for (size_t i = 1; i < at.size() && i - 1 < planned.size(); ++i) {
    errors.push_back(std::fabs(static_cast<double>(at[i] - at[i - 1]) / 1e6 - planned[i - 1]));
  }
  std::sort(errors.begin(), errors.end());
  return errors;
}

void PrintErrors(const char* what, const std::vector<double>& errors) {
  if (errors.empty()) return;
  std::printf("%s: %zu gaps, |error| median %.3f ms, p99 %.3f ms, max %.3f ms\n", what,
              errors.size(), errors[errors.size() / 2],
              errors[static_cast<size_t>(0.99 * (errors.size() - 1))], errors.back());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TDXDraw draw;
  TDXImageList images;
  TPictureCollectionItem& phone = images.Add("0", QColor(255, 0, 255));
  TPictureCollectionItem& circle = images.Add("Circle", ColorFromWin(0xAABBCC));

  // A phone-like picture: a body on the key background with a display and keys.
  QImage picture(TDXDraw::kWidth, TDXDraw::kHeight, QImage::Format_RGB32);
  picture.fill(QColor(255, 0, 255));
  for (int y = 20; y < 405; ++y) {
    for (int x = 30; x < 227; ++x) picture.setPixelColor(x, y, QColor(60 + y % 40, 60, 70));
  }
  for (int y = 60; y < 200; ++y) {
    for (int x = 50; x < 207; ++x) picture.setPixelColor(x, y, QColor(20, 40, 30 + x % 50));
  }
  phone.Assign(picture);
  phone.Restore();

  const bool pace = argc > 2 && std::strcmp(argv[1], "--pace") == 0;
  const int runs = !pace && argc > 1 ? std::atoi(argv[1]) : 2000;
  const auto tick = [&](int i) {
    TDirectDrawSurface& surface = draw.Surface();
    surface.Fill(0xECE9D8);
    images.Find("0").Draw(surface, 0, 0);
    for (int n = 1; n <= 7; ++n) {
      const QColor c((n * 37 + i) % 256, (n * 91) % 256, (n * 53 + i * 3) % 256);
      surface.FillRectAlpha(TRect{20 + n * 20, 210, 36 + n * 20, 260}, c, 160);
      DrawCircleAlpha(circle, surface, TRect{n * 30, 280 + n * 10, n * 30 + 24, 304 + n * 10}, c,
                      200);
    }
    draw.Flip();
  };

  std::vector<double> times;
  times.reserve(static_cast<size_t>(runs));
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer clock;
    clock.start();
    tick(i);
    times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
  }
  std::sort(times.begin(), times.end());
  const auto at = [&](double q) { return times[static_cast<size_t>(q * (times.size() - 1))]; };
  std::printf("one tick over %d runs: median %.3f ms, p99 %.3f ms, max %.3f ms\n", runs, at(0.5),
              at(0.99), times.back());

  // Showing it: one repaint of the whole area.
  draw.show();
  QApplication::processEvents();
  QElapsedTimer paint;
  paint.start();
  const int paints = 200;
  for (int i = 0; i < paints; ++i) draw.repaint();
  std::printf("repaint of the drawing area: %.3f ms\n",
              static_cast<double>(paint.nsecsElapsed()) / 1e6 / paints);

  if (pace) {
    const int frames = std::atoi(argv[2]);
    QElapsedTimer clock;
    std::vector<qint64> starts, paints;
    std::vector<int> planned;
    PaintClock paintClock;
    paintClock.clock = &clock;
    paintClock.paints = &paints;
    draw.installEventFilter(&paintClock);
    TDXTimer timer;
    timer.SetActiveOnly(false);
    int i = 0;
    timer.OnTimer = [&] {
      starts.push_back(clock.nsecsElapsed());
      tick(i);
      // The interval set in a tick is how long its frame stays on screen.
      timer.SetInterval(i % 2 ? 150 : 100);
      planned.push_back(timer.Interval());
      if (++i > frames) {
        timer.SetEnabled(false);
        QApplication::quit();
      }
    };
    timer.SetInterval(100);
    clock.start();
    timer.SetEnabled(true);
    QApplication::exec();
    PrintErrors("tick starts", Errors(starts, planned));
    PrintErrors("repaints", Errors(paints, planned));
  }
  return 0;
}
