// Frame operations: the frame row, one element's cell in one or all frames, copying an element and
// the clublight values.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

// "element(upper-lower):R,G,B/P ..." for a clublight.
std::string Rows(const TFunlight& f) {
  std::string s;
  EXPECT_EQ(f.FrameCount, f.ClubFrames.size());
  for (const TClubFrame& row : f.ClubFrames) {
    EXPECT_EQ(row.CellCount, row.Cells.size());
    if (!s.empty()) s += " | ";
    s += std::to_string(row.Element) + '(' + std::to_string(row.UpperFreq) + '-' +
         std::to_string(row.LowerFreq) + "):";
    for (const TClubCell& c : row.Cells)
      s += ' ' + std::to_string(c.R) + ',' + std::to_string(c.G) + ',' + std::to_string(c.B) + '/' +
           std::to_string(c.Param);
  }
  return s;
}

class FramesTest : public EditorTest {
 protected:
  void SelectElement(int row) { ASSERT_TRUE(Form().SlotGrid->SetCurrent(0, row)); }
  bool Shown(QWidget* page) { return TabShown(Form().PageControl2, page); }
};

// Three frames; element 3 lit in all of them, 2 in the last, 1 and 5 in the first.
TFunlight Normal() {
  return NormalFunlight(1,
                        {Frame(100, {{1, 1, 2, 3}, {3, 4, 5, 6}, {5, 7, 8, 9}}),
                         Frame(200, {{3, 1, 1, 1}}), Frame(300, {{2, 2, 2, 2}, {3, 3, 3, 3}})},
                        true);
}

// Four steps; rows for elements 1 and 3.
TFunlight Club() {
  return Clublight(
      3, {ClubRow(1, 1000, 200, {{1, 0, 0, 10}, {2, 0, 0, 20}, {3, 0, 0, 30}, {4, 0, 0, 40}}),
          ClubRow(3, 3000, 400, {{0, 5, 0, 50}, {0, 6, 0, 60}, {0, 7, 0, 70}, {0, 8, 0, 80}})});
}

}  // namespace

TEST_F(FramesTest, DurationTextIsReadLikeValClampedAndStored) {
  OpenDocument({Normal()});
  struct {
    const char* typed;
    const char* shown;
    uint16_t stored;
  } const cases[] = {
      {"250", "250", 250},
      {"0", "0", 0},
      {"65535", "65535", 65535},
      {"70000", "65535", 65535},
      {"2147483647", "65535", 65535},
      {"2147483648", "", 0},  // does not fit in 32 bits: an error, not a clamp
      {"99999999999", "", 0},
      {"$1F", "$1F", 31},
      {"x1f", "x1f", 31},
      {"X1F", "X1F", 31},
      {"0x1F", "0x1F", 31},
      {"0X1f", "0X1f", 31},
      {"$FFFF", "$FFFF", 65535},
      {"$10000", "65535", 65535},
      {" 42", " 42", 42},
      {"   +7", "   +7", 7},
      {"+7", "+7", 7},
      {"12a", "", 0},
      {"1x2", "", 0},
      {"$1G", "", 0},
      {"12 ", "", 0},
      {" ", "", 0},
      {"$", "", 0},
      {"0x", "", 0},
      {"+", "", 0},
      {"--1", "", 0},
      {"-5", "", 0},  // a duration cannot be negative
      {"-$10", "", 0},
      {"", "", 500},  // deleting every digit keeps the stored duration
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    Cur().Frames[1].Duration = 500;
    Form().FrameGrid->SetCell(1, 1, c.typed);
    Form().FrameGridSetEditText(1, 1, c.typed);
    EXPECT_EQ(Form().FrameGrid->Cell(1, 1), c.shown);
    EXPECT_EQ(Cur().Frames[1].Duration, c.stored);
    EXPECT_EQ(Cur().Frames[0].Duration, 100);
    EXPECT_EQ(Cur().Frames[2].Duration, 300);
  }
  // The next refresh shows the kept duration again.
  Form().FrameGrid->SetCell(1, 1, "");
  Form().FrameGridSetEditText(1, 1, "");
  Form().Execute(Form().AUpdateFunlight);
  EXPECT_EQ(Form().FrameGrid->Cell(1, 1), "500");
}

