// Frame operations and colour tools: durations, cell and element buttons, sliders, right button.

#include "EditorSupport.h"

const auto Rgb = [](int r, int g, int b) { return QColor(r * 17, g * 17, b * 17); };

// Element 1 lit, black, lit, missing; element 2 only in frame 1; element 4 in frames 1 and 2.
TFunlight Painting() {
  return Normal(
      1, 0, true,
      {Frame(100, {{1, 5, 5, 5}, {2, 0, 0, 9}, {4, 3, 7, 12}}),
       Frame(100, {{1, 0, 0, 0}, {4, 1, 2, 3}}), Frame(100, {{1, 15, 0, 0}}), Frame(100, {})});
}

TFunlight Rhythm() {
  return Club(4, {Row(1, 0, 0, {{1, 0, 0, 11}, {2, 0, 0, 22}, {0, 0, 0, 33}}),
                  Row(3, 0, 0, {{0, 5, 0, 50}, {0, 6, 9, 60}, {0, 7, 0, 70}})});
}

class FramesTest : public EditorTest {
 protected:
  // Every frame's cells, frames parted by "|".
  std::string Doc() {
    std::string s;
    for (const std::string& frame : AllCells(Cur())) s += frame + "|";
    return s;
  }
  TGrid* Grid() { return F().EditGrid; }
  QPoint At(int col, int row) { return Grid()->CellRect(col, row).center(); }
  void RightClick(int col, int row) {
    QTest::mouseClick(Grid(), Qt::RightButton, {}, At(col, row));
  }
  // What the window shows for a cell: only what has been repainted since it last changed.
  QColor OnScreen(int col, int row) {
    QApplication::processEvents();
    const QImage shot = F().screen()->grabWindow(F().winId()).toImage();
    return shot.pixelColor(Grid()->mapTo(&F(), At(col, row)));
  }
  QString Sliders() {  // the three edits, then the three sliders
    QStringList s{F().Edit2->text(), F().Edit3->text(), F().Edit4->text()};
    for (QSlider* t : {F().TrackBar1, F().TrackBar2, F().TrackBar3})
      s << QString::number(t->value());
    return s.join(' ');
  }
  bool Shown(QWidget* box) { return box->isVisibleTo(F().TabSheet2); }
};

// Three frames; element 3 lit in all of them, 2 in the last, 1 in the first.
TFunlight Three(bool repeating = true) {
  return Normal(1, 0, repeating,
                {Frame(100, {{1, 1, 2, 3}, {3, 4, 5, 6}}), Frame(200, {{3, 1, 1, 1}}),
                 Frame(300, {{2, 2, 2, 2}, {3, 3, 3, 3}})});
}

