// The funlight list, its settings and the colour grid: what they show, commands, painting, names.

#include "EditorSupport.h"

TFunlight Simple(uint8_t id, uint16_t head = 0, bool repeating = false) {
  return Normal(id, head, repeating, {Frame(100, {{1, 15, 0, 0}}), Frame(250, {}), Frame(300, {})});
}

std::string Ids() {
  std::string ids;
  for (const TFunlight& f : FunList) ids += static_cast<char>('0' + f.FunID);
  return ids;
}

// Elements: 1, 6, 7 full colour, 2 single red, 3 single green, 4 and 5 (below -2) absent.
class ListTest : public EditorTest {
 protected:
  TMForm& Open(const std::vector<TFunlight>& doc, bool open = true) {
    if (!forms_) {
      services_.AppDir = TempPath("app");
      WriteAppFile("Profiles/Grid.prof",
                   "[Colors]\nColor01=-1\nColor02=255\nColor03=$00FF00\nColor04=-2\nColor05=-7\n"
                   "Color06=-1\nColor07=-1\n");
      WriteAppFile("Profiles/Langs/Grid.eng",
                   "[Elements]\nElement01=\xC4\xE8\xF1\nElement02=Keypad\nElement07=Logo\n"
                   "[Funlights]\nFunlight1=Call\nFunlight3=Alarm\nFunlight5=\xCC\xE8\xE3\n");
      WriteAppFile("Languages/Grid.lng", "[Language]\nExt=eng\nCodepage=1251\n");
      Start();
      F().show();
      Profile.ProfileName = Profile.Language = "Grid";
      Profile.LangExt = "eng";
      Profile.ClubMarker = "[club]";
      F().Execute(F().ALoadProfile);
      F().Execute(F().AUpdateSlots);
    }
    dialogs_.OpenAnswers.push_back(WriteDocument("doc.pat", doc));
    EXPECT_TRUE(!open || F().Execute(F().AOpenFile));
    dialogs_.Messages.clear();
    return F();
  }
  bool Shown(QWidget* page) { return TabShown(F().PageControl2, page); }
};

// A cell of every kind in frame 0, single-colour blues in frames 1..3.
TFunlight Painted() {
  return Normal(
      1, 0, false,
      {Frame(100, {{1, 15, 8, 0}, {2, 0, 0, 15}, {3, 15, 15, 14}, {4, 0, 15, 0}, {5, 3, 0, 9}}),
       Frame(100, {{2, 15, 15, 1}, {3, 0, 0, 1}}), Frame(100, {{2, 15, 15, 14}}),
       Frame(100, {{2, 0, 0, 0}, {7, 1, 2, 3}})});
}

TEST_F(ListTest, ItemsAndSettingsShowTheChosenFunlight) {
  TMForm& f =
      Open({Simple(5), Simple(5, 1234, true), Club(3, {Row(1, 0, 0, {{}, {}})}), Simple(200)});
  const QString mig = QString::fromUtf8("(05) Миг");
  QStringList items;
  for (int i = 0; i < f.ListBox1->count(); ++i) items << f.ListBox1->item(i)->text();
  EXPECT_EQ(items, (QStringList{mig, mig, "(03) Alarm [club]", "(C8) ..."}));
  // An identifier outside the table selects no entry; equal texts pick the first preview item.
  for (const auto& [row, head, count, box, preview, repeating, normal, club] :
       {std::tuple{1, 1234, 3, 4, 0, true, true, false},
        {2, 0, 2, 2, -1, false, false, true},
        {3, 0, 3, -1, 2, false, true, false},
        {0, 0, 3, 4, 0, false, true, false}}) {
    f.PageControl2->setCurrentWidget(f.TabSheet2);
    f.ListBox1->setCurrentRow(row);
    EXPECT_TRUE(CurFun == row && f.SpinEdit1->value() == head && f.SpinEdit5->value() == count &&
                f.ComboBox4->currentIndex() == box && f.ListBox2->currentRow() == preview &&
                f.Button15->isEnabled() == (preview >= 0) &&
                f.CheckBox1->isChecked() == repeating &&
                (f.CheckBox1->isEnabled() && f.AClearAllFrames->isEnabled()) == normal &&
                f.RadioButton1->isChecked() == normal && f.RadioButton2->isChecked() == club &&
                f.PageControl2->currentWidget() == f.TabSheet3)
        << row;
  }
  f.ListBox2->setCurrentRow(1);  // of two equal names, the first funlight
  EXPECT_EQ(CurFun, 0);
  FunList[0].FunType = 5;  // a type the editor does not know is neither
  f.Execute(f.AUpdateFunlight);
  EXPECT_FALSE(f.RadioButton1->isChecked() || f.RadioButton2->isChecked());
}

