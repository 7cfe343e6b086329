#include "insertion/web_query.h"

#include <new>

#include "core/decimal.h"
#include "core/strings.h"
#include "core/web_address.h"
#include "insertion/cell_reference.h"
#include "insertion/insert_at_dialog.h"

namespace varnoke {
namespace {

using hostapi::InsertAtControl;
using hostapi::QueryTableSetting;

// Put one by one, in this order, right after the query table is created.
const std::pair<QueryTableSetting, hostapi::SettingValue> kSettings[] = {
    {QueryTableSetting::FieldNames, true},
    {QueryTableSetting::RowNumbers, false},
    {QueryTableSetting::FillAdjacentFormulas, false},
    {QueryTableSetting::PreserveFormatting, false},
    {QueryTableSetting::RefreshOnFileOpen, false},
    {QueryTableSetting::BackgroundQuery, true},
    {QueryTableSetting::RefreshStyle, int32_t{1}},  // insert and delete cells as the result changes
};

// The cell just below the target, in its first column: B5 gives B6, B5:C7 gives B8.
std::optional<std::u16string> ProposedCell(std::u16string_view address) {
    std::u16string row, column;
    if (GetCellRow(address, row) != Status::ok || GetCellColumn(address, column) != Status::ok) return std::nullopt;
    if (row.empty()) return std::nullopt;  // no row to go below
    // GetCellRow gives at most 65536, so the row below always fits.
    return column + DecimalText(int64_t{*DigitsValue(row)} + 1);
}

void Insert(hostapi::ISpreadsheetHost& host, hostapi::IInsertAtViewFactory& dialogs, std::u16string_view url,
            hostapi::IHostObject* target) {
    // The host fetches whatever follows "URL;": a path or a "file:" address
    // there would read local files or run programs. Checked before the host
    // is asked anything, so the user is never asked about a refused address.
    if (!IsWebAddress(url)) return;
    auto range = host.AsRange(target);
    if (!range) return;
    const auto address = range->Address();
    if (!address) return;
    const auto proposal = ProposedCell(*address);
    if (!proposal) return;
    auto application = range->Application();
    if (!application) return;
    const auto language = application->UserInterfaceLanguage();
    if (!language) return;

    // The host's user-interface language, not any locale of the caption
    // calls, decides the dialog's language.
    const int32_t base = StringBlockForLocale(*language);
    std::u16string texts[8];
    for (int32_t i = 0; i < 8; ++i) {
        auto text = LoadLocalString(base + kDialogTitleOffset + i);
        if (!text) return;
        texts[i] = std::move(*text);
    }
    auto view = dialogs.NewView();
    if (!view) return;
    frmInsertAt dialog(std::move(view));
    const InsertAtControl controls[] = {InsertAtControl::Form,     InsertAtControl::Label1,
                                        InsertAtControl::optCell,  InsertAtControl::optNewSheet,
                                        InsertAtControl::OKButton, InsertAtControl::CancelButton};
    for (int i = 0; i < 6; ++i) dialog.View().SetCaption(controls[i], texts[i]);
    dialog.View().SetCellText(*proposal);
    strInvalidRefMsg() = texts[6];
    strMsgTitle() = texts[7];

    dialog.Show();
    // Read before the instance goes: its destruction cancels.
    if (bDialogCancelled() == -1) return;
    const bool atCell = bStartAtCell() != 0;
    const std::u16string row = strInsertRow(), column = strInsertColumn();

    std::unique_ptr<hostapi::IWorksheet> sheet;
    std::unique_ptr<hostapi::IRange> destination;
    if (atCell) {
        sheet = application->ActiveSheet();
        if (!sheet) return;
        destination = sheet->Cell(row, column);
    } else {
        sheet = application->AddWorksheet();
        if (!sheet) return;
        destination = sheet->Cell(int16_t{1}, int16_t{1});
    }
    if (!destination) return;

    auto queryTable = sheet->AddQueryTable(u"URL;" + std::u16string(url), *destination);
    if (!queryTable) return;
    for (const auto& [setting, value] : kSettings)
        if (!queryTable->Put(setting, value)) return;
    queryTable->Refresh();
}

}  // namespace

void WebQueryInsertion::InsertWebQuery(std::u16string_view url, hostapi::IHostObject* target) {
    try {
        Insert(host_, dialogs_, url, target);
    } catch (const std::bad_alloc&) {
        // Nothing to report to: the verb's caller is told nothing either way.
    }
}

}  // namespace varnoke
