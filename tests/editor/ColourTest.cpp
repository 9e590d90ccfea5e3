// Colour tools: sliders, on/off, previous colour and the right mouse button on the colour grid.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <functional>

#include "EditorSupport.h"
#include "Profile.h"
#include "Unit1.h"

using namespace UFunStruct;

namespace {

std::string Steps(const TClubFrame& row) {
  std::string s = std::to_string(row.Element) + ':';
  EXPECT_EQ(row.CellCount, row.Cells.size());
  for (const TClubCell& c : row.Cells)
    s += ' ' + std::to_string(c.R) + ',' + std::to_string(c.G) + ',' + std::to_string(c.B) + '/' +
         std::to_string(c.Param);
  return s;
}

QColor Rgb(int r, int g, int b) {
  return QColor(r * 17, g * 17, b * 17);
}

// Everything a funlight holds but its size, which only the reader and the writer keep.
std::string Contents(TFunlight f) {
  f.Size = 0;
  return DocSupport::Describe({f});
}

// Element 1 lit, black and lit in frames 1 to 3 and missing in frame 4; element 2 only in frame 1;
// element 4 in frames 1 and 2 with three channels that differ.
TFunlight Painting() {
  return NormalFunlight(
      1,
      {Frame(100, {{1, 5, 5, 5}, {2, 0, 0, 9}, {4, 3, 7, 12}}),
       Frame(100, {{1, 0, 0, 0}, {4, 1, 2, 3}}), Frame(100, {{1, 15, 0, 0}}), Frame(100, {})},
      true);
}

TFunlight Club() {
  return Clublight(
      4, {ClubRow(1, 0, 0, {{1, 0, 0, 11}, {2, 0, 0, 22}, {0, 0, 0, 33}, {4, 0, 0, 44}}),
          ClubRow(3, 0, 0, {{0, 5, 0, 50}, {0, 6, 9, 60}, {0, 7, 0, 70}, {0, 8, 0, 80}})});
}

class ColourTest : public EditorTest {
 protected:
  void TearDown() override {
    // The simulated mouse remembers held buttons across tests.
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton})
      if (forms_ && QApplication::mouseButtons() & b) QTest::mouseRelease(Grid(), b);
    EditorTest::TearDown();
  }
  TGrid* Grid() { return Form().EditGrid; }
  QPoint At(int col, int row) { return Grid()->CellRect(col, row).center(); }
  void RightPress(int col, int row) {
    QTest::mousePress(Grid(), Qt::RightButton, {}, At(col, row));
  }
  void RightRelease(int col, int row) {
    QTest::mouseRelease(Grid(), Qt::RightButton, {}, At(col, row));
  }
  void MoveTo(int col, int row, QPoint offset = {}) {
    QTest::mouseMove(Grid(), At(col, row) + offset);
  }
  // What the grid paints for a cell now.
  QColor Painted(int col, int row) { return Grid()->grab().toImage().pixelColor(At(col, row)); }
  // What the window shows for a cell: only what has been repainted since it last changed.
  QColor OnScreen(int col, int row) {
    QApplication::processEvents();
    const QPoint p = Grid()->mapTo(&Form(), At(col, row));
    const QImage shot = Form().screen()->grabWindow(Form().winId()).toImage();
    return shot.pixelColor(p);
  }
  std::vector<QString> Sliders() {
    return {Form().Edit2->text(),
            Form().Edit3->text(),
            Form().Edit4->text(),
            QString::number(Form().TrackBar1->value()),
            QString::number(Form().TrackBar2->value()),
            QString::number(Form().TrackBar3->value())};
  }
};

}  // namespace