// A funlight is brought to the count the spin box shows, also when the box does not change: a
// clublight without steps (the box cannot show 0) after one of a single step, and frames that
// fall short of their count after a funlight of as many.
TEST_F(ListTest, AFunlightShortOfItsCountGetsWhatTheCountShows) {
  TMForm& f = Open(
      {Club(3, {Row(1, 0, 0, {{}})}), DocSupport::Other(ClubType, 4, 0, {}), Simple(5), Simple(6)});
  f.ListBox1->setCurrentRow(1);
  EXPECT_EQ(std::tuple(FunList[1].StepCount, f.SpinEdit5->value()), std::tuple(1, 1));
  FunList[3].Frames.pop_back();
  f.ListBox1->setCurrentRow(2);
  f.ListBox1->setCurrentRow(3);
  EXPECT_EQ(FunList[3].Frames.size(), 3u);
}

TEST_F(ListTest, ClickingTheSelectedFunlightShowsItsOptionsWhichWriteIntoIt) {
  TMForm& f = Open({Simple(1), Simple(3)});
  QWidget* rows = f.ListBox1->viewport();
  const auto at = [&](int row) {
    return f.ListBox1->visualItemRect(f.ListBox1->item(row)).center();
  };
  QTest::mouseClick(rows, Qt::LeftButton, {}, at(1));
  f.PageControl2->setCurrentWidget(f.TabSheet2);
  QTest::mouseClick(rows, Qt::LeftButton, {}, at(1));
  EXPECT_EQ(f.PageControl2->currentWidget(), f.TabSheet3);
  // A press released on another row gives no click; the next click must not be taken for it.
  QTest::mousePress(rows, Qt::LeftButton, {}, at(0));
  QTest::mouseRelease(rows, Qt::LeftButton, {}, at(1));
  f.PageControl2->setCurrentWidget(f.TabSheet2);
  QTest::mouseClick(rows, Qt::LeftButton, {}, at(0));
  EXPECT_EQ(f.PageControl2->currentWidget(), f.TabSheet3);
  // The settings write into the current funlight.
  Open({Simple(1), Simple(2), Simple(4)});
  f.ListBox1->setCurrentRow(1);
  f.SpinEdit1->setValue(4321);
  f.CheckBox1->setChecked(true);
  Choose(f.ComboBox4, "(03) Alarm");
  f.RadioButton1Click();  // the unchecked button writes no type
  f.RadioButton2Click();
  EXPECT_TRUE(FunList[1].FunType == NormalType && Ids() == "134" && f.ListBox1->currentRow() == 1 &&
              f.ListBox1->item(1)->text() == "(03) Alarm" && FunList[1].HeadValue == 4321 &&
              FunList[1].Repeating && FunList[0].HeadValue == 0);
}

TEST_F(ListTest, ListButtonsAndTheCountRunTheirCommandsAndSelect) {
  using B = QPushButton* TMForm::*;
  // clang-format off
  for (const auto& [button, selected, answer, after, row] :
       {std::tuple{B{&TMForm::Button5}, 2, int{mrYes}, "1231", 2}, {&TMForm::Button5, 2, mrCancel, "123", 2},
        {&TMForm::Button10, 1, 0, "1232", 1}, {&TMForm::Button8, 2, 0, "12", 1},
        {&TMForm::Button11, 1, 0, "213", 0}, {&TMForm::Button12, 1, 0, "132", 2}}) {
    // clang-format on
    TMForm& f = Open({Simple(1), Simple(2), Simple(3)});
    f.ListBox1->setCurrentRow(selected);
    dialogs_.ModalAnswers = {answer};
    (f.*button)->click();
    const int n = static_cast<int>(FunList.size());
    EXPECT_TRUE(Ids() == after && f.ListBox1->count() == n && Unit1::DocActive &&
                f.Button8->isEnabled() && f.ListBox1->currentRow() == row && CurFun == row &&
                f.AFunMoveUp->isEnabled() == (row > 0) &&
                f.AFunMoveDown->isEnabled() == (row + 1 < n));
  }
  EXPECT_FALSE(Open({Simple(4)}).Button8->isEnabled()) << "the last funlight stays";
  // The count sets both grids once typing is done.
  TMForm& f = Open({Normal(1, 0, false, std::vector<TFrame>(10, Frame(250, {{1, 1, 0, 0}})))});
  QLineEdit* edit = f.SpinEdit5->findChild<QLineEdit*>();
  edit->selectAll();
  QTest::keyClicks(edit, "12");
  EXPECT_EQ(FunList[0].Frames.size(), 10u) << "the first digit alone must not cut the frames";
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(FunList[0].Frames.size(), 12u);
  EXPECT_TRUE(f.EditGrid->ColCount() == 12 && f.FrameGrid->ColCount() == 12 &&
              f.FrameGrid->Cell(0, 0) == "1" && f.FrameGrid->Cell(11, 0) == "12" &&
              f.FrameGrid->Cell(11, 1) == "0");
}

