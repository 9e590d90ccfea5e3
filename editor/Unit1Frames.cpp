// Frame operations.
// PLACEHOLDER: filled in by its own change.
#include "Unit1.h"

namespace Unit1 {

void TMForm::FrameGridSetEditText(int, int, const QString&) {}
void TMForm::FrameGridSelectCell(int, int, bool&) {}
void TMForm::AAddNewFrameExecute() {}
void TMForm::ADelFrameExecute() {}
void TMForm::AAddAllFramesExecute() {}
void TMForm::ADelAllFramesExecute() {}
void TMForm::AClearAllFramesExecute() {}
void TMForm::ACopyAllFramesExecute() {}
void TMForm::ComboBox3Change() {}
void TMForm::SpinEdit2Change() {}
void TMForm::SpinEdit3Change() {}
void TMForm::SpinEdit4Change() {}

}  // namespace Unit1
