// A smart-tag host for Varnoke.dll: registers the host's type library and the
// component, creates both classes by ProgID and drives every member through
// COM only (vtables of the host interfaces and of the default interfaces, and
// IDispatch), with its own recording site, property bags and a recording
// browser behind the shell.
//
//   test_host.exe DLL SMARTTAGLIB.TLB [URL-LOG]
//       The folder of DLL holds varnokeL.xml and acturl.xml from data/ and
//       record_url.exe, which the http and https open commands name; URL-LOG
//       (default: record_url.log in that folder) is where it records.
//       Exit status 0 only when every check passed.
//   test_host.exe --register-host-library TLB
//   test_host.exe --unregister-host-library
//       What the host application's set-up does, for the registry check.
#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "adapters/win32/com/com_ptr.h"
#include "smarttaglib.h"
#include "tests/cases/action_cases.h"
#include "tests/cases/recognize_cases.h"
#include "tests/win32/fakes.h"
#include "tests/win32/harness.h"
#include "tests/win32/host_library.h"
#include "tests/win32/shell_watch.h"
#include "tests/win32/test_support.h"
#include "tests/xml_escape.h"
#include "varnoke.h"

namespace varnoke::wintest {
namespace {

using com::unique_bstr;
using com::unique_variant;

const std::wstring kType = L"urn:schemas-varnoke:smarttags#varnoke";
const HRESULT kNoSuchString = HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
const wchar_t kRecognizerProgId[] = L"VarnokeST.STRecognizer";
const wchar_t kActionProgId[] = L"VarnokeST.STAction";

Harness h;

using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
using NoArgumentFn = HRESULT(__stdcall*)();

struct Exports {
    GetClassObjectFn getClassObject = nullptr;
    NoArgumentFn canUnloadNow = nullptr;
    NoArgumentFn registerServer = nullptr;
    NoArgumentFn unregisterServer = nullptr;
};

struct Setup {
    std::wstring dll;
    std::wstring folder;  // the DLL's, where the component finds its data
    std::wstring cases;   // files this program writes
    std::wstring urlLog;
    Exports exports;
};

Setup setup;

std::string Num(long long n) { return std::to_string(n); }

ULONG References(IUnknown* p) {
    p->AddRef();
    return p->Release();
}

void CheckNoUnexpectedCalls(const std::string& what) {
    std::string list;
    for (const auto& c : Unexpected()) list += " " + c;
    h.Check(Unexpected().empty(), what + ": the component made calls a host object never expects:" + list);
    Unexpected().clear();
}

// ---------------------------------------------------------------- files

std::string XmlEscape(std::wstring_view text) { return test::XmlEscape(Utf8(text)); }

struct Stock {
    std::wstring name;
    std::wstring id;
};

// A stock list file of this program's own, in the cases folder.
std::wstring WriteStockList(const std::wstring& fileName, const std::vector<Stock>& stocks) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StockData>\n";
    for (const auto& s : stocks)
        xml += "<KestriaStockList><StockName>" + XmlEscape(s.name) + "</StockName><StockID>" + XmlEscape(s.id) +
               "</StockID></KestriaStockList>\n";
    xml += "</StockData>\n";
    const std::wstring path = setup.cases + L"\\" + fileName;
    h.Check(WriteUtf8File(path, xml), "writing " + Utf8(path));
    return path;
}

struct Verb {
    std::wstring name;
    std::wstring url;
};

std::wstring WriteActionTable(const std::wstring& fileName, const std::vector<Verb>& verbs) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ActionList>\n";
    for (const auto& v : verbs)
        xml += "<ActionUrl><ActionName>" + XmlEscape(v.name) + "</ActionName><URL>" + XmlEscape(v.url) +
               "</URL></ActionUrl>\n";
    xml += "</ActionList>\n";
    const std::wstring path = setup.cases + L"\\" + fileName;
    h.Check(WriteUtf8File(path, xml), "writing " + Utf8(path));
    return path;
}

// Moves one of the component's data files away for as long as it lives.
class DataFileAway {
public:
    explicit DataFileAway(const std::wstring& name) : path_(setup.folder + L"\\" + name), away_(path_ + L".away") {
        moved_ = MoveFileW(path_.c_str(), away_.c_str()) != 0;
        h.Check(moved_, "moving " + Utf8(path_) + " away, error " + Num(GetLastError()));
    }
    ~DataFileAway() {
        if (moved_) MoveFileW(away_.c_str(), path_.c_str());
    }
    DataFileAway(const DataFileAway&) = delete;
    DataFileAway& operator=(const DataFileAway&) = delete;

private:
    std::wstring path_, away_;
    bool moved_ = false;
};

// ---------------------------------------------------------------- COM helpers

com_ptr<ISmartTagRecognizer> NewRecognizer(const std::string& what) {
    return Create<ISmartTagRecognizer>(h, kRecognizerProgId, what);
}
com_ptr<ISmartTagAction> NewAction(const std::string& what) { return Create<ISmartTagAction>(h, kActionProgId, what); }

template <class To, class From>
com_ptr<To> Query(From* from, const std::string& what) {
    com_ptr<To> to;
    const HRESULT hr = from ? from->QueryInterface(__uuidof(To), to.put_void()) : E_POINTER;
    h.CheckHr(hr, S_OK, what + ": QueryInterface");
    return to;
}

// A BSTR out-parameter's outcome. `untouched`: the member did not write it.
struct StringResult {
    HRESULT hr;
    std::wstring text;
    bool null;
    bool untouched;
};

template <class F>
StringResult GetString(F&& call) {
    static OLECHAR marker[] = L"not written";
    BSTR out = marker;
    const HRESULT hr = call(&out);
    if (out == marker) return {hr, {}, false, true};
    unique_bstr owned(out);
    return {hr, Text(out), out == nullptr, false};
}

void ExpectString(const StringResult& r, HRESULT hr, std::wstring_view text, const std::string& what) {
    if (!h.Check(!r.untouched, what + ": out-parameter not written, HRESULT " + Hex(r.hr))) return;
    if (FAILED(hr)) h.Check(r.null, what + ": a failure leaves a null BSTR, HRESULT " + Hex(r.hr));
    h.CheckText(r.hr, hr, r.text, text, what);
}

// Loads a stock list through the default interface's vtable; `path` is
// passed as is.
HRESULT LoadStockList(ISmartTagRecognizer* r, VARIANT* path, const std::string& what) {
    auto d = Query<_STRecognizer>(r, what);
    if (!d) return E_NOINTERFACE;
    VARIANT result;
    VariantInit(&result);
    V_VT(&result) = VT_I4;  // whatever the caller left there is overwritten
    V_I4(&result) = 77;
    const HRESULT hr = d->LoadStockSymbolFromXMLFile(path, &result);
    h.Check(V_VT(&result) == VT_EMPTY,
            what + ": the load returns an empty variant, vt " + Num(V_VT(&result)) + " HRESULT " + Hex(hr));
    VariantClear(&result);
    return hr;
}

HRESULT LoadStockList(ISmartTagRecognizer* r, const std::wstring& path, const std::string& what) {
    unique_variant v;
    V_VT(v.get()) = VT_BSTR;
    V_BSTR(v.get()) = Bstr(path).release();
    const HRESULT hr = LoadStockList(r, v.get(), what);
    h.Check(V_VT(v.get()) == VT_BSTR && Text(V_BSTR(v.get())) == path, what + ": the path argument is unchanged");
    return hr;
}

