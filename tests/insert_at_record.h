// Known values in the Insert-at dialog's per-thread answer, set before each
// case so that a case sees what the dialog wrote, not what an earlier left;
// and the settings a web query gets, in order.
#pragma once

#include <utility>
#include <vector>

#include "hostapi/spreadsheet.h"
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

// Written out here, not taken from the insertion's own table, so that a
// change there shows.
inline const std::vector<std::pair<hostapi::QueryTableSetting, hostapi::SettingValue>> kQuerySettings = {
    {hostapi::QueryTableSetting::FieldNames, true},
    {hostapi::QueryTableSetting::RowNumbers, false},
    {hostapi::QueryTableSetting::FillAdjacentFormulas, false},
    {hostapi::QueryTableSetting::PreserveFormatting, false},
    {hostapi::QueryTableSetting::RefreshOnFileOpen, false},
    {hostapi::QueryTableSetting::BackgroundQuery, true},
    {hostapi::QueryTableSetting::RefreshStyle, int32_t{1}}};

}  // namespace varnoke::test