TEST_F(ListTest, ADocumentWithoutFunlightsShowsAnEmptyEditorAndCanGrow) {
  TMForm& f = Open({}, false);
  Click(f.EditGrid, 1, 1);
  EXPECT_FALSE(Shown(f.TabSheet2)) << "no document, nothing to select";
  // Element names fall back to their numbers; the copy target list keeps seven names.
  EXPECT_EQ(f.ComboBox3->itemText(0) + f.ComboBox3->itemText(2) + f.ComboBox3->itemText(6),
            QString::fromUtf8("Дис(03) ...Logo"));
  // Opened after one with funlights, it shows no duration of those.
  dialogs_.OpenAnswers.push_front(WriteDocument("first.pat", {Simple(1)}));
  ASSERT_TRUE(f.Execute(f.AOpenFile));
  f.PageControl2->setCurrentWidget(f.TabSheet1);
  ASSERT_TRUE(f.Execute(f.AOpenFile));
  EXPECT_FALSE(f.AFunCopy->isEnabled() || f.ADelFun->isEnabled() || f.SpinEdit5->isEnabled() ||
               f.CheckBox1->isEnabled());
  EXPECT_EQ(f.EditGrid->grab().toImage().pixelColor(f.EditGrid->CellRect(0, 0).center()),
            f.EditGrid->palette().color(QPalette::Base));
  EXPECT_TRUE(f.PageControl2->currentWidget() == f.TabSheet3 && f.EditGrid->ColCount() == 1 &&
              f.FrameGrid->ColCount() == 1 && f.FrameGrid->Cell(0, 0).isEmpty() &&
              f.FrameGrid->Cell(0, 1).isEmpty() && f.EditGrid->SetCurrent(0, 1) &&
              f.SlotGrid->SetCurrent(0, 2) && !Shown(f.TabSheet1) && !Shown(f.TabSheet2));
  f.AFunCopyExecute();  // nothing to copy
  dialogs_.ModalAnswers = {mrNo};
  f.Button5->click();
  ASSERT_EQ(FunList.size(), 1u);
  EXPECT_TRUE(FunList[0].StepCount == 1 && dialogs_.Messages.empty()) << "shown, it has one step";
  EXPECT_TRUE(f.ListBox1->currentRow() == 0 && f.AFunCopy->isEnabled() && f.SpinEdit5->isEnabled());
}

