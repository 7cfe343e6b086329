// The stand-in's own strictness: a call that deviates in member, flags,
// argument count, type or named ID fails as the host would, and an exact
// call does what the host does. The adapter's tests rely on both.
#include "tests/spreadsheet_standin/standin.h"

#include <deque>
#include <functional>

#include "core/unicode.h"
#include "tests/win32/harness.h"

namespace varnoke::spreadsheet_standin {

using wintest::Harness;
using wintest::Hex;

void StandInTests(Harness& h);

namespace {

using com::com_ptr;
using com::unique_bstr;
using com::unique_variant;

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kGetOrCall = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
constexpr WORD kCall = DISPATCH_METHOD;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr LCID kUser = LOCALE_USER_DEFAULT;

// What a by-reference or object argument points at.
enum Target : long { kCellHere = 0, kCellOnOtherSheet = 1, kForeignObject = 2, kNothing = 3 };

struct Value {
    std::optional<DISPID> name;  // empty: positional
    VARTYPE type;
    long number = 0;  // the value, or for objects a Target
    std::u16string text = {};
};
Value P(VARTYPE type, long number = 0) { return {std::nullopt, type, number}; }
Value P(std::u16string text) { return {std::nullopt, VT_BSTR, 0, std::move(text)}; }
Value N(DISPID name, VARTYPE type, long number = 0) { return {name, type, number}; }
Value N(DISPID name, std::u16string text) { return {name, VT_BSTR, 0, std::move(text)}; }

// Owns what the arguments point at for the length of one call.
class Arguments {
public:
    explicit Arguments(Workbook& book) : book_(book) {}

    // rgvarg order: named ones first as listed, then positional last to first.
    DISPPARAMS Build(const std::vector<Value>& values) {
        for (const Value& v : values)
            if (v.name) {
                rgvarg_.push_back(Make(v));
                names_.push_back(*v.name);
            }
        for (auto it = values.rbegin(); it != values.rend(); ++it)
            if (!it->name) rgvarg_.push_back(Make(*it));
        return DISPPARAMS{rgvarg_.data(), names_.data(), static_cast<UINT>(rgvarg_.size()),
                          static_cast<UINT>(names_.size())};
    }

private:
    IDispatch* Object(long which) {
        switch (which) {
            case kCellHere: objects_.push_back(book_.NewTarget(u"C3")); break;
            case kCellOnOtherSheet: objects_.push_back(book_.NewTarget(u"C3", u"Other")); break;
            case kForeignObject: objects_.push_back(book_.New(Kind::Foreign)); break;
            default: objects_.emplace_back();
        }
        return objects_.back().get();
    }

    VARIANTARG Make(const Value& v) {
        VARIANTARG a;
        VariantInit(&a);
        a.vt = v.type;
        switch (v.type) {
            case VT_BOOL: a.boolVal = static_cast<VARIANT_BOOL>(v.number); break;
            case VT_I2: a.iVal = static_cast<SHORT>(v.number); break;
            case VT_I4: a.lVal = v.number; break;
            case VT_ERROR: a.scode = DISP_E_PARAMNOTFOUND; break;
            case VT_BSTR:
                strings_.push_back(com::MakeBstr(v.text));
                a.bstrVal = strings_.back().get();
                break;
            case VT_DISPATCH: a.pdispVal = Object(v.number); break;
            case VT_DISPATCH | VT_BYREF:
                variables_.push_back(Object(v.number));
                a.ppdispVal = &variables_.back();
                break;
            case VT_VARIANT | VT_BYREF: {
                VARIANT& held = variants_.emplace_back();
                VariantInit(&held);
                held.vt = VT_DISPATCH;
                held.pdispVal = Object(v.number);
                a.pvarVal = &held;
                break;
            }
            default: break;
        }
        return a;
    }

