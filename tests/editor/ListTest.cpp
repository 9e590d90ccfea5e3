// The funlight list and the funlight settings: item texts, the list commands and their selection,
// the frame count and the guards at the limits of the 8- and 16-bit fields.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <functional>

#include "EditorSupport.h"
#include "Profile.h"

using namespace UFunStruct;

namespace {

// A funlight of three frames, one lit cell each, told apart by its identifier.
TFunlight Simple(uint8_t id) {
  return NormalFunlight(
      id, {Frame(100, {{1, 15, 0, 0}}), Frame(200, {{2, 0, 15, 0}}), Frame(300, {{3, 0, 0, 15}})});
}

std::vector<uint8_t> Ids() {
  std::vector<uint8_t> ids;
  for (const TFunlight& f : FunList) ids.push_back(f.FunID);
  return ids;
}

// Everything a funlight holds, as text.
std::string Contents(const TFunlight& f) {
  return DocSupport::Describe({f});
}

// Runs a program with a data folder of its own: one profile "Test" whose names are written in
// code page 1251, as the language "Test" says.
class ListTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    UseOwnData("Test", "[Colors]\nColor01=-1\nColor02=-1\nColor03=-1\n",
               "[Elements]\nElement01=Display\n"
               "[Funlights]\nFunlight1=Incoming call\nFunlight3=Alarm\nFunlight10=Missed call\n"
               "Funlight128=Media player\nFunlight5=\xCC\xE8\xE3\n");
  }

  // Starts the program, chooses the test profile and language, and opens the document.
  void Open(const std::vector<TFunlight>& doc, const std::string& langExt = "eng") {
    if (!forms_) {
      Start();
      LoadProfile("Test", "Test", langExt);
    }
    OpenThroughMenu(doc);
    dialogs_.Messages.clear();
  }

  Unit1::TMForm& F() { return Form(); }
  int Row() { return F().ListBox1->currentRow(); }
  // As the user picks a funlight in the list.
  void Choose(int row) { F().ListBox1->setCurrentRow(row); }
};

TEST_F(ListTest, ItemTextsShowIdentifierNameAndClubMarker) {
  Open({Clublight(3, {ClubRow(1, 0, 0, {{}})}), Simple(10), Simple(200), Simple(128), Simple(5)});
  EXPECT_EQ(Items(F().ListBox1), (QStringList{"(03) Alarm [club]", "(0A) Missed call", "(C8) ...",
                                              "(80) Media player", QString::fromUtf8("(05) Миг")}));
  // The preview list holds the normal funlights only.
  EXPECT_EQ(Items(F().ListBox2), (QStringList{"(0A) Missed call", "(C8) ...", "(80) Media player",
                                              QString::fromUtf8("(05) Миг")}));
  ASSERT_EQ(F().ComboBox4->count(), 23);
  EXPECT_EQ(F().ComboBox4->itemText(0), "(01) Incoming call");
  EXPECT_EQ(F().ComboBox4->itemText(1), "(02) ...");
  EXPECT_EQ(F().ComboBox4->itemText(17), "(80) Media player");
  EXPECT_EQ(F().ComboBox4->itemText(22), "(9E) ...");
  // The identifier box finds a clublight's entry without the marker; an identifier outside the
  // table selects nothing.
  EXPECT_EQ(F().ComboBox4->currentIndex(), 2);
  EXPECT_TRUE(F().RadioButton2->isChecked());
  Choose(2);
  EXPECT_EQ(F().ComboBox4->currentIndex(), -1);
  EXPECT_TRUE(F().RadioButton1->isChecked());
}

TEST_F(ListTest, WithoutElementNameFileEveryNameIsDots) {
  Open({Simple(1), Simple(10)}, "none");
  EXPECT_EQ(Items(F().ListBox1), (QStringList{"(01) ...", "(0A) ..."}));
  EXPECT_EQ(F().ComboBox4->itemText(9), "(0A) ...");
}