TEST_F(ListTest, CellsArePaintedByElementKind) {
  TMForm& f = Open({Painted(), Club(3, {Row(6, 0, 0, {{15, 0, 0, 0}, {0, 0, 15, 200}})})});
  const QColor red = ScreenColour(255), green = ScreenColour(0x00FF00), black(Qt::black), none;
  // Funlight, cell, whether absent elements hide, colour; none: the silver and white checker of a
  // cell without colour. Element 2's blues along frames 0..3: 15, 1, 14, 0.
  // clang-format off
  const std::tuple<int, int, int, bool, QColor> cases[] = {
      {0, 0, 0, true, ScreenColour(ColorOf(15, 8, 0))}, {0, 0, 1, true, red}, {0, 1, 1, true, red},
      {0, 2, 1, true, black}, {0, 3, 1, true, black}, {0, 0, 2, true, black}, {0, 1, 2, true, green},
      {0, 1, 0, true, none}, {0, 0, 3, true, none}, {0, 0, 4, false, ScreenColour(ColorOf(3, 0, 9))},
      {1, 1, 5, true, ScreenColour(ColorOf(0, 0, 15))}};
  // clang-format on
  for (const auto& [fun, col, row, hide, colour] : cases) {
    SCOPED_TRACE(testing::Message() << fun << ": " << col << "," << row << " " << hide);
    f.ListBox1->setCurrentRow(fun);
    f.CheckBox2->setChecked(hide);
    const QImage image = f.EditGrid->grab().toImage();
    const QRect r = f.EditGrid->CellRect(col, row);
    for (const QPoint p : {r.topLeft(), r.center(), r.center() + QPoint(1, 0), r.bottomRight()}) {
      const bool odd = (p.x() + p.y()) % 2;
      EXPECT_EQ(image.pixelColor(p), colour.isValid() ? colour
                                     : odd            ? QColor(Qt::white)
                                                      : QColor(0xC0, 0xC0, 0xC0));
    }
  }
}

TEST_F(ListTest, ClickingACellOrANameSelectsItsElement) {
  TMForm& f = Open({Painted(), Painted()});
  for (const auto& [col, row, cell, name] : {std::tuple{0, 0, 0, QString::fromUtf8("Дис")},
                                             {1, 0, 255, QString::fromUtf8("Дис")},
                                             {1, 1, 0, QString("Keypad")},
                                             {3, 6, 1, QString("Logo")}}) {
    f.ElName->clear();
    f.PageControl2->setCurrentWidget(f.TabSheet3);
    Click(f.EditGrid, col, row);
    // The name shows for a cell that exists.
    EXPECT_TRUE(SelCol == col && SelCell == cell && SelElement == row + 1 &&
                CopyTarget == row + 1 && f.ComboBox3->currentIndex() == row &&
                f.SlotGrid->Row() == row && Shown(f.TabSheet1) && Shown(f.TabSheet2) &&
                !Unit1::Updating && f.PageControl2->currentWidget() == f.TabSheet2 &&
                f.ElName->text() == name)
        << col << "," << row;
  }
  Click(f.EditGrid, 0, 3);  // an absent element's cells are not selectable while hidden
  EXPECT_TRUE(!Shown(f.TabSheet2) && SelElement == 7);
  f.CheckBox2->setChecked(false);
  Click(f.EditGrid, 0, 3);
  EXPECT_TRUE(Shown(f.TabSheet2) && SelElement == 4 && SelCell == 3);
  f.ListBox1->setCurrentRow(1);  // another funlight hides both pages again
  EXPECT_TRUE(!Shown(f.TabSheet1) && !Shown(f.TabSheet2) &&
              f.PageControl2->currentWidget() == f.TabSheet3);
  // A click on a name opens "Slot operations" with the element's band.
  Open({Club(3, {Row(1, 900, 100, {{}})}), Painted()});
  f.CheckBox2->setChecked(true);
  // An absent element's name can be chosen too; a normal funlight has no band.
  for (const auto& [fun, row, upper] : {std::tuple{0, 0, 900}, {0, 3, 0}, {0, 0, 900}, {1, 0, 0}}) {
    f.ListBox1->setCurrentRow(fun);
    Click(f.SlotGrid, 0, row);
    EXPECT_TRUE(Shown(f.TabSheet1) && !Shown(f.TabSheet2) &&
                f.PageControl2->currentWidget() == f.TabSheet1 && SelElement == row + 1 &&
                f.ElName->text() == f.SlotGrid->Cell(0, row) &&
                f.ComboBox3->currentIndex() == row && f.SpinEdit3->isEnabled() == (upper > 0) &&
                f.SpinEdit4->isEnabled() == (upper > 0) && f.SpinEdit3->value() == upper &&
                f.SpinEdit4->value() == (upper ? 100 : 0));
  }
  EXPECT_EQ(FunList[0].ClubFrames[0].UpperFreq, 900) << "showing the band must not write it back";
  f.ListBox1->setCurrentRow(0);
  Click(f.SlotGrid, 0, 0);
  f.SpinEdit3->setValue(65535);
  f.SpinEdit4->setValue(200);
  EXPECT_EQ(FunList[0].ClubFrames[0].UpperFreq + FunList[0].ClubFrames[0].LowerFreq, 65735);
}
