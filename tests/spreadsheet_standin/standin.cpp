#include "tests/spreadsheet_standin/standin.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>

#include "core/unicode.h"
#include "tests/win32/harness.h"

namespace varnoke::spreadsheet_standin {

using com::com_ptr;
using wintest::Hex;

namespace {

constexpr int32_t kLastRow = 65536;
constexpr int32_t kLastColumn = 256;

std::string DescribeValue(const VARIANTARG& v) {
    switch (v.vt) {
        case VT_I2: return std::to_string(v.iVal);
        case VT_I4: return std::to_string(v.lVal);
        case VT_R8: return std::to_string(v.dblVal);
        case VT_BOOL: return std::to_string(v.boolVal);
        case VT_ERROR: return Hex(v.scode);
        case VT_BSTR: return "\"" + Utf16ToUtf8(com::View(v.bstrVal)) + "\"";
        case VT_DISPATCH: return v.pdispVal ? "object" : "nothing";
        case VT_DISPATCH | VT_BYREF: return v.ppdispVal && *v.ppdispVal ? "object" : "nothing";
        default: return "";
    }
}

std::u16string Decimal(int32_t value) {
    std::u16string text;
    for (char c : std::to_string(value)) text.push_back(static_cast<char16_t>(c));
    return text;
}

// Digits only, leading zeros allowed; 0 when out of 1..limit or not digits.
int32_t ParseNumber(std::u16string_view text, int32_t limit) {
    if (text.empty()) return 0;
    int64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return 0;
        value = value * 10 + (c - u'0');
        if (value > limit) return 0;
    }
    return static_cast<int32_t>(value);
}

// One or two letters in any case (A..IV), or a column number 1..256.
int32_t ParseColumn(std::u16string_view text) {
    if (!text.empty() && text[0] >= u'0' && text[0] <= u'9') return ParseNumber(text, kLastColumn);
    if (text.empty() || text.size() > 2) return 0;
    int32_t value = 0;
    for (char16_t c : text) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (c < u'A' || c > u'Z') return 0;
        value = value * 26 + (c - u'A' + 1);
    }
    return value <= kLastColumn ? value : 0;
}

std::u16string ColumnLetters(int32_t column) {
    std::u16string letters;
    if (column > 26) letters.push_back(static_cast<char16_t>(u'A' + (column - 1) / 26 - 1));
    letters.push_back(static_cast<char16_t>(u'A' + (column - 1) % 26));
    return letters;
}

// "B5" into row and column numbers; throws for anything else (a test's mistake).
std::pair<int32_t, int32_t> ParseCell(std::u16string_view text) {
    std::size_t letters = 0;
    while (letters < text.size() && !(text[letters] >= u'0' && text[letters] <= u'9')) ++letters;
    const int32_t column = ParseColumn(text.substr(0, letters));
    const int32_t row = ParseNumber(text.substr(letters), kLastRow);
    if (!column || !row) throw std::invalid_argument("stand-in target address");
    return {row, column};
}

HRESULT Raise(EXCEPINFO* exception, const wchar_t* description) {
    if (exception) {
        *exception = EXCEPINFO{};
        exception->bstrSource = SysAllocString(L"Stand-in spreadsheet");
        exception->bstrDescription = SysAllocString(description);
        exception->scode = kHostError;
    }
    return DISP_E_EXCEPTION;
}

void SetObject(VARIANT* result, com_ptr<IDispatch> object) {
    result->vt = VT_DISPATCH;
    result->pdispVal = object.detach();
}

}  // namespace

