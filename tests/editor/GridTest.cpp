// The colour grid and its selection, the profiles and the element names.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <functional>

#include "EditorSupport.h"
#include "Profile.h"

using namespace UFunStruct;

namespace {

const QColor Silver(0xC0, 0xC0, 0xC0);
const QColor White(0xFF, 0xFF, 0xFF);

// Elements: 1 full colour, 2 single red, 3 single green, 4 absent, 5 below -2 (absent too),
// 6 and 7 full colour.
const char* const GridProfile =
    "[Colors]\nColor01=-1\nColor02=255\nColor03=$00FF00\nColor04=-2\nColor05=-7\nColor06=-1\n"
    "Color07=-1\n";

class GridTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    UseOwnData("Grid", GridProfile,
               "[Elements]\nElement01=\xC4\xE8\xF1\xEF\xEB\xE5\xE9\nElement02=Keypad\n"
               "Element03=Side\nElement04=Unused\nElement07=Logo\n");
  }

  void StartWithProfile(const std::string& profile = "Grid") {
    Start();
    Form().show();
    LoadProfile(profile, "Grid");
    Form().CheckBox2->setChecked(true);
  }

  void Open(const std::vector<TFunlight>& doc) {
    if (!forms_) StartWithProfile();
    OpenThroughMenu(doc);
    Form().PageControl1->setCurrentWidget(Form().Tab2);
    dialogs_.Messages.clear();
  }

  Unit1::TMForm& F() { return Form(); }
  QPoint CellCentre(TGrid* grid, int col, int row) { return grid->CellRect(col, row).center(); }
  void Click(TGrid* grid, int col, int row) {
    QTest::mouseClick(grid, Qt::LeftButton, {}, CellCentre(grid, col, row));
  }
};

// A normal funlight with a cell of every kind in frame 0 and single-colour blues in frames 1..3.
TFunlight Painted() {
  return NormalFunlight(
      1, {Frame(100, {{1, 15, 8, 0}, {2, 0, 0, 15}, {3, 15, 15, 14}, {4, 0, 15, 0}, {5, 3, 0, 9}}),
          Frame(100, {{2, 15, 15, 1}, {3, 0, 0, 1}}), Frame(100, {{2, 15, 15, 14}}),
          Frame(100, {{2, 0, 0, 0}, {7, 1, 2, 3}})});
}

enum class TLook { Colour, Pattern };

struct TPixelCase {
  int Col, Row;
  TLook Look;
  QColor Colour;
};

void ExpectLook(const QImage& image, TGrid* grid, const TPixelCase& c) {
  const QRect r = grid->CellRect(c.Col, c.Row);
  ASSERT_FALSE(r.isEmpty());
  SCOPED_TRACE(testing::Message() << "cell " << c.Col << "," << c.Row);
  if (c.Look == TLook::Colour) {
    for (const QPoint& p : {r.topLeft(), r.center(), r.bottomRight()})
      EXPECT_EQ(image.pixelColor(p), c.Colour) << p.x() << "," << p.y();
    return;
  }
  // The 2 x 2 checker: silver where x + y is even, white where it is odd.
  for (int dy = 0; dy < 2; ++dy)
    for (int dx = 0; dx < 2; ++dx) {
      const QPoint p = r.center() + QPoint(dx, dy);
      EXPECT_EQ(image.pixelColor(p), (p.x() + p.y()) % 2 == 0 ? Silver : White)
          << p.x() << "," << p.y();
    }
}

TEST_F(GridTest, CellsArePaintedByElementKind) {
  Open({Painted()});
  const QColor red = ScreenColour(255), green = ScreenColour(0x00FF00), black(0, 0, 0);
  const std::vector<TPixelCase> cases = {
      {0, 0, TLook::Colour, ScreenColour(ColorOf(15, 8, 0))},  // full colour
      {3, 6, TLook::Colour, ScreenColour(ColorOf(1, 2, 3))},
      {0, 1, TLook::Colour, red},    // single colour, B = 15
      {1, 1, TLook::Colour, red},    // B = 1, whatever R and G
      {2, 1, TLook::Colour, black},  // B = 14
      {3, 1, TLook::Colour, black},  // B = 0
      {0, 2, TLook::Colour, black},  // B = 14 with R = G = 15
      {1, 2, TLook::Colour, green},  // B = 1
      {1, 0, TLook::Pattern, {}},    // no cell in this frame
      {0, 5, TLook::Pattern, {}},    // no cell of this element at all
      {0, 3, TLook::Pattern, {}},    // absent element with a cell, hidden
      {0, 4, TLook::Pattern, {}},    // a value below -2 is absent too
  };
  const QImage image = F().EditGrid->grab().toImage();
  for (const TPixelCase& c : cases) ExpectLook(image, F().EditGrid, c);
}

