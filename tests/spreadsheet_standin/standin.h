// A stand-in for the spreadsheet host's object model, reached only the way
// the host's own is: through IDispatch with fixed interface identities and
// dispatch IDs. Each object answers QueryInterface for IUnknown, IDispatch
// and its own interface; each Invoke checks the member, the flags, the
// argument count, every argument's type and the named-argument IDs and fails
// with the host's error codes on any deviation, so a test passing against it
// shows the caller used the object model exactly as intended.
//
// The conventions it holds callers to, where the host would allow several:
// Sheets.Add takes no arguments at all and locale 1033; QueryTables.Add
// takes Destination as VT_DISPATCH | VT_BYREF.
//
// The workbook records sheets, query tables and every call; faults can be
// injected per operation; it counts live objects so tests can check that
// every reference handed out was released. A released object is kept,
// inert, until the workbook goes: any later use of it, such as a release
// too many, is counted as a misuse instead of corrupting memory.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "adapters/win32/com/com_ptr.h"

namespace varnoke::spreadsheet_standin {

// The host's identities, written out here independently of the adapter so
// that a wrong constant on either side shows up as a failed test.
constexpr IID HostIid(unsigned long first) {
    return IID{first, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}
inline constexpr IID kRangeIid = HostIid(0x00020846);
inline constexpr IID kApplicationIid = HostIid(0x000208D5);
inline constexpr IID kLanguageSettingsIid = HostIid(0x000C0353);
inline constexpr IID kSheetsIid = HostIid(0x000208D7);
inline constexpr IID kWorksheetIid = HostIid(0x000208D8);
inline constexpr IID kQueryTableIid = HostIid(0x00024428);
inline constexpr IID kQueryTablesIid = HostIid(0x00024429);

// Cells is the range of all a sheet's cells (its default member picks one);
// Foreign is an automation object of some other kind.
enum class Kind { Range, Cells, Application, LanguageSettings, Sheets, Worksheet, QueryTables, QueryTable, Foreign };
const char* KindName(Kind kind);

// How an injected fault makes an operation misbehave. Apart from Fails, the
// operation is carried out and only its result is spoiled.
enum class Fault {
    Fails,       // DISP_E_EXCEPTION with exception information, nothing done
    Empty,       // the result is VT_EMPTY
    NullObject,  // the result is VT_DISPATCH holding nullptr
    Text,        // the result is the VT_BSTR "#N/A"
    Uncastable,  // the object returned refuses its own interface
};

// The host's own error for a refused operation, inside DISP_E_EXCEPTION.
inline constexpr HRESULT kHostError = static_cast<HRESULT>(0x800A03EC);

// "VT_BSTR", "VT_DISPATCH|VT_BYREF", ...
std::string TypeName(VARTYPE type);

struct Argument {
    std::optional<DISPID> name;  // empty for a positional argument
    VARTYPE type = VT_EMPTY;
    std::string value;  // described
};

struct CallRecord {
    std::string operation;  // "Object.Member"; an unknown member is "Object.#dispid"
    DISPID member = 0;
    WORD flags = 0;
    LCID locale = 0;
    std::vector<Argument> arguments;  // positional in call order, then named in rgvarg order
    HRESULT result = S_OK;
    std::string Describe() const;
};

// A cell as the host was asked for it.
struct CellRecord {
    std::u16string sheet;
    VARTYPE rowType = VT_EMPTY, columnType = VT_EMPTY;
    std::u16string row, column;               // as received; numbers written in decimal
    int32_t rowNumber = 0, columnNumber = 0;  // as the host resolved them
};

struct SettingRecord {
    DISPID member;
    VARTYPE type;
    int32_t value;  // boolVal or lVal as received
    friend bool operator==(const SettingRecord&, const SettingRecord&) = default;
};

struct QueryTableRecord {
    std::u16string sheet;
    std::u16string connection;
    CellRecord destination;
    std::vector<SettingRecord> settings;  // in the order put
    int refreshes = 0;
};

class Object;

class Workbook {
public:
    Workbook();
    ~Workbook();
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // Configuration; sheets are told apart by name.
    std::vector<std::u16string> sheets{u"Sheet1"};
    std::u16string activeSheet = u"Sheet1";
    // LanguageID's answer by its selector (2 is the user interface's).
    std::map<int32_t, int32_t> languages{{1, 1031}, {2, 1033}, {3, 1036}, {4, 1040}, {5, 1049}};
    VARTYPE languageType = VT_I4;         // VT_I4, VT_I2, VT_R8 or VT_BSTR
    std::map<std::string, Fault> faults;  // by operation ("Sheets.Add")
    // QueryTables.Add leaves another object in the Destination variable, as
    // a callee may with an argument passed by reference.
    bool replacesDestination = false;

    // What was done.
    std::vector<QueryTableRecord> queryTables;
    std::vector<CallRecord> calls;
    int sheetsAdded = 0;

    std::vector<std::string> Operations() const;
    std::string Log() const;  // every call, one a line
    long Live() const { return live_; }
    long Created() const { return created_; }
    long Misuses() const { return misuses_; }  // calls on objects already released

    // New references. A target is a cell or block of cells ("B5", "B5:C7")
    // on the named sheet (the active one by default).
    com::com_ptr<IDispatch> NewTarget(std::u16string_view address, std::u16string_view sheet = {});
    // An object of each kind for tests of the stand-in itself, on the active
    // sheet; a QueryTable comes with a fresh record.
    com::com_ptr<IDispatch> New(Kind kind);

private:
    friend class Object;
    long live_ = 0, created_ = 0, misuses_ = 0;
    std::map<const IUnknown*, const CellRecord*> ranges_;
    std::vector<std::unique_ptr<Object>> released_;
};

}  // namespace varnoke::spreadsheet_standin