std::string TypeName(VARTYPE type) {
    std::string name;
    switch (type & VT_TYPEMASK) {
        case VT_EMPTY: name = "VT_EMPTY"; break;
        case VT_NULL: name = "VT_NULL"; break;
        case VT_I2: name = "VT_I2"; break;
        case VT_I4: name = "VT_I4"; break;
        case VT_R8: name = "VT_R8"; break;
        case VT_BSTR: name = "VT_BSTR"; break;
        case VT_DISPATCH: name = "VT_DISPATCH"; break;
        case VT_ERROR: name = "VT_ERROR"; break;
        case VT_BOOL: name = "VT_BOOL"; break;
        case VT_VARIANT: name = "VT_VARIANT"; break;
        case VT_UNKNOWN: name = "VT_UNKNOWN"; break;
        default: name = "VT_" + std::to_string(type & VT_TYPEMASK);
    }
    if (type & VT_BYREF) name += "|VT_BYREF";
    if (type & VT_ARRAY) name += "|VT_ARRAY";
    return name;
}

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Range: return "Range";
        case Kind::Cells: return "Cells";
        case Kind::Application: return "Application";
        case Kind::LanguageSettings: return "LanguageSettings";
        case Kind::Sheets: return "Sheets";
        case Kind::Worksheet: return "Worksheet";
        case Kind::QueryTables: return "QueryTables";
        case Kind::QueryTable: return "QueryTable";
        case Kind::Foreign: return "Foreign";
    }
    return "?";
}

std::string CallRecord::Describe() const {
    std::string text = operation + "(";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const Argument& a = arguments[i];
        if (i) text += ", ";
        if (a.name) text += "[" + (*a.name == DISPID_PROPERTYPUT ? std::string("put") : std::to_string(*a.name)) + "] ";
        text += TypeName(a.type);
        if (!a.value.empty()) text += " " + a.value;
    }
    return text + ") flags " + std::to_string(flags) + " lcid " + std::to_string(locale) + " -> " + Hex(result);
}

std::vector<std::string> Workbook::Operations() const {
    std::vector<std::string> operations;
    for (const CallRecord& call : calls) operations.push_back(call.operation);
    return operations;
}

std::string Workbook::Log() const {
    std::string log;
    for (const CallRecord& call : calls) log += "  " + call.Describe() + "\n";
    return log;
}

// What every stand-in object shares: reference counting that the workbook
// follows, QueryInterface for its one interface, and an Invoke that checks
// each call against the member's signature before the member sees it.
class Object : public IDispatch {
public:
    Object(Workbook& book, Kind kind, const IID* own) : book_(book), kind_(kind), own_(own) {
        ++book_.live_;
        ++book_.created_;
    }
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (Misused()) return E_UNEXPECTED;
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch && (!own_ || refusesCast || iid != *own_)) return E_NOINTERFACE;
        AddRef();
        *out = static_cast<IDispatch*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Misused() ? 0 : ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (Misused()) return 0;
        const ULONG left = --references_;
        if (left == 0) {
            retired_ = true;
            --book_.live_;
            Retire();
            book_.released_.emplace_back(this);  // kept, inert, until the workbook goes
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (Misused()) return E_UNEXPECTED;
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    // Callers are to use the fixed dispatch IDs, never names.
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) final {
        if (Misused()) return E_UNEXPECTED;
        const std::size_t index = book_.calls.size();
        CallRecord& call = book_.calls.emplace_back();
        call.operation = std::string(KindName(kind_)) + ".#" + std::to_string(member);
        call.member = member;
        call.flags = flags;
        call.locale = locale;
        if (params && (params->rgvarg || params->cArgs == 0)) {
            for (UINT k = params->cArgs; k-- > params->cNamedArgs;)
                call.arguments.push_back({std::nullopt, params->rgvarg[k].vt, DescribeValue(params->rgvarg[k])});
            for (UINT i = 0; i < params->cNamedArgs && i < params->cArgs && params->rgdispidNamedArgs; ++i)
                call.arguments.push_back(
                    {params->rgdispidNamedArgs[i], params->rgvarg[i].vt, DescribeValue(params->rgvarg[i])});
        }
        const HRESULT hr = Dispatch(member, iid, locale, flags, params, result, exception, argumentError);
        book_.calls[index].result = hr;
        return hr;
    }

    bool refusesCast = false;