TEST_F(GridTest, HideUnusedSlotsDecidesHowAbsentElementsPaint) {
  Open({Painted()});
  struct TCase {
    bool Hide;
    TPixelCase Absent, AbsentBelow, Empty;
  };
  for (const TCase& c : {TCase{true,
                               {0, 3, TLook::Pattern, {}},
                               {0, 4, TLook::Pattern, {}},
                               {1, 3, TLook::Pattern, {}}},
                         TCase{false,
                               {0, 3, TLook::Colour, ScreenColour(ColorOf(0, 15, 0))},
                               {0, 4, TLook::Colour, ScreenColour(ColorOf(3, 0, 9))},
                               {1, 3, TLook::Pattern, {}}}}) {
    SCOPED_TRACE(c.Hide);
    F().CheckBox2->setChecked(c.Hide);
    const QImage image = F().EditGrid->grab().toImage();
    for (const TPixelCase& p : {c.Absent, c.AbsentBelow, c.Empty})
      ExpectLook(image, F().EditGrid, p);
  }
}

TEST_F(GridTest, AClublightPaintsTheStepsOfItsRows) {
  Open({Clublight(3, {ClubRow(6, 0, 0, {{15, 0, 0, 0}, {0, 0, 15, 200}})})});
  const QImage image = F().EditGrid->grab().toImage();
  for (const TPixelCase& c :
       {TPixelCase{0, 5, TLook::Colour, ScreenColour(ColorOf(15, 0, 0))},
        TPixelCase{1, 5, TLook::Colour, ScreenColour(ColorOf(0, 0, 15))},
        TPixelCase{0, 0, TLook::Pattern, {}}, TPixelCase{1, 6, TLook::Pattern, {}}})
    ExpectLook(image, F().EditGrid, c);
}

TEST_F(GridTest, WithoutADocumentTheGridShowsItsBackground) {
  StartWithProfile();
  const QImage image = F().EditGrid->grab().toImage();
  const QColor base = F().EditGrid->palette().color(QPalette::Base);
  for (const QPoint& p : {CellCentre(F().EditGrid, 0, 0), CellCentre(F().EditGrid, 3, 6)})
    EXPECT_EQ(image.pixelColor(p), base);
}

TEST_F(GridTest, RepaintingOneCellDirectlyShowsTheNewColour) {
  Open({Painted()});
  FunList[0].Frames[0].Cells[0] = {1, 0, 0, 15};
  const QRect r = F().EditGrid->CellRect(0, 0);
  F().EditGridDrawCell(0, 0, r, 0);
  EXPECT_EQ(F().EditGrid->grab().toImage().pixelColor(r.center()), ScreenColour(ColorOf(0, 0, 15)));
}

// What a cell selection leaves behind, to compare a click with the keyboard.
struct TSelection {
  int SelCol, SelCell, SelElement, CopyTarget, Target;
  QString Name;
  QWidget* Page;
  bool operator==(const TSelection&) const = default;
};

TSelection Snapshot(Unit1::TMForm& f) {
  return {UFunStruct::SelCol,
          UFunStruct::SelCell,
          UFunStruct::SelElement,
          UFunStruct::CopyTarget,
          f.ComboBox3->currentIndex(),
          f.ElName->text(),
          f.PageControl2->currentWidget()};
}

