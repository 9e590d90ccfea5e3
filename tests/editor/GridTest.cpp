// The colour grid: painting, selecting cells and names, the pages it shows; profiles and names.
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
  void Click(TGrid* grid, int col, int row) {
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(col, row).center());
  }
  bool Shown(QWidget* page) { return TabShown(Form().PageControl2, page); }
};

// A cell of every kind in frame 0, single-colour blues in frames 1..3.
TFunlight Painted() {
  return NormalFunlight(
      1, {Frame(100, {{1, 15, 8, 0}, {2, 0, 0, 15}, {3, 15, 15, 14}, {4, 0, 15, 0}, {5, 3, 0, 9}}),
          Frame(100, {{2, 15, 15, 1}, {3, 0, 0, 1}}), Frame(100, {{2, 15, 15, 14}}),
          Frame(100, {{2, 0, 0, 0}, {7, 1, 2, 3}})});
}

TEST_F(GridTest, CellsArePaintedByElementKind) {
  TMForm& f = Open({Painted(), Clublight(3, {ClubRow(6, 0, 0, {{15, 0, 0, 0}, {0, 0, 15, 200}})})});
  const QColor red = ScreenColour(255), green = ScreenColour(0x00FF00), black(Qt::black);
  struct TCase {
    int Fun, Col, Row;
    bool Hide;
    QColor Colour;  // invalid: the silver and white checker of a cell without colour
  };
  for (const TCase& c : {TCase{0, 0, 0, true, ScreenColour(ColorOf(15, 8, 0))},
                         TCase{0, 0, 1, true, red}, TCase{0, 1, 1, true, red},      // blue 15, 1
                         TCase{0, 2, 1, true, black}, TCase{0, 3, 1, true, black},  // blue 14, 0
                         TCase{0, 0, 2, true, black}, TCase{0, 1, 2, true, green},
                         TCase{0, 1, 0, true, {}}, TCase{0, 0, 3, true, {}},  // none; hidden
                         TCase{0, 0, 4, false, ScreenColour(ColorOf(3, 0, 9))},
                         TCase{1, 1, 5, true, ScreenColour(ColorOf(0, 0, 15))}}) {
    SCOPED_TRACE(testing::Message() << c.Fun << ": " << c.Col << "," << c.Row << " " << c.Hide);
    f.ListBox1->setCurrentRow(c.Fun);
    f.CheckBox2->setChecked(c.Hide);
    const QImage image = f.EditGrid->grab().toImage();
    const QRect r = f.EditGrid->CellRect(c.Col, c.Row);
    for (const QPoint p : {r.topLeft(), r.center(), r.center() + QPoint(1, 0), r.bottomRight()}) {
      const bool odd = (p.x() + p.y()) % 2;
      EXPECT_EQ(image.pixelColor(p), c.Colour.isValid() ? c.Colour
                                     : odd              ? QColor(Qt::white)
                                                        : QColor(0xC0, 0xC0, 0xC0));
    }
  }
}

TEST_F(GridTest, ClickingACellSelectsItsElementAndFrame) {
  TMForm& f = Open({Painted(), Painted()});
  for (const auto& [col, row, cell, name] : {std::tuple{0, 0, 0, QString::fromUtf8("Дис")},
                                             {1, 0, 255, QString::fromUtf8("Дис")},
                                             {1, 1, 0, QString("Keypad")},
                                             {3, 6, 1, QString("Logo")}}) {
    SCOPED_TRACE(testing::Message() << col << "," << row);
    f.ElName->clear();
    f.PageControl2->setCurrentWidget(f.TabSheet3);
    Click(f.EditGrid, col, row);
    EXPECT_TRUE(SelCol == col && SelCell == cell && SelElement == row + 1 && CopyTarget == row + 1);
    EXPECT_TRUE(f.ComboBox3->currentIndex() == row && f.SlotGrid->Row() == row &&
                Shown(f.TabSheet1) && Shown(f.TabSheet2) && !Unit1::Updating &&
                f.PageControl2->currentWidget() == f.TabSheet2);
    EXPECT_EQ(f.ElName->text(), name) << "the name shows for a cell that exists";
  }
  Click(f.EditGrid, 0, 3);  // an absent element's cells are not selectable while hidden
  EXPECT_TRUE(!Shown(f.TabSheet2) && SelElement == 7);
  f.CheckBox2->setChecked(false);
  Click(f.EditGrid, 0, 3);
  EXPECT_TRUE(Shown(f.TabSheet2) && SelElement == 4 && SelCell == 3);
  f.ListBox1->setCurrentRow(1);  // another funlight hides both pages again
  EXPECT_TRUE(!Shown(f.TabSheet1) && !Shown(f.TabSheet2) &&
              f.PageControl2->currentWidget() == f.TabSheet3);
}