protected:
    struct Member {
        const char* name;
        DISPID id;
        WORD flags;
        std::vector<VARTYPE> positional;                // in call order
        std::vector<std::pair<DISPID, VARTYPE>> named;  // in any order
        std::optional<LCID> locale;                     // when the member insists on one
    };

    // The arguments, known to match the member's signature.
    class Arguments {
    public:
        explicit Arguments(const DISPPARAMS& params) : params_(params) {}
        const VARIANTARG& Positional(UINT i) const { return params_.rgvarg[params_.cArgs - 1 - i]; }
        const VARIANTARG& Named(DISPID id) const {
            for (UINT i = 0; i < params_.cNamedArgs; ++i)
                if (params_.rgdispidNamedArgs[i] == id) return params_.rgvarg[i];
            throw std::logic_error("named argument checked but missing");
        }

    private:
        const DISPPARAMS& params_;
    };

    // Every signature a member accepts; one member may appear twice.
    virtual const std::vector<Member>& Members() const = 0;
    virtual HRESULT Perform(const Member& member, const Arguments& args, VARIANT* result, EXCEPINFO* exception) = 0;

    // The live ranges by COM identity: what QueryTables.Add accepts.
    std::map<const IUnknown*, const CellRecord*>& Ranges() { return book_.ranges_; }
    // Called on the last release.
    virtual void Retire() {}

    Workbook& book_;

private:
    bool Misused() {
        if (!retired_) return false;
        ++book_.misuses_;
        return true;
    }

    static HRESULT CheckArguments(const Member& m, const DISPPARAMS& p, UINT* argumentError) {
        const auto blame = [argumentError](UINT i) { *argumentError = i; };
        if (p.cArgs != m.positional.size() + m.named.size()) return DISP_E_BADPARAMCOUNT;
        // A named argument passed by position, or one too many named.
        if (p.cNamedArgs != m.named.size()) return DISP_E_PARAMNOTFOUND;
        std::vector<bool> seen(m.named.size());
        for (UINT i = 0; i < p.cNamedArgs; ++i) {
            const auto it = std::find_if(m.named.begin(), m.named.end(),
                                         [&](const auto& n) { return n.first == p.rgdispidNamedArgs[i]; });
            const std::size_t j = static_cast<std::size_t>(it - m.named.begin());
            if (it == m.named.end() || seen[j]) {
                blame(i);
                return DISP_E_PARAMNOTFOUND;
            }
            seen[j] = true;
            if (p.rgvarg[i].vt != it->second) {
                blame(i);
                return DISP_E_TYPEMISMATCH;
            }
        }
        for (UINT k = 0; k < m.positional.size(); ++k) {
            const UINT i = p.cArgs - 1 - k;
            if (p.rgvarg[i].vt != m.positional[k]) {
                blame(i);
                return DISP_E_TYPEMISMATCH;
            }
        }
        return S_OK;
    }

    HRESULT Dispatch(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* exception, UINT* argumentError) {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!params) return E_POINTER;
        if ((params->cArgs && !params->rgvarg) || (params->cNamedArgs && !params->rgdispidNamedArgs) ||
            params->cNamedArgs > params->cArgs)
            return E_INVALIDARG;
        std::vector<const Member*> candidates;
        for (const Member& m : Members())
            if (m.id == id) candidates.push_back(&m);
        if (candidates.empty()) return DISP_E_MEMBERNOTFOUND;
        const std::string operation = std::string(KindName(kind_)) + "." + candidates.front()->name;
        book_.calls.back().operation = operation;
        // A property read as a method, or a method as a property, is not found.
        std::erase_if(candidates, [flags](const Member* m) { return m->flags != flags; });
        if (candidates.empty()) return DISP_E_MEMBERNOTFOUND;
        // The first signature's complaint stands when none fits.
        const Member* chosen = nullptr;
        HRESULT hr = S_OK;
        UINT blamed = ~0u;  // no argument to blame
        for (const Member* m : candidates) {
            UINT index = ~0u;
            const HRESULT checked = CheckArguments(*m, *params, &index);
            if (SUCCEEDED(checked)) {
                chosen = m;
                break;
            }
            if (m == candidates.front()) {
                hr = checked;
                blamed = index;
            }
        }
        if (!chosen) {
            if (argumentError && blamed != ~0u) *argumentError = blamed;
            return hr;
        }
        if (chosen->locale && locale != *chosen->locale) return DISP_E_UNKNOWNLCID;

        const auto fault = book_.faults.find(operation);
        if (fault != book_.faults.end() && fault->second == Fault::Fails)
            return Raise(exception, L"The operation failed (injected).");
        VARIANT local;
        VariantInit(&local);
        VARIANT* out = result ? result : &local;  // a member works the same when its result is not wanted
        VariantInit(out);
        hr = Perform(*chosen, Arguments(*params), out, exception);
        if (SUCCEEDED(hr) && fault != book_.faults.end()) Spoil(out, fault->second);
        VariantClear(&local);
        return hr;
    }

    static void Spoil(VARIANT* result, Fault fault) {
        if (fault == Fault::Uncastable) {
            // Every object the stand-in hands out is one of its own.
            if (result->vt == VT_DISPATCH && result->pdispVal)
                static_cast<Object*>(result->pdispVal)->refusesCast = true;
            return;
        }
        VariantClear(result);
        if (fault == Fault::NullObject) {
            result->vt = VT_DISPATCH;
            result->pdispVal = nullptr;
        } else if (fault == Fault::Text) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(L"#N/A");
        }
    }

    Kind kind_;
    const IID* own_;
    ULONG references_ = 0;
    bool retired_ = false;
};