TEST_F(GridTest, ClickingACellSelectsItsElementAndFrame) {
  Open({Painted()});
  struct TCase {
    int Col, Row;
    int SelCell;
    QString Name;
  };
  for (const TCase& c : {TCase{0, 0, 0, QString::fromUtf8("Дисплей")}, TCase{1, 1, 0, "Keypad"},
                         TCase{1, 2, 1, "Side"}, TCase{3, 6, 1, "Logo"}, TCase{2, 0, 255, ""}}) {
    SCOPED_TRACE(testing::Message() << c.Col << "," << c.Row);
    F().ElName->clear();
    Click(F().EditGrid, c.Col, c.Row);
    EXPECT_EQ(SelCol, c.Col);
    EXPECT_EQ(SelCell, c.SelCell);
    EXPECT_EQ(SelElement, c.Row + 1);
    EXPECT_EQ(CopyTarget, c.Row + 1);
    EXPECT_EQ(F().ComboBox3->currentIndex(), c.Row);
    EXPECT_EQ(F().EditGrid->Col(), c.Col);
    EXPECT_EQ(F().EditGrid->Row(), c.Row);
    EXPECT_EQ(F().SlotGrid->Row(), c.Row) << "the names column marks the cell's element";
    EXPECT_TRUE(TabShown(F().PageControl2, F().TabSheet1));
    EXPECT_TRUE(TabShown(F().PageControl2, F().TabSheet2));
    EXPECT_EQ(F().PageControl2->currentWidget(), F().TabSheet2);
    // The element's name shows for a cell that exists.
    if (c.SelCell != 255) {
      EXPECT_EQ(F().ElName->text(), c.Name);
    }
    EXPECT_FALSE(Unit1::Updating);
  }
}

TEST_F(GridTest, ArrowKeysSelectLikeClicks) {
  Open({Painted()});
  struct TCase {
    Qt::Key Key;
    int Col, Row;
  };
  Click(F().EditGrid, 0, 0);
  for (const TCase& c :
       {TCase{Qt::Key_Right, 1, 0}, TCase{Qt::Key_Down, 1, 1}, TCase{Qt::Key_Down, 1, 2},
        TCase{Qt::Key_Left, 0, 2}, TCase{Qt::Key_Up, 0, 1}}) {
    SCOPED_TRACE(testing::Message() << c.Col << "," << c.Row);
    QTest::keyClick(F().EditGrid, c.Key);
    const TSelection byKey = Snapshot(F());
    ASSERT_EQ(F().EditGrid->Col(), c.Col);
    ASSERT_EQ(F().EditGrid->Row(), c.Row);
    // Select elsewhere, then click the same cell.
    Click(F().EditGrid, 3, 6);
    Click(F().EditGrid, c.Col, c.Row);
    EXPECT_TRUE(byKey == Snapshot(F()));
  }
}

TEST_F(GridTest, AbsentElementsAreNotSelectableWhileHidden) {
  Open({Painted()});
  Click(F().EditGrid, 0, 0);
  SelElement = 1;
  Click(F().EditGrid, 0, 3);
  EXPECT_FALSE(TabShown(F().PageControl2, F().TabSheet2));
  EXPECT_EQ(SelElement, 1) << "a refused cell selects no element";

  F().CheckBox2->setChecked(false);
  Click(F().EditGrid, 0, 3);
  EXPECT_TRUE(TabShown(F().PageControl2, F().TabSheet2));
  EXPECT_EQ(SelElement, 4);
  EXPECT_EQ(SelCell, 3);
}

TEST_F(GridTest, ClickingANameOpensSlotOperations) {
  Open({Clublight(3, {ClubRow(1, 900, 100, {{}})}), Painted()});
  struct TCase {
    int Row;
    bool Enabled;
    int Upper, Lower;
  };
  // An absent element's name can be chosen too.
  for (const TCase& c : {TCase{0, true, 900, 100}, TCase{1, false, 0, 0}, TCase{3, false, 0, 0},
                         TCase{0, true, 900, 100}}) {
    SCOPED_TRACE(c.Row);
    Click(F().SlotGrid, 0, c.Row);
    EXPECT_TRUE(TabShown(F().PageControl2, F().TabSheet1));
    EXPECT_FALSE(TabShown(F().PageControl2, F().TabSheet2));
    EXPECT_EQ(F().PageControl2->currentWidget(), F().TabSheet1);
    EXPECT_EQ(F().ElName->text(), F().SlotGrid->Cell(0, c.Row));
    EXPECT_EQ(SelElement, c.Row + 1);
    EXPECT_EQ(F().ComboBox3->currentIndex(), c.Row);
    EXPECT_EQ(F().SpinEdit3->isEnabled(), c.Enabled);
    EXPECT_EQ(F().SpinEdit4->isEnabled(), c.Enabled);
    EXPECT_EQ(F().SpinEdit3->value(), c.Upper);
    EXPECT_EQ(F().SpinEdit4->value(), c.Lower);
    EXPECT_EQ(FunList[0].ClubFrames[0].UpperFreq, 900) << "loading must not write back";
  }
  // On a normal funlight the frequencies are off.
  F().ListBox1->setCurrentRow(1);
  Click(F().SlotGrid, 0, 0);
  EXPECT_FALSE(F().SpinEdit3->isEnabled());
  EXPECT_EQ(F().SpinEdit3->value(), 0);
}

