// A stand-in for the spreadsheet's object model and the Insert-at dialog's
// window, for the portable tests of the web query: the workbook records what
// was done to it, the dialog plays a script of user actions.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "hostapi/dialog.h"
#include "hostapi/spreadsheet.h"

namespace varnoke::standins {

struct QueryTableRecord {
    std::u16string sheet;
    std::u16string connection;
    std::u16string destination;  // "row,column" as the host was given them
    std::vector<std::pair<hostapi::QueryTableSetting, hostapi::SettingValue>> settings;
    int refreshes = 0;
};

struct Workbook {
    std::vector<std::u16string> sheets{u"Sheet1"};
    std::u16string activeSheet = u"Sheet1";
    std::vector<QueryTableRecord> queryTables;
    std::optional<int32_t> language = 1033;
    std::u16string targetAddress = u"B5";
    // Failure injection, by operation name ("Address", "Application",
    // "Language", "ActiveSheet", "AddWorksheet", "Cell", "AddQueryTable",
    // "Put", "Refresh").
    std::map<std::string, bool> fail;
    std::vector<std::string> calls;

    bool Call(const std::string& name) {
        calls.push_back(name);
        return !fail[name];
    }
};

class StandInRange final : public hostapi::IRange {
public:
    StandInRange(Workbook& book, std::u16string where) : book_(book), where_(std::move(where)) {}
    std::optional<std::u16string> Address() override;
    std::unique_ptr<hostapi::ISpreadsheetApplication> Application() override;
    const std::u16string& Where() const { return where_; }

private:
    Workbook& book_;
    std::u16string where_;
};

class StandInQueryTable final : public hostapi::IQueryTable {
public:
    StandInQueryTable(Workbook& book, std::size_t index) : book_(book), index_(index) {}
    bool Put(hostapi::QueryTableSetting setting, hostapi::SettingValue value) override {
        if (!book_.Call("Put")) return false;
        book_.queryTables[index_].settings.emplace_back(setting, value);
        return true;
    }
    bool Refresh() override {
        if (!book_.Call("Refresh")) return false;
        ++book_.queryTables[index_].refreshes;
        return true;
    }

private:
    Workbook& book_;
    std::size_t index_;
};

class StandInSheet final : public hostapi::IWorksheet {
public:
    StandInSheet(Workbook& book, std::u16string name) : book_(book), name_(std::move(name)) {}
    std::unique_ptr<hostapi::IRange> Cell(std::u16string_view row, std::u16string_view column) override {
        // Like the real host: row "0" is no cell.
        if (!book_.Call("Cell") || row == u"0") return nullptr;
        return std::make_unique<StandInRange>(book_, std::u16string(row) + u"," + std::u16string(column));
    }
    std::unique_ptr<hostapi::IRange> Cell(int16_t row, int16_t column) override {
        if (!book_.Call("Cell")) return nullptr;
        return std::make_unique<StandInRange>(book_, std::u16string(1, static_cast<char16_t>(u'0' + row)) + u"," +
                                                         std::u16string(1, static_cast<char16_t>(u'0' + column)));
    }
    std::unique_ptr<hostapi::IQueryTable> AddQueryTable(std::u16string_view connection,
                                                        hostapi::IRange& destination) override {
        if (!book_.Call("AddQueryTable")) return nullptr;
        book_.queryTables.push_back(
            {name_, std::u16string(connection), static_cast<StandInRange&>(destination).Where(), {}, 0});
        return std::make_unique<StandInQueryTable>(book_, book_.queryTables.size() - 1);
    }

private:
    Workbook& book_;
    std::u16string name_;
};

class StandInApplication final : public hostapi::ISpreadsheetApplication {
public:
    explicit StandInApplication(Workbook& book) : book_(book) {}
    std::optional<int32_t> UserInterfaceLanguage() override {
        if (!book_.Call("Language")) return std::nullopt;
        return book_.language;
    }
    std::unique_ptr<hostapi::IWorksheet> ActiveSheet() override {
        if (!book_.Call("ActiveSheet")) return nullptr;
        return std::make_unique<StandInSheet>(book_, book_.activeSheet);
    }
    std::unique_ptr<hostapi::IWorksheet> AddWorksheet() override {
        if (!book_.Call("AddWorksheet")) return nullptr;
        book_.sheets.push_back(u"Sheet" + std::u16string(1, static_cast<char16_t>(u'0' + book_.sheets.size() + 1)));
        return std::make_unique<StandInSheet>(book_, book_.sheets.back());
    }

private:
    Workbook& book_;
};

inline std::optional<std::u16string> StandInRange::Address() {
    if (!book_.Call("Address")) return std::nullopt;
    return book_.targetAddress;
}

inline std::unique_ptr<hostapi::ISpreadsheetApplication> StandInRange::Application() {
    if (!book_.Call("Application")) return nullptr;
    return std::make_unique<StandInApplication>(book_);
}

// The target is a range exactly when it is this host's object.
class StandInHost final : public hostapi::ISpreadsheetHost {
public:
    struct Target : hostapi::IHostObject {};
    explicit StandInHost(Workbook& book) : book_(book) {}
    std::unique_ptr<hostapi::IRange> AsRange(hostapi::IHostObject* target) override {
        if (target != &cellTarget) return nullptr;
        return std::make_unique<StandInRange>(book_, u"target");
    }
    Target cellTarget;

private:
    Workbook& book_;
};

// The dialog's window: records what it was given and, while shown, plays
// the user's actions against the form.
class ScriptedDialog final : public hostapi::IInsertAtView {
public:
    struct Record {
        std::map<hostapi::InsertAtControl, std::u16string> captions;
        std::u16string cellText;
        std::vector<std::pair<std::u16string, std::u16string>> messageBoxes;  // text, title
        int shows = 0;
    };
    using Step = std::function<void(ScriptedDialog&, hostapi::IInsertAtEvents&)>;