namespace {

template <class T, class... A>
com_ptr<IDispatch> Make(A&&... args) {
    return com_ptr<IDispatch>(new T(std::forward<A>(args)...));
}

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kGetOrCall = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
constexpr WORD kCall = DISPATCH_METHOD;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;

class Foreign final : public Object {
public:
    explicit Foreign(Workbook& book) : Object(book, Kind::Foreign, nullptr) {}

protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members;
        return members;
    }
    HRESULT Perform(const Member&, const Arguments&, VARIANT*, EXCEPINFO*) override { return E_UNEXPECTED; }
};

// A cell, or for targets a block of cells, on one sheet.
class RangeObject final : public Object {
public:
    RangeObject(Workbook& book, CellRecord cell, int32_t lastRow, int32_t lastColumn)
        : Object(book, Kind::Range, &kRangeIid), cell_(std::move(cell)), lastRow_(lastRow), lastColumn_(lastColumn) {
        Ranges()[Identity()] = &cell_;
    }

protected:
    void Retire() override { Ranges().erase(Identity()); }
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members{
            {"Address", 236, kGetOrCall, {}, {{0, VT_BOOL}, {1, VT_BOOL}}, std::nullopt},  // RowAbsolute,
                                                                                           // ColumnAbsolute
            {"Application", 148, kGet, {}, {}, std::nullopt},
        };
        return members;
    }
    HRESULT Perform(const Member& member, const Arguments& args, VARIANT* result, EXCEPINFO*) override;

private:
    const IUnknown* Identity() const { return static_cast<const IDispatch*>(this); }
    std::u16string Cell(int32_t row, int32_t column, bool rowAbsolute, bool columnAbsolute) const {
        return (columnAbsolute ? u"$" : u"") + ColumnLetters(column) + (rowAbsolute ? u"$" : u"") + Decimal(row);
    }

    CellRecord cell_;
    int32_t lastRow_, lastColumn_;
};

