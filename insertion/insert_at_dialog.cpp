#include "insertion/insert_at_dialog.h"

#include <new>

#include "core/thread_records.h"
#include "insertion/cell_reference.h"

namespace varnoke {
namespace {

struct InsertAtAnswer {
    int32_t bDialogCancelled = 0;
    int16_t bStartAtCell = 0;
    std::u16string strInsertRow;
    std::u16string strInsertColumn;
    std::u16string strMsgTitle;
    std::u16string strInvalidRefMsg;
};

InsertAtAnswer& Answer() { return ThisThread<InsertAtAnswer>(); }

}  // namespace

int32_t& bDialogCancelled() { return Answer().bDialogCancelled; }
int16_t& bStartAtCell() { return Answer().bStartAtCell; }
std::u16string& strInsertRow() { return Answer().strInsertRow; }
std::u16string& strInsertColumn() { return Answer().strInsertColumn; }
std::u16string& strMsgTitle() { return Answer().strMsgTitle; }
std::u16string& strInvalidRefMsg() { return Answer().strInvalidRefMsg; }

void frmInsertAt::OKButton_Click() {
    // Any failure shows its description and keeps the dialog open; what was
    // written before it stays written.
    Status failure = Status::ok;
    try {
        if (view_->CellOptionSelected()) {
            bStartAtCell() = -1;  // before validation: it holds after a rejection too
            std::optional<CellReference> accepted;
            failure = ValidateCellReference(view_->CellText(), accepted);
            if (failure == Status::ok && !accepted) {
                view_->MessageBox(strInvalidRefMsg(), strMsgTitle());
                return;
            }
            if (failure == Status::ok) {
                strInsertRow() = accepted->row;
                strInsertColumn() = accepted->column;
            }
        } else {
            bStartAtCell() = 0;  // the text box is neither read nor checked
        }
    } catch (const std::bad_alloc&) {
        failure = Status::out_of_memory;
    }
    if (failure != Status::ok) {
        view_->MessageBox(DescribeFailure(failure), strMsgTitle());
        return;
    }
    bDialogCancelled() = 0;
    view_->Hide();
}

void frmInsertAt::CancelButton_Click() {
    bDialogCancelled() = -1;
    view_->Hide();
}

void frmInsertAt::Form_Unload() { bDialogCancelled() = -1; }

void frmInsertAt::Form_Terminate() { bDialogCancelled() = -1; }

}  // namespace varnoke