HRESULT LoadActionTable(ISmartTagAction* a, const std::wstring& path, const std::string& what) {
    auto d = Query<_STAction>(a, what);
    if (!d) return E_NOINTERFACE;
    unique_variant v, result;
    V_VT(v.get()) = VT_BSTR;
    V_BSTR(v.get()) = Bstr(path).release();
    const HRESULT hr = d->LoadActionURLFromXMLFile(v.get(), result.get());
    h.Check(V_VT(result.get()) == VT_EMPTY, what + ": the load returns an empty variant, HRESULT " + Hex(hr));
    return hr;
}

// Calls a member by name through IDispatch; `args` in declaration order,
// borrowed. Invoke gets copies: Wine's oleaut32 replaces (and frees) a
// by-value string passed for an [in, out] VARIANT parameter.
HRESULT CallByName(IDispatch* d, const wchar_t* name, WORD flags, const std::vector<VARIANT>& args, VARIANT* result,
                   EXCEPINFO* error, const std::string& what) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (!h.CheckHr(hr, S_OK, what + ": GetIDsOfNames(" + Utf8(name) + ")")) return hr;
    std::vector<VARIANT> copies(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {  // IDispatch takes them last first
        VariantInit(&copies[i]);
        VariantCopy(&copies[i], const_cast<VARIANT*>(&args[args.size() - 1 - i]));
    }
    DISPPARAMS params{copies.data(), nullptr, static_cast<UINT>(copies.size()), 0};
    UINT argError = 0;
    hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, error, &argError);
    for (VARIANT& v : copies) VariantClear(&v);
    return hr;
}

// ---------------------------------------------------------------- recognition

struct Tag {
    int start;
    int length;
    std::wstring id;
    bool operator==(const Tag&) const = default;
};

std::string ShownTags(const std::vector<Tag>& tags) {
    std::string s = "[";
    for (const auto& t : tags) s += " {" + Num(t.start) + "," + Num(t.length) + "," + Utf8(t.id) + "}";
    return s + " ]";
}

// The committed tags; anything a host would reject is reported on the way.
std::vector<Tag> Tags(const RecordingSite& site, const std::string& what) {
    std::vector<Tag> tags;
    std::vector<const FakeBag*> seen;
    for (const Commit& c : site.commits) {
        h.Check(c.smartTagName == kType, what + ": tag type " + Shown(c.smartTagName));
        if (!h.Check(c.bag != nullptr, what + ": committed a bag this site never handed out")) continue;
        h.Check(std::find(seen.begin(), seen.end(), c.bag) == seen.end(), what + ": one bag committed twice");
        seen.push_back(c.bag);
        std::wstring id = Wide(cases::kNoProperty);
        if (c.properties.size() == 1 && c.properties[0].first == L"ProductID")
            id = c.properties[0].second;
        else if (!c.properties.empty())
            id = L"(other properties)";
        tags.push_back({c.start, c.length, id});
    }
    return tags;
}

// After a call the component holds no reference to the site or its bags.
void CheckSiteReleased(RecordingSite& site, const std::string& what) {
    h.Check(site.References() == 1, what + ": site reference count " + Num(site.References()) + ", expected 1");
    for (std::size_t i = 0; i < site.bags.size(); ++i)
        h.Check(site.bags[i]->References() == 1,
                what + ": bag " + Num(i) + " reference count " + Num(site.bags[i]->References()) + ", expected 1");
    CheckNoUnexpectedCalls(what);
}

enum class Via { host, defaultInterface, dispatch };
const char* Name(Via via) {
    switch (via) {
        case Via::host: return "ISmartTagRecognizer::Recognize";
        case Via::defaultInterface: return "_STRecognizer::ISmartTagRecognizer_Recognize";
        case Via::dispatch: return "IDispatch ISmartTagRecognizer_Recognize";
    }
    return "?";
}

HRESULT Recognize(ISmartTagRecognizer* r, Via via, BSTR text, ISmartTagRecognizerSite* site, const std::string& what) {
    switch (via) {
        case Via::host: return r->Recognize(text, IF_TYPE_PARA, 1033, site);
        case Via::defaultInterface: {
            auto d = Query<_STRecognizer>(r, what);
            return d ? d->ISmartTagRecognizer_Recognize(text, IF_TYPE_PARA, 1033, site) : E_NOINTERFACE;
        }
        case Via::dispatch: {
            auto d = Query<_STRecognizer>(r, what);
            if (!d) return E_NOINTERFACE;
            unique_variant result;
            return CallByName(d.get(), L"ISmartTagRecognizer_Recognize", DISPATCH_METHOD,
                              {StringArg(text), IntArg(IF_TYPE_PARA), IntArg(1033), ObjectArg(site)}, result.get(),
                              nullptr, what);
        }
    }
    return E_UNEXPECTED;
}

struct SiteFailures {
    int failBag = 0, nullBag = 0, failCommit = 0;
    bool failWrites = false;
};

// Recognizes `text` with a fresh site and checks tags, call counts and
// references.
void ExpectTags(ISmartTagRecognizer* r, Via via, const std::optional<std::wstring>& text,
                const std::vector<Tag>& expected, int bagRequests, int commitCalls, const std::string& what,
                SiteFailures failures = {}) {
    auto site = MakeFake<RecordingSite>();
    site->failBagNumber = failures.failBag;
    site->nullBagNumber = failures.nullBag;
    site->failCommitNumber = failures.failCommit;
    site->bagsFailWrites = failures.failWrites;
    unique_bstr bstr = text ? Bstr(*text) : unique_bstr();
    const HRESULT hr = Recognize(r, via, bstr.get(), site.get(), what);
    h.CheckHr(hr, S_OK, what + " via " + Name(via));
    const std::string label = what + " via " + Name(via) + " (HRESULT " + Hex(hr) + ")";
    const auto tags = Tags(*site.get(), label);
    h.Check(tags == expected, label + ": tags " + ShownTags(tags) + ", expected " + ShownTags(expected));
    h.Check(site->bagRequests == bagRequests,
            label + ": " + Num(site->bagRequests) + " bag requests, expected " + Num(bagRequests));
    h.Check(site->commitCalls == commitCalls,
            label + ": " + Num(site->commitCalls) + " commit calls, expected " + Num(commitCalls));
    CheckSiteReleased(*site.get(), label);
}

std::vector<Tag> Tags(const std::vector<cases::Tag>& rows) {
    std::vector<Tag> tags;
    for (const auto& t : rows) tags.push_back({t.start, t.length, Wide(t.id)});
    return tags;
}

