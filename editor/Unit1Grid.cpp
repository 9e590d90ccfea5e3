// Colour grid, selection, profiles and element names.
// PLACEHOLDER: filled in by its own change.
#include "Unit1.h"

namespace Unit1 {

void TMForm::AUpdateFunlightExecute() {}
void TMForm::AUpdateSlotsExecute() {}
void TMForm::EditGridDrawCell(int, int, const QRect&, TGridDrawState) {}
void TMForm::EditGridSelectCell(int, int, bool&) {}
void TMForm::SlotGridSelectCell(int, int, bool&) {}
void TMForm::EditGridTopLeftChanged() {}
void TMForm::ASearchProfilesExecute() {}
void TMForm::ALoadProfileExecute() {}

}  // namespace Unit1
