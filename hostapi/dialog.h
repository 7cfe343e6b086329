// The dialog toolkit's side of the Insert-at dialog: a modal window with a
// label, two option buttons, a text box, two push buttons and message boxes.
// The form's logic (insertion/insert_at_dialog.h) reacts to its events.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace varnoke::hostapi {

enum class InsertAtControl { Form, Label1, optCell, optNewSheet, OKButton, CancelButton };

// What the view reports while it is shown.
class IInsertAtEvents {
public:
    virtual ~IInsertAtEvents() = default;
    virtual void OKButton_Click() = 0;
    virtual void CancelButton_Click() = 0;
    // The window's own close command; the close always goes ahead.
    virtual void Form_Unload() = 0;
};

class IInsertAtView {
public:
    virtual ~IInsertAtView() = default;
    // "&" marks the next letter as the control's access key.
    virtual void SetCaption(InsertAtControl control, std::u16string_view caption) = 0;
    virtual void SetCellText(std::u16string_view text) = 0;
    virtual std::u16string CellText() = 0;
    virtual bool CellOptionSelected() = 0;
    // Blocks, dispatching the thread's messages, until Hide() or the close
    // command ends it.
    virtual void ShowModal(IInsertAtEvents& events) = 0;
    virtual void Hide() = 0;
    // OK button only, no icon; returns when the user closes it.
    virtual void MessageBox(std::u16string_view text, std::u16string_view title) = 0;
};

class IInsertAtViewFactory {
public:
    virtual ~IInsertAtViewFactory() = default;
    // A fresh dialog in its design-time state: optCell selected, focus on OK.
    virtual std::unique_ptr<IInsertAtView> NewView() = 0;
};

}  // namespace varnoke::hostapi