class QueryTableObject final : public Object {
public:
    QueryTableObject(Workbook& book, std::size_t index)
        : Object(book, Kind::QueryTable, &kQueryTableIid), index_(index) {}

protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members{
            {"FieldNames", 1584, kPut, {}, {{DISPID_PROPERTYPUT, VT_BOOL}}, std::nullopt},
            {"RowNumbers", 1585, kPut, {}, {{DISPID_PROPERTYPUT, VT_BOOL}}, std::nullopt},
            {"FillAdjacentFormulas", 1586, kPut, {}, {{DISPID_PROPERTYPUT, VT_BOOL}}, std::nullopt},
            {"PreserveFormatting", 1500, kPut, {}, {{DISPID_PROPERTYPUT, VT_BOOL}}, std::nullopt},
            {"RefreshOnFileOpen", 1479, kPut, {}, {{DISPID_PROPERTYPUT, VT_BOOL}}, std::nullopt},
            {"BackgroundQuery", 1427, kPut, {}, {{DISPID_PROPERTYPUT, VT_BOOL}}, std::nullopt},
            {"RefreshStyle", 1590, kPut, {}, {{DISPID_PROPERTYPUT, VT_I4}}, std::nullopt},
            {"Refresh", 1417, kCall, {}, {}, std::nullopt},
        };
        return members;
    }
    HRESULT Perform(const Member& member, const Arguments& args, VARIANT* result, EXCEPINFO*) override {
        QueryTableRecord& table = book_.queryTables.at(index_);
        if (member.id == 1417) {
            ++table.refreshes;
            result->vt = VT_BOOL;
            result->boolVal = VARIANT_TRUE;
            return S_OK;
        }
        const VARIANTARG& value = args.Named(DISPID_PROPERTYPUT);
        table.settings.push_back({member.id, value.vt, value.vt == VT_BOOL ? value.boolVal : value.lVal});
        return S_OK;
    }

private:
    std::size_t index_;
};

class QueryTablesObject final : public Object {
public:
    QueryTablesObject(Workbook& book, std::u16string sheet)
        : Object(book, Kind::QueryTables, &kQueryTablesIid), sheet_(std::move(sheet)) {}

    static com_ptr<IDispatch> Table(Workbook& book, QueryTableRecord record) {
        book.queryTables.push_back(std::move(record));
        return Make<QueryTableObject>(book, book.queryTables.size() - 1);
    }

protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members{
            // Connection, Destination (a range, by reference)
            {"Add", 181, kCall, {}, {{0, VT_BSTR}, {1, VT_DISPATCH | VT_BYREF}}, std::nullopt},
        };
        return members;
    }
    HRESULT Perform(const Member&, const Arguments& args, VARIANT* result, EXCEPINFO* exception) override {
        const std::u16string_view connection = com::View(args.Named(0).bstrVal);
        if (!connection.starts_with(u"URL;")) return Raise(exception, L"Unknown connection type.");
        IDispatch** variable = args.Named(1).ppdispVal;
        if (!variable || !*variable) return DISP_E_TYPEMISMATCH;
        com_ptr<IUnknown> identity;
        if (FAILED((*variable)->QueryInterface(IID_IUnknown, identity.put_void()))) return DISP_E_TYPEMISMATCH;
        const auto range = Ranges().find(identity.get());
        if (range == Ranges().end()) return DISP_E_TYPEMISMATCH;
        if (range->second->sheet != sheet_) return Raise(exception, L"The destination is on another sheet.");
        SetObject(result, Table(book_, {sheet_, std::u16string(connection), *range->second, {}, 0}));
        if (book_.replacesDestination) {
            (*variable)->Release();
            *variable = Make<Foreign>(book_).detach();
        }
        return S_OK;
    }

private:
    std::u16string sheet_;
};

