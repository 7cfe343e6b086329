// What a completed insertion does to the stand-in spreadsheet: its calls in
// order and the query table's seven settings, as the tests expect them.
#pragma once

#include <string>
#include <vector>

#include "tests/spreadsheet_standin/standin.h"

namespace varnoke::spreadsheet_standin {

using Calls = std::vector<std::string>;

inline const Calls kBeforeDialog = {"Range.Address", "Range.Application", "Application.LanguageSettings",
                                    "LanguageSettings.LanguageID"};

// Every call of a completed insertion, in order.
inline Calls Sequence(bool newSheet) {
    Calls calls = kBeforeDialog;
    if (newSheet) {
        calls.insert(calls.end(), {"Application.Worksheets", "Sheets.Add"});
    } else {
        calls.push_back("Application.ActiveSheet");
    }
    calls.insert(calls.end(), {"Worksheet.Cells", "Cells._Default", "Worksheet.QueryTables", "QueryTables.Add",
                               "QueryTable.FieldNames", "QueryTable.RowNumbers", "QueryTable.FillAdjacentFormulas",
                               "QueryTable.PreserveFormatting", "QueryTable.RefreshOnFileOpen",
                               "QueryTable.BackgroundQuery", "QueryTable.RefreshStyle", "QueryTable.Refresh"});
    return calls;
}

inline const std::vector<SettingRecord> kSettings = {{1584, VT_BOOL, -1}, {1585, VT_BOOL, 0}, {1586, VT_BOOL, 0},
                                                     {1500, VT_BOOL, 0},  {1479, VT_BOOL, 0}, {1427, VT_BOOL, -1},
                                                     {1590, VT_I4, 1}};

}  // namespace varnoke::spreadsheet_standin