TEST_F(ColourTest, SelectingACellLoadsTheColourTools) {
  OpenDocument({Painting()});
  SelectCell(0, 3);  // element 4: 3, 7, 12
  EXPECT_TRUE(Form().GroupBox6->isVisibleTo(Form().TabSheet2));
  EXPECT_FALSE(Form().GroupBox9->isVisibleTo(Form().TabSheet2));
  EXPECT_EQ(Sliders(), (std::vector<QString>{"3", "7", "12", "12", "8", "3"}));
  EXPECT_EQ(Form().Shape1->BrushColor(), Rgb(3, 7, 12));
  EXPECT_TRUE(Form().Button2->isEnabled());
  EXPECT_TRUE(Form().ADelFrame->isEnabled());
  EXPECT_FALSE(Form().AAddNewFrame->isEnabled());
  EXPECT_FALSE(Form().SpinEdit2->isEnabled());
  EXPECT_EQ(Cells(Cur().Frames[0]), "1:5,5,5 2:0,0,9 4:3,7,12");

  SelectCell(1, 3);  // 1, 2, 3: loading it writes nothing new
  EXPECT_EQ(Sliders(), (std::vector<QString>{"1", "2", "3", "14", "13", "12"}));
  EXPECT_EQ(AllCells(Cur()), AllCells(Painting()));

  SelectCell(3, 0);  // empty
  EXPECT_TRUE(EmptyFlag);
  EXPECT_FALSE(Form().GroupBox6->isVisibleTo(Form().TabSheet2));
  EXPECT_FALSE(Form().GroupBox9->isVisibleTo(Form().TabSheet2));
  EXPECT_FALSE(Form().Button2->isEnabled());
  EXPECT_FALSE(Form().ADelFrame->isEnabled());
  EXPECT_TRUE(Form().AAddNewFrame->isEnabled());
}

TEST_F(ColourTest, SelectingACellWritesNothing) {
  TFunlight f = Painting();
  f.Frames[0].Cells[2].R = 20;  // kept as read, beyond what a slider shows
  OpenDocument({f});
  const std::string read = Contents(Cur());
  SelectCell(0, 3);
  EXPECT_EQ(Contents(Cur()), read);
  EXPECT_EQ(Sliders(), (std::vector<QString>{"20", "7", "12", "0", "8", "3"}));
  // A change to another channel writes that channel only.
  Form().TrackBar2->setValue(0);
  EXPECT_EQ(Cells(Cur().Frames[0]), "1:5,5,5 2:0,0,9 4:20,15,12");
}

// Clicking an element name chooses the element of "Slot operations"; the "Selected frame" page
// keeps its cell, and every command there acts on it.
TEST_F(ColourTest, SelectedFrameActsOnItsCellAfterANameClick) {
  using TForm = Unit1::TMForm;
  struct {
    const char* name;
    TFunlight (*doc)();
    int col, row, nameRow;
    std::function<void(TForm&)> command;
    std::function<void(TFunlight&)> change;
  } const cases[] = {
      {"red slider", Painting, 0, 3, 0, [](TForm& w) { w.TrackBar1->setValue(0); },
       [](TFunlight& f) { f.Frames[0].Cells[2].R = 15; }},
      {"previous colour", Painting, 1, 3, 0,
       [](TForm& w) { QTest::mouseClick(w.Button2, Qt::LeftButton); },
       [](TFunlight& f) {
         f.Frames[1].Cells[1] = {4, 3, 7, 12};
       }},
      {"on/off", Painting, 0, 3, 0, [](TForm& w) { w.Execute(w.AMakeOn_Off); },
       [](TFunlight& f) {
         f.Frames[0].Cells[2] = {4, 0, 0, 0};
       }},
      {"remove", Painting, 0, 3, 0, [](TForm& w) { QTest::mouseClick(w.Button3, Qt::LeftButton); },
       [](TFunlight& f) {
         f.Frames[0] = Frame(100, {{1, 5, 5, 5}, {2, 0, 0, 9}});
       }},
      {"add", Painting, 3, 1, 5, [](TForm& w) { QTest::mouseClick(w.Button1, Qt::LeftButton); },
       [](TFunlight& f) {
         f.Frames[3] = Frame(100, {{2, 0, 0, 0}});
       }},
      {"rhythm parameter", Club, 1, 2, 0, [](TForm& w) { w.SpinEdit2->setValue(99); },
       [](TFunlight& f) { f.ClubFrames[1].Cells[1].Param = 99; }},
      {"add to a clublight", Club, 1, 4, 0,
       [](TForm& w) { QTest::mouseClick(w.Button1, Qt::LeftButton); },
       [](TFunlight& f) {
         f.ClubFrames.push_back(ClubRow(5, 0, 0, std::vector<TClubCell>(4)));
         f.FrameCount = 3;
       }},
  };
  OpenDocument({Painting()});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FunList[0] = c.doc();
    Form().Execute(Form().AUpdateFunlight);
    TFunlight expected = c.doc();
    c.change(expected);
    SelectCell(c.col, c.row);
    QTest::mouseClick(Form().SlotGrid, Qt::LeftButton, {},
                      Form().SlotGrid->CellRect(0, c.nameRow).center());
    ASSERT_EQ(SelElement, c.nameRow + 1);
    Form().PageControl2->setCurrentWidget(Form().TabSheet2);
    c.command(Form());
    EXPECT_EQ(Contents(Cur()), Contents(expected));
  }
}