class CellsObject final : public Object {
public:
    CellsObject(Workbook& book, std::u16string sheet)
        : Object(book, Kind::Cells, &kRangeIid), sheet_(std::move(sheet)) {}

protected:
    const std::vector<Member>& Members() const override {
        // Row then column: both texts, or both numbers.
        static const std::vector<Member> members{
            {"_Default", DISPID_VALUE, kGetOrCall, {VT_BSTR, VT_BSTR}, {}, std::nullopt},
            {"_Default", DISPID_VALUE, kGetOrCall, {VT_I2, VT_I2}, {}, std::nullopt},
        };
        return members;
    }
    HRESULT Perform(const Member&, const Arguments& args, VARIANT* result, EXCEPINFO* exception) override {
        const VARIANTARG& row = args.Positional(0);
        const VARIANTARG& column = args.Positional(1);
        CellRecord cell{sheet_, row.vt, column.vt, {}, {}, 0, 0};
        if (row.vt == VT_BSTR) {
            cell.row = com::View(row.bstrVal);
            cell.column = com::View(column.bstrVal);
            cell.rowNumber = ParseNumber(cell.row, kLastRow);
            cell.columnNumber = ParseColumn(cell.column);
        } else {
            cell.row = Decimal(row.iVal);
            cell.column = Decimal(column.iVal);
            cell.rowNumber = row.iVal >= 1 ? row.iVal : 0;
            cell.columnNumber = column.iVal >= 1 && column.iVal <= kLastColumn ? column.iVal : 0;
        }
        if (!cell.rowNumber || !cell.columnNumber) return Raise(exception, L"No such cell.");
        const int32_t r = cell.rowNumber, c = cell.columnNumber;
        SetObject(result, Make<RangeObject>(book_, std::move(cell), r, c));
        return S_OK;
    }

private:
    std::u16string sheet_;
};

class WorksheetObject final : public Object {
public:
    WorksheetObject(Workbook& book, std::u16string sheet)
        : Object(book, Kind::Worksheet, &kWorksheetIid), sheet_(std::move(sheet)) {}

protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members{
            {"Cells", 0xEE, kGet, {}, {}, std::nullopt},
            {"QueryTables", 0x59A, kGet, {}, {}, std::nullopt},
        };
        return members;
    }
    HRESULT Perform(const Member& member, const Arguments&, VARIANT* result, EXCEPINFO*) override {
        if (member.id == 0xEE)
            SetObject(result, Make<CellsObject>(book_, sheet_));
        else
            SetObject(result, Make<QueryTablesObject>(book_, sheet_));
        return S_OK;
    }

private:
    std::u16string sheet_;
};

class SheetsObject final : public Object {
public:
    explicit SheetsObject(Workbook& book) : Object(book, Kind::Sheets, &kSheetsIid) {}

protected:
    const std::vector<Member>& Members() const override {
        // Before, After, Count and Type left out altogether.
        static const std::vector<Member> members{{"Add", 0xB5, kCall, {}, {}, LCID{1033}}};
        return members;
    }
    HRESULT Perform(const Member&, const Arguments&, VARIANT* result, EXCEPINFO*) override {
        std::u16string name;
        for (int32_t n = static_cast<int32_t>(book_.sheets.size()) + 1;; ++n) {
            name = u"Sheet" + Decimal(n);
            if (std::find(book_.sheets.begin(), book_.sheets.end(), name) == book_.sheets.end()) break;
        }
        // Like the host: before the active sheet, and then the active one.
        auto active = std::find(book_.sheets.begin(), book_.sheets.end(), book_.activeSheet);
        book_.sheets.insert(active, name);
        book_.activeSheet = name;
        ++book_.sheetsAdded;
        SetObject(result, Make<WorksheetObject>(book_, name));
        return S_OK;
    }
};

class LanguageSettingsObject final : public Object {
public:
    explicit LanguageSettingsObject(Workbook& book) : Object(book, Kind::LanguageSettings, &kLanguageSettingsIid) {}

protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members{{"LanguageID", 0x1, kGet, {VT_I4}, {}, std::nullopt}};
        return members;
    }
    HRESULT Perform(const Member&, const Arguments& args, VARIANT* result, EXCEPINFO* exception) override {
        const auto language = book_.languages.find(args.Positional(0).lVal);
        if (language == book_.languages.end()) return Raise(exception, L"No such language selector.");
        switch (book_.languageType) {
            case VT_I2:
                result->vt = VT_I2;
                result->iVal = static_cast<SHORT>(language->second);
                break;
            case VT_R8:
                result->vt = VT_R8;
                result->dblVal = language->second;
                break;
            case VT_BSTR:
                result->vt = VT_BSTR;
                result->bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(Decimal(language->second).c_str()));
                break;
            default: result->vt = VT_I4; result->lVal = language->second;
        }
        return S_OK;
    }
};

