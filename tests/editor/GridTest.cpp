// The colour grid: painting, selecting cells and names, the pages it shows; profiles and names.
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

#include "EditorSupport.h"
#include "Profile.h"

using namespace UFunStruct;
using Unit1::TMForm;

namespace {

// Elements: 1 full colour, 2 single red, 3 single green, 4 absent, 5 below -2 (absent too),
// 6 and 7 full colour.
class GridTest : public EditorTest {
 protected:
  TMForm& Open(const std::vector<TFunlight>& doc) {
    UseOwnData("Grid",
               "[Colors]\nColor01=-1\nColor02=255\nColor03=$00FF00\nColor04=-2\nColor05=-7\n"
               "Color06=-1\nColor07=-1\n",
               "[Elements]\nElement01=\xC4\xE8\xF1\nElement02=Keypad\nElement07=Logo\n");
    Start();
    Form().show();
    LoadProfile("Grid", "Grid");
    if (!doc.empty()) OpenThroughMenu(doc);
    return Form();
  }
  QPoint At(TGrid* grid, int col, int row) { return grid->CellRect(col, row).center(); }
  void Click(TGrid* grid, int col, int row) {
    QTest::mouseClick(grid, Qt::LeftButton, {}, At(grid, col, row));
  }
};

// A cell of every kind in frame 0, single-colour blues in frames 1..3.
TFunlight Painted() {
  return NormalFunlight(
      1, {Frame(100, {{1, 15, 8, 0}, {2, 0, 0, 15}, {3, 15, 15, 14}, {4, 0, 15, 0}, {5, 3, 0, 9}}),
          Frame(100, {{2, 15, 15, 1}, {3, 0, 0, 1}}), Frame(100, {{2, 15, 15, 14}}),
          Frame(100, {{2, 0, 0, 0}, {7, 1, 2, 3}})});
}

// The silver and white checker of a cell without colour, anchored at the grid's origin.
bool Unused(const QImage& image, const QRect& r) {
  for (const QPoint p : {r.center(), r.center() + QPoint(1, 0)})
    if (image.pixelColor(p) != ((p.x() + p.y()) % 2 ? QColor(Qt::white) : QColor(0xC0, 0xC0, 0xC0)))
      return false;
  return true;
}

TEST_F(GridTest, CellsArePaintedByElementKind) {
  TMForm& f = Open({Painted(), Clublight(3, {ClubRow(6, 0, 0, {{15, 0, 0, 0}, {0, 0, 15, 200}})})});
  const QColor red = ScreenColour(255), green = ScreenColour(0x00FF00), black(Qt::black);
  struct TCase {
    int Fun, Col, Row;
    bool Hide;
    QColor Colour;  // invalid: the unused pattern
  };
  for (const TCase& c :
       {TCase{0, 0, 0, true, ScreenColour(ColorOf(15, 8, 0))},
        TCase{0, 3, 6, true, ScreenColour(ColorOf(1, 2, 3))}, TCase{0, 0, 1, true, red},
        TCase{0, 1, 1, true, red},                                 // blue 15, 1
        TCase{0, 2, 1, true, black}, TCase{0, 3, 1, true, black},  // blue 14, 0
        TCase{0, 0, 2, true, black}, TCase{0, 1, 2, true, green}, TCase{0, 1, 0, true, {}},
        TCase{0, 0, 5, true, {}},                            // no cell
        TCase{0, 0, 3, true, {}}, TCase{0, 0, 4, true, {}},  // absent, hidden
        TCase{0, 0, 3, false, ScreenColour(ColorOf(0, 15, 0))},
        TCase{0, 0, 4, false, ScreenColour(ColorOf(3, 0, 9))},
        TCase{1, 1, 5, true, ScreenColour(ColorOf(0, 0, 15))}, TCase{1, 1, 6, true, {}}}) {
    SCOPED_TRACE(testing::Message() << c.Fun << ": " << c.Col << "," << c.Row << " " << c.Hide);
    f.ListBox1->setCurrentRow(c.Fun);
    f.CheckBox2->setChecked(c.Hide);
    const QImage image = f.EditGrid->grab().toImage();
    const QRect r = f.EditGrid->CellRect(c.Col, c.Row);
    if (c.Colour.isValid()) {
      for (const QPoint& p : {r.topLeft(), r.center(), r.bottomRight()})
        EXPECT_EQ(image.pixelColor(p), c.Colour);
    } else {
      EXPECT_TRUE(Unused(image, r));
    }
  }
  // Repainting one cell at once shows its new colour.
  f.ListBox1->setCurrentRow(0);
  FunList[0].Frames[0].Cells[0] = {1, 0, 0, 15};
  f.EditGridDrawCell(0, 0, f.EditGrid->CellRect(0, 0), 0);
  EXPECT_EQ(f.EditGrid->grab().toImage().pixelColor(At(f.EditGrid, 0, 0)),
            ScreenColour(ColorOf(0, 0, 15)));
}

TEST_F(GridTest, WithoutADocumentTheGridShowsItsBackgroundAndSelectsNothing) {
  TMForm& f = Open({});
  EXPECT_EQ(f.EditGrid->grab().toImage().pixelColor(At(f.EditGrid, 3, 6)),
            f.EditGrid->palette().color(QPalette::Base));
  Click(f.EditGrid, 1, 1);
  EXPECT_FALSE(TabShown(f.PageControl2, f.TabSheet2));
}

TEST_F(GridTest, ClickingACellOrUsingTheArrowKeysSelectsItsElementAndFrame) {
  TMForm& f = Open({Painted(), Painted()});
  struct TCase {
    int Col, Row, SelCell;
    Qt::Key Key;  // reaches the cell from the one before
    QString Name;
  };
  for (const TCase& c :
       {TCase{0, 0, 0, Qt::Key_unknown, QString::fromUtf8("Дис")},
        TCase{1, 0, 255, Qt::Key_Right, QString::fromUtf8("Дис")},
        TCase{1, 1, 0, Qt::Key_Down, "Keypad"}, TCase{1, 2, 1, Qt::Key_Down, "(03) ..."},
        TCase{0, 2, 2, Qt::Key_Left, "(03) ..."}, TCase{3, 6, 1, Qt::Key_unknown, "Logo"}}) {
    SCOPED_TRACE(testing::Message() << c.Col << "," << c.Row);
    for (bool byKey : {false, true}) {
      if (c.Key == Qt::Key_unknown && byKey) continue;
      f.ElName->clear();
      f.PageControl2->setCurrentWidget(f.TabSheet3);
      if (byKey) {
        QTest::keyClick(f.EditGrid, c.Key);
      } else {
        Click(f.EditGrid, c.Col, c.Row);
      }
      EXPECT_TRUE(SelCol == c.Col && SelCell == c.SelCell && SelElement == c.Row + 1 &&
                  CopyTarget == c.Row + 1);
      EXPECT_TRUE(f.ComboBox3->currentIndex() == c.Row && f.SlotGrid->Row() == c.Row);
      EXPECT_TRUE(TabShown(f.PageControl2, f.TabSheet1) && TabShown(f.PageControl2, f.TabSheet2));
      EXPECT_EQ(f.PageControl2->currentWidget(), f.TabSheet2);
      EXPECT_EQ(f.ElName->text(), c.Name) << "the name shows for a cell that exists";
      EXPECT_FALSE(Unit1::Updating);
      if (!byKey && c.Key != Qt::Key_unknown) {
        Click(f.EditGrid, c.Col - (c.Key == Qt::Key_Right) + (c.Key == Qt::Key_Left),
              c.Row - (c.Key == Qt::Key_Down));
      }
    }
  }
  // An absent element's cells are not selectable while hidden.
  Click(f.EditGrid, 0, 3);
  EXPECT_FALSE(TabShown(f.PageControl2, f.TabSheet2));
  EXPECT_EQ(SelElement, 7);
  f.CheckBox2->setChecked(false);
  Click(f.EditGrid, 0, 3);
  EXPECT_TRUE(TabShown(f.PageControl2, f.TabSheet2) && SelElement == 4 && SelCell == 3);
  // Choosing another funlight hides both pages again.
  f.ListBox1->setCurrentRow(1);
  EXPECT_FALSE(TabShown(f.PageControl2, f.TabSheet1) || TabShown(f.PageControl2, f.TabSheet2));
  EXPECT_EQ(f.PageControl2->currentWidget(), f.TabSheet3);
}

TEST_F(GridTest, ClickingANameOpensSlotOperationsWithItsBand) {
  TMForm& f = Open({Clublight(3, {ClubRow(1, 900, 100, {{}})}), Painted()});
  struct TCase {
    int Fun, Row, Upper, Lower;
  };
  // An absent element's name can be chosen too; a normal funlight has no band.
  for (const TCase& c :
       {TCase{0, 0, 900, 100}, TCase{0, 3, 0, 0}, TCase{0, 0, 900, 100}, TCase{1, 0, 0, 0}}) {
    SCOPED_TRACE(c.Row);
    f.ListBox1->setCurrentRow(c.Fun);
    Click(f.SlotGrid, 0, c.Row);
    EXPECT_TRUE(TabShown(f.PageControl2, f.TabSheet1) && !TabShown(f.PageControl2, f.TabSheet2));
    EXPECT_EQ(f.PageControl2->currentWidget(), f.TabSheet1);
    EXPECT_EQ(f.ElName->text(), f.SlotGrid->Cell(0, c.Row));
    EXPECT_TRUE(SelElement == c.Row + 1 && f.ComboBox3->currentIndex() == c.Row);
    EXPECT_TRUE(f.SpinEdit3->isEnabled() == (c.Upper > 0) &&
                f.SpinEdit4->isEnabled() == (c.Upper > 0));
    EXPECT_TRUE(f.SpinEdit3->value() == c.Upper && f.SpinEdit4->value() == c.Lower);
  }
  EXPECT_EQ(FunList[0].ClubFrames[0].UpperFreq, 900) << "showing the band must not write it back";
}

TEST_F(GridTest, FrameRowAndNamesStayAlignedWithTheGrid) {
  TMForm& f = Open({NormalFunlight(1, std::vector<TFrame>(40, Frame(50, {}))), Painted()});
  QScrollBar* bar = f.EditGrid->findChild<QScrollBar*>();
  const auto x = [&](TGrid* g, int col) {
    return g->mapTo(f.Tab2, g->CellRect(col, 1).topLeft()).x();
  };
  const auto y = [&](TGrid* g, int row) {
    return g->mapTo(f.Tab2, g->CellRect(g->LeftCol(), row).topLeft()).y();
  };
  for (int left : {3, 10}) {
    left == 3 ? f.EditGrid->SetLeftCol(3) : bar->setValue(10);
    EXPECT_EQ(f.FrameGrid->LeftCol(), left);
    EXPECT_EQ(x(f.FrameGrid, left + 2), x(f.EditGrid, left + 2));
    EXPECT_EQ(f.FrameGrid->Cell(left, 0), QString::number(left + 1));
    EXPECT_EQ(y(f.SlotGrid, 6), y(f.EditGrid, 6));
  }
  f.ListBox1->setCurrentRow(1);  // a shorter funlight brings both back to the first column
  EXPECT_TRUE(f.EditGrid->LeftCol() == 0 && f.FrameGrid->LeftCol() == 0);
}

TEST_F(GridTest, ProfilesGiveColoursRowsAndNames) {
  TMForm& f = Open({});
  struct TCase {
    const char* Lines;
    int Rows, Colour3;
  };
  for (const TCase& c :
       {TCase{"", 6, -2}, TCase{"Color07=-2\n", 6, -2}, TCase{"Color07=0\nColor03=$ff\n", 7, 255},
        TCase{"color07=-1\nColor03=0xFF\n", 7, 255}, TCase{"Color07=-3\nColor03=-1\n", 6, -1},
        TCase{"Color07=x\nColor03=-9\n", 6, -2}}) {
    SCOPED_TRACE(c.Lines);
    WriteAppFile("Profiles/Rows.prof", std::string("[Colors]\n") + c.Lines);
    Profile.ProfileName = "Rows";
    f.Execute(f.ALoadProfile);
    EXPECT_TRUE(f.EditGrid->RowCount() == c.Rows && f.SlotGrid->RowCount() == c.Rows &&
                Profile.ElementCount == c.Rows);
    EXPECT_EQ(Profile.ElementColour[3], c.Colour3);
    EXPECT_EQ(Profile.ElementColour[1], AbsentElement);
  }
  // Profiles are listed by base name; element names fall back to their numbers, and the copy
  // target list keeps seven names with six rows.
  WriteAppFile("Profiles/A.B.prof", "");
  WriteAppFile("Profiles/notes.txt", "");
  f.Execute(f.ASearchProfiles);
  EXPECT_EQ(Items(f.ComboBox2), (QStringList{"A", "Grid", "Rows"}));
  Profile.ProfileName = "Grid";
  f.Execute(f.AUpdateSlots);
  ASSERT_EQ(f.ComboBox3->count(), 7);
  EXPECT_EQ(f.ComboBox3->itemText(0), QString::fromUtf8("Дис"));
  EXPECT_EQ(f.ComboBox3->itemText(6), "Logo");
  EXPECT_EQ(f.SlotGrid->Cell(0, 4), "(05) ...");
}

}  // namespace