// Every row of the portable recognition table, by each way a host calls.
void RecognizeTable() {
    h.Section("Recognize table");
    int n = 0;
    for (const auto& c : cases::RecognizeCases()) {
        const std::string what = std::string("case \"") + c.name + "\"";
        auto r = NewRecognizer(what);
        if (!r) continue;
        std::vector<Stock> stocks;
        for (const auto& s : c.stocks) stocks.push_back({Wide(s.name), Wide(s.id)});
        const auto path = WriteStockList(L"recognize" + std::to_wstring(++n) + L".xml", stocks);
        h.CheckHr(LoadStockList(r.get(), path, what), S_OK, what + ": LoadStockSymbolFromXMLFile");
        const SiteFailures failures{c.faults.failBag, c.faults.nullBag, c.faults.failCommit, c.faults.failWrites};
        const std::optional<std::wstring> text = c.text ? std::optional(Wide(*c.text)) : std::nullopt;
        for (Via via : {Via::host, Via::defaultInterface, Via::dispatch})
            ExpectTags(r.get(), via, text, Tags(c.expected), c.BagRequests(), c.CommitCalls(), what, failures);
        h.Check(References(r.get()) == 1, what + ": recognizer reference count " + Num(References(r.get())));
    }
}

void RecognizeShippedList() {
    h.Section("Recognize with the shipped stock list");
    auto r = NewRecognizer("shipped list");
    if (!r) return;
    // In list order: "1101" (1101), then 穗霖 (1203), then its longer name 穗霖乳業 (1207).
    for (Via via : {Via::host, Via::defaultInterface})
        ExpectTags(r.get(), via, L"穗霖乳業1101", {{5, 4, L"1101"}, {1, 2, L"1203"}, {1, 4, L"1207"}}, 3, 3,
                   "shipped list");
    ExpectTags(r.get(), Via::host, L"no listed name here", {}, 0, 0, "shipped list, no names");
}

void RecognizeWithoutList() {
    h.Section("Recognize without a loaded list");
    const std::wstring text = L"穗霖乳業1101";
    {
        DataFileAway away(L"varnokeL.xml");
        auto r = NewRecognizer("missing stock list");
        if (r) {
            int count = -1;
            h.CheckHr(r->get_SmartTagCount(&count), S_OK, "missing list: SmartTagCount");
            h.Check(count == 1, "missing list: SmartTagCount " + Num(count) + ", expected 1");
            for (Via via : {Via::host, Via::defaultInterface, Via::dispatch})
                ExpectTags(r.get(), via, text, {}, 0, 0, "missing list: no site call at all");
            const auto id = GetString([&](BSTR* s) { return r->get_ProgId(s); });
            ExpectString(id, S_OK, L"Varnoke.STRecognizer ", "missing list: ProgId");
        }
    }
    // A failed load marks the object as not loaded for good.
    auto r = NewRecognizer("failed load");
    if (!r) return;
    const auto good = WriteStockList(L"good.xml", {{L"甲", L"1"}});
    h.CheckHr(LoadStockList(r.get(), good, "good file"), S_OK, "good file: LoadStockSymbolFromXMLFile");
    ExpectTags(r.get(), Via::host, L"甲", {{1, 1, L"1"}}, 1, 1, "good file");
    h.CheckHr(LoadStockList(r.get(), setup.cases + L"\\missing.xml", "missing file"), S_OK,
              "missing file: LoadStockSymbolFromXMLFile");
    ExpectTags(r.get(), Via::host, L"甲", {}, 0, 0, "after a missing file");
    h.CheckHr(LoadStockList(r.get(), good, "good file again"), S_OK, "good file again: LoadStockSymbolFromXMLFile");
    ExpectTags(r.get(), Via::host, L"甲", {}, 0, 0, "a good file after a failed load");

    // A null site: nothing to call, and no failure.
    auto fresh = NewRecognizer("null site");
    if (!fresh) return;
    for (Via via : {Via::host, Via::defaultInterface, Via::dispatch}) {
        unique_bstr t = Bstr(text);
        h.CheckHr(Recognize(fresh.get(), via, t.get(), nullptr, "null site"), S_OK,
                  std::string("null site via ") + Name(via));
    }
}

// The path argument of LoadStockSymbolFromXMLFile is a VARIANT: anything
// that converts to a string is a path.
void LoadPathVariants() {
    h.Section("LoadStockSymbolFromXMLFile path variants");
    const auto path = WriteStockList(L"variants.xml", {{L"乙", L"22"}});
    unique_bstr byRefTarget = Bstr(path);
    BSTR byRefPath = byRefTarget.get();
    struct Case {
        const char* name;
        std::function<void(VARIANT&)> fill;
        bool loads;
    } cases[] = {
        {"VT_BSTR",
         [&](VARIANT& v) {
             V_VT(&v) = VT_BSTR;
             V_BSTR(&v) = Bstr(path).release();
         },
         true},
        {"VT_BSTR|VT_BYREF",
         [&](VARIANT& v) {
             V_VT(&v) = VT_BSTR | VT_BYREF;
             V_BSTRREF(&v) = &byRefPath;
         },
         true},
        {"VT_I4 (converts to the path \"5\")",
         [](VARIANT& v) {
             V_VT(&v) = VT_I4;
             V_I4(&v) = 5;
         },
         false},
        {"VT_EMPTY (converts to an empty path)", [](VARIANT&) {}, false},
        {"VT_NULL (does not convert)", [](VARIANT& v) { V_VT(&v) = VT_NULL; }, false},
    };
    for (const auto& c : cases) {
        const std::string what = std::string("path as ") + c.name;
        auto r = NewRecognizer(what);
        if (!r) continue;
        VARIANT v;
        VariantInit(&v);
        c.fill(v);
        h.CheckHr(LoadStockList(r.get(), &v, what), S_OK, what + ": LoadStockSymbolFromXMLFile");
        if (!(V_VT(&v) & VT_BYREF)) VariantClear(&v);
        if (c.loads)
            ExpectTags(r.get(), Via::host, L"乙", {{1, 1, L"22"}}, 1, 1, what);
        else
            ExpectTags(r.get(), Via::host, L"乙 穗霖", {}, 0, 0, what + ": not loaded");
    }
}

void TwoObjectsOwnData() {
    h.Section("Two objects of one class on one thread");
    auto first = NewRecognizer("first recognizer");
    auto second = NewRecognizer("second recognizer");
    if (!first || !second) return;
    h.CheckHr(LoadStockList(first.get(), WriteStockList(L"first.xml", {{L"甲", L"1"}}), "first"), S_OK, "first load");
    h.CheckHr(LoadStockList(second.get(), WriteStockList(L"second.xml", {{L"乙", L"2"}}), "second"), S_OK,
              "second load");
    auto third = NewRecognizer("third recognizer, created after both loads");
    ExpectTags(first.get(), Via::host, L"甲乙穗霖", {{1, 1, L"1"}}, 1, 1, "first recognizer");
    ExpectTags(second.get(), Via::host, L"甲乙穗霖", {{2, 1, L"2"}}, 1, 1, "second recognizer");
    if (third)
        ExpectTags(third.get(), Via::host, L"甲乙穗霖", {{3, 2, L"1203"}}, 1, 1, "third recognizer (shipped list)");

    auto a1 = NewAction("first action");
    auto a2 = NewAction("second action");
    if (!a1 || !a2) return;
    h.CheckHr(LoadActionTable(a1.get(), WriteActionTable(L"first-actions.xml", {{L"One", L"https://one.example/"}}),
                              "first action"),
              S_OK, "first action load");
    h.CheckHr(LoadActionTable(a2.get(), WriteActionTable(L"second-actions.xml", {{L"Two", L"https://two.example/"}}),
                              "second action"),
              S_OK, "second action load");
    ExpectString(GetString([&](BSTR* s) { return a1->get_VerbNameFromID(0, s); }), S_OK, L"One", "first action verb 0");
    ExpectString(GetString([&](BSTR* s) { return a2->get_VerbNameFromID(0, s); }), S_OK, L"Two",
                 "second action verb 0");
    ExpectString(GetString([&](BSTR* s) { return a1->get_VerbNameFromID(1, s); }), S_OK, L"CompanyReport",
                 "first action keeps the shipped verb 1");
}

