// The spreadsheet host's object model, as far as the web query of verb 4
// uses it. Every call may fail, as a host's may: an empty result (nullptr,
// nothing, false) is a failure and ends the insertion.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "hostapi/smarttag.h"

namespace varnoke::hostapi {

class ISpreadsheetApplication;
class IWorksheet;

class IRange {
public:
    virtual ~IRange() = default;
    // The reference text without "$" markers (B5, or B5:C7 for a block).
    virtual std::optional<std::u16string> Address() = 0;
    virtual std::unique_ptr<ISpreadsheetApplication> Application() = 0;
};

class ISpreadsheetApplication {
public:
    virtual ~ISpreadsheetApplication() = default;
    // The language of the host's user interface (a Windows language identifier).
    virtual std::optional<int32_t> UserInterfaceLanguage() = 0;
    virtual std::unique_ptr<IWorksheet> ActiveSheet() = 0;
    // A new worksheet added to the workbook.
    virtual std::unique_ptr<IWorksheet> AddWorksheet() = 0;
};

// The settings the web query puts on its query table, in the order it puts them.
enum class QueryTableSetting {
    FieldNames,
    RowNumbers,
    FillAdjacentFormulas,
    PreserveFormatting,
    RefreshOnFileOpen,
    BackgroundQuery,
    RefreshStyle,
};
using SettingValue = std::variant<bool, int32_t>;

class IQueryTable {
public:
    virtual ~IQueryTable() = default;
    virtual bool Put(QueryTableSetting setting, SettingValue value) = 0;
    virtual bool Refresh() = 0;
};

class IWorksheet {
public:
    virtual ~IWorksheet() = default;
    // The cell at a typed row and column, both passed on as texts exactly as
    // typed (the host interprets "007" and "c").
    virtual std::unique_ptr<IRange> Cell(std::u16string_view row, std::u16string_view column) = 0;
    // The cell at numeric coordinates.
    virtual std::unique_ptr<IRange> Cell(int16_t row, int16_t column) = 0;
    virtual std::unique_ptr<IQueryTable> AddQueryTable(std::u16string_view connection, IRange& destination) = 0;
};

// Turns the object a tag stands at into a cell range; nullptr when it is
// not one (a host other than the spreadsheet).
class ISpreadsheetHost {
public:
    virtual ~ISpreadsheetHost() = default;
    virtual std::unique_ptr<IRange> AsRange(IHostObject* target) = 0;
};

}  // namespace varnoke::hostapi