TEST_F(ColourTest, SliderAtTheTopWritesFifteenAndRepaintsTheCell) {
  struct {
    QSlider* Unit1::TMForm::*slider;
    QLineEdit* Unit1::TMForm::*edit;
    const char* cell;
    QColor colour;
  } const cases[] = {
      {&Unit1::TMForm::TrackBar1, &Unit1::TMForm::Edit2, "4:15,7,12", Rgb(15, 7, 12)},
      {&Unit1::TMForm::TrackBar2, &Unit1::TMForm::Edit3, "4:3,15,12", Rgb(3, 15, 12)},
      {&Unit1::TMForm::TrackBar3, &Unit1::TMForm::Edit4, "4:3,7,15", Rgb(3, 7, 15)},
  };
  OpenDocument({Painting()});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cell);
    Cur().Frames[0].Cells[2] = {4, 3, 7, 12};
    SelectCell(1, 0);
    SelectCell(0, 3);
    ASSERT_EQ(OnScreen(0, 3), Rgb(3, 7, 12));
    (Form().*c.slider)->setValue(0);
    EXPECT_EQ(Cells(Cur().Frames[0]), std::string("1:5,5,5 2:0,0,9 ") + c.cell);
    EXPECT_EQ((Form().*c.edit)->text(), "15");
    EXPECT_EQ(Form().Shape1->BrushColor(), c.colour);
    EXPECT_EQ(Painted(0, 3), c.colour);
    EXPECT_EQ(OnScreen(0, 3), c.colour);
  }
  // The bottom end means 0.
  Form().TrackBar3->setValue(15);
  EXPECT_EQ(Cells(Cur().Frames[0]), "1:5,5,5 2:0,0,9 4:3,7,0");
  EXPECT_EQ(Form().Edit4->text(), "0");
  EXPECT_EQ(OnScreen(0, 3), Rgb(3, 7, 0));
}

TEST_F(ColourTest, SlidersWriteNothingForAnEmptyCell) {
  OpenDocument({Painting()});
  SelectCell(0, 3);
  SelectCell(2, 3);  // element 4 is not lit in frame 3
  ASSERT_TRUE(EmptyFlag);
  Form().TrackBar1->setValue(0);
  Form().TrackBar2->setValue(3);
  EXPECT_EQ(Form().Edit2->text(), "15");
  EXPECT_EQ(AllCells(Cur()), AllCells(Painting()));
}

TEST_F(ColourTest, OnOffSwitchesBetweenBlackAndWhite) {
  struct {
    TFrameCell before;
    const char* after;
    QColor painted;
  } const cases[] = {
      {{2, 3, 0, 0}, "2:0,0,0", QColor(0, 0, 0)},
      {{2, 0, 0, 0}, "2:15,15,15", QColor(255, 0, 0)},
      {{2, 0, 0, 1}, "2:0,0,0", QColor(0, 0, 0)},
      {{2, 15, 15, 15}, "2:0,0,0", QColor(0, 0, 0)},
  };
  OpenDocument({Painting()});
  Profile.ElementColour[2] = 0x0000FF;  // a red single-colour element
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after);
    Cur().Frames[0].Cells[1] = c.before;
    SelectCell(1, 0);
    SelectCell(0, 1);
    EXPECT_TRUE(Form().GroupBox9->isVisibleTo(Form().TabSheet2));
    EXPECT_FALSE(Form().GroupBox6->isVisibleTo(Form().TabSheet2));
    QTest::mouseClick(Form().Button6, Qt::LeftButton);
    EXPECT_EQ(Cells(Cur().Frames[0]), std::string("1:5,5,5 ") + c.after + " 4:3,7,12");
    EXPECT_EQ(OnScreen(0, 1), c.painted);
  }
}