    ScriptedDialog(Record& record, std::vector<Step> script) : record_(record), script_(std::move(script)) {}

    void SetCaption(hostapi::InsertAtControl control, std::u16string_view caption) override {
        record_.captions[control] = caption;
    }
    void SetCellText(std::u16string_view text) override { record_.cellText = text; }
    std::u16string CellText() override { return record_.cellText; }
    bool CellOptionSelected() override { return cellOption; }
    void ShowModal(hostapi::IInsertAtEvents& events) override {
        ++record_.shows;
        shown_ = true;
        for (const Step& step : script_) {
            if (!shown_) break;
            step(*this, events);
        }
    }
    void Hide() override { shown_ = false; }
    void MessageBox(std::u16string_view text, std::u16string_view title) override {
        record_.messageBoxes.emplace_back(text, title);
    }

    bool cellOption = true;  // the design-time state
    bool Shown() const { return shown_; }
    Record& record() { return record_; }

private:
    Record& record_;
    std::vector<Step> script_;
    bool shown_ = false;
};

// The user's actions, for a dialog's script.
namespace steps {
inline ScriptedDialog::Step Type(std::u16string text) {
    return [text](ScriptedDialog& d, hostapi::IInsertAtEvents&) { d.SetCellText(text); };
}
inline ScriptedDialog::Step ChooseNewSheet() {
    return [](ScriptedDialog& d, hostapi::IInsertAtEvents&) { d.cellOption = false; };
}
inline ScriptedDialog::Step ChooseCell() {
    return [](ScriptedDialog& d, hostapi::IInsertAtEvents&) { d.cellOption = true; };
}
inline ScriptedDialog::Step ClickOK() {
    return [](ScriptedDialog&, hostapi::IInsertAtEvents& e) { e.OKButton_Click(); };
}
inline ScriptedDialog::Step ClickCancel() {
    return [](ScriptedDialog&, hostapi::IInsertAtEvents& e) { e.CancelButton_Click(); };
}
inline ScriptedDialog::Step CloseWindow() {
    return [](ScriptedDialog& d, hostapi::IInsertAtEvents& e) {
        e.Form_Unload();
        d.Hide();
    };
}
}  // namespace steps

class ScriptedDialogs final : public hostapi::IInsertAtViewFactory {
public:
    ScriptedDialog::Record record;
    std::vector<ScriptedDialog::Step> script;
    std::unique_ptr<hostapi::IInsertAtView> NewView() override {
        return std::make_unique<ScriptedDialog>(record, script);
    }
};

}  // namespace varnoke::standins