class ApplicationObject final : public Object {
public:
    explicit ApplicationObject(Workbook& book) : Object(book, Kind::Application, &kApplicationIid) {}

protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members{
            {"LanguageSettings", 0x709, kGet, {}, {}, std::nullopt},
            {"ActiveSheet", 0x133, kGet, {}, {}, std::nullopt},
            {"Worksheets", 0x1EE, kGet, {}, {}, std::nullopt},
        };
        return members;
    }
    HRESULT Perform(const Member& member, const Arguments&, VARIANT* result, EXCEPINFO* exception) override {
        switch (member.id) {
            case 0x709: SetObject(result, Make<LanguageSettingsObject>(book_)); break;
            case 0x133:
                if (std::find(book_.sheets.begin(), book_.sheets.end(), book_.activeSheet) == book_.sheets.end())
                    return Raise(exception, L"No active sheet.");
                SetObject(result, Make<WorksheetObject>(book_, book_.activeSheet));
                break;
            default: SetObject(result, Make<SheetsObject>(book_));
        }
        return S_OK;
    }
};

HRESULT RangeObject::Perform(const Member& member, const Arguments& args, VARIANT* result, EXCEPINFO*) {
    if (member.id == 148) {
        SetObject(result, Make<ApplicationObject>(book_));
        return S_OK;
    }
    const bool rowAbsolute = args.Named(0).boolVal != VARIANT_FALSE;
    const bool columnAbsolute = args.Named(1).boolVal != VARIANT_FALSE;
    std::u16string address = Cell(cell_.rowNumber, cell_.columnNumber, rowAbsolute, columnAbsolute);
    if (lastRow_ != cell_.rowNumber || lastColumn_ != cell_.columnNumber)
        address += u":" + Cell(lastRow_, lastColumn_, rowAbsolute, columnAbsolute);
    result->vt = VT_BSTR;
    result->bstrVal =
        SysAllocStringLen(reinterpret_cast<const OLECHAR*>(address.data()), static_cast<UINT>(address.size()));
    return result->bstrVal ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

Workbook::Workbook() = default;
Workbook::~Workbook() = default;

com_ptr<IDispatch> Workbook::NewTarget(std::u16string_view address, std::u16string_view sheet) {
    const std::size_t colon = address.find(u':');
    const auto first = ParseCell(address.substr(0, colon));
    const auto last = colon == std::u16string_view::npos ? first : ParseCell(address.substr(colon + 1));
    CellRecord cell{
        sheet.empty() ? activeSheet : std::u16string(sheet), VT_EMPTY, VT_EMPTY, {}, {}, first.first, first.second};
    return Make<RangeObject>(*this, std::move(cell), last.first, last.second);
}

com_ptr<IDispatch> Workbook::New(Kind kind) {
    switch (kind) {
        case Kind::Range: return NewTarget(u"A1");
        case Kind::Cells: return Make<CellsObject>(*this, activeSheet);
        case Kind::Application: return Make<ApplicationObject>(*this);
        case Kind::LanguageSettings: return Make<LanguageSettingsObject>(*this);
        case Kind::Sheets: return Make<SheetsObject>(*this);
        case Kind::Worksheet: return Make<WorksheetObject>(*this, activeSheet);
        case Kind::QueryTables: return Make<QueryTablesObject>(*this, activeSheet);
        case Kind::QueryTable: return QueryTablesObject::Table(*this, {activeSheet, {}, {}, {}, 0});
        case Kind::Foreign: return Make<Foreign>(*this);
    }
    return nullptr;
}

}  // namespace varnoke::spreadsheet_standin