TEST_F(FramesTest, TypedDurationIsClampedInTheEditor) {
  OpenDocument({Normal()});
  TGrid* grid = Form().FrameGrid;
  ASSERT_TRUE(grid->SetCurrent(0, 1));
  QTest::keyClick(grid, Qt::Key_7);
  ASSERT_NE(grid->InplaceEditor(), nullptr);
  QTest::keyClicks(grid->InplaceEditor(), "0000");
  EXPECT_EQ(grid->InplaceEditor()->text(), "65535");
  EXPECT_EQ(grid->Cell(0, 1), "65535");
  EXPECT_EQ(Cur().Frames[0].Duration, 65535);
  // A letter empties the cell at once and stores 0.
  QTest::keyClick(grid->InplaceEditor(), Qt::Key_Q);
  EXPECT_EQ(grid->InplaceEditor()->text(), "");
  EXPECT_EQ(Cur().Frames[0].Duration, 0);
}

TEST_F(FramesTest, DurationEditorSelectsItsTextAndReturnClosesIt) {
  OpenDocument({Normal()});
  TGrid* grid = Form().FrameGrid;
  const QPoint cell = grid->CellRect(1, 1).center();
  ASSERT_TRUE(grid->SetCurrent(1, 1));
  QTest::mouseClick(grid, Qt::LeftButton, {}, cell);  // on the current cell: edit it
  QLineEdit* editor = grid->InplaceEditor();
  ASSERT_NE(editor, nullptr);
  ASSERT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->selectedText(), "200");
  QTest::keyClicks(editor, "65535");
  EXPECT_EQ(Cur().Frames[1].Duration, 65535);
  // Five digits fit the column: the line edit keeps 2 pixels on each side and one for the caret.
  EXPECT_LE(QFontMetrics(editor->font()).horizontalAdvance("65535"), editor->width() - 5);
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_FALSE(editor->isVisible());
  EXPECT_EQ(grid->Cell(1, 1), "65535");
  EXPECT_EQ(Cur().Frames[1].Duration, 65535);
}

// The duration editor and the "Selected frame" page close when what they show goes away.
TEST_F(FramesTest, EditorsCloseWithTheirColumnOrFunlight) {
  struct {
    const char* name;
    std::function<void()> change;
  } const cases[] = {
      {"fewer frames", [&] { Form().SpinEdit5->setValue(2); }},
      {"another funlight", [&] { Form().ListBox1->setCurrentRow(1); }},
  };
  OpenDocument({Normal(), Normal()});
  TGrid* grid = Form().FrameGrid;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FunList = {Normal(), Normal()};
    Form().ListBox1->setCurrentRow(0);
    Form().Execute(Form().AUpdateFunlight);
    SelectCell(2, 2);
    ASSERT_TRUE(Shown(Form().TabSheet2));
    ASSERT_TRUE(grid->SetCurrent(2, 1));
    QTest::keyClick(grid, Qt::Key_9);  // opens the editor, which takes the next keys
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_5);
    ASSERT_TRUE(grid->InplaceEditor()->isVisible());
    c.change();
    EXPECT_FALSE(grid->InplaceEditor()->isVisible());
    EXPECT_FALSE(Shown(Form().TabSheet2));
    EXPECT_EQ(FunList[0].Frames[1].Duration, 200);
    EXPECT_EQ(FunList[1].Frames[2].Duration, 300);
  }
  EXPECT_EQ(FunList[0].Frames[2].Duration, 95) << "what was typed stays";
}

TEST_F(FramesTest, ClublightDurationRowTakesNoText) {
  OpenDocument({Club()});
  const std::string before = Rows(Cur());
  for (const char* typed : {"42", "$10", "abc"}) {
    Form().FrameGrid->SetCell(2, 1, typed);
    Form().FrameGridSetEditText(2, 1, typed);
    EXPECT_EQ(Form().FrameGrid->Cell(2, 1), "") << typed;
  }
  TGrid* grid = Form().FrameGrid;
  ASSERT_TRUE(grid->SetCurrent(1, 1));
  QTest::keyClick(grid, Qt::Key_5);
  ASSERT_NE(grid->InplaceEditor(), nullptr);
  EXPECT_EQ(grid->InplaceEditor()->text(), "");
  EXPECT_TRUE(Cur().Frames.empty());
  EXPECT_EQ(Rows(Cur()), before);
}