// ---------------------------------------------------------------- recognizer members

void RecognizerMembers() {
    h.Section("STRecognizer members");
    auto r = NewRecognizer("members");
    if (!r) return;
    ExpectString(GetString([&](BSTR* s) { return r->get_ProgId(s); }), S_OK, L"Varnoke.STRecognizer ", "ProgId");
    const struct {
        int locale;
        const wchar_t* name;
    } names[] = {
        {1028, L"Kestria股票名稱/代碼"},
        {3076, L"Kestria股票名稱/代碼"},
        {2052, L"Kestria股票名称/代码"},
        {1033, L"Kestria Stock Symbol Recognizer"},
        {4100, L"Kestria Stock Symbol Recognizer"},
    };
    for (const auto& c : names) {
        ExpectString(GetString([&](BSTR* s) { return r->get_Name(c.locale, s); }), S_OK, c.name,
                     "Name(" + Num(c.locale) + ")");
        ExpectString(GetString([&](BSTR* s) { return r->get_Desc(c.locale, s); }), S_OK,
                     L"Kestria Stock Symbol Recognizer recognizes stock symbol of Kestria market in document.",
                     "Desc(" + Num(c.locale) + ")");
    }
    int count = -1;
    h.CheckHr(r->get_SmartTagCount(&count), S_OK, "SmartTagCount");
    h.Check(count == 1, "SmartTagCount " + Num(count) + ", expected 1");
    const struct {
        int id;
        std::wstring name;
    } tagNames[] = {{0, L""}, {1, kType}, {2, L""}, {-1, L""}};
    for (const auto& c : tagNames) {
        ExpectString(GetString([&](BSTR* s) { return r->get_SmartTagName(c.id, s); }), S_OK, c.name,
                     "SmartTagName(" + Num(c.id) + ")");
        ExpectString(GetString([&](BSTR* s) { return r->get_SmartTagDownloadURL(c.id, s); }), S_OK, L"",
                     "SmartTagDownloadURL(" + Num(c.id) + ")");
    }
    h.CheckHr(r->get_ProgId(nullptr), E_POINTER, "ProgId with no out-parameter");
    h.CheckHr(r->get_SmartTagCount(nullptr), E_POINTER, "SmartTagCount with no out-parameter");
}

// ---------------------------------------------------------------- action members

void ActionMembers() {
    h.Section("STAction members");
    auto a = NewAction("members");
    if (!a) return;
    ExpectString(GetString([&](BSTR* s) { return a->get_ProgId(s); }), S_OK, L"Varnoke.STAction", "ProgId");
    for (int locale : {1028, 3076, 2052, 1033, 4100}) {
        ExpectString(GetString([&](BSTR* s) { return a->get_Name(locale, s); }), S_OK, L"Kestria Stock Symbol Actions",
                     "Name(" + Num(locale) + ")");
        ExpectString(GetString([&](BSTR* s) { return a->get_Desc(locale, s); }), S_OK,
                     L"Provide actions for Kestria Stock Symbol data", "Desc(" + Num(locale) + ")");
    }
    int count = -1;
    h.CheckHr(a->get_SmartTagCount(&count), S_OK, "SmartTagCount");
    h.Check(count == 1, "SmartTagCount " + Num(count) + ", expected 1");
    for (const auto& [id, name] : std::vector<std::pair<int, std::wstring>>{{0, L""}, {1, kType}, {2, L""}})
        ExpectString(GetString([&](BSTR* s) { return a->get_SmartTagName(id, s); }), S_OK, name,
                     "SmartTagName(" + Num(id) + ")");

    for (const auto& c : cases::kSmartTagCaptionCases)
        ExpectString(GetString([&](BSTR* s) { return a->get_SmartTagCaption(1, c.locale, s); }), S_OK, Wide(c.caption),
                     "SmartTagCaption(1, " + Num(c.locale) + ")");

    std::wstring upper = kType;
    upper.back() = L'E';
    const struct {
        std::wstring name;
        int count;
    } verbCounts[] = {{kType, 5}, {upper, 0}, {kType + L" ", 0}, {L"", 0}, {L"#varnoke", 0}};
    for (const auto& c : verbCounts) {
        int n = -1;
        unique_bstr name = Bstr(c.name);
        const HRESULT hr = a->get_VerbCount(name.get(), &n);
        h.Check(hr == S_OK && n == c.count,
                "VerbCount(" + Shown(c.name) + ") = " + Num(n) + ", expected " + Num(c.count) + ", HRESULT " + Hex(hr));
    }

    unique_bstr type = Bstr(kType);
    for (int index = 1; index <= 5; ++index) {
        int id = -99;
        const HRESULT hr = a->get_VerbID(type.get(), index, &id);
        h.Check(hr == S_OK && id == index - 1,
                "VerbID(" + Num(index) + ") = " + Num(id) + ", expected " + Num(index - 1) + ", HRESULT " + Hex(hr));
    }
    int id = -99;
    HRESULT hr = a->get_VerbID(type.get(), INT_MIN, &id);
    h.Check(hr == DISP_E_OVERFLOW && id == 0,
            "VerbID(INT_MIN) = " + Num(id) + ", HRESULT " + Hex(hr) + ", expected 0 and " + Hex(DISP_E_OVERFLOW));

    for (const auto& c : cases::VerbCaptionCases()) {
        unique_bstr app = c.app ? Bstr(Wide(*c.app)) : unique_bstr();
        const HRESULT hr = c.status == Status::ok               ? S_OK
                           : c.status == Status::no_such_string ? kNoSuchString
                                                                : DISP_E_OVERFLOW;
        ExpectString(
            GetString([&](BSTR* s) { return a->get_VerbCaptionFromID(c.verb, app.get(), c.locale, s); }), hr,
            Wide(c.caption),
            "VerbCaptionFromID(" + Num(c.verb) + ", " + (c.app ? Utf8(*c.app) : "null") + ", " + Num(c.locale) + ")");
    }

    const wchar_t* verbNames[] = {L"StockQuote", L"CompanyReport", L"RecentNews", L"BasicInformation",
                                  L"InsertStockPrice"};
    for (int verb = 0; verb < 5; ++verb)
        ExpectString(GetString([&](BSTR* s) { return a->get_VerbNameFromID(verb, s); }), S_OK, verbNames[verb],
                     "VerbNameFromID(" + Num(verb) + ")");
    for (int verb : {5, -1, INT_MAX})
        ExpectString(GetString([&](BSTR* s) { return a->get_VerbNameFromID(verb, s); }), DISP_E_BADINDEX, L"",
                     "VerbNameFromID(" + Num(verb) + ")");
    h.CheckHr(a->get_VerbID(type.get(), 1, nullptr), E_POINTER, "VerbID with no out-parameter");
    h.CheckHr(a->get_VerbNameFromID(0, nullptr), E_POINTER, "VerbNameFromID with no out-parameter");
}