TEST_F(ColourTest, OnOffOnAClublightKeepsTheParameter) {
  OpenDocument({Club()});
  SelectCell(1, 2);  // element 3, step 2: 0, 6, 9
  EXPECT_TRUE(Form().SpinEdit2->isEnabled());
  EXPECT_FALSE(Form().ADelFrame->isEnabled());
  EXPECT_TRUE(Form().Execute(Form().AMakeOn_Off));
  EXPECT_EQ(Steps(Cur().ClubFrames[1]), "3: 0,5,0/50 0,0,0/60 0,7,0/70 0,8,0/80");
  EXPECT_TRUE(Form().Execute(Form().AMakeOn_Off));
  EXPECT_EQ(Steps(Cur().ClubFrames[1]), "3: 0,5,0/50 15,15,15/60 0,7,0/70 0,8,0/80");
  EXPECT_EQ(Painted(1, 2), Rgb(15, 15, 15));
}

TEST_F(ColourTest, PreviousColourIsTakenFromTheColumnBefore) {
  OpenDocument({Painting()});
  SelectCell(1, 3);  // element 4 in frame 2, after 3, 7, 12 in frame 1
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_EQ(Cells(Cur().Frames[1]), "1:0,0,0 4:3,7,12");
  EXPECT_EQ(Sliders(), (std::vector<QString>{"3", "7", "12", "12", "8", "3"}));
  EXPECT_EQ(OnScreen(1, 3), Rgb(3, 7, 12));
  EXPECT_EQ(Cells(Cur().Frames[0]), "1:5,5,5 2:0,0,9 4:3,7,12");
}

TEST_F(ColourTest, PreviousColourOnAClublight) {
  OpenDocument({Club()});
  SelectCell(3, 0);  // element 1, step 4, after 0, 0, 0 / 33
  EXPECT_TRUE(Form().Execute(Form().AMakePrevCol));
  EXPECT_EQ(Steps(Cur().ClubFrames[0]), "1: 1,0,0/11 2,0,0/22 0,0,0/33 0,0,0/44");
  EXPECT_EQ(Form().Edit2->text(), "0");
}

TEST_F(ColourTest, PreviousColourWithoutAPreviousCellChangesNothing) {
  struct {
    const char* name;
    int col, row;
  } const cases[] = {
      {"first column", 0, 3},
      {"element not lit in the frame before", 2, 0},
      {"selected cell empty", 1, 0},
  };
  OpenDocument({Painting()});
  // Element 1 is not lit in frame 2, so frame 3's cell has nothing before it.
  Cur().Frames[1].Cells.erase(Cur().Frames[1].Cells.begin());
  Cur().Frames[1].CellCount = 1;
  const auto before = AllCells(Cur());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SelectCell(c.col, c.row);
    const auto sliders = Sliders();
    EXPECT_TRUE(Form().Execute(Form().AMakePrevCol));
    EXPECT_EQ(AllCells(Cur()), before);
    EXPECT_EQ(Sliders(), sliders);
  }
}