TEST_F(ListTest, ChoosingAFunlightLoadsItsSettingsAndMatchesThePreviewList) {
  TFunlight second = Simple(10);
  second.HeadValue = 1234;
  second.Repeating = true;
  Open({Simple(10), second, Clublight(3, {ClubRow(1, 0, 0, {{}, {}})})});
  FunList[2].HeadValue = 77;  // not kept in the file for a clublight, but shown
  F().PageControl2->setCurrentWidget(F().TabSheet2);

  Choose(1);
  EXPECT_EQ(CurFun, 1);
  EXPECT_EQ(F().SpinEdit1->value(), 1234);
  EXPECT_EQ(FunList[1].HeadValue, 1234) << "loading the head value must not write it back";
  EXPECT_TRUE(F().CheckBox1->isChecked());
  EXPECT_TRUE(F().CheckBox1->isEnabled());
  EXPECT_EQ(F().SpinEdit5->value(), 3);
  EXPECT_EQ(F().PageControl2->currentWidget(), F().TabSheet3);
  // Equal texts: the first of them is chosen in the preview list.
  EXPECT_EQ(F().ListBox2->currentRow(), 0);
  EXPECT_TRUE(F().Button15->isEnabled());
  EXPECT_TRUE(F().AFunMoveUp->isEnabled());
  EXPECT_TRUE(F().AFunMoveDown->isEnabled());

  Choose(2);
  EXPECT_EQ(F().ListBox2->currentRow(), -1);
  EXPECT_FALSE(F().Button15->isEnabled());
  EXPECT_FALSE(F().CheckBox1->isEnabled());
  EXPECT_EQ(F().SpinEdit5->value(), 2);
  EXPECT_EQ(F().SpinEdit1->value(), 77);
  EXPECT_FALSE(F().AFunMoveDown->isEnabled());
  EXPECT_FALSE(F().AClearAllFrames->isEnabled());
  EXPECT_FALSE(F().ACopyAllFrames->isEnabled());
}

TEST_F(ListTest, ClickingTheSelectedFunlightShowsItsOptionsAgain) {
  Open({Simple(1), Simple(10)});
  const auto click = [&](int row) {
    const QRect r = F().ListBox1->visualItemRect(F().ListBox1->item(row));
    QTest::mouseClick(F().ListBox1->viewport(), Qt::LeftButton, {}, r.center());
  };
  click(1);
  EXPECT_EQ(CurFun, 1);
  F().PageControl2->setCurrentWidget(F().TabSheet2);
  click(1);  // the same item again: the editor follows, as a click on the original list did
  EXPECT_EQ(F().PageControl2->currentWidget(), F().TabSheet3);
  EXPECT_EQ(CurFun, 1);
  // A press on one row released on another gives no click; the next click must not be taken for
  // it.
  QWidget* rows = F().ListBox1->viewport();
  QTest::mousePress(rows, Qt::LeftButton, {},
                    F().ListBox1->visualItemRect(F().ListBox1->item(0)).center());
  QTest::mouseRelease(rows, Qt::LeftButton, {},
                      F().ListBox1->visualItemRect(F().ListBox1->item(1)).center());
  ASSERT_EQ(CurFun, 0);
  F().PageControl2->setCurrentWidget(F().TabSheet2);
  click(0);
  EXPECT_EQ(F().PageControl2->currentWidget(), F().TabSheet3);
}

TEST_F(ListTest, SettingsWriteIntoTheCurrentFunlight) {
  Open({Simple(1), Simple(2)});
  Choose(1);
  F().SpinEdit1->setValue(4321);
  EXPECT_EQ(FunList[1].HeadValue, 4321);
  F().CheckBox1->setChecked(true);
  EXPECT_TRUE(FunList[1].Repeating);
  F().CheckBox1->setChecked(false);
  EXPECT_FALSE(FunList[1].Repeating);
  EXPECT_EQ(FunList[0].HeadValue, 0);
  EXPECT_FALSE(FunList[0].Repeating);
}

