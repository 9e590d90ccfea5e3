// Frame operations: the duration row and its editor, the cell and element buttons, the rhythm.
#include <QTest>

#include "EditorSupport.h"
#include "Profile.h"

using namespace UFunStruct;
using Unit1::TMForm;

namespace {

class FramesTest : public EditorTest {
 protected:
  TMForm& F() { return Form(); }
  void SelectElement(int row) { ASSERT_TRUE(F().SlotGrid->SetCurrent(0, row)); }
  // Every frame's cells, frames parted by "|".
  std::string Doc() {
    std::string s;
    for (const std::string& frame : AllCells(Cur())) s += frame + "|";
    return s;
  }
};

// Three frames; element 3 lit in all of them, 2 in the last, 1 in the first.
TFunlight Normal(bool repeating = true) {
  return NormalFunlight(1,
                        {Frame(100, {{1, 1, 2, 3}, {3, 4, 5, 6}}), Frame(200, {{3, 1, 1, 1}}),
                         Frame(300, {{2, 2, 2, 2}, {3, 3, 3, 3}})},
                        repeating);
}

}  // namespace

TEST_F(FramesTest, TheDurationEditorStoresClampsAndCloses) {
  OpenDocument({Normal()});
  TGrid* grid = F().FrameGrid;
  ASSERT_TRUE(grid->SetCurrent(1, 1));
  QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(1, 1).center());  // edits it
  QLineEdit* editor = grid->InplaceEditor();
  ASSERT_TRUE(editor && editor->isVisible());
  EXPECT_EQ(editor->selectedText(), "200");
  QTest::keyClicks(editor, "70000");
  // Five digits fit: the line edit keeps 2 pixels on each side and one for the caret.
  EXPECT_TRUE(grid->Cell(1, 1) == "65535" && Cur().Frames[1].Duration == 65535 &&
              QFontMetrics(editor->font()).horizontalAdvance(editor->text()) <=
                  editor->width() - 5);
  QTest::keyClick(editor, Qt::Key_Q);  // a letter empties the cell and stores 0
  EXPECT_TRUE(editor->text().isEmpty() && Cur().Frames[1].Duration == 0);
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_FALSE(editor->isVisible());
}

// The duration editor and the "Selected frame" page close when what they show goes away.
TEST_F(FramesTest, EditorsCloseWithTheirColumnOrFunlight) {
  OpenDocument({Normal(), Normal()});
  TGrid* grid = F().FrameGrid;
  for (bool count : {true, false}) {
    FunList = {Normal(), Normal()};
    F().ListBox1->setCurrentRow(0);
    F().Execute(F().AUpdateFunlight);
    SelectCell(2, 2);
    ASSERT_TRUE(grid->SetCurrent(2, 1));
    QTest::keyClick(grid, Qt::Key_9);  // opens the editor, which takes the next keys
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_5);
    count ? F().SpinEdit5->setValue(2) : F().ListBox1->setCurrentRow(1);
    EXPECT_FALSE(grid->InplaceEditor()->isVisible() || TabShown(F().PageControl2, F().TabSheet2));
    EXPECT_EQ(FunList[1].Frames[2].Duration, 300);
  }
  EXPECT_EQ(FunList[0].Frames[2].Duration, 95) << "what was typed stays";
}

TEST_F(FramesTest, LastFrameOfAFunlightThatStopsIsLockedWithAWarning) {
  OpenDocument({Normal(false)});
  Profile.LastFrameWarning = "No duration.";
  TGrid* grid = F().FrameGrid;
  for (int col : {2, 1}) {
    ASSERT_TRUE(grid->SetCurrent(col, 1));  // the cell still becomes current
    EXPECT_EQ(grid->Editing(), col == 1);
  }
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_TRUE(dialogs_.Messages[0].Text == "No duration." &&
              dialogs_.Messages[0].Icon == TMsgIcon::Warning);
  F().CheckBox1->setChecked(true);
  ASSERT_TRUE(grid->SetCurrent(2, 1));
  EXPECT_TRUE(grid->Editing() && dialogs_.Messages.size() == 1u);
}