TEST_F(ColourTest, RightButtonDragTogglesEachCellOnEntering) {
  OpenDocument({Painting()});
  SelectCell(0, 3);
  ASSERT_EQ(OnScreen(0, 0), Rgb(5, 5, 5));
  ASSERT_EQ(OnScreen(1, 0), Rgb(0, 0, 0));
  ASSERT_EQ(OnScreen(2, 0), Rgb(15, 0, 0));
  RightPress(0, 0);
  MoveTo(0, 0, {3, 2});  // inside the same cell: nothing
  MoveTo(1, 0);
  MoveTo(1, 0, {-4, 4});
  MoveTo(2, 0);
  EXPECT_EQ(Cells(Cur().Frames[0]), "1:0,0,0 2:0,0,9 4:3,7,12");
  EXPECT_EQ(Cells(Cur().Frames[1]), "1:15,15,15 4:1,2,3");
  EXPECT_EQ(Cells(Cur().Frames[2]), "1:0,0,0");
  EXPECT_EQ(OnScreen(0, 0), Rgb(0, 0, 0));
  EXPECT_EQ(OnScreen(1, 0), Rgb(15, 15, 15));
  EXPECT_EQ(OnScreen(2, 0), Rgb(0, 0, 0));
  // Back again: each cell toggles once more as it is entered.
  MoveTo(1, 0);
  MoveTo(0, 0);
  EXPECT_EQ(Cells(Cur().Frames[0]), "1:15,15,15 2:0,0,9 4:3,7,12");
  EXPECT_EQ(Cells(Cur().Frames[1]), "1:0,0,0 4:1,2,3");
  EXPECT_EQ(Cells(Cur().Frames[2]), "1:0,0,0");
  RightRelease(0, 0);
  // The selection, the grid's current cell and the page stay as they were.
  EXPECT_EQ(Grid()->Col(), 0);
  EXPECT_EQ(Grid()->Row(), 3);
  EXPECT_EQ(SelCol, 0);
  EXPECT_EQ(SelElement, 4);
  EXPECT_EQ(SelCell, 2);
  EXPECT_EQ(Form().PageControl2->currentWidget(), Form().TabSheet2);
  EXPECT_EQ(Sliders(), (std::vector<QString>{"3", "7", "12", "12", "8", "3"}));
}

TEST_F(ColourTest, DragWithAModifierOrAnotherButtonTogglesNothing) {
  struct {
    const char* name;
    Qt::KeyboardModifiers modifiers;
    Qt::MouseButtons buttons;
  } const cases[] = {
      {"ctrl", Qt::ControlModifier, Qt::RightButton},
      {"shift", Qt::ShiftModifier, Qt::RightButton},
      {"alt", Qt::AltModifier, Qt::RightButton},
      {"left too", Qt::NoModifier, Qt::RightButton | Qt::LeftButton},
      {"left only", Qt::NoModifier, Qt::LeftButton},
  };
  OpenDocument({Painting()});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FunList[0] = Painting();
    RightPress(0, 0);
    ASSERT_EQ(Cells(Cur().Frames[0]), "1:0,0,0 2:0,0,9 4:3,7,12");
    for (int col : {1, 2}) {
      const QPoint p = At(col, 0);
      QMouseEvent move(QEvent::MouseMove, p, Grid()->mapToGlobal(p), Qt::NoButton, c.buttons,
                       c.modifiers);
      QApplication::sendEvent(Grid(), &move);
    }
    RightRelease(0, 0);
    EXPECT_EQ(Cells(Cur().Frames[1]), "1:0,0,0 4:1,2,3");
    EXPECT_EQ(Cells(Cur().Frames[2]), "1:15,0,0");
  }
  // Holding the left button down as well, through the simulated mouse.
  FunList[0] = Painting();
  RightPress(0, 0);
  QTest::mousePress(Grid(), Qt::LeftButton, {}, At(0, 0));
  MoveTo(1, 0);
  MoveTo(2, 0);
  QTest::mouseRelease(Grid(), Qt::LeftButton, {}, At(2, 0));
  RightRelease(2, 0);
  EXPECT_EQ(Cells(Cur().Frames[1]), "1:0,0,0 4:1,2,3");
  EXPECT_EQ(Cells(Cur().Frames[2]), "1:15,0,0");
}

