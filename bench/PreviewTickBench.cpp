// Preview timing on the real main window and the shipped default skin, run by hand (not by ctest):
//   glowsmith_preview_tick_bench [--ticks N] [--frames N] [--rounds N]
// 1. The time of one tick (phone picture, seven lit elements, flip), called directly N times.
// 2. A play of --frames frames of 100 ms each in the real event loop, --rounds times: how long each
//    frame stayed on screen, measured between consecutive flips and between consecutive repaints
//    of the drawing area, against the interval the tick planned for it.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "BenchSupport.h"
#include "DXClass.h"
#include "DXDraws.h"
#include "UFunStruct.h"

namespace {

struct TPaintClock : QObject {
  QElapsedTimer* Clock = nullptr;
  std::vector<qint64>* Paints = nullptr;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && Paints) Paints->push_back(Clock->nsecsElapsed());
    return false;
  }
};

int Option(int argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::max(1, std::atoi(argv[i + 1]));
  return fallback;
}

// Every element lit, in colours that change from frame to frame.
UFunStruct::TFunlight BenchFunlight(int frames) {
  UFunStruct::TFunlight f;
  f.FunID = 10;
  f.FunType = UFunStruct::NormalType;
  f.Repeating = true;
  f.FrameCount = static_cast<uint8_t>(frames);
  for (int i = 0; i < frames; ++i) {
    UFunStruct::TFrame frame;
    frame.Duration = 100;
    for (uint8_t n = 1; n <= 7; ++n)
      frame.Cells.push_back({n, static_cast<uint8_t>((i + n) % 16),
                             static_cast<uint8_t>((i * 3 + n) % 16),
                             static_cast<uint8_t>((i * 5 + 2 * n) % 16)});
    frame.CellCount = 7;
    f.Frames.push_back(frame);
  }
  return f;
}

double Quantile(const std::vector<double>& sorted, double q) {
  return sorted[static_cast<size_t>(q * static_cast<double>(sorted.size() - 1))];
}

void Report(const char* what, std::vector<double> values) {
  if (values.empty()) return;
  std::sort(values.begin(), values.end());
  std::printf("%s: n %zu, median %.3f ms, p99 %.3f ms, max %.3f ms\n", what, values.size(),
              Quantile(values, 0.5), Quantile(values, 0.99), values.back());
}

// |measured - planned| of each gap between consecutive moments.
void AddErrors(std::vector<double>& errors, const std::vector<qint64>& at,
               const std::vector<int>& planned) {
  for (size_t i = 1; i < at.size() && i - 1 < planned.size(); ++i)
    errors.push_back(std::fabs(static_cast<double>(at[i] - at[i - 1]) / 1e6 - planned[i - 1]));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("Glowsmith 2");
  const int ticks = Option(argc, argv, "--ticks", 2000);
  const int frames = std::min(Option(argc, argv, "--frames", 100), 255);
  const int rounds = Option(argc, argv, "--rounds", 1);

  TBenchWindow window;
  const std::string document = window.Temp.filePath("bench.pat").toStdString();
  UFunStruct::FunList = {BenchFunlight(frames)};
  UFunStruct::FunFile.Count = 1;
  UFunStruct::WritePat(document);
  UFunStruct::FunList.clear();

  Unit1::TMForm& form = window.Start({QString::fromStdString(document)});
  form.show();
  form.PageControl1->setCurrentWidget(form.Tab3);
  form.activateWindow();
  QApplication::processEvents();
  form.ListBox2->setCurrentRow(0);
  if (!form.Button15->isEnabled()) {
    std::fprintf(stderr, "no funlight to play\n");
    return 1;
  }

  // 1. One tick, called directly; a play that ends starts again at once.
  form.CheckBox4->setChecked(true);
  form.Button15->click();
  std::vector<double> tickTimes;
  tickTimes.reserve(static_cast<size_t>(ticks));
  for (int i = 0; i < ticks; ++i) {
    QElapsedTimer clock;
    clock.start();
    form.Timer1->Tick();
    tickTimes.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
  }
  form.Button15->click();
  form.CheckBox4->setChecked(false);
  Report("one tick (draw and flip)", tickTimes);
  QElapsedTimer repaint;
  repaint.start();
  for (int i = 0; i < 200; ++i) form.DXDraw->repaint();
  std::printf("repaint of the drawing area: %.3f ms\n",
              static_cast<double>(repaint.nsecsElapsed()) / 1e6 / 200);

  // 2. Plays in the event loop.
  if (QGuiApplication::applicationState() != Qt::ApplicationActive) {
    std::printf("(the application is not active on this platform: told the timer it is)\n");
    form.Timer1->ApplicationStateChanged(Qt::ApplicationActive);
  }
  QElapsedTimer clock;
  clock.start();
  std::vector<qint64> flips, paints;
  std::vector<int> planned;
  TPaintClock paintClock;
  paintClock.Clock = &clock;
  paintClock.Paints = &paints;
  form.DXDraw->installEventFilter(&paintClock);
  // A loop of our own: quitting the application would close the window.
  QEventLoop loop;
  const auto tick = form.Timer1->OnTimer;
  form.Timer1->OnTimer = [&] {
    tick();
    // The flip is the tick's last drawing step; the interval it leaves is this frame's time.
    flips.push_back(clock.nsecsElapsed());
    planned.push_back(form.Timer1->Interval());
    if (!form.Timer1->Enabled()) QTimer::singleShot(0, &loop, &QEventLoop::quit);
  };
  std::vector<double> flipErrors, paintErrors;
  for (int round = 0; round < rounds; ++round) {
    flips.clear();
    paints.clear();
    planned.clear();
    form.Button15->click();
    loop.exec();
    // The end tick has no frame of its own: the gaps are the frames' times on screen.
    planned.pop_back();
    AddErrors(flipErrors, flips, planned);
    AddErrors(paintErrors, paints, planned);
  }
  std::printf("play of %d frames of 100 ms, %d round(s):\n", frames, rounds);
  Report("  |flip gap - planned|", flipErrors);
  Report("  |repaint gap - planned|", paintErrors);
  form.Timer1->OnTimer = tick;
  return 0;
}