TEST_F(ListTest, ChangingTheIdentifierRenamesTheItemAndKeepsTheSelection) {
  Open({Simple(1), Simple(2), Simple(4)});
  Choose(1);
  F().ComboBox4->setCurrentIndex(9);
  emit F().ComboBox4->activated(9);
  EXPECT_EQ(FunList[1].FunID, 10);
  EXPECT_EQ(F().ListBox1->item(1)->text(), "(0A) Missed call");
  EXPECT_EQ(Row(), 1);
  EXPECT_EQ(F().ComboBox4->currentIndex(), 9);
}

TEST_F(ListTest, AddingAppendsTheChosenTypeAndKeepsTheSelection) {
  struct TCase {
    int Answer;
    bool Added;
    uint8_t Type;
  };
  for (const TCase& c : {TCase{mrYes, true, NormalType}, TCase{mrNo, true, ClubType},
                         TCase{mrCancel, false, 0}, TCase{mrNone, false, 0}}) {
    SCOPED_TRACE(c.Answer);
    Open({Simple(5), Simple(6), Simple(7)});
    Choose(2);
    dialogs_.ModalShown.clear();
    dialogs_.ModalAnswers = {c.Answer};
    F().Button5->click();
    EXPECT_EQ(dialogs_.ModalShown, std::vector<QString>{"SForm"});
    ASSERT_EQ(F().ListBox1->count(), c.Added ? 4 : 3);
    EXPECT_EQ(FunFile.Count, FunList.size());
    EXPECT_EQ(Row(), 2);
    EXPECT_EQ(CurFun, 2);
    if (!c.Added) continue;
    const TFunlight& added = FunList.back();
    EXPECT_EQ(added.FunType, c.Type);
    EXPECT_EQ(added.FunID, 1);
    EXPECT_TRUE(added.Frames.empty());
    EXPECT_TRUE(added.ClubFrames.empty());
    EXPECT_EQ(F().ListBox1->item(3)->text(),
              c.Type == ClubType ? "(01) Incoming call [club]" : "(01) Incoming call");

    // As soon as it is chosen it has one frame (or step) and the grids one column.
    Choose(3);
    EXPECT_EQ(c.Type == ClubType ? added.StepCount : added.FrameCount, 1);
    if (c.Type == NormalType) {
      ASSERT_EQ(added.Frames.size(), 1u);
      EXPECT_EQ(added.Frames[0].Duration, 0);
      EXPECT_TRUE(added.Frames[0].Cells.empty());
    }
    EXPECT_EQ(F().EditGrid->ColCount(), 1);
    EXPECT_EQ(F().FrameGrid->ColCount(), 1);
    EXPECT_EQ(F().FrameGrid->Cell(0, 0), "1");
  }
}

TEST_F(ListTest, CopyIsDeepAndKeepsTheSelection) {
  TFunlight club = Clublight(3, {ClubRow(1, 900, 100, {{1, 2, 3, 4}, {5, 6, 7, 8}}),
                                 ClubRow(4, 5000, 2000, {{9, 9, 9, 9}, {}})});
  Open({Simple(1), club});
  club.HeadValue = FunList[1].HeadValue = 321;
  club.Size = FunList[1].Size;
  Choose(1);
  F().Button10->click();
  ASSERT_EQ(FunList.size(), 3u);
  EXPECT_EQ(FunFile.Count, 3);
  EXPECT_EQ(Row(), 1);
  EXPECT_EQ(CurFun, 1);
  EXPECT_EQ(F().ListBox1->item(2)->text(), "(03) Alarm [club]");
  EXPECT_EQ(Contents(FunList[2]), Contents(FunList[1]));
  EXPECT_EQ(Contents(FunList[1]), Contents(club));

  FunList[2].ClubFrames[0].Cells[1].R = 15;
  FunList[2].ClubFrames[1].UpperFreq = 1;
  EXPECT_EQ(Contents(FunList[1]), Contents(club)) << "the copy shares data with the original";
}