TEST_F(GridTest, ClickingANameOpensSlotOperationsWithItsBand) {
  TMForm& f = Open({Clublight(3, {ClubRow(1, 900, 100, {{}})}), Painted()});
  // An absent element's name can be chosen too; a normal funlight has no band.
  for (const auto& [fun, row, upper] : {std::tuple{0, 0, 900}, {0, 3, 0}, {0, 0, 900}, {1, 0, 0}}) {
    SCOPED_TRACE(row);
    f.ListBox1->setCurrentRow(fun);
    Click(f.SlotGrid, 0, row);
    EXPECT_TRUE(Shown(f.TabSheet1) && !Shown(f.TabSheet2) &&
                f.PageControl2->currentWidget() == f.TabSheet1 && SelElement == row + 1 &&
                f.ElName->text() == f.SlotGrid->Cell(0, row) && f.ComboBox3->currentIndex() == row);
    EXPECT_TRUE(f.SpinEdit3->isEnabled() == (upper > 0) && f.SpinEdit4->isEnabled() == (upper > 0));
    EXPECT_TRUE(f.SpinEdit3->value() == upper && f.SpinEdit4->value() == (upper ? 100 : 0));
  }
  EXPECT_EQ(FunList[0].ClubFrames[0].UpperFreq, 900) << "showing the band must not write it back";
}

TEST_F(GridTest, ProfilesGiveColoursRowsAndNames) {
  TMForm& f = Open({});
  EXPECT_EQ(f.EditGrid->grab().toImage().pixelColor(f.EditGrid->CellRect(3, 6).center()),
            f.EditGrid->palette().color(QPalette::Base));
  Click(f.EditGrid, 1, 1);
  EXPECT_FALSE(Shown(f.TabSheet2)) << "no document, nothing to select";
  for (const auto& [lines, rows] : {std::pair{"Color07=0\n", 7}, {"Color07=-3\n", 6}}) {
    WriteAppFile("Profiles/Rows.prof", std::string("[Colors]\nColor03=$ff\n") + lines);
    Profile.ProfileName = "Rows";
    f.Execute(f.ALoadProfile);
    EXPECT_TRUE(f.EditGrid->RowCount() == rows && f.SlotGrid->RowCount() == rows &&
                Profile.ElementCount == rows && Profile.ElementColour[3] == 255);
  }
  // Profiles are listed by base name; element names fall back to their numbers, and the copy
  // target list keeps seven names with six rows.
  WriteAppFile("Profiles/A.B.prof", "");
  WriteAppFile("Profiles/notes.txt", "");
  f.Execute(f.ASearchProfiles);
  EXPECT_EQ(Items(f.ComboBox2), (QStringList{"A", "Grid", "Rows"}));
  Profile.ProfileName = "Grid";
  f.Execute(f.AUpdateSlots);
  EXPECT_EQ(Items(f.ComboBox3), (QStringList{QString::fromUtf8("Дис"), "Keypad", "(03) ...",
                                             "(04) ...", "(05) ...", "(06) ...", "Logo"}));
}

}  // namespace
