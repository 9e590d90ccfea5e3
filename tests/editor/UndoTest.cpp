// What the window does for undo and redo, the frame commands and unsaved changes: the Edit menu
// and its keys, one gesture one step, the place an undo goes back to, and the question on close.
#include <QContextMenuEvent>
#include <QTimer>

#include "EditorSupport.h"

TFunlight Lights() {
  return Normal(
      1, 0, true,
      {Frame(100, {{1, 5, 5, 5}, {2, 1, 0, 0}}), Frame(200, {{1, 0, 0, 0}}), Frame(300, {})});
}

class UndoTest : public EditorTest {
 protected:
  void Key(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    F().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&F()));
    w->setFocus();
    QTest::keyClick(w, static_cast<Qt::Key>(key), mods);
  }
  QPoint At(int col, int row) { return F().EditGrid->CellRect(col, row).center(); }
  std::string Doc() { return DocSupport::Describe(FunList); }
};

TEST_F(UndoTest, EditMenuAndKeysUndoAndRedoOneStepAndGoBackToItsPlace) {
  OpenDocument({Lights(), Lights()});
  EXPECT_EQ(std::tuple(F().AUndo->text(), F().AUndo->isEnabled(), F().ARedo->isEnabled()),
            std::tuple(QString("&Undo"), false, false));
  const std::string loaded = Doc();
  F().Button10->click();  // copy funlight
  EXPECT_EQ(F().AUndo->text(), "&Undo Copy funlight");
  F().ListBox2->setCurrentRow(0);
  for (bool playing : {true, false}) {
    F().Button15->click();
    EXPECT_EQ(F().AUndo->isEnabled() + F().AInsertFrameAfter->isEnabled(), playing ? 0 : 2);
  }
  Key(F().ListBox1, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(std::tuple(Doc(), F().ListBox1->currentRow()), std::tuple(loaded, 0));
  EXPECT_EQ(F().ARedo->text(), "&Redo Copy funlight");
  for (Qt::KeyboardModifiers mods :
       {Qt::ControlModifier | Qt::ShiftModifier, Qt::KeyboardModifiers(Qt::ControlModifier)}) {
    Key(F().ListBox1, mods & Qt::ShiftModifier ? Qt::Key_Z : Qt::Key_Y, mods);
    EXPECT_EQ(FunList.size(), 3u);
    Key(F().ListBox1, Qt::Key_Z, Qt::ControlModifier);
  }
  // A drag is one step, and undo goes back to its funlight and cell.
  F().ListBox1->setCurrentRow(1);
  SelectCell(1, 0);
  F().TrackBar1->setSliderDown(true);
  for (int v : {10, 5, 0}) F().TrackBar1->setValue(v);
  F().TrackBar1->setSliderDown(false);
  EXPECT_EQ(FunList[1].Frames[1].Cells[0].R, 15);
  QTest::mousePress(F().EditGrid, Qt::RightButton, {}, At(0, 0));
  for (int col : {1, 2, 0}) QTest::mouseMove(F().EditGrid, At(col, 0));
  QTest::mouseRelease(F().EditGrid, Qt::RightButton, {}, At(0, 0));
  F().ListBox1->setCurrentRow(0);
  F().PageControl1->setCurrentWidget(F().Tab1);
  F().Execute(F().AUndo);  // the drag
  F().Execute(F().AUndo);  // the slider
  EXPECT_TRUE(Doc() == loaded && !F().AUndo->isEnabled());
  EXPECT_EQ(std::tuple(CurFun, F().ListBox1->currentRow(), SelCol, SelElement),
            std::tuple(uint8_t{1}, 1, uint8_t{1}, uint8_t{1}));
  EXPECT_TRUE(F().PageControl1->currentWidget() == F().Tab2 &&
              F().PageControl2->currentWidget() == F().TabSheet2);
  F().Execute(F().ARedo);
  EXPECT_EQ(FunList[1].Frames[1].Cells[0].R, 15);
  // An edit made on the "Slot operations" page goes back to that page and its element.
  Click(F().SlotGrid, 0, 2);
  F().Button9->click();  // element 3 in every frame
  F().ListBox1->setCurrentRow(0);
  F().Execute(F().AUndo);
  EXPECT_EQ(std::tuple(CurFun, SelElement, F().PageControl2->currentWidget()),
            std::tuple(uint8_t{1}, uint8_t{3}, static_cast<QWidget*>(F().TabSheet1)));
  F().ListBox1->setCurrentRow(0);
  F().Execute(F().ARedo);  // the element has a colour in the selected frame now: still its page
  EXPECT_EQ(std::tuple(CurFun, SelElement, F().PageControl2->currentWidget()),
            std::tuple(uint8_t{1}, uint8_t{3}, static_cast<QWidget*>(F().TabSheet1)));
  // Loading clears the history.
  F().Button10->click();
  dialogs_.OpenAnswers = {WriteDocument("other.pat", {Normal(1, 0, true, {Frame(100, {})})})};
  F().Execute(F().AOpenFile);
  EXPECT_EQ(std::tuple(FunList.size(), F().AUndo->isEnabled(), F().ADuplicateFrame->isEnabled()),
            std::tuple(1u, false, true));
}

TEST_F(UndoTest, GridKeysAndMenusActOnTheSelectedCellAndColumn) {
  OpenDocument({Lights()});
  SelectCell(0, 1);  // element 2 in frame 1
  Key(F().EditGrid, Qt::Key_Space);
  Key(F().EditGrid, Qt::Key_Delete);
  EXPECT_EQ(AllCells(Cur())[0], "1:5,5,5");
  Key(F().EditGrid, Qt::Key_Insert);
  Key(F().EditGrid, Qt::Key_D, Qt::ControlModifier);  // duplicate frame 1
  Key(F().EditGrid, Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(AllCells(Cur()),
            (std::vector<std::string>{"1:5,5,5 2:0,0,0", "1:0,0,0", "1:5,5,5 2:0,0,0", ""}));
  EXPECT_EQ(std::tuple(F().EditGrid->Col(), F().SpinEdit5->value(), F().EditGrid->ColCount()),
            std::tuple(2, 4, 4));
  // Copy on the frame row, paste on the last frame, from its menu; then insert before it.
  F().FrameGrid->MoveCurrent(1, 1);
  Key(F().FrameGrid, Qt::Key_C, Qt::ControlModifier);
  F().FrameGrid->MoveCurrent(3, 1);
  Key(F().FrameGrid, Qt::Key_V, Qt::ControlModifier);
  Key(F().FrameGrid, Qt::Key_Insert, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(AllCells(Cur()).back(), "1:0,0,0");
  EXPECT_EQ(std::tuple(Cur().Frames[3].Duration, Cur().Frames[4].Duration), std::tuple(200, 200));
  EXPECT_EQ(F().AUndo->text(), "&Undo Insert frame before");
  Key(F().FrameGrid, Qt::Key_Insert, Qt::ControlModifier);  // the new frame after it is selected
  EXPECT_EQ(std::tuple(F().FrameGrid->Col(), AllCells(Cur())[4]), std::tuple(4, std::string()));
  F().FrameGrid->MoveCurrent(5, 1);
  Key(F().FrameGrid, Qt::Key_Delete, Qt::ControlModifier);  // the last: the one before it is
  EXPECT_EQ(std::tuple(F().FrameGrid->Col(), Cur().Frames.size()), std::tuple(4, 5u));
  // The frame row's menu selects its column; the colour grid's comes from the keyboard only.
  int shown = 0;
  const auto menu = [&](TGrid* grid, QContextMenuEvent::Reason reason, int col) {
    shown = 0;
    QTimer::singleShot(0, [&] {
      if (QWidget* m = QApplication::activePopupWidget())
        shown = int(m->actions().size()), m->close();
    });
    const QPoint at = grid->CellRect(col, grid->RowCount() - 1).center();
    QContextMenuEvent event(reason, at, grid->mapToGlobal(at));
    QApplication::sendEvent(grid, &event);
    QCoreApplication::processEvents();
  };
  menu(F().FrameGrid, QContextMenuEvent::Mouse, 2);
  EXPECT_EQ(std::tuple(shown, F().FrameGrid->Col()), std::tuple(8, 2));
  menu(F().EditGrid, QContextMenuEvent::Mouse, 1);
  EXPECT_EQ(shown, 0) << "the right button paints there";
  menu(F().EditGrid, QContextMenuEvent::Keyboard, 1);
  EXPECT_EQ(shown, 8);
}

TEST_F(UndoTest, ChangedDocumentAsksBeforeItIsReplacedOrClosed) {
  const QString doc = WriteDocument("doc.pat", {Lights()});
  const std::vector<uint8_t> original = ReadBytes(doc);
  // A new run on the document with the option as given, and one edit made.
  const auto run = [&](bool ask) {
    TearDown();
    SetUp();
    Start({doc});
    F().show();
    F().CheckBox9->setChecked(ask);
    F().Button10->click();
    dialogs_.Asked = 0;
  };
  run(false);
  F().close();
  EXPECT_TRUE(F().isHidden() && dialogs_.Asked == 0) << "the option is off";
  run(true);
  F().Execute(F().AUndo);
  F().Execute(F().AOpenFile);  // nothing changed: no question, only the cancelled file dialog
  EXPECT_EQ(dialogs_.Asked, 0);
  run(true);
  dialogs_.Answers = {IDialogs::Cancel, IDialogs::Cancel, IDialogs::Discard};
  dialogs_.OpenAnswers = {TempPath("other.pat")};
  F().Execute(F().AOpenFile);
  EXPECT_EQ(dialogs_.OpenAnswers.size(), 1u) << "cancelled: no file dialog";
  F().close();
  EXPECT_FALSE(F().isHidden());
  F().close();
  EXPECT_TRUE(F().isHidden() && dialogs_.Asked == 3 && ReadBytes(doc) == original);
  run(true);
  dialogs_.Answers = {IDialogs::Save};
  F().close();
  EXPECT_TRUE(F().isHidden() && dialogs_.Asked == 1 &&
              ReadBytes(doc) == ReadBytes(WriteDocument("two.pat", {Lights(), Lights()})));
}