TEST_F(ListTest, DeleteSelectsTheNextOrThePreviousFunlight) {
  struct TCase {
    int Selected;
    std::vector<uint8_t> Left;
    int Row;
  };
  for (const TCase& c : {TCase{0, {2, 3}, 0}, TCase{1, {1, 3}, 1}, TCase{2, {1, 2}, 1}}) {
    SCOPED_TRACE(c.Selected);
    Open({Simple(1), Simple(2), Simple(3)});
    Choose(c.Selected);
    F().Button8->click();
    EXPECT_EQ(Ids(), c.Left);
    EXPECT_EQ(FunFile.Count, 2);
    EXPECT_EQ(Row(), c.Row);
    EXPECT_EQ(CurFun, c.Row);
    EXPECT_EQ(F().ComboBox4->currentIndex(), c.Left[static_cast<size_t>(c.Row)] - 1);
    EXPECT_TRUE(Unit1::DocActive);
  }
}

TEST_F(ListTest, TheLastFunlightCannotBeDeleted) {
  Open({Simple(1), Simple(2)});
  EXPECT_TRUE(F().Button8->isEnabled());
  F().Button8->click();
  EXPECT_EQ(Ids(), std::vector<uint8_t>{2});
  EXPECT_FALSE(F().Button8->isEnabled());
  // Reopening a one-funlight document keeps the button off too.
  Open({Simple(4)});
  EXPECT_FALSE(F().Button8->isEnabled());
  // Even run directly, the command leaves the only funlight in place.
  F().Execute(F().ADelFun);
  EXPECT_EQ(Ids(), std::vector<uint8_t>{4});
  EXPECT_EQ(F().ListBox1->count(), 1);
}

TEST_F(ListTest, MovingKeepsTheMovedFunlightSelected) {
  struct TCase {
    int Selected;
    bool Down;
    std::vector<uint8_t> Order;
    int Row;
    bool UpEnabled, DownEnabled;
  };
  for (const TCase& c :
       {TCase{0, true, {2, 1, 3}, 1, true, true}, TCase{1, true, {1, 3, 2}, 2, true, false},
        TCase{2, false, {1, 3, 2}, 1, true, true}, TCase{1, false, {2, 1, 3}, 0, false, true}}) {
    SCOPED_TRACE(testing::Message() << c.Selected << (c.Down ? " down" : " up"));
    Open({Simple(1), Simple(2), Simple(3)});
    Choose(c.Selected);
    (c.Down ? F().Button12 : F().Button11)->click();
    EXPECT_EQ(Ids(), c.Order);
    EXPECT_EQ(Row(), c.Row);
    EXPECT_EQ(CurFun, c.Row);
    EXPECT_EQ(F().AFunMoveUp->isEnabled(), c.UpEnabled);
    EXPECT_EQ(F().AFunMoveDown->isEnabled(), c.DownEnabled);
    EXPECT_EQ(F().Button11->isEnabled(), c.UpEnabled);
  }
}

TEST_F(ListTest, FrameCountResizesFramesAndBothGrids) {
  Open({NormalFunlight(1, {Frame(100, {{1, 15, 0, 0}}), Frame(250, {{2, 0, 15, 0}})}, true)});
  EXPECT_EQ(F().EditGrid->ColCount(), 2);
  F().SpinEdit5->setValue(5);
  ASSERT_EQ(FunList[0].Frames.size(), 5u);
  EXPECT_EQ(FunList[0].FrameCount, 5);
  EXPECT_EQ(FunList[0].Frames[4].Duration, 0);
  EXPECT_TRUE(FunList[0].Frames[4].Cells.empty());
  EXPECT_EQ(F().EditGrid->ColCount(), 5);
  EXPECT_EQ(F().FrameGrid->ColCount(), 5);
  const QStringList expected[2] = {{"1", "2", "3", "4", "5"}, {"100", "250", "0", "0", "0"}};
  for (int row = 0; row < 2; ++row)
    for (int col = 0; col < 5; ++col)
      EXPECT_EQ(F().FrameGrid->Cell(col, row), expected[row][col]) << col << "," << row;

  F().SpinEdit5->setValue(1);
  ASSERT_EQ(FunList[0].Frames.size(), 1u);
  EXPECT_EQ(FunList[0].Frames[0].Cells.size(), 1u);
  EXPECT_EQ(F().EditGrid->ColCount(), 1);
  EXPECT_EQ(F().FrameGrid->ColCount(), 1);
}