// The duration editor and the "Selected frame" page close when what they show goes away.
TEST_F(FramesTest, EditorsCloseWithTheirColumnOrFunlightAndButtonsActOnTheSelection) {
  OpenDocument({Three(), Three()});
  TGrid* grid = F().FrameGrid;
  for (bool count : {true, false}) {
    FunList = {Three(), Three()};
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
  // The cell and element buttons act on the selection.
  F().ListBox1->setCurrentRow(0);
  using B = QPushButton* TMForm::*;  // the cell clicked (Col < 0: the element name)
  for (const auto& [col, row, button, after] :
       {std::tuple{0, 1, B{&TMForm::Button1}, "1:1,2,3 3:4,5,6 2:0,0,0|3:1,1,1|2:2,2,2 3:3,3,3|"},
        {0, 2, &TMForm::Button3, "1:1,2,3|3:1,1,1|2:2,2,2 3:3,3,3|"},
        {0, 1, &TMForm::Button9, "1:1,2,3 3:4,5,6 2:0,0,0|3:1,1,1 2:0,0,0|2:2,2,2 3:3,3,3|"},
        {-1, 2, &TMForm::Button4, "1:1,2,3||2:2,2,2|"},
        {-1, 0, &TMForm::Button13, "1:1,2,3 3:4,5,6 5:1,2,3|3:1,1,1|2:2,2,2 3:3,3,3|"},
        {-1, 2, &TMForm::Button7, "1:1,2,3 3:0,0,0|3:0,0,0|2:2,2,2 3:0,0,0|"}}) {
    FunList[0] = Three();
    SelectCell(1, 0);
    col >= 0 ? SelectCell(col, row) : void(F().SlotGrid->SetCurrent(0, row));
    Choose(F().ComboBox3, F().ComboBox3->itemText(4));  // copies go to element 5
    QTest::mouseClick(F().*button, Qt::LeftButton);
    EXPECT_EQ(Doc(), after);
    const bool made = button == &TMForm::Button1;  // the page shows the new cell
    EXPECT_TRUE(F().AAddNewFrame->isEnabled() != made && F().ADelFrame->isEnabled() == made &&
                F().GroupBox6->isVisibleTo(F().TabSheet2) == made);
    // Add to all frames turns to its element's slot page.
    EXPECT_EQ(F().PageControl2->currentWidget() == F().TabSheet1,
              col < 0 || button == &TMForm::Button9);
  }
}

// The duration editor stores what is typed, clamped; only a last frame that stops is locked.
TEST_F(FramesTest, DurationEditorAndTheLockedLastFrame) {
  OpenDocument({Three(false)});
  Profile.LastFrameWarning = "No duration.";
  TGrid* grid = F().FrameGrid;
  for (int col : {2, 1}) {
    ASSERT_TRUE(grid->SetCurrent(col, 1));  // the cell still becomes current
    EXPECT_EQ(grid->Editing(), col == 1);
  }
  EXPECT_EQ(OnlyMessage(TMsgIcon::Warning), "No duration.");
  Click(grid, 1, 1);  // edits it
  QLineEdit* editor = grid->InplaceEditor();
  ASSERT_TRUE(editor && editor->isVisible() && editor->selectedText() == "200");
  QTest::keyClicks(editor, "70000");
  const int room = editor->width() - 5;  // five digits fit, six do not: no smaller font than needed
  EXPECT_TRUE(grid->Cell(1, 1) == "65535" && Cur().Frames[1].Duration == 65535 &&
              QFontMetrics(editor->font()).horizontalAdvance(editor->text()) <= room &&
              QFontMetrics(editor->font()).horizontalAdvance("000000") > room);
  QTest::keyClick(editor, Qt::Key_Return);
  F().CheckBox1->setChecked(true);
  ASSERT_TRUE(grid->SetCurrent(2, 1));
  EXPECT_TRUE(!editor->isVisible() && grid->Editing() && dialogs_.Messages.empty());
  // On a clublight the frame row has no durations, and an empty cell no parameter.
  FunList[0] = Club(4, {Row(1, 0, 0, {{}, {}, {}}), Row(2, 0, 0, {{}, {}, {}})});
  F().Execute(F().AUpdateFunlight);
  ASSERT_TRUE(grid->SetCurrent(1, 1));
  SelectCell(0, 0);
  EXPECT_TRUE(F().SpinEdit2->isEnabled());
  SelectCell(0, 2);
  EXPECT_TRUE(dialogs_.Messages.empty() && !F().SpinEdit2->isEnabled());
  RightClick(1, 2);  // the step made shows at once
  EXPECT_EQ(OnScreen(1, 2), Rgb(15, 15, 15));
}

TEST_F(FramesTest, SelectingACellLoadsTheSlidersWhichWriteAndRepaintIt) {
  TFunlight f = Painting();
  f.Frames[0].Cells[2].R = 20;  // kept as read, beyond what a slider shows
  OpenDocument({f});
  SelectCell(1, 0);
  SelectCell(0, 3);
  EXPECT_EQ(Sliders(), "20 7 12 0 8 3");
  EXPECT_TRUE(Shown(F().GroupBox6) && !Shown(F().GroupBox9) && F().Button2->isEnabled() &&
              F().ADelFrame->isEnabled() && !F().AAddNewFrame->isEnabled() &&
              !F().SpinEdit2->isEnabled() && !EmptyFlag);
  F().TrackBar2->setValue(0);  // a change to another channel writes that channel only
  EXPECT_EQ(AllCells(Cur())[0], "1:5,5,5 2:0,0,9 4:20,15,12");
  F().TrackBar1->setValue(1);
  F().TrackBar3->setValue(15);  // the bottom end means 0
  EXPECT_EQ(AllCells(Cur())[0], "1:5,5,5 2:0,0,9 4:14,15,0");
  EXPECT_TRUE(OnScreen(0, 3) == Rgb(14, 15, 0) && F().Shape1->BrushColor() == Rgb(14, 15, 0));
  SelectCell(2, 3);  // empty: the sliders keep their place and write nothing
  EXPECT_TRUE(EmptyFlag && !Shown(F().GroupBox6) && !F().Button2->isEnabled() &&
              F().AAddNewFrame->isEnabled() && !F().ADelFrame->isEnabled());
  RightClick(2, 3);  // the right button gives it a record; the page still shows it empty
  F().TrackBar1->setValue(2);
  EXPECT_TRUE(F().Edit2->text() == "13" && AllCells(Cur())[2] == "1:15,0,0 4:15,15,15");
  Profile.ElementColour[2] = 0x0000FF;  // on/off on a red single-colour element
  SelectCell(0, 1);
  EXPECT_TRUE(Shown(F().GroupBox9) && !Shown(F().GroupBox6));
  QTest::mouseClick(F().Button6, Qt::LeftButton);
  EXPECT_TRUE(AllCells(Cur())[0] == "1:5,5,5 2:0,0,0 4:14,15,0" && OnScreen(0, 1) == Qt::black);
  EXPECT_EQ(Sliders(), "0 0 0 15 15 15") << "the page shows the switched cell";
}

// After a name click the "Selected frame" page keeps its cell, and its commands act on it.
TEST_F(FramesTest, SelectedFrameActsOnItsCellAfterANameClick) {
  OpenDocument({Painting()});
  using C = std::function<void(TMForm&)>;
  for (const auto& [doc, col, row, command, after] :
       {std::tuple<TFunlight (*)(), int, int, C, std::string>{
            Painting, 0, 3, [](TMForm& w) { w.TrackBar1->setValue(0); }, "4:15,7,12"},
        {Painting, 1, 3, [](TMForm& w) { w.Button2->click(); }, "1:0,0,0 4:3,7,12"},
        {Painting, 0, 3, [](TMForm& w) { w.Execute(w.AMakeOn_Off); }, "4:0,0,0"},
        {Painting, 3, 1, [](TMForm& w) { w.Button1->click(); }, "2:0,0,0"},
        {Rhythm, 1, 2, [](TMForm& w) { w.SpinEdit2->setValue(99); }, ""}}) {
    FunList[0] = doc();
    F().Execute(F().AUpdateFunlight);
    SelectCell(col, row);
    // Element 3, step 2 of the clublight: its parameter shows; there is no cell to remove.
    EXPECT_TRUE(doc != Rhythm || (F().SpinEdit2->value() == 60 && !F().ADelFrame->isEnabled()));
    Click(F().SlotGrid, 0, 0);
    ASSERT_EQ(SelElement, 1);
    command(F());
    EXPECT_TRUE(doc == Rhythm ? Cur().ClubFrames[1].Cells[1].Param == 99
                              : AllCells(Cur())[static_cast<size_t>(col)].ends_with(after))
        << after;
  }
  // The tools write nothing through a stale selection.
  for (TFunlight (*doc)() : {Painting, Rhythm}) {
    FunList[0] = doc();
    F().Execute(F().AUpdateFunlight);
    F().Execute(F().ADelFrame);  // may still be enabled: nothing to remove, no page to show
    EXPECT_FALSE(TabShown(F().PageControl2, F().TabSheet2));
    SelectCell(1, 0);  // element 1, then removed everywhere: element 4's cell (or 3's row) moves up
    F().Execute(F().ADelAllFrames);
    const std::string before = DocSupport::Describe(FunList);
    F().TrackBar1->setValue(0);
    F().Execute(F().AMakeOn_Off);
    F().Execute(F().AMakePrevCol);
    F().SpinEdit2->setValue(7);
    EXPECT_EQ(DocSupport::Describe(FunList), before);
  }
}

TEST_F(FramesTest, RightButtonTogglesCellsOnEnteringAndLeavesTheSelection) {
  OpenDocument({Painting()});
  SelectCell(0, 3);
  QTest::mousePress(Grid(), Qt::RightButton, {}, At(0, 0));
  QTest::mouseMove(Grid(), At(0, 0) + QPoint(3, 2));  // inside the same cell: nothing
  for (int col : {1, 2, 3, 1}) QTest::mouseMove(Grid(), At(col, 0));  // none made in frame 4
  // With a modifier or another button held, moving toggles nothing.
  using P = std::pair<Qt::MouseButtons, Qt::KeyboardModifiers>;
  for (auto [buttons, modifiers] :
       {P{Qt::RightButton, Qt::ControlModifier}, P{Qt::RightButton | Qt::LeftButton, {}},
        P{Qt::LeftButton, {}}}) {
    QMouseEvent move(QEvent::MouseMove, At(0, 0), Grid()->mapToGlobal(At(0, 0)), Qt::NoButton,
                     buttons, modifiers);
    QApplication::sendEvent(Grid(), &move);
  }
  QTest::mouseRelease(Grid(), Qt::RightButton, {}, At(0, 0));
  EXPECT_EQ(Doc(), "1:0,0,0 2:0,0,9 4:3,7,12|1:0,0,0 4:1,2,3|1:0,0,0||");
  EXPECT_TRUE(OnScreen(1, 0) == Rgb(0, 0, 0) && OnScreen(2, 0) == Rgb(0, 0, 0));
  // The selection, the grid's current cell and the page stay as they were.
  EXPECT_TRUE(Grid()->Col() == 0 && Grid()->Row() == 3 && SelCol == 0 && SelElement == 4 &&
              SelCell == 2 && Sliders() == "3 7 12 12 8 3" &&
              F().PageControl2->currentWidget() == F().TabSheet2);
  // A click on an empty cell makes a white one, also on an element hidden no more.
  Profile.ElementColour[2] = AbsentElement;
  for (bool hide : {true, false}) {
    F().CheckBox2->setChecked(hide);
    RightClick(3, 1);
  }
  EXPECT_TRUE(AllCells(Cur())[3] == "2:15,15,15" && OnScreen(3, 1) == Rgb(15, 15, 15));
  EXPECT_TRUE(!F().AAddNewFrame->isEnabled() && F().ADelFrame->isEnabled() && !EmptyFlag &&
              !Unit1::Updating);
  // A drag over a hidden element's lit cells toggles nothing.
  const std::string before = Doc();
  Profile.ElementColour[4] = AbsentElement;
  F().CheckBox2->setChecked(true);
  QTest::mousePress(Grid(), Qt::RightButton, {}, At(2, 3));
  for (int col : {1, 0}) QTest::mouseMove(Grid(), At(col, 3));
  QTest::mouseRelease(Grid(), Qt::RightButton, {}, At(0, 3));
  EXPECT_EQ(Doc(), before);
}