// ---------------------------------------------------------------- the shell

// What record_url.exe wrote: one line per program start.
std::vector<std::wstring> ShellLines() {
    std::vector<std::wstring> lines;
    const std::string bytes = ReadFileBytes(setup.urlLog).value_or("");
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(Wide(std::string_view(bytes).substr(start, end - start)));
    return lines;
}

// The lines past `from` once `count` of them are there, or after 5 s.
std::vector<std::wstring> WaitForShellLines(std::size_t from, std::size_t count) {
    std::vector<std::wstring> lines;
    for (int waited = 0; waited <= 5000; waited += 50) {
        lines = ShellLines();
        if (lines.size() >= from + count) break;
        Sleep(50);
    }
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())));
    return lines;
}

std::string ShownLines(const std::vector<std::wstring>& lines) {
    std::string s = "[";
    for (const auto& l : lines) {
        s += ' ';
        s += Shown(l);
    }
    return s + " ]";
}

std::vector<std::wstring> HandedToShell() {
    std::vector<std::wstring> files;
    for (const ShellCall& c : ShellWatch::Calls()) files.push_back(c.file);
    return files;
}

// Checks what reached the shell since the watch was cleared: exactly
// `expected`, each one also arriving at the browser.
void ExpectShell(const std::vector<std::wstring>& expected, std::size_t logBefore, const std::string& what) {
    const auto handed = HandedToShell();
    h.Check(handed == expected,
            what + ": handed to the shell " + ShownLines(handed) + ", expected " + ShownLines(expected));
    if (expected.empty()) return;
    const auto lines = WaitForShellLines(logBefore, expected.size());
    h.Check(lines == expected,
            what + ": the browser received " + ShownLines(lines) + ", expected " + ShownLines(expected));
}

void RunInvokeCase(ISmartTagAction* a, const cases::InvokeCase& c, bool viaDefaultInterface) {
    std::string what = std::string("\"") + c.name + "\" (verb " + Num(c.verb) + ")" +
                       (viaDefaultInterface ? " through the default interface" : "");
    auto bag = MakeFake<FakeBag>(FakeBag::Use::action);
    if (c.productId) bag->properties = {{L"ProductID", Wide(*c.productId)}};
    bag->failReads = c.failReads;
    auto target = MakeFake<FakeTarget>();
    unique_bstr app = Bstr(Wide(c.app)), text = Bstr(L"2330"), xml = Bstr(L"<xml/>");
    ISmartTagProperties* properties = c.noBag ? nullptr : bag.get();

    ShellWatch::Calls().clear();
    const std::size_t before = ShellLines().size();
    HRESULT hr;
    if (viaDefaultInterface) {
        auto d = Query<_STAction>(a, what);
        hr = d ? d->ISmartTagAction_InvokeVerb(c.verb, app.get(), target.get(), properties, text.get(), xml.get())
               : E_NOINTERFACE;
    } else {
        hr = a->InvokeVerb(c.verb, app.get(), target.get(), properties, text.get(), xml.get());
    }
    h.CheckHr(hr, S_OK, what + ": InvokeVerb");
    what += " (HRESULT " + Hex(hr) + ")";
    ExpectShell(c.effect == cases::Effect::opened
                    ? std::vector<std::wstring>{Wide(c.ansiUrl.empty() ? c.url : c.ansiUrl)}
                    : std::vector<std::wstring>{},
                before, what);

    if (!c.noBag) {
        const std::vector<std::wstring> oneRead = {L"ProductID"};
        h.Check(bag->readKeys == oneRead, what + ": the bag is read once, for ProductID (" +
                                              Num(static_cast<long long>(bag->readKeys.size())) + " reads)");
    }
    h.Check(bag->References() == 1 && target->References() == 1,
            what + ": references kept: bag " + Num(bag->References()) + ", target " + Num(target->References()));
    CheckNoUnexpectedCalls(what);
}

// Every row of the portable invoke table, through the host interface and the
// default one; the rows with a table load it over the shipped one.
void InvokeVerbs() {
    h.Section("InvokeVerb and the shell");
    auto a = NewAction("invoke");
    if (!a) return;
    const std::wstring table = setup.cases + L"\\invoke-actions.xml";
    h.Check(WriteUtf8File(table, cases::CompleteActionTable()), "writing " + Utf8(table));
    h.CheckHr(LoadActionTable(a.get(), table, "invoke"), S_OK, "invoke: LoadActionURLFromXMLFile");
    for (const auto& c : cases::InvokeCases())
        if (c.table)
            for (bool viaDefault : {false, true}) RunInvokeCase(a.get(), c, viaDefault);

    // Without an action table the address is the document's identifier alone.
    DataFileAway away(L"acturl.xml");
    auto bare = NewAction("no action table");
    if (!bare) return;
    ExpectString(GetString([&](BSTR* s) { return bare->get_VerbNameFromID(0, s); }), S_OK, L"",
                 "no action table: VerbNameFromID(0)");
    for (const auto& c : cases::InvokeCases())
        if (!c.table)
            for (bool viaDefault : {false, true}) RunInvokeCase(bare.get(), c, viaDefault);
}

// ---------------------------------------------------------------- IDispatch