TEST_F(GridTest, ChoosingAFunlightHidesTheSelectionPages) {
  Open({Painted(), Painted()});
  Click(F().EditGrid, 0, 0);
  ASSERT_EQ(F().PageControl2->currentWidget(), F().TabSheet2);
  F().ListBox1->setCurrentRow(1);
  EXPECT_EQ(F().PageControl2->currentWidget(), F().TabSheet3);
  EXPECT_FALSE(TabShown(F().PageControl2, F().TabSheet1));
  EXPECT_FALSE(TabShown(F().PageControl2, F().TabSheet2));
  // A refresh run while Updating is set keeps the page in front.
  Click(F().EditGrid, 0, 0);
  F().PageControl2->setCurrentWidget(F().TabSheet1);
  Unit1::Updating = true;
  F().Execute(F().AUpdateFunlight);
  Unit1::Updating = false;
  EXPECT_EQ(F().PageControl2->currentWidget(), F().TabSheet3) << "TabSheet1 was hidden";
  EXPECT_FALSE(TabShown(F().PageControl2, F().TabSheet1));
}

// Left edges of the visible columns of a grid, in coordinates of the editing page.
int ColumnX(Unit1::TMForm& f, TGrid* grid, int col) {
  return grid->mapTo(f.Tab2, grid->CellRect(col, grid == f.FrameGrid ? 1 : 0).topLeft()).x();
}
int RowY(Unit1::TMForm& f, TGrid* grid, int row) {
  return grid->mapTo(f.Tab2, grid->CellRect(grid->LeftCol(), row).topLeft()).y();
}

TEST_F(GridTest, FrameRowAndNamesStayAlignedWithTheGrid) {
  std::vector<TFrame> frames(40, Frame(50, {{1, 15, 15, 15}}));
  Open({NormalFunlight(1, frames), Painted()});
  QScrollBar* bar = F().EditGrid->findChild<QScrollBar*>();
  ASSERT_NE(bar, nullptr);
  struct TCase {
    const char* How;
    std::function<void()> Scroll;
    int Left;
  };
  const std::vector<TCase> cases = {
      {"start", [] {}, 0},
      {"left col", [&] { F().EditGrid->SetLeftCol(3); }, 3},
      {"scroll bar", [&] { bar->setValue(10); }, 10},
      {"end key", [&] { QTest::keyClick(F().EditGrid, Qt::Key_End); }, 40 - 15},
      {"home key", [&] { QTest::keyClick(F().EditGrid, Qt::Key_Home); }, 0},
      {"frame row", [&] { F().FrameGrid->SetCurrent(20, 1); }, 20 - 15 + 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.How);
    c.Scroll();
    EXPECT_EQ(F().EditGrid->LeftCol(), c.Left);
    EXPECT_EQ(F().FrameGrid->LeftCol(), c.Left);
    EXPECT_EQ(F().SlotGrid->TopRow(), F().EditGrid->TopRow());
    for (int col = c.Left; col < c.Left + 5; ++col)
      EXPECT_EQ(ColumnX(F(), F().FrameGrid, col), ColumnX(F(), F().EditGrid, col)) << col;
    EXPECT_EQ(F().FrameGrid->Cell(c.Left, 0), QString::number(c.Left + 1));
    for (int row = 0; row < 7; ++row)
      EXPECT_EQ(RowY(F(), F().SlotGrid, row), RowY(F(), F().EditGrid, row)) << row;
  }
  // A shorter funlight brings both back to its first column.
  F().EditGrid->SetLeftCol(30);
  F().ListBox1->setCurrentRow(1);
  EXPECT_EQ(F().EditGrid->LeftCol(), 0);
  EXPECT_EQ(F().FrameGrid->LeftCol(), 0);
}

// ---- Profiles and element names

TEST_F(GridTest, TheSeventhColourDecidesTheNumberOfRows) {
  StartWithProfile();
  struct TCase {
    const char* Line;
    int Rows;
  };
  for (const TCase& c :
       {TCase{"", 6}, TCase{"Color07=-2\n", 6}, TCase{"Color07=-1\n", 7}, TCase{"Color07=0\n", 7},
        TCase{"color07=$FF\n", 7}, TCase{"Color07=-3\n", 6}, TCase{"Color07=dark\n", 6}}) {
    SCOPED_TRACE(c.Line);
    WriteAppFile("Profiles/Rows.prof", std::string("[Colors]\nColor01=-1\n") + c.Line);
    Profile.ProfileName = "Rows";
    F().Execute(F().ALoadProfile);
    EXPECT_EQ(Profile.ElementCount, c.Rows);
    EXPECT_EQ(F().EditGrid->RowCount(), c.Rows);
    EXPECT_EQ(F().SlotGrid->RowCount(), c.Rows);
  }
}