TEST_F(ListTest, StepCountResizesEveryClubRow) {
  Open(
      {Clublight(3, {ClubRow(1, 0, 0, {{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}, {4, 4, 4, 4}}),
                     ClubRow(3, 0, 0, {{5, 5, 5, 5}, {6, 6, 6, 6}, {7, 7, 7, 7}, {8, 8, 8, 8}})})});
  F().SpinEdit5->setValue(6);
  const TFunlight& f = FunList[0];
  EXPECT_EQ(f.StepCount, 6);
  EXPECT_EQ(f.FrameCount, 2) << "the number of rows stays";
  for (const TClubFrame& row : f.ClubFrames) {
    EXPECT_EQ(row.CellCount, 6);
    ASSERT_EQ(row.Cells.size(), 6u);
    EXPECT_EQ(row.Cells[3].R, row.Element == 1 ? 4 : 8);
    for (size_t i = 4; i < 6; ++i)
      EXPECT_TRUE(row.Cells[i].R == 0 && row.Cells[i].G == 0 && row.Cells[i].B == 0 &&
                  row.Cells[i].Param == 0);
  }
  EXPECT_EQ(F().EditGrid->ColCount(), 6);
  EXPECT_EQ(F().FrameGrid->Cell(5, 0), "6");
  EXPECT_EQ(F().FrameGrid->Cell(0, 1), "");
}

TEST_F(ListTest, TypingAFrameCountTakesEffectOnlyWhenDone) {
  std::vector<TFrame> frames;
  for (int i = 0; i < 10; ++i) frames.push_back(Frame(10, {{1, static_cast<uint8_t>(i), 0, 0}}));
  Open({NormalFunlight(1, frames)});
  QLineEdit* edit = F().SpinEdit5->findChild<QLineEdit*>();
  ASSERT_NE(edit, nullptr);
  edit->selectAll();
  QTest::keyClicks(edit, "12");
  EXPECT_EQ(FunList[0].Frames.size(), 10u) << "the first digit alone must not cut the frames";
  QTest::keyClick(edit, Qt::Key_Return);
  ASSERT_EQ(FunList[0].Frames.size(), 12u);
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(FunList[0].Frames[static_cast<size_t>(i)].Cells.size(), 1u);
}

TEST_F(ListTest, TypedValuesAreClampedNotWrapped) {
  Open({Simple(1)});
  struct TCase {
    QSpinBox* Spin;
    const char* Text;
  };
  for (const TCase& c :
       {TCase{F().SpinEdit1, "99999"}, TCase{F().SpinEdit5, "300"}, TCase{F().SpinEdit5, "0"}}) {
    SCOPED_TRACE(c.Text);
    QLineEdit* edit = c.Spin->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClicks(edit, c.Text);
    QTest::keyClick(edit, Qt::Key_Return);
    c.Spin->interpretText();
    if (c.Spin == F().SpinEdit1) {
      EXPECT_LE(FunList[0].HeadValue, 65535);
      EXPECT_GE(FunList[0].HeadValue, 9999) << "a wrapped value";
    } else {
      EXPECT_GE(FunList[0].FrameCount, 1);
      EXPECT_EQ(FunList[0].Frames.size(), FunList[0].FrameCount);
      EXPECT_EQ(F().EditGrid->ColCount(), FunList[0].FrameCount);
    }
    EXPECT_LE(c.Spin->value(), c.Spin->maximum());
  }
  F().SpinEdit1->setValue(70000);
  EXPECT_EQ(FunList[0].HeadValue, 65535);
  F().SpinEdit5->setValue(1000);
  EXPECT_EQ(FunList[0].FrameCount, 255);
  EXPECT_EQ(FunList[0].Frames.size(), 255u);
}