void Dispatch() {
    h.Section("IDispatch");
    auto r = NewRecognizer("dispatch");
    auto a = NewAction("dispatch");
    if (!r || !a) return;

    // Identity: IDispatch and IUnknown are the default interface.
    const struct {
        IUnknown* object;
        IID iid;
        const char* name;
    } classes[] = {{r.get(), IID__STRecognizer, "STRecognizer"}, {a.get(), IID__STAction, "STAction"}};
    for (const auto& [object, iid, name] : classes) {
        com_ptr<IUnknown> viaDispatch, viaDefault, unknown1, unknown2;
        HRESULT hr1 = object->QueryInterface(IID_IDispatch, viaDispatch.put_void());
        HRESULT hr2 = object->QueryInterface(iid, viaDefault.put_void());
        h.Check(hr1 == S_OK && hr2 == S_OK && viaDispatch.get() == viaDefault.get(),
                std::string(name) + ": QueryInterface(IDispatch) is the default interface, HRESULTs " + Hex(hr1) + " " +
                    Hex(hr2));
        hr1 = object->QueryInterface(IID_IUnknown, unknown1.put_void());
        hr2 = viaDefault ? viaDefault->QueryInterface(IID_IUnknown, unknown2.put_void()) : E_POINTER;
        h.Check(hr1 == S_OK && hr2 == S_OK && unknown1.get() == unknown2.get(),
                std::string(name) + ": one IUnknown from every interface, HRESULTs " + Hex(hr1) + " " + Hex(hr2));
        com_ptr<IUnknown> none;
        h.CheckHr(object->QueryInterface(IID_IClassFactory, none.put_void()), E_NOINTERFACE,
                  std::string(name) + ": QueryInterface(IClassFactory)");
        h.Check(!none, std::string(name) + ": no pointer after E_NOINTERFACE");
    }

    auto d = Query<_STRecognizer>(r.get(), "dispatch");
    if (!d) return;
    UINT count = 0;
    h.CheckHr(d->GetTypeInfoCount(&count), S_OK, "GetTypeInfoCount");
    h.Check(count == 1, "GetTypeInfoCount " + Num(count));
    com_ptr<ITypeInfo> info;
    HRESULT hr = d->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put());
    if (h.CheckHr(hr, S_OK, "GetTypeInfo(0)") && info) {
        unique_bstr name;
        hr = info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
        h.CheckText(hr, S_OK, Text(name.get()), L"_STRecognizer", "the default interface's type name");
    }
    com_ptr<ITypeInfo> none;
    h.CheckHr(d->GetTypeInfo(1, LOCALE_USER_DEFAULT, none.put()), DISP_E_BADINDEX, "GetTypeInfo(1)");

    const struct {
        const wchar_t* name;
        HRESULT hr;
        DISPID id;
    } names[] = {
        {L"LoadStockSymbolFromXMLFile", S_OK, 0x60030000},     {L"loadstocksymbolfromxmlfile", S_OK, 0x60030000},
        {L"ISmartTagRecognizer_Recognize", S_OK, 0x60030001},  {L"ProgId", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
        {L"NoSuchMember", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
    };
    for (const auto& c : names) {
        DISPID id = 12345;
        LPOLESTR n[] = {const_cast<LPOLESTR>(c.name)};
        hr = d->GetIDsOfNames(IID_NULL, n, 1, LOCALE_USER_DEFAULT, &id);
        h.Check(hr == c.hr && (FAILED(hr) || id == c.id), "GetIDsOfNames(" + Utf8(c.name) + ") = " + Num(id) +
                                                              ", HRESULT " + Hex(hr) + ", expected " + Hex(c.hr));
    }

    // Load by name with each way a script passes a string; a path passed by
    // reference comes back unchanged.
    const auto path = WriteStockList(L"dispatch.xml", {{L"丙", L"33"}});
    for (VARTYPE vt : {VARTYPE(VT_BSTR), VARTYPE(VT_BSTR | VT_BYREF), VARTYPE(VT_VARIANT | VT_BYREF)}) {
        const std::string what = "Invoke LoadStockSymbolFromXMLFile with vt " + Hex(vt);
        auto fresh = NewRecognizer(what);
        auto fd = Query<_STRecognizer>(fresh.get(), what);
        if (!fd) continue;
        unique_bstr owned = Bstr(path);
        BSTR reference = owned.get();
        unique_variant inner;
        V_VT(inner.get()) = VT_BSTR;
        V_BSTR(inner.get()) = Bstr(path).release();
        VARIANT arg;
        VariantInit(&arg);
        V_VT(&arg) = vt;
        if (vt == VT_BSTR) V_BSTR(&arg) = owned.get();
        if (vt == (VT_BSTR | VT_BYREF)) V_BSTRREF(&arg) = &reference;
        if (vt == (VT_VARIANT | VT_BYREF)) V_VARIANTREF(&arg) = inner.get();
        unique_variant result;
        hr = CallByName(fd.get(), L"LoadStockSymbolFromXMLFile", DISPATCH_METHOD, {arg}, result.get(), nullptr, what);
        h.CheckHr(hr, S_OK, what);
        h.Check(V_VT(result.get()) == VT_EMPTY, what + ": empty result, vt " + Num(V_VT(result.get())));
        h.Check(reference == owned.get() && Text(reference) == path, what + ": a string by reference is unchanged");
        h.Check(V_VT(inner.get()) == VT_BSTR && Text(V_BSTR(inner.get())) == path,
                what + ": a variant by reference is unchanged");
        ExpectTags(fresh.get(), Via::host, L"丙", {{1, 1, L"33"}}, 1, 1, what);
        ExpectTags(fresh.get(), Via::dispatch, L"丙丙", {{1, 1, L"33"}, {2, 1, L"33"}}, 2, 2, what);
    }

    // The host interface's own dispatch half answers from the host library.
    {
        unique_variant result;
        hr = CallByName(r.get(), L"ProgId", DISPATCH_PROPERTYGET, {}, result.get(), nullptr, "ISmartTagRecognizer");
        h.Check(hr == S_OK && V_VT(result.get()) == VT_BSTR && Text(V_BSTR(result.get())) == L"Varnoke.STRecognizer ",
                "ISmartTagRecognizer Invoke ProgId, HRESULT " + Hex(hr));
    }
    {
        unique_variant result;
        hr = CallByName(r.get(), L"Name", DISPATCH_PROPERTYGET, {IntArg(2052)}, result.get(), nullptr,
                        "ISmartTagRecognizer");
        h.Check(hr == S_OK && V_VT(result.get()) == VT_BSTR && Text(V_BSTR(result.get())) == L"Kestria股票名称/代码",
                "ISmartTagRecognizer Invoke Name(2052), HRESULT " + Hex(hr));
    }
    {
        unique_variant result;
        hr = CallByName(r.get(), L"SmartTagCount", DISPATCH_PROPERTYGET, {}, result.get(), nullptr,
                        "ISmartTagRecognizer");
        unique_variant asInt;
        const HRESULT conv = VariantChangeType(asInt.get(), result.get(), 0, VT_I4);
        h.Check(hr == S_OK && conv == S_OK && V_I4(asInt.get()) == 1,
                "ISmartTagRecognizer Invoke SmartTagCount, HRESULT " + Hex(hr));
    }

    // The action's load by name, and its host interface by name.
    auto ad = Query<_STAction>(a.get(), "dispatch action");
    if (!ad) return;
    {
        const auto table = WriteActionTable(L"dispatch-actions.xml", {{L"ByName", L"https://byname.example/"}});
        unique_bstr tableBstr = Bstr(table);
        unique_variant result;
        hr = CallByName(ad.get(), L"LoadActionURLFromXMLFile", DISPATCH_METHOD, {StringArg(tableBstr.get())},
                        result.get(), nullptr, "_STAction");
        h.CheckHr(hr, S_OK, "Invoke LoadActionURLFromXMLFile");
        ExpectString(GetString([&](BSTR* s) { return a->get_VerbNameFromID(0, s); }), S_OK, L"ByName",
                     "VerbNameFromID(0) after a load by name");
    }
    {
        unique_bstr word = Bstr(L"Word");
        unique_variant result;
        hr = CallByName(a.get(), L"VerbCaptionFromID", DISPATCH_PROPERTYGET,
                        {IntArg(0), StringArg(word.get()), IntArg(1033)}, result.get(), nullptr, "ISmartTagAction");
        h.Check(hr == S_OK && V_VT(result.get()) == VT_BSTR && Text(V_BSTR(result.get())) == L"Stock Quote on Web Site",
                "ISmartTagAction Invoke VerbCaptionFromID(0, Word, 1033), HRESULT " + Hex(hr));
    }
    {
        unique_variant result;
        EXCEPINFO error{};
        hr = CallByName(a.get(), L"VerbNameFromID", DISPATCH_PROPERTYGET, {IntArg(5)}, result.get(), &error,
                        "ISmartTagAction");
        h.Check(hr == DISP_E_EXCEPTION && error.scode == DISP_E_BADINDEX,
                "ISmartTagAction Invoke VerbNameFromID(5): HRESULT " + Hex(hr) + " scode " + Hex(error.scode) +
                    ", expected " + Hex(DISP_E_EXCEPTION) + " with " + Hex(DISP_E_BADINDEX));
        SysFreeString(error.bstrSource);
        SysFreeString(error.bstrDescription);
        SysFreeString(error.bstrHelpFile);
    }
    {
        // A verb invoked by name, with this program's bag, reaches the shell.
        auto bag = MakeFake<FakeBag>(FakeBag::Use::action);
        bag->properties = {{L"ProductID", L"5555"}};
        unique_bstr word = Bstr(L"Word"), empty = Bstr(L"");
        ShellWatch::Calls().clear();
        const std::size_t before = ShellLines().size();
        unique_variant result;
        hr = CallByName(ad.get(), L"ISmartTagAction_InvokeVerb", DISPATCH_METHOD,
                        {IntArg(0), StringArg(word.get()), ObjectArg(nullptr), ObjectArg(bag.get()),
                         StringArg(empty.get()), StringArg(empty.get())},
                        result.get(), nullptr, "_STAction");
        h.CheckHr(hr, S_OK, "Invoke ISmartTagAction_InvokeVerb by name");
        ExpectShell({L"https://byname.example/5555"}, before, "InvokeVerb by name (HRESULT " + Hex(hr) + ")");
        h.Check(bag->References() == 1, "InvokeVerb by name: bag references " + Num(bag->References()));
        CheckNoUnexpectedCalls("InvokeVerb by name");
    }
}

// ---------------------------------------------------------------- server

bool Loaded() { return GetModuleHandleW(setup.dll.c_str()) != nullptr; }

// A thread that is the component's only user: it builds both objects, lets
// them go, frees unused libraries, leaves COM and ends.
struct LastUser {
    HANDLE worked = nullptr;  // set once its COM calls are done, before it ends
    HRESULT init = E_FAIL, recognizer = E_FAIL, action = E_FAIL;
    bool loadedWhileAlive = false;
};

DWORD WINAPI LastUserThread(void* parameter) {
    auto& u = *static_cast<LastUser*>(parameter);
    u.init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        com_ptr<IUnknown> r, a;
        u.recognizer = CoCreateInstance(CLSID_STRecognizer, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, r.put_void());
        u.action = CoCreateInstance(CLSID_STAction, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, a.put_void());
        u.loadedWhileAlive = Loaded();
    }
    CoFreeUnusedLibraries();
    if (SUCCEEDED(u.init)) CoUninitialize();
    SetEvent(u.worked);
    return 0;
}

