#include "insertion/insert_at_dialog.h"

#include <new>

#include "insertion/cell_reference.h"

namespace varnoke {

thread_local int32_t bDialogCancelled = 0;
thread_local int16_t bStartAtCell = 0;
thread_local std::u16string strInsertRow;
thread_local std::u16string strInsertColumn;
thread_local std::u16string strMsgTitle;
thread_local std::u16string strInvalidRefMsg;

void frmInsertAt::OKButton_Click() {
    // Any failure shows its description and keeps the dialog open; what was
    // written before it stays written.
    Status failure = Status::ok;
    try {
        if (view_->CellOptionSelected()) {
            bStartAtCell = -1;  // before validation: it holds after a rejection too
            std::optional<CellReference> accepted;
            failure = ValidateCellReference(view_->CellText(), accepted);
            if (failure == Status::ok && !accepted) {
                view_->MessageBox(strInvalidRefMsg, strMsgTitle);
                return;
            }
            if (failure == Status::ok) {
                strInsertRow = accepted->row;
                strInsertColumn = accepted->column;
            }
        } else {
            bStartAtCell = 0;  // the text box is neither read nor checked
        }
    } catch (const std::bad_alloc&) {
        failure = Status::out_of_memory;
    }
    if (failure != Status::ok) {
        view_->MessageBox(DescribeFailure(failure), strMsgTitle);
        return;
    }
    bDialogCancelled = 0;
    view_->Hide();
}

void frmInsertAt::CancelButton_Click() {
    bDialogCancelled = -1;
    view_->Hide();
}

void frmInsertAt::Form_Unload() { bDialogCancelled = -1; }

void frmInsertAt::Form_Terminate() { bDialogCancelled = -1; }

}  // namespace varnoke