TEST_F(FramesTest, LastFrameOfNonRepeatingFunlightIsLockedUntilItRepeats) {
  TFunlight f = Normal();
  f.Repeating = false;
  OpenDocument({f});
  Profile.LastFrameWarning = "The last frame has no duration.";
  TGrid* grid = Form().FrameGrid;

  ASSERT_TRUE(grid->SetCurrent(2, 1));  // the cell still becomes current
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_EQ(dialogs_.Messages[0].Text, "The last frame has no duration.");
  EXPECT_EQ(dialogs_.Messages[0].Title, Form().windowTitle());
  EXPECT_EQ(dialogs_.Messages[0].Icon, TMsgIcon::Warning);
  EXPECT_FALSE(grid->Editing());
  QTest::keyClick(grid, Qt::Key_9);
  EXPECT_TRUE(grid->InplaceEditor() == nullptr || !grid->InplaceEditor()->isVisible());
  EXPECT_EQ(Cur().Frames[2].Duration, 0);

  ASSERT_TRUE(grid->SetCurrent(1, 1));
  EXPECT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_TRUE(grid->Editing());

  Form().CheckBox1->setChecked(true);
  ASSERT_TRUE(Cur().Repeating);
  ASSERT_TRUE(grid->SetCurrent(2, 1));
  EXPECT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_TRUE(grid->Editing());
  QTest::keyClick(grid, Qt::Key_9);
  ASSERT_NE(grid->InplaceEditor(), nullptr);
  QTest::keyClicks(grid->InplaceEditor(), "5");
  EXPECT_EQ(Cur().Frames[2].Duration, 95);
}

TEST_F(FramesTest, AddAndRemoveInOneFrameKeepCellOrder) {
  OpenDocument({Normal()});
  SelectCell(0, 1);  // element 2 is not lit in frame 1
  EXPECT_TRUE(Form().AAddNewFrame->isEnabled());
  EXPECT_FALSE(Form().ADelFrame->isEnabled());
  QTest::mouseClick(Form().Button1, Qt::LeftButton);
  EXPECT_EQ(Cells(Cur().Frames[0]), "1:1,2,3 3:4,5,6 5:7,8,9 2:0,0,0");
  // The page now shows the new black cell.
  EXPECT_FALSE(EmptyFlag);
  EXPECT_FALSE(Form().AAddNewFrame->isEnabled());
  EXPECT_TRUE(Form().ADelFrame->isEnabled());
  EXPECT_TRUE(Form().GroupBox6->isVisibleTo(Form().TabSheet2));
  EXPECT_EQ(Form().Edit2->text(), "0");

  SelectCell(0, 2);  // element 3, in the middle
  QTest::mouseClick(Form().Button3, Qt::LeftButton);
  EXPECT_EQ(Cells(Cur().Frames[0]), "1:1,2,3 5:7,8,9 2:0,0,0");
  EXPECT_TRUE(EmptyFlag);
  EXPECT_TRUE(Form().AAddNewFrame->isEnabled());
  EXPECT_FALSE(Form().ADelFrame->isEnabled());
  EXPECT_FALSE(Form().GroupBox6->isVisibleTo(Form().TabSheet2));
  EXPECT_EQ(Cells(Cur().Frames[1]), "3:1,1,1");
  EXPECT_EQ(Cells(Cur().Frames[2]), "2:2,2,2 3:3,3,3");
}

