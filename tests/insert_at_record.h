// Known values in the Insert-at dialog's per-thread answer, set before each
// case so that a case sees what the dialog wrote, not what an earlier left.
#pragma once

#include "insertion/insert_at_dialog.h"

namespace varnoke::test {

inline void ResetInsertAtRecord() {
    bDialogCancelled() = 7;
    bStartAtCell() = 7;
    strInsertRow() = u"old-row";
    strInsertColumn() = u"old-column";
    strMsgTitle() = u"Title";
    strInvalidRefMsg() = u"Invalid!";
}

}  // namespace varnoke::test