// Runs while this program holds no reference to the DLL. A thread stuck in
// its exit holds the loader lock, and this process would freeze at its next
// library load or at exit: then the run ends here, failed.
void Unloading() {
    h.Section("Unloading");
    h.Check(!Loaded(), "the DLL is unloaded once this program frees it");

    LastUser u;
    u.worked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, LastUserThread, &u, 0, nullptr);
    if (!h.Check(u.worked && thread, "starting the last user's thread, error " + Num(GetLastError()))) return;
    const bool worked = WaitForSingleObject(u.worked, 60000) == WAIT_OBJECT_0;
    const bool ended = worked && WaitForSingleObject(thread, 1000) == WAIT_OBJECT_0;
    h.Check(worked, "the last user's COM calls return");
    h.Check(ended, "the last user's thread ends within a second of its last COM call");
    if (!ended) {
        h.Finish();
        TerminateProcess(GetCurrentProcess(), 1);
    }
    CloseHandle(thread);
    CloseHandle(u.worked);
    h.CheckHr(u.init, S_OK, "last user: CoInitializeEx");
    h.CheckHr(u.recognizer, S_OK, "last user: creating the recognizer");
    h.CheckHr(u.action, S_OK, "last user: creating the action");
    h.Check(u.loadedWhileAlive, "last user: the DLL is loaded while its objects live");
    h.Check(!Loaded(), "the DLL is unloaded once its last user has left COM");

    // Apartment-model servers are freed at once in a single-threaded
    // apartment, but a runtime may delay the unload; a zero delay does not.
    for (const wchar_t* progId : {kRecognizerProgId, kActionProgId}) {
        const std::string what = Utf8(progId);
        Create<IUnknown>(h, progId, what);  // released at once
        h.Check(Loaded(), what + ": the DLL is loaded once an object was created");
        CoFreeUnusedLibrariesEx(0, 0);
        h.Check(!Loaded(), what + ": the DLL is unloaded by CoFreeUnusedLibraries with no object alive");
    }
}