TEST_F(ListTest, AFullDocumentRefusesAddAndCopy) {
  Open({Simple(1)});
  FunList.assign(255, Simple(2));
  FunFile.Count = 255;
  F().Execute(F().AUpdateList);
  const auto before = FunList;

  dialogs_.ModalAnswers = {mrYes};
  F().Button5->click();
  F().Button10->click();
  EXPECT_TRUE(dialogs_.ModalShown.empty()) << "no type to choose when nothing can be added";
  EXPECT_EQ(FunList.size(), 255u);
  EXPECT_EQ(FunFile.Count, 255);
  ASSERT_EQ(dialogs_.Messages.size(), 2u);
  for (const auto& m : dialogs_.Messages) {
    EXPECT_EQ(m.Text, "The file already holds the most funlights it can (255).");
    EXPECT_EQ(m.Icon, TMsgIcon::Error);
  }
  EXPECT_EQ(F().ListBox1->count(), 255);

  // One below the limit both still work.
  FunList.pop_back();
  FunFile.Count = 254;
  F().Execute(F().AUpdateList);
  F().Button10->click();
  EXPECT_EQ(FunList.size(), 255u);
  EXPECT_EQ(FunFile.Count, 255);
}

TEST_F(ListTest, ADocumentWithoutFunlightsShowsAnEmptyEditorAndCanGrow) {
  Open({});
  EXPECT_EQ(F().ListBox1->count(), 0);
  EXPECT_TRUE(Unit1::DocActive);
  EXPECT_FALSE(F().AFunCopy->isEnabled());
  EXPECT_FALSE(F().ADelFun->isEnabled());
  EXPECT_FALSE(F().SpinEdit5->isEnabled());
  EXPECT_EQ(F().EditGrid->ColCount(), 1);
  EXPECT_FALSE(F().EditGrid->grab().isNull());
  // Nothing to select, nothing to copy or move.
  EXPECT_TRUE(F().EditGrid->SetCurrent(0, 0));
  EXPECT_FALSE(F().PageControl2->isTabVisible(F().PageControl2->indexOf(F().TabSheet2)));
  F().Execute(F().AFunCopy);
  F().Execute(F().AFunMoveDown);
  F().SpinEdit5->setValue(7);
  EXPECT_TRUE(FunList.empty());

  dialogs_.ModalAnswers = {mrYes};
  F().Button5->click();
  ASSERT_EQ(FunList.size(), 1u);
  EXPECT_EQ(Row(), 0);
  EXPECT_EQ(FunList[0].FrameCount, 1);
  EXPECT_TRUE(F().AFunCopy->isEnabled());
  EXPECT_TRUE(F().SpinEdit5->isEnabled());
  EXPECT_EQ(F().EditGrid->ColCount(), 1);
}

TEST_F(ListTest, AFunlightOfAnotherTypeIsSavedAsItWasRead) {
  // Header: size 3, one "frame", reserved, identifier 7, type 5; then three data bytes.
  const std::vector<uint8_t> bytes = {0x01, 0x01, 0x00, 0x0F, 0x01, 0x00, 0x03, 0x01,
                                      0x00, 0x00, 0x07, 0x05, 0xAA, 0xBB, 0xCC};
  const QString path = TempPath("other.pat");
  WriteBytes(path, bytes);
  Open({Simple(1)});
  dialogs_.OpenAnswers.push_back(path);
  ASSERT_TRUE(F().Execute(F().AOpenFile));
  ASSERT_EQ(F().ListBox1->count(), 1);
  EXPECT_EQ(F().ListBox1->item(0)->text(), "(07) ...");
  EXPECT_EQ(F().ListBox2->count(), 0);
  EXPECT_FALSE(F().RadioButton1->isChecked());
  EXPECT_FALSE(F().RadioButton2->isChecked());
  F().SpinEdit5->setValue(4);
  F().Execute(F().ASave);
  // The funlight itself (after the 5-byte file header) is written back as it was read.
  const std::vector<uint8_t> saved = ReadBytes(path);
  ASSERT_EQ(saved.size(), bytes.size());
  EXPECT_TRUE(std::equal(saved.begin() + 5, saved.end(), bytes.begin() + 5));
}

}  // namespace