TEST_F(FramesTest, ElementCommandsOverAllFrames) {
  struct {
    const char* name;
    int element;
    QAction* Unit1::TMForm::*action;
    std::vector<std::string> frames;
  } const cases[] = {
      {"add 2",
       2,
       &Unit1::TMForm::AAddAllFrames,
       {"1:1,2,3 3:4,5,6 5:7,8,9 2:0,0,0", "3:1,1,1 2:0,0,0", "2:2,2,2 3:3,3,3"}},
      {"add 3 (everywhere already)",
       3,
       &Unit1::TMForm::AAddAllFrames,
       {"1:1,2,3 3:4,5,6 5:7,8,9", "3:1,1,1", "2:2,2,2 3:3,3,3"}},
      {"remove 3", 3, &Unit1::TMForm::ADelAllFrames, {"1:1,2,3 5:7,8,9", "", "2:2,2,2"}},
      {"remove 2",
       2,
       &Unit1::TMForm::ADelAllFrames,
       {"1:1,2,3 3:4,5,6 5:7,8,9", "3:1,1,1", "3:3,3,3"}},
      {"remove 7 (nowhere)",
       7,
       &Unit1::TMForm::ADelAllFrames,
       {"1:1,2,3 3:4,5,6 5:7,8,9", "3:1,1,1", "2:2,2,2 3:3,3,3"}},
      {"clear 3",
       3,
       &Unit1::TMForm::AClearAllFrames,
       {"1:1,2,3 3:0,0,0 5:7,8,9", "3:0,0,0", "2:2,2,2 3:0,0,0"}},
      {"clear 4 (nowhere)",
       4,
       &Unit1::TMForm::AClearAllFrames,
       {"1:1,2,3 3:4,5,6 5:7,8,9", "3:1,1,1", "2:2,2,2 3:3,3,3"}},
  };
  OpenDocument({Normal()});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FunList[0] = Normal();
    SelectElement(c.element - 1);
    ASSERT_EQ(SelElement, c.element);
    EXPECT_TRUE(Form().Execute(Form().*c.action));
    EXPECT_EQ(AllCells(Cur()), c.frames);
    EXPECT_EQ(SelElement, c.element);
  }
}

TEST_F(FramesTest, CopyToAnotherElementKeepsTargetWhereSourceIsMissing) {
  // Element 2 lit in frames 1 and 2, element 5 in frames 1 and 3.
  OpenDocument(
      {NormalFunlight(1, {Frame(1, {{2, 1, 2, 3}, {5, 9, 9, 9}}),
                          Frame(2, {{1, 4, 4, 4}, {2, 15, 0, 7}}), Frame(3, {{5, 8, 8, 8}})})});
  SelectElement(1);
  EXPECT_EQ(CopyTarget, 2);
  EXPECT_EQ(Form().ComboBox3->currentIndex(), 1);
  Form().ComboBox3->setCurrentIndex(4);
  emit Form().ComboBox3->activated(4);
  EXPECT_EQ(CopyTarget, 5);
  QTest::mouseClick(Form().Button13, Qt::LeftButton);
  EXPECT_EQ(AllCells(Cur()),
            (std::vector<std::string>{"2:1,2,3 5:1,2,3", "1:4,4,4 2:15,0,7 5:15,0,7", "5:8,8,8"}));
  // Copying an element onto itself changes nothing.
  const auto before = AllCells(Cur());
  SelectElement(4);
  EXPECT_TRUE(Form().Execute(Form().ACopyAllFrames));
  EXPECT_EQ(AllCells(Cur()), before);
}

TEST_F(FramesTest, ClublightRowsAreAddedAndRemovedWhole) {
  OpenDocument({Club()});
  SelectElement(1);  // element 2 has no row
  EXPECT_FALSE(Form().SpinEdit3->isEnabled());
  QTest::mouseClick(Form().Button9, Qt::LeftButton);
  EXPECT_EQ(Rows(Cur()),
            "1(1000-200): 1,0,0/10 2,0,0/20 3,0,0/30 4,0,0/40 | "
            "3(3000-400): 0,5,0/50 0,6,0/60 0,7,0/70 0,8,0/80 | "
            "2(0-0): 0,0,0/0 0,0,0/0 0,0,0/0 0,0,0/0");
  // The page is refilled: the new row's band can be set.
  EXPECT_TRUE(Form().SpinEdit3->isEnabled());
  const std::string three = Rows(Cur());
  QTest::mouseClick(Form().Button9, Qt::LeftButton);
  EXPECT_EQ(Rows(Cur()), three);

  SelectElement(0);
  QTest::mouseClick(Form().Button4, Qt::LeftButton);
  EXPECT_EQ(Rows(Cur()),
            "3(3000-400): 0,5,0/50 0,6,0/60 0,7,0/70 0,8,0/80 | "
            "2(0-0): 0,0,0/0 0,0,0/0 0,0,0/0 0,0,0/0");
  QTest::mouseClick(Form().Button4, Qt::LeftButton);  // element 1 has no row any more
  EXPECT_EQ(Cur().ClubFrames.size(), 2u);
  // Clear and copy are for normal funlights only.
  EXPECT_FALSE(Form().AClearAllFrames->isEnabled());
  EXPECT_FALSE(Form().ACopyAllFrames->isEnabled());
}