TEST_F(FramesTest, CellAndElementButtonsActOnTheSelection) {
  struct TCase {
    int Col, Row;  // the cell clicked (Col < 0: the element name)
    QPushButton* TMForm::*Button;
    const char* After;
  };
  OpenDocument({Normal()});
  for (const TCase& c :
       {TCase{0, 1, &TMForm::Button1, "1:1,2,3 3:4,5,6 2:0,0,0|3:1,1,1|2:2,2,2 3:3,3,3|"},
        TCase{0, 2, &TMForm::Button3, "1:1,2,3|3:1,1,1|2:2,2,2 3:3,3,3|"},
        TCase{-1, 1, &TMForm::Button9, "1:1,2,3 3:4,5,6 2:0,0,0|3:1,1,1 2:0,0,0|2:2,2,2 3:3,3,3|"},
        TCase{-1, 2, &TMForm::Button4, "1:1,2,3||2:2,2,2|"},
        TCase{-1, 0, &TMForm::Button13, "1:1,2,3 3:4,5,6 5:1,2,3|3:1,1,1|2:2,2,2 3:3,3,3|"},
        TCase{-1, 2, &TMForm::Button7, "1:1,2,3 3:0,0,0|3:0,0,0|2:2,2,2 3:0,0,0|"}}) {
    SCOPED_TRACE(c.After);
    FunList[0] = Normal();
    SelectCell(1, 0);
    c.Col >= 0 ? SelectCell(c.Col, c.Row) : SelectElement(c.Row);
    Choose(F().ComboBox3, F().ComboBox3->itemText(4));  // copies go to element 5
    QTest::mouseClick(F().*c.Button, Qt::LeftButton);
    EXPECT_EQ(Doc(), c.After);
    const bool made = c.Button == &TMForm::Button1;  // the page shows the new cell
    EXPECT_TRUE(F().AAddNewFrame->isEnabled() != made && F().ADelFrame->isEnabled() == made &&
                F().GroupBox6->isVisibleTo(F().TabSheet2) == made);
  }
}

TEST_F(FramesTest, ClublightRhythmAndBandWriteTheirRow) {
  OpenDocument({Clublight(3, {ClubRow(1, 1000, 200, {{1, 0, 0, 10}, {2, 0, 0, 20}}),
                              ClubRow(3, 3000, 400, {{0, 5, 0, 50}, {0, 6, 0, 60}})})});
  SelectCell(1, 2);  // element 3, step 2
  EXPECT_TRUE(F().SpinEdit2->isEnabled() && F().SpinEdit2->value() == 60 &&
              !F().ADelFrame->isEnabled());
  F().SpinEdit2->setValue(255);
  SelectElement(2);
  F().SpinEdit3->setValue(65535);
  F().SpinEdit4->setValue(100);
  SelectElement(1);  // no row: the band is off and shows 0
  EXPECT_TRUE(!F().SpinEdit3->isEnabled() && F().SpinEdit3->value() == 0);
  const auto& rows = Cur().ClubFrames;
  EXPECT_TRUE(rows[1].Cells[1].Param == 255 && rows[1].UpperFreq == 65535 &&
              rows[1].LowerFreq == 100 && rows[0].UpperFreq == 1000 &&
              rows[0].Cells[1].Param == 20);
  QTest::mouseClick(F().Button9, Qt::LeftButton);  // element 2 gets a row; the page shows its band
  EXPECT_TRUE(rows.size() == 3u && F().SpinEdit3->isEnabled());
  F().ADelFrameExecute();  // removing a single cell is for normal funlights only
  EXPECT_TRUE(rows.size() == 3u && F().PageControl2->currentWidget() == F().TabSheet1);
}