TEST_F(ColourTest, RightClickOnAnEmptyCellAddsAWhiteCell) {
  OpenDocument({Painting()});
  SelectCell(0, 0);  // 5, 5, 5
  RightPress(3, 1);  // element 2 in the empty frame 4
  RightRelease(3, 1);
  EXPECT_EQ(Cells(Cur().Frames[3]), "2:15,15,15");
  EXPECT_EQ(OnScreen(3, 1), Rgb(15, 15, 15));
  // The page still shows the cell selected before, with its command states.
  EXPECT_EQ(SelCol, 0);
  EXPECT_EQ(SelElement, 1);
  EXPECT_EQ(SelCell, 0);
  EXPECT_FALSE(EmptyFlag);
  EXPECT_EQ(Grid()->Col(), 0);
  EXPECT_EQ(Grid()->Row(), 0);
  EXPECT_EQ(Form().PageControl2->currentWidget(), Form().TabSheet2);
  EXPECT_EQ(Sliders(), (std::vector<QString>{"5", "5", "5", "10", "10", "10"}));
  EXPECT_FALSE(Form().AAddNewFrame->isEnabled());
  EXPECT_TRUE(Form().ADelFrame->isEnabled());
  EXPECT_FALSE(Unit1::Updating);

  // From an empty selected cell the add command stays enabled.
  SelectCell(2, 1);
  ASSERT_TRUE(Form().AAddNewFrame->isEnabled());
  RightPress(1, 1);
  RightRelease(1, 1);
  EXPECT_EQ(Cells(Cur().Frames[1]), "1:0,0,0 4:1,2,3 2:15,15,15");
  EXPECT_TRUE(Form().AAddNewFrame->isEnabled());
  EXPECT_EQ(Cells(Cur().Frames[2]), "1:15,0,0");
}

TEST_F(ColourTest, RightClickOnAClublightGivesTheElementARow) {
  OpenDocument({Club()});
  SelectCell(0, 0);
  RightPress(2, 1);  // element 2, no row
  RightRelease(2, 1);
  ASSERT_EQ(Cur().ClubFrames.size(), 3u);
  EXPECT_EQ(Steps(Cur().ClubFrames[2]), "2: 0,0,0/0 0,0,0/0 15,15,15/0 0,0,0/0");
  EXPECT_EQ(Steps(Cur().ClubFrames[0]), "1: 1,0,0/11 2,0,0/22 0,0,0/33 4,0,0/44");
  EXPECT_EQ(OnScreen(2, 1), Rgb(15, 15, 15));
  EXPECT_EQ(OnScreen(1, 1), Rgb(0, 0, 0));
  EXPECT_EQ(SelElement, 1);
  EXPECT_EQ(SelCol, 0);
  EXPECT_EQ(CopyTarget, 1);
  EXPECT_EQ(Form().ElName->text(), Form().SlotGrid->Cell(0, 0));
  EXPECT_EQ(Form().PageControl2->currentWidget(), Form().TabSheet2);
}

TEST_F(ColourTest, DraggingOverEmptyCellsAddsNothing) {
  OpenDocument({Painting()});
  RightPress(0, 1);  // element 2's only cell
  for (int col : {1, 2, 3}) MoveTo(col, 1);
  MoveTo(3, 0);  // element 1 has no cell in frame 4 either
  RightRelease(3, 0);
  TFunlight expected = Painting();
  expected.Frames[0].Cells[1] = {2, 0, 0, 0};  // 0, 0, 9 was lit
  EXPECT_EQ(AllCells(Cur()), AllCells(expected));
}

TEST_F(ColourTest, HiddenAbsentElementIgnoresTheRightButton) {
  OpenDocument({Painting()});
  Profile.ElementColour[4] = AbsentElement;
  ASSERT_TRUE(Form().CheckBox2->isChecked());
  RightPress(0, 3);
  MoveTo(1, 3);
  RightRelease(1, 3);
  RightPress(2, 3);
  RightRelease(2, 3);
  EXPECT_EQ(AllCells(Cur()), AllCells(Painting()));
  // Shown again, it behaves like a full-colour element.
  Form().CheckBox2->setChecked(false);
  RightPress(0, 3);
  MoveTo(1, 3);
  RightRelease(1, 3);
  EXPECT_EQ(Cells(Cur().Frames[0]), "1:5,5,5 2:0,0,9 4:0,0,0");
  EXPECT_EQ(Cells(Cur().Frames[1]), "1:0,0,0 4:0,0,0");
}

