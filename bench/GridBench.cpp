// Times the colour grid on the largest funlight the editor can make (255 frames, all seven
// elements lit in every frame): a full repaint of EditGrid, and selecting a cell.
#include <QApplication>
#include <QTabWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "BenchSupport.h"
#include "Profile.h"
#include "UFunStruct.h"

namespace {

using Clock = std::chrono::steady_clock;

UFunStruct::TFunlight Largest() {
  UFunStruct::TFunlight f;
  f.FunType = UFunStruct::NormalType;
  f.FunID = 1;
  f.Repeating = true;
  f.FrameCount = 255;
  f.Frames.resize(255);
  for (int i = 0; i < 255; ++i) {
    UFunStruct::TFrame& frame = f.Frames[static_cast<size_t>(i)];
    frame.Duration = 100;
    for (uint8_t e = 1; e <= 7; ++e)
      frame.Cells.push_back({e, static_cast<uint8_t>(i % 16), static_cast<uint8_t>(e * 2),
                             static_cast<uint8_t>((i + e) % 16)});
    frame.CellCount = 7;
  }
  return f;
}

struct TFigures {
  double Median, Max;
};

template <typename F>
TFigures Time(int runs, F&& f) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    f(i);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

void Report(const char* what, const TFigures& t, double target) {
  std::printf("%-56s median %7.3f ms  max %7.3f ms  (target %g ms) %s\n", what, t.Median, t.Max,
              target, t.Median <= target ? "ok" : "OVER");
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TBenchWindow window;
  Unit1::TMForm& form = window.Start();

  // Full colour, single colour and absent elements, as on a real phone model.
  Profile.ElementColour = {0, -1, 0xFFFFFF, -1, -1, 0x40A0FF, -1, -2};
  Profile.ElementCount = 7;
  form.EditGrid->SetRowCount(7);
  UFunStruct::FunList = {Largest()};
  UFunStruct::FunFile.Count = 1;
  form.Execute(form.AUpdateList);
  form.Execute(form.ASaveActiv);
  form.PageControl1->setCurrentWidget(form.Tab2);
  form.show();
  QApplication::processEvents();
  if (form.EditGrid->ColCount() != 255) {
    std::fprintf(stderr, "the grid has %d columns, not 255\n", form.EditGrid->ColCount());
    return 1;
  }

  const int runs = 300;
  Report("EditGrid repaint, 15 of 255 columns visible",
         Time(runs, [&](int) { form.EditGrid->repaint(); }), 10);
  form.EditGrid->SetLeftCol(120);
  Report("EditGrid repaint, scrolled to column 120",
         Time(runs, [&](int) { form.EditGrid->repaint(); }), 10);
  form.EditGrid->SetLeftCol(0);

  // Every one of the 255 x 7 cells at once: the grid widened to show all columns.
  TGrid* wide = form.EditGrid;
  const QSize size = wide->size();
  wide->resize(255 * 37 + 4, size.height());
  Report("EditGrid repaint, all 255 x 7 cells visible", Time(60, [&](int) { wide->repaint(); }),
         10);
  wide->resize(size);

  bool can = true;
  Report("EditGridSelectCell, lit cell (cycling columns and rows)",
         Time(runs * 5, [&](int i) { form.EditGridSelectCell(254 - i % 255, i % 6, can); }), 1);
  Report("EditGridSelectCell, last cell of the largest funlight",
         Time(runs * 5, [&](int) { form.EditGridSelectCell(254, 5, can); }), 1);
  return 0;
}
