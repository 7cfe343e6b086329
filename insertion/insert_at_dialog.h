// frmInsertAt: where the web query goes, asked in a small modal dialog.
//
// The answer is left in module-level variables with one copy per thread (a
// per-thread record, core/thread_records.h), which keep their values from
// one use of the dialog to the next. Every way
// out of the dialog writes bDialogCancelled: OK 0; Cancel, the close command
// and the instance's destruction -1.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "hostapi/dialog.h"

namespace varnoke {

// The calling thread's copies.
int32_t& bDialogCancelled();  // -1: no accepted answer
int16_t& bStartAtCell();      // -1 (true): at the typed cell; 0: on a new sheet
std::u16string& strInsertRow();
std::u16string& strInsertColumn();
std::u16string& strMsgTitle();       // title of the dialog's message boxes
std::u16string& strInvalidRefMsg();  // text of the invalid-reference message

class frmInsertAt final : public hostapi::IInsertAtEvents {
public:
    explicit frmInsertAt(std::unique_ptr<hostapi::IInsertAtView> view) : view_(std::move(view)) {}
    // Terminate: the instance is gone, so there is no accepted answer.
    ~frmInsertAt() override { Form_Terminate(); }

    hostapi::IInsertAtView& View() { return *view_; }
    void Show() { view_->ShowModal(*this); }

    void OKButton_Click() override;
    void CancelButton_Click() override;
    void Form_Unload() override;
    void Form_Terminate();

private:
    std::unique_ptr<hostapi::IInsertAtView> view_;
};

}  // namespace varnoke