TEST_F(ColourTest, TogglingTheSelectedCellShowsItsNewColour) {
  OpenDocument({Painting()});
  SelectCell(0, 3);  // 3, 7, 12
  RightPress(0, 3);
  RightRelease(0, 3);
  EXPECT_EQ(Cells(Cur().Frames[0]), "1:5,5,5 2:0,0,9 4:0,0,0");
  EXPECT_EQ(Sliders(), (std::vector<QString>{"0", "0", "0", "15", "15", "15"}));
  EXPECT_EQ(Form().Shape1->BrushColor(), Rgb(0, 0, 0));
  // Another cell toggled leaves the page alone.
  RightPress(1, 3);
  RightRelease(1, 3);
  EXPECT_EQ(Cells(Cur().Frames[1]), "1:0,0,0 4:0,0,0");
  EXPECT_EQ(Sliders(), (std::vector<QString>{"0", "0", "0", "15", "15", "15"}));
  // The on/off button on the selected cell.
  EXPECT_TRUE(Form().Execute(Form().AMakeOn_Off));
  EXPECT_EQ(Cells(Cur().Frames[0]), "1:5,5,5 2:0,0,9 4:15,15,15");
  EXPECT_EQ(Sliders(), (std::vector<QString>{"15", "15", "15", "0", "0", "0"}));
  EXPECT_EQ(Form().Shape1->BrushColor(), Rgb(15, 15, 15));
  EXPECT_EQ(Cells(Cur().Frames[1]), "1:0,0,0 4:0,0,0");
  EXPECT_EQ(Cells(Cur().Frames[2]), "1:15,0,0");
}

TEST_F(ColourTest, ColourToolsWriteNothingThroughAStaleSelection) {
  OpenDocument({Painting()});
  SelectCell(1, 0);  // element 1 in frame 2: 0, 0, 0 in place 0
  ASSERT_EQ(SelCell, 0);
  // Element 1 is removed everywhere: element 4's cell moves into place 0 of frame 2.
  EXPECT_TRUE(Form().Execute(Form().ADelAllFrames));
  const auto before = AllCells(Cur());
  ASSERT_EQ(before, (std::vector<std::string>{"2:0,0,9 4:3,7,12", "4:1,2,3", "", ""}));
  Form().TrackBar1->setValue(0);
  Form().TrackBar2->setValue(0);
  Form().TrackBar3->setValue(0);
  EXPECT_TRUE(Form().Execute(Form().AMakeOn_Off));
  EXPECT_TRUE(Form().Execute(Form().AMakePrevCol));
  RightPress(1, 3);  // toggles element 4 there, and puts the stale selection back
  RightRelease(1, 3);
  EXPECT_TRUE(Form().Execute(Form().AMakeOn_Off));
  EXPECT_EQ(AllCells(Cur()), (std::vector<std::string>{"2:0,0,9 4:3,7,12", "4:0,0,0", "", ""}));

  // A cell that only moved is still found: writes follow the element.
  SelectCell(0, 3);  // element 4 in frame 1: place 1
  ASSERT_EQ(SelCell, 1);
  Form().SlotGrid->SetCurrent(0, 1);
  EXPECT_TRUE(Form().Execute(Form().ADelAllFrames));  // element 2 goes: element 4 moves to place 0
  Form().SlotGrid->SetCurrent(0, 3);
  ASSERT_EQ(SelElement, 4);
  ASSERT_EQ(SelCell, 1);
  Form().TrackBar1->setValue(0);
  EXPECT_EQ(AllCells(Cur()), (std::vector<std::string>{"4:15,7,12", "4:0,0,0", "", ""}));
}

TEST_F(ColourTest, ClublightColourToolsWriteNothingToARemovedRow) {
  OpenDocument({Club()});
  SelectCell(2, 0);  // element 1: row 0
  EXPECT_TRUE(Form().Execute(Form().ADelAllFrames));
  ASSERT_EQ(Cur().ClubFrames.size(), 1u);
  const std::string before = Steps(Cur().ClubFrames[0]);
  Form().TrackBar1->setValue(0);
  Form().TrackBar2->setValue(0);
  EXPECT_TRUE(Form().Execute(Form().AMakeOn_Off));
  EXPECT_TRUE(Form().Execute(Form().AMakePrevCol));
  EXPECT_EQ(Steps(Cur().ClubFrames[0]), before);
}