TEST_F(FramesTest, AddingToAClublightCellAddsTheWholeRow) {
  OpenDocument({Club()});
  SelectCell(2, 4);  // element 5, no row
  EXPECT_TRUE(EmptyFlag);
  ASSERT_TRUE(Form().AAddNewFrame->isEnabled());
  QTest::mouseClick(Form().Button1, Qt::LeftButton);
  ASSERT_EQ(Cur().ClubFrames.size(), 3u);
  EXPECT_EQ(Cur().ClubFrames[2].Element, 5);
  EXPECT_EQ(Cur().ClubFrames[2].Cells.size(), 4u);
  // The element stays selected, whatever row the names list had.
  EXPECT_EQ(SelElement, 5);
  EXPECT_EQ(Form().ElName->text(), Form().SlotGrid->Cell(0, 4));
  EXPECT_EQ(CopyTarget, 5);
  // Adding again (the page was not refreshed) adds no second row.
  EXPECT_TRUE(Form().Execute(Form().AAddNewFrame));
  EXPECT_EQ(Cur().ClubFrames.size(), 3u);
}

TEST_F(FramesTest, RhythmParameterAndBandAreWrittenToTheSelectedRow) {
  OpenDocument({Club()});
  SelectCell(2, 2);  // element 3, step 3
  EXPECT_TRUE(Form().SpinEdit2->isEnabled());
  EXPECT_EQ(Form().SpinEdit2->value(), 70);
  EXPECT_FALSE(Form().ADelFrame->isEnabled());
  Form().SpinEdit2->setValue(255);
  EXPECT_EQ(Cur().ClubFrames[1].Cells[2].Param, 255);
  EXPECT_EQ(Cur().ClubFrames[1].Cells[1].Param, 60);
  EXPECT_EQ(Cur().ClubFrames[0].Cells[2].Param, 30);

  SelectElement(2);
  EXPECT_TRUE(Form().SpinEdit3->isEnabled());
  EXPECT_EQ(Form().SpinEdit3->value(), 3000);
  EXPECT_EQ(Form().SpinEdit4->value(), 400);
  Form().SpinEdit3->setValue(65535);
  Form().SpinEdit4->setValue(100);
  EXPECT_EQ(Cur().ClubFrames[1].UpperFreq, 65535);
  EXPECT_EQ(Cur().ClubFrames[1].LowerFreq, 100);
  EXPECT_EQ(Cur().ClubFrames[0].UpperFreq, 1000);
  EXPECT_EQ(Cur().ClubFrames[0].LowerFreq, 200);

  // An element without a row: the band is disabled, shows 0 and writes nowhere.
  const std::string before = Rows(Cur());
  SelectElement(1);
  EXPECT_FALSE(Form().SpinEdit3->isEnabled());
  EXPECT_EQ(Form().SpinEdit3->value(), 0);
  Form().SpinEdit3->setValue(700);
  Form().SpinEdit4->setValue(800);
  EXPECT_EQ(Rows(Cur()), before);
}

TEST_F(FramesTest, ValuesOfARemovedRowAreWrittenNowhere) {
  OpenDocument({Club()});
  SelectCell(1, 0);  // element 1, the first row
  ASSERT_EQ(SelCell, 0);
  EXPECT_TRUE(Form().Execute(Form().ADelAllFrames));
  // Element 3's row has moved into place 0, where the selection still points.
  const std::string before = Rows(Cur());
  ASSERT_EQ(before, "3(3000-400): 0,5,0/50 0,6,0/60 0,7,0/70 0,8,0/80");
  Form().SpinEdit2->setValue(5);
  Form().SpinEdit3->setValue(1);
  Form().SpinEdit4->setValue(2);
  EXPECT_EQ(Rows(Cur()), before);
}