    Workbook& book_;
    std::vector<VARIANTARG> rgvarg_;
    std::vector<DISPID> names_;
    std::deque<unique_bstr> strings_;
    std::deque<com_ptr<IDispatch>> objects_;
    std::deque<IDispatch*> variables_;
    std::deque<VARIANT> variants_;  // borrow objects_, never cleared
};

struct Outcome {
    HRESULT hr = E_FAIL;
    UINT argumentError = ~0u;
    SCODE hostError = S_OK;
    bool described = false;  // the exception came with a source and description
    unique_variant result;
};

Outcome Call(Workbook& book, IDispatch* object, DISPID member, WORD flags, const std::vector<Value>& values,
             LCID locale = kUser) {
    Outcome out;
    if (!object) return out;  // an earlier step failed: E_FAIL
    Arguments arguments(book);
    DISPPARAMS params = arguments.Build(values);
    EXCEPINFO exception{};
    out.hr = object->Invoke(member, IID_NULL, locale, flags, &params, out.result.put(), &exception, &out.argumentError);
    const unique_bstr source(exception.bstrSource), description(exception.bstrDescription),
        helpFile(exception.bstrHelpFile);
    out.hostError = exception.scode;
    out.described = source.get() && description.get();
    return out;
}

// Every reference given back, none given back twice.
void Released(Harness& h, const Workbook& book, const std::string& what) {
    h.Equal(book.Live(), 0L, what + ": objects live afterwards");
    h.Equal(book.Misuses(), 0L, what + ": objects used after their release");
}

// Each case on a fresh workbook: its result, the argument blamed, the log
// entry it left, and that nothing stays alive.
struct Case {
    const char* what;
    Kind object;
    DISPID member;
    WORD flags;
    std::vector<Value> args;
    HRESULT expected;
    int blamed = -1;  // the rgvarg index reported for a bad argument; -1: not checked
    LCID locale = kUser;
};

void RunCases(Harness& h, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const std::string what = std::string(KindName(c.object)) + ": " + c.what;
        Workbook book;
        book.sheets.push_back(u"Other");
        {
            const com_ptr<IDispatch> object = book.New(c.object);
            Outcome out = Call(book, object.get(), c.member, c.flags, c.args, c.locale);
            h.Check(out.hr == c.expected, what + ": " + Hex(out.hr) + ", expected " + Hex(c.expected));
            if (c.blamed >= 0) h.Equal(out.argumentError, static_cast<UINT>(c.blamed), what + ": argument blamed");
            if (c.expected == DISP_E_EXCEPTION)
                h.Check(out.hostError == kHostError && out.described, what + ": the host's exception information");
            if (h.Check(!book.calls.empty(), what + ": logged"))
                h.Check(book.calls.back().result == out.hr && book.calls.back().member == c.member &&
                            book.calls.back().flags == c.flags && book.calls.back().locale == c.locale,
                        what + ": log entry " + book.calls.back().Describe());
        }
        Released(h, book, what + ": objects live afterwards");
    }
}

void ArgumentChecking(Harness& h) {
    h.Section("stand-in argument checking");
    using K = Kind;
    const DISPID put = DISPID_PROPERTYPUT;
    std::vector<Case> cases = {
        {"Address, both flags named", K::Range, 236, kGetOrCall, {N(0, VT_BOOL), N(1, VT_BOOL)}, S_OK},
        {"Address, named in the other order", K::Range, 236, kGetOrCall, {N(1, VT_BOOL), N(0, VT_BOOL)}, S_OK},
        {"Address without arguments", K::Range, 236, kGetOrCall, {}, DISP_E_BADPARAMCOUNT},
        {"Address with three",
         K::Range,
         236,
         kGetOrCall,
         {N(0, VT_BOOL), N(1, VT_BOOL), P(VT_I4, 1)},
         DISP_E_BADPARAMCOUNT},
        {"Address with the flags positional",
         K::Range,
         236,
         kGetOrCall,
         {P(VT_BOOL), P(VT_BOOL)},
         DISP_E_PARAMNOTFOUND},
        {"Address with a VT_I4 flag", K::Range, 236, kGetOrCall, {N(0, VT_I4), N(1, VT_BOOL)}, DISP_E_TYPEMISMATCH, 0},
        {"Address with a VT_I2 second flag",
         K::Range,
         236,
         kGetOrCall,
         {N(0, VT_BOOL), N(1, VT_I2)},
         DISP_E_TYPEMISMATCH,
         1},
        {"Address with named ID 2", K::Range, 236, kGetOrCall, {N(0, VT_BOOL), N(2, VT_BOOL)}, DISP_E_PARAMNOTFOUND, 1},
        {"Address with ID 0 twice", K::Range, 236, kGetOrCall, {N(0, VT_BOOL), N(0, VT_BOOL)}, DISP_E_PARAMNOTFOUND, 1},
        {"Address as a method only", K::Range, 236, kCall, {N(0, VT_BOOL), N(1, VT_BOOL)}, DISP_E_MEMBERNOTFOUND},
        {"Address as a property only", K::Range, 236, kGet, {N(0, VT_BOOL), N(1, VT_BOOL)}, DISP_E_MEMBERNOTFOUND},
        {"Application", K::Range, 148, kGet, {}, S_OK},
        {"Application with an argument", K::Range, 148, kGet, {P(VT_I4, 1)}, DISP_E_BADPARAMCOUNT},
        {"Application as a method", K::Range, 148, kCall, {}, DISP_E_MEMBERNOTFOUND},
        {"an unknown member", K::Range, 999, kGet, {}, DISP_E_MEMBERNOTFOUND},

        {"LanguageSettings", K::Application, 0x709, kGet, {}, S_OK},
        {"LanguageSettings as a method", K::Application, 0x709, kCall, {}, DISP_E_MEMBERNOTFOUND},
        {"LanguageSettings with an argument", K::Application, 0x709, kGet, {P(VT_I4, 2)}, DISP_E_BADPARAMCOUNT},
        {"ActiveSheet", K::Application, 0x133, kGet, {}, S_OK},
        {"Worksheets", K::Application, 0x1EE, kGet, {}, S_OK},
        {"Worksheets put", K::Application, 0x1EE, kPut, {N(put, VT_I4)}, DISP_E_MEMBERNOTFOUND},

        {"LanguageID of the UI", K::LanguageSettings, 0x1, kGet, {P(VT_I4, 2)}, S_OK},
        {"LanguageID with a VT_I2 selector", K::LanguageSettings, 0x1, kGet, {P(VT_I2, 2)}, DISP_E_TYPEMISMATCH, 0},
        {"LanguageID without a selector", K::LanguageSettings, 0x1, kGet, {}, DISP_E_BADPARAMCOUNT},
        {"LanguageID with the selector named", K::LanguageSettings, 0x1, kGet, {N(0, VT_I4, 2)}, DISP_E_PARAMNOTFOUND},
        {"LanguageID of an unknown selector", K::LanguageSettings, 0x1, kGet, {P(VT_I4, 99)}, DISP_E_EXCEPTION},

        {"Add with nothing, locale 1033", K::Sheets, 0xB5, kCall, {}, S_OK, -1, 1033},
        {"Add in the user's locale", K::Sheets, 0xB5, kCall, {}, DISP_E_UNKNOWNLCID},
        {"Add with four placeholders",
         K::Sheets,
         0xB5,
         kCall,
         {P(VT_ERROR), P(VT_ERROR), P(VT_ERROR), P(VT_ERROR)},
         DISP_E_BADPARAMCOUNT,
         -1,
         1033},
        {"Add as a property", K::Sheets, 0xB5, kGet, {}, DISP_E_MEMBERNOTFOUND, -1, 1033},

        {"Cells", K::Worksheet, 0xEE, kGet, {}, S_OK},
        {"Cells with row and column", K::Worksheet, 0xEE, kGet, {P(VT_I4, 1), P(VT_I4, 1)}, DISP_E_BADPARAMCOUNT},
        {"Cells as property or method", K::Worksheet, 0xEE, kGetOrCall, {}, DISP_E_MEMBERNOTFOUND},
        {"QueryTables", K::Worksheet, 0x59A, kGet, {}, S_OK},
        {"QueryTables as a method", K::Worksheet, 0x59A, kCall, {}, DISP_E_MEMBERNOTFOUND},

        {"texts", K::Cells, 0, kGetOrCall, {P(u"3"), P(u"c")}, S_OK},
        {"numbers", K::Cells, 0, kGetOrCall, {P(VT_I2, 1), P(VT_I2, 1)}, S_OK},
        {"a text and a number", K::Cells, 0, kGetOrCall, {P(u"3"), P(VT_I2, 3)}, DISP_E_TYPEMISMATCH, 0},
        {"VT_I4 numbers", K::Cells, 0, kGetOrCall, {P(VT_I4, 1), P(VT_I4, 1)}, DISP_E_TYPEMISMATCH},
        {"the row alone", K::Cells, 0, kGetOrCall, {P(u"3")}, DISP_E_BADPARAMCOUNT},
        {"named arguments", K::Cells, 0, kGetOrCall, {N(0, u"3"), N(1, u"c")}, DISP_E_PARAMNOTFOUND},
        {"as a property only", K::Cells, 0, kGet, {P(u"3"), P(u"c")}, DISP_E_MEMBERNOTFOUND},

        {"Add", K::QueryTables, 181, kCall, {N(0, u"URL;https://x.example/"), N(1, VT_DISPATCH | VT_BYREF)}, S_OK},
        {"Add, named in the other order",
         K::QueryTables,
         181,
         kCall,
         {N(1, VT_DISPATCH | VT_BYREF), N(0, u"URL;https://x.example/")},
         S_OK},
        {"Add with the range by value",
         K::QueryTables,
         181,
         kCall,
         {N(0, u"URL;https://x.example/"), N(1, VT_DISPATCH)},
         DISP_E_TYPEMISMATCH,
         1},
        {"Add with a variant by reference",
         K::QueryTables,
         181,
         kCall,
         {N(0, u"URL;https://x.example/"), N(1, VT_VARIANT | VT_BYREF)},
         DISP_E_TYPEMISMATCH,
         1},
        {"Add with positional arguments",
         K::QueryTables,
         181,
         kCall,
         {P(u"URL;https://x.example/"), P(VT_DISPATCH | VT_BYREF)},
         DISP_E_PARAMNOTFOUND},
        {"Add without a destination",
         K::QueryTables,
         181,
         kCall,
         {N(0, u"URL;https://x.example/")},
         DISP_E_BADPARAMCOUNT},
        {"Add with a VT_I4 connection",
         K::QueryTables,
         181,
         kCall,
         {N(0, VT_I4), N(1, VT_DISPATCH | VT_BYREF)},
         DISP_E_TYPEMISMATCH,
         0},
        {"Add at a cell of another sheet",
         K::QueryTables,
         181,
         kCall,
         {N(0, u"URL;https://x.example/"), N(1, VT_DISPATCH | VT_BYREF, kCellOnOtherSheet)},
         DISP_E_EXCEPTION},
        {"Add at an object that is no range",
         K::QueryTables,
         181,
         kCall,
         {N(0, u"URL;https://x.example/"), N(1, VT_DISPATCH | VT_BYREF, kForeignObject)},
         DISP_E_TYPEMISMATCH},
        {"Add at nothing",
         K::QueryTables,
         181,
         kCall,
         {N(0, u"URL;https://x.example/"), N(1, VT_DISPATCH | VT_BYREF, kNothing)},
         DISP_E_TYPEMISMATCH},
        {"Add with an unknown connection type",
         K::QueryTables,
         181,
         kCall,
         {N(0, u"URL ;https://x.example/"), N(1, VT_DISPATCH | VT_BYREF)},
         DISP_E_EXCEPTION},
        {"Add as a property",
         K::QueryTables,
         181,
         kGet,
         {N(0, u"URL;https://x.example/"), N(1, VT_DISPATCH | VT_BYREF)},
         DISP_E_MEMBERNOTFOUND},

        {"FieldNames put as VT_I4", K::QueryTable, 1584, kPut, {N(put, VT_I4, -1)}, DISP_E_TYPEMISMATCH, 0},
        {"RefreshStyle put as VT_BOOL", K::QueryTable, 1590, kPut, {N(put, VT_BOOL, -1)}, DISP_E_TYPEMISMATCH, 0},
        {"RefreshStyle put as VT_I2", K::QueryTable, 1590, kPut, {N(put, VT_I2, 1)}, DISP_E_TYPEMISMATCH, 0},
        {"FieldNames put positionally", K::QueryTable, 1584, kPut, {P(VT_BOOL, -1)}, DISP_E_PARAMNOTFOUND},
        {"FieldNames put by reference",
         K::QueryTable,
         1584,
         DISPATCH_PROPERTYPUTREF,
         {N(put, VT_BOOL, -1)},
         DISP_E_MEMBERNOTFOUND},
        {"FieldNames read", K::QueryTable, 1584, kGet, {}, DISP_E_MEMBERNOTFOUND},
        {"FieldNames put twice in one call",
         K::QueryTable,
         1584,
         kPut,
         {N(put, VT_BOOL), N(put, VT_BOOL)},
         DISP_E_BADPARAMCOUNT},
        {"Refresh", K::QueryTable, 1417, kCall, {}, S_OK},
        {"Refresh in the background", K::QueryTable, 1417, kCall, {P(VT_BOOL, 0)}, DISP_E_BADPARAMCOUNT},
        {"Refresh as a property", K::QueryTable, 1417, kGet, {}, DISP_E_MEMBERNOTFOUND},
        {"an unknown setting", K::QueryTable, 1600, kPut, {N(put, VT_BOOL)}, DISP_E_MEMBERNOTFOUND},

        {"anything at all", K::Foreign, 0, kGetOrCall, {}, DISP_E_MEMBERNOTFOUND},
    };
    for (const auto& [member, type] : std::vector<std::pair<DISPID, VARTYPE>>{{1584, VT_BOOL},
                                                                              {1585, VT_BOOL},
                                                                              {1586, VT_BOOL},
                                                                              {1500, VT_BOOL},
                                                                              {1479, VT_BOOL},
                                                                              {1427, VT_BOOL},
                                                                              {1590, VT_I4}})
        cases.push_back({"each setting put with its type", Kind::QueryTable, member, kPut, {N(put, type, 0)}, S_OK});
    RunCases(h, cases);

    Workbook book;
    const com_ptr<IDispatch> range = book.New(Kind::Range);
    DISPPARAMS none{};
    unique_variant result;
    const GUID other = kRangeIid;
    h.CheckHr(range->Invoke(148, other, kUser, kGet, &none, result.put(), nullptr, nullptr), DISP_E_UNKNOWNINTERFACE,
              "an interface ID other than IID_NULL");
}

void CellsAccepted(Harness& h) {
    h.Section("stand-in cells");
    const struct {
        Value row, column;
        const char16_t* address;  // of the cell given; nullptr: refused
    } cases[] = {
        {P(u"3"), P(u"c"), u"C3"},
        {P(u"0003"), P(u"a"), u"A3"},
        {P(u"65536"), P(u"IV"), u"IV65536"},
        {P(u"1"), P(u"iv"), u"IV1"},
        {P(u"1"), P(u"aA"), u"AA1"},
        {P(u"1"), P(u"256"), u"IV1"},
        {P(u"2"), P(u"001"), u"A2"},
        {P(VT_I2, 1), P(VT_I2, 1), u"A1"},
        {P(VT_I2, 7), P(VT_I2, 256), u"IV7"},
        {P(u"0"), P(u"A"), nullptr},
        {P(u"00"), P(u"A"), nullptr},
        {P(u"65537"), P(u"A"), nullptr},
        {P(u"1"), P(u"IW"), nullptr},
        {P(u"1"), P(u"0"), nullptr},
        {P(u"1"), P(u"257"), nullptr},
        {P(u""), P(u"A"), nullptr},
        {P(u"1"), P(u""), nullptr},
        {P(u"3a"), P(u"A"), nullptr},
        {P(u"1"), P(u"A1"), nullptr},
        {P(u" 1"), P(u"A"), nullptr},
        {P(u"1"), P(u"ABC"), nullptr},
        {P(u"1"), P(u"A$"), nullptr},
        {P(VT_I2, 0), P(VT_I2, 1), nullptr},
        {P(VT_I2, 1), P(VT_I2, 257), nullptr},
        {P(VT_I2, -1), P(VT_I2, 1), nullptr},
    };
    for (const auto& c : cases) {
        const std::string what = Utf16ToUtf8(c.row.text) + "," + Utf16ToUtf8(c.column.text) + " (" +
                                 std::to_string(c.row.number) + "," + std::to_string(c.column.number) + ")";
        Workbook book;
        {
            const com_ptr<IDispatch> cells = book.New(Kind::Cells);
            Outcome out = Call(book, cells.get(), 0, kGetOrCall, {c.row, c.column});
            if (!c.address) {
                h.Check(out.hr == DISP_E_EXCEPTION && out.hostError == kHostError, what + ": refused, " + Hex(out.hr));
            } else if (h.Check(out.hr == S_OK && out.result->vt == VT_DISPATCH && out.result->pdispVal,
                               what + ": a cell, " + Hex(out.hr))) {
                Outcome address = Call(book, out.result->pdispVal, 236, kGetOrCall, {N(0, VT_BOOL), N(1, VT_BOOL)});
                h.Check(address.hr == S_OK && address.result->vt == VT_BSTR &&
                            com::View(address.result->bstrVal) == c.address,
                        what + ": the cell's address");
            }
        }
        Released(h, book, what + ": objects live afterwards");
    }
}

void Addresses(Harness& h) {
    h.Section("stand-in addresses");
    const struct {
        const char16_t* target;
        long rowAbsolute, columnAbsolute;
        const char16_t* address;
    } cases[] = {
        {u"B5", 0, 0, u"B5"},     {u"B5", -1, 0, u"B$5"},         {u"B5", 0, -1, u"$B5"},
        {u"B5", -1, -1, u"$B$5"}, {u"B5:C7", 0, 0, u"B5:C7"},     {u"B5:C7", -1, -1, u"$B$5:$C$7"},
        {u"AA10", 0, 0, u"AA10"}, {u"IV65536", 0, 0, u"IV65536"}, {u"Z1", 1, 0, u"Z$1"},
    };
    for (const auto& c : cases) {
        Workbook book;
        const com_ptr<IDispatch> range = book.NewTarget(c.target);
        Outcome out =
            Call(book, range.get(), 236, kGetOrCall, {N(0, VT_BOOL, c.rowAbsolute), N(1, VT_BOOL, c.columnAbsolute)});
        h.Check(out.hr == S_OK && out.result->vt == VT_BSTR && com::View(out.result->bstrVal) == c.address,
                Utf16ToUtf8(c.address) + ": " + Hex(out.hr));
    }
}

void Interfaces(Harness& h) {
    h.Section("stand-in interfaces");
    const IID* all[] = {&kRangeIid,     &kApplicationIid, &kLanguageSettingsIid, &kSheetsIid,
                        &kWorksheetIid, &kQueryTableIid,  &kQueryTablesIid,      &IID_IClassFactory};
    const struct {
        Kind kind;
        const IID* own;
    } objects[] = {{Kind::Range, &kRangeIid},
                   {Kind::Cells, &kRangeIid},
                   {Kind::Application, &kApplicationIid},
                   {Kind::LanguageSettings, &kLanguageSettingsIid},
                   {Kind::Sheets, &kSheetsIid},
                   {Kind::Worksheet, &kWorksheetIid},
                   {Kind::QueryTables, &kQueryTablesIid},
                   {Kind::QueryTable, &kQueryTableIid},
                   {Kind::Foreign, nullptr}};
    for (const auto& o : objects) {
        Workbook book;
        {
            const com_ptr<IDispatch> object = book.New(o.kind);
            for (std::size_t i = 0; i < std::size(all); ++i) {
                com_ptr<IUnknown> cast;
                const HRESULT hr = object->QueryInterface(*all[i], cast.put_void());
                const bool own = all[i] == o.own;
                h.Check(own ? hr == S_OK && cast.get() == object.get() : hr == E_NOINTERFACE && !cast,
                        std::string(KindName(o.kind)) + " cast to interface " + std::to_string(i) + ": " + Hex(hr));
            }
            com_ptr<IUnknown> unknown, dispatch;
            h.Check(SUCCEEDED(object->QueryInterface(IID_IUnknown, unknown.put_void())) &&
                        SUCCEEDED(object->QueryInterface(IID_IDispatch, dispatch.put_void())) &&
                        unknown.get() == dispatch.get(),
                    std::string(KindName(o.kind)) + ": IUnknown and IDispatch, one identity");
            h.Check(object->AddRef() == 4 && object->Release() == 3,
                    std::string(KindName(o.kind)) + ": AddRef and Release count");
        }
        Released(h, book, std::string(KindName(o.kind)) + ": released");
        h.Equal(book.Created(), 1L, std::string(KindName(o.kind)) + ": created");
    }
}

void Faults(Harness& h) {
    h.Section("stand-in faults");
    const struct {
        const char* what;
        std::optional<Fault> fault;
        HRESULT hr;
        VARTYPE type;
        bool object;      // the result holds an object
        bool castable;    // that object answers its own interface
        int sheetsAdded;  // only Fails leaves the operation undone
    } cases[] = {
        {"no fault", std::nullopt, S_OK, VT_DISPATCH, true, true, 1},
        {"Fails", Fault::Fails, DISP_E_EXCEPTION, VT_EMPTY, false, false, 0},
        {"Empty", Fault::Empty, S_OK, VT_EMPTY, false, false, 1},
        {"NullObject", Fault::NullObject, S_OK, VT_DISPATCH, false, false, 1},
        {"Text", Fault::Text, S_OK, VT_BSTR, false, false, 1},
        {"Uncastable", Fault::Uncastable, S_OK, VT_DISPATCH, true, false, 1},
    };
    for (const auto& c : cases) {
        Workbook book;
        if (c.fault) book.faults["Sheets.Add"] = *c.fault;
        {
            const com_ptr<IDispatch> sheets = book.New(Kind::Sheets);
            Outcome out = Call(book, sheets.get(), 0xB5, kCall, {}, 1033);
            h.Check(out.hr == c.hr && out.result->vt == c.type, std::string(c.what) + ": " + Hex(out.hr));
            if (c.hr == DISP_E_EXCEPTION) h.Check(out.hostError == kHostError, std::string(c.what) + ": host error");
            h.Check((out.result->vt == VT_DISPATCH && out.result->pdispVal != nullptr) == c.object,
                    std::string(c.what) + ": object");
            if (c.type == VT_BSTR) h.Check(com::View(out.result->bstrVal) == u"#N/A", std::string(c.what) + ": text");
            if (c.object) {
                com_ptr<IDispatch> sheet;
                h.Equal(SUCCEEDED(out.result->pdispVal->QueryInterface(kWorksheetIid, sheet.put_void())), c.castable,
                        std::string(c.what) + ": cast");
            }
            h.Equal(book.sheetsAdded, c.sheetsAdded, std::string(c.what) + ": sheets added");
        }
        Released(h, book, std::string(c.what) + ": released");
    }
}

void Records(Harness& h) {
    h.Section("stand-in records");
    Workbook book;
    book.sheets = {u"Data", u"Prices"};
    book.activeSheet = u"Prices";
    {
        const com_ptr<IDispatch> sheets = book.New(Kind::Sheets);
        Outcome added = Call(book, sheets.get(), 0xB5, kCall, {}, 1033);
        h.Equal(book.sheets, std::vector<std::u16string>{u"Data", u"Sheet3", u"Prices"},
                "added before the active sheet");
        h.Equal(book.activeSheet, std::u16string(u"Sheet3"), "the new sheet is active");

        const com_ptr<IDispatch> sheet(added.result->pdispVal);
        Outcome cells = Call(book, sheet.get(), 0xEE, kGet, {});
        Outcome cell = Call(book, cells.result->pdispVal, 0, kGetOrCall, {P(u"007"), P(u"b")});
        Outcome tables = Call(book, sheet.get(), 0x59A, kGet, {});
        if (!h.Check(cell.result->vt == VT_DISPATCH && cell.result->pdispVal && tables.result->vt == VT_DISPATCH &&
                         tables.result->pdispVal,
                     "a cell and the query tables of the new sheet"))
            return;
        IDispatch* destination = cell.result->pdispVal;
        VARIANTARG args[2];
        VariantInit(&args[0]);
        args[0].vt = VT_DISPATCH | VT_BYREF;
        args[0].ppdispVal = &destination;
        const unique_bstr connection = com::MakeBstr(u"URL;https://q.example/?s=1");
        VariantInit(&args[1]);
        args[1].vt = VT_BSTR;
        args[1].bstrVal = connection.get();
        DISPID names[] = {1, 0};
        DISPPARAMS params{args, names, 2, 2};
        unique_variant table;
        h.CheckHr(tables.result->pdispVal->Invoke(181, IID_NULL, kUser, kCall, &params, table.put(), nullptr, nullptr),
                  S_OK, "QueryTables.Add");
        h.Check(destination == cell.result->pdispVal, "the destination variable is left as it was");
        if (!h.Check(table->vt == VT_DISPATCH && table->pdispVal, "a query table")) return;
        if (h.Equal(book.queryTables.size(), std::size_t{1}, "query tables")) {
            const QueryTableRecord& q = book.queryTables[0];
            h.Equal(q.sheet, std::u16string(u"Sheet3"), "query table's sheet");
            h.Equal(q.connection, std::u16string(u"URL;https://q.example/?s=1"), "connection");
            h.Check(q.destination.sheet == u"Sheet3" && q.destination.row == u"007" && q.destination.column == u"b" &&
                        q.destination.rowType == VT_BSTR && q.destination.columnType == VT_BSTR &&
                        q.destination.rowNumber == 7 && q.destination.columnNumber == 2,
                    "destination as received and resolved");
        }
        Outcome refresh = Call(book, table->pdispVal, 1417, kCall, {});
        Call(book, table->pdispVal, 1590, kPut, {N(DISPID_PROPERTYPUT, VT_I4, 1)});
        Call(book, table->pdispVal, 1584, kPut, {N(DISPID_PROPERTYPUT, VT_BOOL, -1)});
        Call(book, table->pdispVal, 1584, kPut, {N(DISPID_PROPERTYPUT, VT_I4, -1)});  // refused: not recorded
        h.Check(refresh.result->vt == VT_BOOL && refresh.result->boolVal == VARIANT_TRUE, "Refresh answers true");
        if (!book.queryTables.empty()) {
            h.Equal(book.queryTables[0].refreshes, 1, "refreshes");
            h.Check(book.queryTables[0].settings == std::vector<SettingRecord>{{1590, VT_I4, 1}, {1584, VT_BOOL, -1}},
                    "settings in the order put, refused ones left out");
        }
        h.Equal(book.Operations(),
                std::vector<std::string>{"Sheets.Add", "Worksheet.Cells", "Cells._Default", "Worksheet.QueryTables",
                                         "QueryTables.Add", "QueryTable.Refresh", "QueryTable.RefreshStyle",
                                         "QueryTable.FieldNames", "QueryTable.FieldNames"},
                "the call log");
        h.Check(book.calls.back().result == DISP_E_TYPEMISMATCH && book.calls.back().arguments.size() == 1 &&
                    book.calls.back().arguments[0].type == VT_I4 &&
                    book.calls.back().arguments[0].name == DISPID{DISPID_PROPERTYPUT},
                "a refused call is logged with its arguments: " + book.calls.back().Describe());
    }
    Released(h, book, "released");

    Workbook languages;
    languages.languages[2] = 2052;
    const struct {
        VARTYPE type;
        long selector;
        int32_t language;
    } answers[] = {{VT_I4, 2, 2052}, {VT_I2, 2, 2052}, {VT_R8, 2, 2052}, {VT_BSTR, 2, 2052}, {VT_I4, 1, 1031}};
    for (const auto& a : answers) {
        languages.languageType = a.type;
        const com_ptr<IDispatch> settings = languages.New(Kind::LanguageSettings);
        Outcome out = Call(languages, settings.get(), 1, kGet, {P(VT_I4, a.selector)});
        unique_variant number;
        h.Check(out.hr == S_OK && out.result->vt == a.type &&
                    SUCCEEDED(VariantChangeType(number.get(), out.result.get(), 0, VT_I4)) &&
                    number->lVal == a.language,
                "LanguageID " + std::to_string(a.selector) + " as type " + std::to_string(a.type));
    }
}

// A callee may replace an object passed by reference: the stand-in can, so
// that the caller's handling of the variable is put to the test.
void ReplacedDestination(Harness& h) {
    h.Section("stand-in replacing the destination");
    Workbook book;
    book.replacesDestination = true;
    {
        const com_ptr<IDispatch> tables = book.New(Kind::QueryTables);
        const com_ptr<IDispatch> cell = book.NewTarget(u"C3");
        IDispatch* variable = com_ptr<IDispatch>(cell).detach();  // the variable's own reference
        const unique_bstr connection = com::MakeBstr(u"URL;https://q.example/");
        VARIANTARG args[2];
        VariantInit(&args[0]);
        args[0].vt = VT_DISPATCH | VT_BYREF;
        args[0].ppdispVal = &variable;
        VariantInit(&args[1]);
        args[1].vt = VT_BSTR;
        args[1].bstrVal = connection.get();
        DISPID names[] = {1, 0};
        DISPPARAMS params{args, names, 2, 2};
        unique_variant table;
        h.CheckHr(tables->Invoke(181, IID_NULL, kUser, kCall, &params, table.put(), nullptr, nullptr), S_OK,
                  "QueryTables.Add");
        com_ptr<IDispatch> held, range;
        held.attach(variable);
        h.Check(variable != cell.get() && FAILED(variable->QueryInterface(kRangeIid, range.put_void())),
                "the variable holds another object, no range");
        h.Equal(book.Live(), 4L, "the cell, the collection, the new table and the replacement live");
    }
    Released(h, book, "released");
}

// A release too many, or a call after the last release, is counted.
void Misuses(Harness& h) {
    h.Section("stand-in misuse");
    const struct {
        const char* what;
        std::function<void(IDispatch*)> after;  // what is done with the object after its last release
        long misuses;
    } cases[] = {
        {"nothing", [](IDispatch*) {}, 0},
        {"a release too many", [](IDispatch* o) { o->Release(); }, 1},
        {"AddRef", [](IDispatch* o) { o->AddRef(); }, 1},
        {"a cast",
         [](IDispatch* o) {
             com_ptr<IUnknown> unknown;
             o->QueryInterface(IID_IUnknown, unknown.put_void());
         },
         1},
        {"a call",
         [](IDispatch* o) {
             DISPPARAMS none{};
             o->Invoke(148, IID_NULL, kUser, kGet, &none, nullptr, nullptr, nullptr);
         },
         1},
    };
    for (const auto& c : cases) {
        Workbook book;
        IDispatch* object = book.New(Kind::Range).detach();
        h.Equal(object->Release(), ULONG{0}, std::string(c.what) + ": the last release");
        c.after(object);
        h.Equal(book.Live(), 0L, std::string(c.what) + ": live");
        h.Equal(book.Misuses(), c.misuses, std::string(c.what) + ": misuses");
        h.Check(book.calls.empty(), std::string(c.what) + ": a call after release is not performed");
    }
}

}  // namespace

void StandInTests(Harness& h) {
    Misuses(h);
    ReplacedDestination(h);
    ArgumentChecking(h);
    CellsAccepted(h);
    Addresses(h);
    Interfaces(h);
    Faults(h);
    Records(h);
}

}  // namespace varnoke::spreadsheet_standin