void ClassFactories() {
    h.Section("Class objects");
    const GUID unknown = {0x2D6C1A6E, 0x0B2A, 0x4C59, {0x9E, 0x31, 0x5A, 0x0F, 0x61, 0x77, 0x12, 0x84}};
    void* object = reinterpret_cast<void*>(1);
    h.CheckHr(setup.exports.getClassObject(unknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE,
              "DllGetClassObject(unknown CLSID)");
    h.Check(object == nullptr, "DllGetClassObject(unknown CLSID) clears its out-parameter");

    for (const auto& [clsid, name] :
         {std::pair{CLSID_STRecognizer, "STRecognizer"}, std::pair{CLSID_STAction, "STAction"}}) {
        const std::string what = name;
        object = reinterpret_cast<void*>(1);
        h.CheckHr(setup.exports.getClassObject(clsid, IID_IDispatch, &object), E_NOINTERFACE,
                  what + ": DllGetClassObject(IDispatch)");
        h.Check(object == nullptr, what + ": no pointer after E_NOINTERFACE");
        com_ptr<IClassFactory> factory;
        HRESULT hr = setup.exports.getClassObject(clsid, IID_IClassFactory, factory.put_void());
        if (!h.CheckHr(hr, S_OK, what + ": DllGetClassObject(IClassFactory)") || !factory) continue;

        auto outer = MakeFake<FakeTarget>();
        com_ptr<IUnknown> aggregated;
        h.CheckHr(factory->CreateInstance(outer.get(), IID_IUnknown, aggregated.put_void()), CLASS_E_NOAGGREGATION,
                  what + ": CreateInstance with an outer object");
        h.Check(!aggregated, what + ": no object from a refused aggregation");
        h.CheckHr(CoCreateInstance(clsid, outer.get(), CLSCTX_INPROC_SERVER, IID_IUnknown, aggregated.put_void()),
                  CLASS_E_NOAGGREGATION, what + ": CoCreateInstance with an outer object");
        h.Check(outer->References() == 1,
                what + ": the outer object is not kept, references " + Num(outer->References()));
        CheckNoUnexpectedCalls(what + ": aggregation");
        h.CheckHr(setup.exports.canUnloadNow(), S_OK, what + ": DllCanUnloadNow after refused creations");

        com_ptr<IUnknown> created;
        hr = factory->CreateInstance(nullptr, IID_IUnknown, created.put_void());
        h.CheckHr(hr, S_OK, what + ": CreateInstance(IUnknown)");
        h.CheckHr(factory->CreateInstance(nullptr, IID_IClassFactory, aggregated.put_void()), E_NOINTERFACE,
                  what + ": CreateInstance(IClassFactory)");
        h.Check(!aggregated, what + ": no object for an interface it lacks");
    }
}

void Lifetime() {
    h.Section("Reference counts and unloading");
    h.CheckHr(setup.exports.canUnloadNow(), S_OK, "DllCanUnloadNow with nothing alive");
    for (const auto& [progId, iid] :
         {std::pair{kRecognizerProgId, IID__STRecognizer}, std::pair{kActionProgId, IID__STAction}}) {
        const std::string what = Utf8(progId);
        com_ptr<IUnknown> object = Create<IUnknown>(h, progId, what);
        if (!object) continue;
        h.Check(References(object.get()) == 1,
                what + ": a new object holds one reference, not " + Num(References(object.get())));
        h.CheckHr(setup.exports.canUnloadNow(), S_FALSE, what + ": DllCanUnloadNow with an object alive");
        com_ptr<IUnknown> second;
        h.CheckHr(object->QueryInterface(iid, second.put_void()), S_OK, what + ": QueryInterface");
        h.Check(References(object.get()) == 2, what + ": QueryInterface adds one reference");
        second.reset();
        h.Check(References(object.get()) == 1, what + ": Release removes it");
        const ULONG left = object.detach()->Release();
        h.Check(left == 0, what + ": the last Release returns " + Num(left));
        h.CheckHr(setup.exports.canUnloadNow(), S_OK, what + ": DllCanUnloadNow once the object is freed");

        CLSID clsid{};
        CLSIDFromProgID(progId, &clsid);
        com_ptr<IClassFactory> factory;
        if (!h.CheckHr(setup.exports.getClassObject(clsid, IID_IClassFactory, factory.put_void()), S_OK,
                       what + ": DllGetClassObject"))
            continue;
        h.CheckHr(setup.exports.canUnloadNow(), S_OK, what + ": a class object alone keeps nothing loaded");
        h.CheckHr(factory->LockServer(TRUE), S_OK, what + ": LockServer(TRUE)");
        h.CheckHr(factory->LockServer(TRUE), S_OK, what + ": LockServer(TRUE) again");
        h.CheckHr(setup.exports.canUnloadNow(), S_FALSE, what + ": DllCanUnloadNow while locked");
        h.CheckHr(factory->LockServer(FALSE), S_OK, what + ": LockServer(FALSE)");
        h.CheckHr(setup.exports.canUnloadNow(), S_FALSE, what + ": DllCanUnloadNow with one lock left");
        h.CheckHr(factory->LockServer(FALSE), S_OK, what + ": LockServer(FALSE) again");
        h.CheckHr(setup.exports.canUnloadNow(), S_OK, what + ": DllCanUnloadNow with no lock");
    }
}

// ---------------------------------------------------------------- main

// Loads the DLL as this program's own reference and finds its exports.
HMODULE LoadServer() {
    HMODULE module = LoadLibraryW(setup.dll.c_str());
    if (!h.Check(module != nullptr, "LoadLibrary(" + Utf8(setup.dll) + "), error " + Num(GetLastError())))
        return nullptr;
    auto& x = setup.exports;
    x.getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    x.canUnloadNow = reinterpret_cast<NoArgumentFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    x.registerServer =
        reinterpret_cast<NoArgumentFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    x.unregisterServer =
        reinterpret_cast<NoArgumentFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
    if (!h.Check(x.getClassObject && x.canUnloadNow && x.registerServer && x.unregisterServer,
                 "the four server exports"))
        return nullptr;
    return module;
}

int RunAll(const std::wstring& dll, const std::wstring& tlb, const std::wstring& log) {
    setup.dll = dll;
    setup.folder = dll.substr(0, dll.find_last_of(L'\\'));
    setup.cases = setup.folder + L"\\cases";
    setup.urlLog = log.empty() ? setup.folder + L"\\record_url.log" : log;
    CreateDirectoryW(setup.cases.c_str(), nullptr);

    h.CheckHr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK, "CoInitializeEx");

    HostLibraryForRun hostLibrary(h, tlb);

    HMODULE module = LoadServer();
    if (!module) return h.Finish();
    auto& x = setup.exports;
    h.CheckHr(x.registerServer(), S_OK, "DllRegisterServer");
    for (const auto& [progId, clsid] :
         {std::pair{kRecognizerProgId, CLSID_STRecognizer}, std::pair{kActionProgId, CLSID_STAction}}) {
        CLSID found{};
        const HRESULT hr = CLSIDFromProgID(progId, &found);
        h.Check(hr == S_OK && IsEqualCLSID(found, clsid), "CLSIDFromProgID(" + Utf8(progId) + "), HRESULT " + Hex(hr));
    }

    FreeLibrary(module);
    setup.exports = {};
    Unloading();
    if (!(module = LoadServer())) return h.Finish();
    h.Check(ShellWatch::Install(module) >= 1, "the DLL imports a shell execute function the test can watch");

    Lifetime();
    ClassFactories();
    RecognizerMembers();
    RecognizeTable();
    RecognizeShippedList();
    RecognizeWithoutList();
    LoadPathVariants();
    TwoObjectsOwnData();
    ActionMembers();
    InvokeVerbs();
    Dispatch();

    h.Section("teardown");
    h.CheckHr(x.canUnloadNow(), S_OK, "DllCanUnloadNow after every object was released");
    h.CheckHr(x.unregisterServer(), S_OK, "DllUnregisterServer");
    for (const wchar_t* progId : {kRecognizerProgId, kActionProgId}) {
        CLSID found{};
        h.Check(FAILED(CLSIDFromProgID(progId, &found)), "the ProgID " + Utf8(progId) + " is gone after unregistering");
    }
    com_ptr<IUnknown> gone;
    h.CheckHr(CoCreateInstance(CLSID_STRecognizer, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, gone.put_void()),
              REGDB_E_CLASSNOTREG, "CoCreateInstance after unregistering");
    hostLibrary.End();
    CoUninitialize();
    return h.Finish();
}

int HostLibrary(bool registering, const std::wstring& tlb) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HRESULT hr;
    if (registering) {
        com_ptr<ITypeLib> library;
        hr = LoadTypeLibEx(tlb.c_str(), REGKIND_REGISTER, library.put());
    } else {
        hr = UnRegisterTypeLib(LIBID_SmartTagLib, 1, 2, 0, kSysKind);
    }
    CoUninitialize();
    if (FAILED(hr))
        Harness::Print(std::string(registering ? "registering" : "unregistering") +
                       " the host library failed: HRESULT " + Hex(hr));
    return FAILED(hr) ? 1 : 0;
}

}  // namespace
}  // namespace varnoke::wintest

int wmain(int argc, wchar_t** argv) {
    using namespace varnoke::wintest;
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == L"--register-host-library") return HostLibrary(true, args[1]);
    if (args.size() == 1 && args[0] == L"--unregister-host-library") return HostLibrary(false, {});
    if (args.size() != 2 && args.size() != 3) {
        Harness::Print(
            "usage: test_host DLL SMARTTAGLIB.TLB [URL-LOG] | --register-host-library TLB | "
            "--unregister-host-library");
        return 2;
    }
    return RunAll(args[0], args[1], args.size() == 3 ? args[2] : std::wstring());
}