TEST_F(GridTest, ColourValuesReadAsNumbersInEveryNotation) {
  StartWithProfile();
  struct TCase {
    const char* Value;
    int32_t Colour;
  };
  for (const TCase& c : {TCase{"$FF", 255}, TCase{"0xFF", 255}, TCase{"255", 255},
                         TCase{"$ff", 255}, TCase{"-1", -1}, TCase{"abc", -2}, TCase{"", -2},
                         TCase{"-9", -2}, TCase{"$FFFFFF", 0xFFFFFF}}) {
    SCOPED_TRACE(c.Value);
    WriteAppFile("Profiles/Num.prof", std::string("[Colors]\nColor03=") + c.Value + "\n");
    Profile.ProfileName = "Num";
    F().Execute(F().ALoadProfile);
    EXPECT_EQ(Profile.ElementColour[3], c.Colour);
    for (int n : {1, 2, 4, 5, 6, 7}) EXPECT_EQ(Profile.ElementColour[n], AbsentElement) << n;
  }
  // A missing profile makes every element absent.
  Profile.ProfileName = "Missing";
  F().Execute(F().ALoadProfile);
  EXPECT_EQ(Profile.ElementColour[3], AbsentElement);
  EXPECT_EQ(Profile.ElementCount, 6);
}

TEST_F(GridTest, ProfileListShowsSortedBaseNames) {
  StartWithProfile();
  struct TCase {
    const char* Dir;
    QStringList Files;
    QStringList Listed;
  };
  for (const TCase& c :
       {TCase{"sorted", {"B.prof", "A.prof", "notes.txt", "C.skin"}, {"A", "B"}},
        TCase{"dotted", {"A.B.prof", "Motorola (All Models).prof"}, {"A", "Motorola (All Models)"}},
        TCase{"empty", {}, {}}, TCase{"missing", {}, {}}}) {
    SCOPED_TRACE(c.Dir);
    const QString dir = TempPath(c.Dir);
    if (QString(c.Dir) != "missing") QDir().mkpath(dir + "/Profiles");
    for (const QString& name : c.Files) {
      QFile file(dir + "/Profiles/" + name);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    Unit1::AppDir = dir.toStdString() + "/";
    F().Execute(F().ASearchProfiles);
    EXPECT_EQ(Items(F().ComboBox2), c.Listed);
  }
}

TEST_F(GridTest, ElementNamesComeFromTheNameFileOrDefaults) {
  StartWithProfile();
  struct TCase {
    std::string LangExt;
    QStringList Names;
  };
  for (const TCase& c : {TCase{"eng",
                               {QString::fromUtf8("Дисплей"), "Keypad", "Side", "Unused",
                                "(05) ...", "(06) ...", "Logo"}},
                         TCase{"none",
                               {"(01) ...", "(02) ...", "(03) ...", "(04) ...", "(05) ...",
                                "(06) ...", "(07) ..."}}}) {
    SCOPED_TRACE(c.LangExt);
    Profile.LangExt = c.LangExt;
    F().Execute(F().AUpdateSlots);
    ASSERT_EQ(F().ComboBox3->count(), 7);
    for (int n = 0; n < 7; ++n) {
      EXPECT_EQ(F().SlotGrid->Cell(0, n), c.Names[n]);
      EXPECT_EQ(F().ComboBox3->itemText(n), c.Names[n]);
    }
  }
}

TEST_F(GridTest, ASixElementProfileStillOffersSevenCopyTargets) {
  WriteAppFile("Profiles/Six.prof", "[Colors]\nColor01=-1\nColor06=-1\n");
  WriteAppFile("Profiles/Langs/Six.eng", "[Elements]\nElement06=Sixth\nElement07=Seventh\n");
  StartWithProfile("Six");
  EXPECT_EQ(F().SlotGrid->RowCount(), 6);
  EXPECT_EQ(F().SlotGrid->Cell(0, 5), "Sixth");
  ASSERT_EQ(F().ComboBox3->count(), 7);
  EXPECT_EQ(F().ComboBox3->itemText(6), "Seventh");
}

}  // namespace