// Element 1 with four steps, element 3 read with two: its last two steps show black but are not in
// the file.
TFunlight UnevenClub() {
  return Clublight(4,
                   {ClubRow(1, 0, 0, {{1, 0, 0, 11}, {2, 0, 0, 22}, {3, 0, 0, 33}, {4, 0, 0, 44}}),
                    ClubRow(3, 0, 0, {{5, 0, 0, 55}, {6, 0, 0, 66}})});
}

TEST_F(FramesTest, AnEditToAnyStepIsSavedAndNothingElseIs) {
  const auto rightClick = [&](int col, int row) {
    QTest::mouseClick(Form().EditGrid, Qt::RightButton, {},
                      Form().EditGrid->CellRect(col, row).center());
  };
  struct {
    const char* name;
    int shownBefore;  // a funlight of four frames, or of two
    std::function<void()> edit;
    const char* saved;  // element 3's row as saved
  } const cases[] = {
      {"viewed after four frames", 0, [&] { SelectCell(3, 2); }, "2: 5,0,0/55 6,0,0/66"},
      {"viewed after two frames", 1, [&] { SelectCell(3, 2); }, "2: 5,0,0/55 6,0,0/66"},
      {"red on step 4", 0,
       [&] {
         SelectCell(3, 2);
         Form().TrackBar1->setValue(0);
       },
       "4: 5,0,0/55 6,0,0/66 0,0,0/0 15,0,0/0"},
      {"parameter on step 4", 0,
       [&] {
         SelectCell(3, 2);
         Form().SpinEdit2->setValue(123);
       },
       "4: 5,0,0/55 6,0,0/66 0,0,0/0 0,0,0/123"},
      {"right button on step 3", 1, [&] { rightClick(2, 2); },
       "4: 5,0,0/55 6,0,0/66 15,15,15/0 0,0,0/0"},
  };
  const std::vector<TFunlight> doc = {
      NormalFunlight(1, {Frame(1, {}), Frame(2, {}), Frame(3, {}), Frame(4, {})}),
      NormalFunlight(2, {Frame(1, {}), Frame(2, {})}), UnevenClub()};
  Start();
  Form().show();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OpenThroughMenu(doc);
    const std::vector<uint8_t> read = ReadBytes(TempPath("doc.pat"));
    Form().ListBox1->setCurrentRow(c.shownBefore);
    Form().ListBox1->setCurrentRow(2);
    c.edit();
    ASSERT_TRUE(Form().Execute(Form().ASave));
    if (QString(c.name).startsWith("viewed")) {
      EXPECT_EQ(ReadBytes(TempPath("doc.pat")), read);
    }
    ASSERT_TRUE(ReadPat(TempPath("doc.pat").toStdString()));
    const TClubFrame& row = FunList[2].ClubFrames[1];
    std::string saved = std::to_string(row.CellCount) + ':';
    for (size_t i = 0; i < row.CellCount; ++i) {
      const TClubCell& s = row.Cells[i];
      saved += ' ' + std::to_string(s.R) + ',' + std::to_string(s.G) + ',' + std::to_string(s.B) +
               '/' + std::to_string(s.Param);
    }
    EXPECT_EQ(saved, c.saved);
  }
}

TEST_F(FramesTest, AddAfterAddToAllKeepsOneCellPerElement) {
  OpenDocument({Normal()});
  SelectCell(1, 0);  // element 1 is not lit in frame 2
  ASSERT_TRUE(Form().AAddNewFrame->isEnabled());
  EXPECT_TRUE(Form().Execute(Form().AAddAllFrames));
  EXPECT_EQ(Cells(Cur().Frames[1]), "3:1,1,1 1:0,0,0");
  // The add button was not refreshed and is still enabled for the cell just filled.
  EXPECT_TRUE(Form().Execute(Form().AAddNewFrame));
  EXPECT_EQ(Cells(Cur().Frames[1]), "3:1,1,1 1:0,0,0");
}
