// The Insert-at dialog as a real Win32 modal dialog, built from an in-memory
// template: no resource script, so the DLL's resources stay as they are.
#pragma once

#include <memory>

#include "hostapi/dialog.h"

namespace varnoke::adapters::win32 {

// The children's control identifiers. Neither button is IDOK or IDCANCEL:
// the dialog manager turns Enter and Esc into those, and the form has no
// default or cancel button.
enum InsertAtControlId : int {
    kOKButtonId = 1001,
    kCancelButtonId = 1002,
    kLabel1Id = 1003,
    kOptCellId = 1004,
    kOptNewSheetId = 1005,
    kCellRangeId = 1006,
};

// Views run their dialog on the thread that calls ShowModal, with no owner
// window.
class Win32InsertAtViewFactory final : public hostapi::IInsertAtViewFactory {
public:
    std::unique_ptr<hostapi::IInsertAtView> NewView() override;
};

}  // namespace varnoke::adapters::win32
