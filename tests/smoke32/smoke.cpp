// Smoke checks of the 32-bit Varnoke.dll as a smart-tag host would use it:
// register the host's type library and the component, create both classes by
// ProgID, drive one recognition and one verb through the host interfaces,
// then unregister. Run by tests/smoke32/run_smoke.sh under 32-bit Wine.
//
//   smoke.exe DLL SMARTTAGLIB.TLB RECORDER URL-LOG
//     DLL       the component, alone in a folder this program may write to:
//               its own small varnokeL.xml and acturl.xml are put beside it
//     RECORDER  a program the http and https open commands are pointed at for
//               the run; it appends each URL it is given as a line to URL-LOG
// Prints one line per check and "N passed, M failed"; exit status 0 only
// when every check passed.
#include <ocidl.h>
#include <oaidl.h>
#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "adapters/win32/com/com_ptr.h"
#include "tests/win32/harness.h"
#include "tests/win32/test_support.h"
// After every system header, so only these two headers' GUIDs are defined here.
#include <initguid.h>

#include "smarttaglib.h"
#include "varnoke.h"
// After them: it includes smarttaglib.h, which must be read first with <initguid.h> in effect.
#include "adapters/win32/com/property_bag.h"

namespace {

using varnoke::com::BasicPropertyBag;
using varnoke::com::com_ptr;
using varnoke::com::unique_bstr;
using varnoke::com::unique_variant;
using varnoke::wintest::Bstr;
using varnoke::wintest::Harness;
using varnoke::wintest::Hex;
using varnoke::wintest::IntArg;
using varnoke::wintest::ReadFileBytes;
using varnoke::wintest::StringArg;
using varnoke::wintest::Utf8;
using varnoke::wintest::WriteUtf8File;

const std::wstring kType = L"urn:schemas-varnoke:smarttags#varnoke";
const std::wstring kProductId = L"ProductID";

// ---------------------------------------------------------------- reporting

// Every check is printed: under emulation a run takes minutes.
Harness h(Harness::Report::everyCheck);

bool CheckHr(HRESULT hr, const std::string& what) { return h.CheckHr(hr, S_OK, what); }

bool CheckText(HRESULT hr, BSTR got, std::wstring_view want, const std::string& what) {
    const std::wstring_view text = got ? std::wstring_view(got, SysStringLen(got)) : std::wstring_view();
    return h.CheckText(hr, S_OK, text, want, what);
}

std::wstring Text(BSTR s) { return s ? std::wstring(s, SysStringLen(s)) : std::wstring(); }

// ---------------------------------------------------------------- host objects

// Host objects alive right now: every one must be gone once the component's
// objects are released, or the component kept a reference it does not own.
int liveHostObjects = 0;

// IUnknown and an IDispatch the component must never need: it calls the host
// through the vtables.
template <class Interface>
class HostObject : public Interface {
public:
    HostObject() { ++liveHostObjects; }
    virtual ~HostObject() { --liveHostObjects; }
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != __uuidof(Interface)) return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

private:
    LONG references_ = 1;
};

using Properties = std::vector<std::pair<std::wstring, std::wstring>>;

class PropertyBag final : public BasicPropertyBag<HostObject<ISmartTagProperties>> {
public:
    std::vector<std::wstring> keysRead;

    STDMETHODIMP get_Read(BSTR key, BSTR* value) override {
        if (value) keysRead.push_back(Text(key));
        return BasicPropertyBag::get_Read(key, value);
    }
};

struct Commit {
    std::wstring type;
    int start;
    int length;
    Properties properties;
    bool bagFromThisSite;
};

class RecordingSite final : public HostObject<ISmartTagRecognizerSite> {
public:
    std::vector<Commit> commits;
    std::vector<com_ptr<PropertyBag>> handedOut;

    STDMETHODIMP GetNewPropertyBag(ISmartTagProperties** bag) override {
        if (!bag) return E_POINTER;
        com_ptr<PropertyBag> fresh;
        fresh.attach(new PropertyBag);
        handedOut.push_back(fresh);
        *bag = fresh.get();
        fresh->AddRef();
        return S_OK;
    }
    STDMETHODIMP CommitSmartTag(BSTR type, int start, int length, ISmartTagProperties* properties) override {
        Commit c{Text(type), start, length, {}, false};
        for (const auto& bag : handedOut)
            if (static_cast<ISmartTagProperties*>(bag.get()) == properties) {
                c.bagFromThisSite = true;
                c.properties = bag->properties;
            }
        commits.push_back(std::move(c));
        return S_OK;
    }
};

// ---------------------------------------------------------------- files and registry

std::optional<std::wstring> ReadDefaultValue(HKEY root, const std::wstring& subkey) {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(root, subkey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

bool SetDefaultValue(HKEY root, const std::wstring& subkey, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool KeyExists(const std::wstring& subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Points the shell's http and https open commands at the recorder for as long
// as it lives. Wine's shell reads them from the machine's classes.
class UrlRecorder {
public:
    explicit UrlRecorder(const std::wstring& recorder) {
        const std::wstring command = L"\"" + recorder + L"\" \"%1\"";
        for (const wchar_t* scheme : {L"http", L"https"}) {
            const std::wstring key = Key(scheme);
            std::wstring previous = ReadDefaultValue(HKEY_LOCAL_MACHINE, key).value_or(kWineDefault);
            // A recorder left there by a killed run is not what to put back.
            if (previous.find(recorder) != std::wstring::npos) previous = kWineDefault;
            saved_.emplace_back(key, previous);
            installed_ = SetDefaultValue(HKEY_LOCAL_MACHINE, key, command) && installed_;
        }
    }
    ~UrlRecorder() {
        for (const auto& [key, value] : saved_) SetDefaultValue(HKEY_LOCAL_MACHINE, key, value);
    }
    UrlRecorder(const UrlRecorder&) = delete;
    UrlRecorder& operator=(const UrlRecorder&) = delete;
    bool installed() const { return installed_; }

private:
    static std::wstring Key(const wchar_t* scheme) {
        return std::wstring(L"Software\\Classes\\") + scheme + L"\\shell\\open\\command";
    }
    static constexpr const wchar_t* kWineDefault = L"\"C:\\windows\\system32\\winebrowser.exe\" \"%1\"";
    std::vector<std::pair<std::wstring, std::wstring>> saved_;
    bool installed_ = true;
};

// ---------------------------------------------------------------- the component's data

// A stock list of this program's own: one name that is a prefix of another,
// and a name made of digits.
const char kStockList[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<StockData>\n"
    "  <KestriaStockList><StockName>峻磐水泥</StockName><StockID>1101</StockID></KestriaStockList>\n"
    "  <KestriaStockList><StockName>1101</StockName><StockID>1101</StockID></KestriaStockList>\n"
    "  <KestriaStockList><StockName>穗霖</StockName><StockID>1203</StockID></KestriaStockList>\n"
    "  <KestriaStockList><StockName>穗霖乳業</StockName><StockID>1207</StockID></KestriaStockList>\n"
    "</StockData>\n";

// 0-based positions: 穗霖乳業 at 2, 峻磐水泥 at 7, 1101 at 12, 穗霖 again at 18.
const wchar_t kRecognizedText[] = L"買進穗霖乳業與峻磐水泥(1101),穗霖";

struct Tag {
    int start;  // 1-based, as committed
    int length;
    std::wstring productId;
};

// Entry order of the list first, then position in the text.
const Tag kExpectedTags[] = {
    {8, 4, L"1101"},   // 峻磐水泥
    {13, 4, L"1101"},  // 1101
    {3, 2, L"1203"},   // 穗霖
    {19, 2, L"1203"},  // 穗霖
    {3, 4, L"1207"},   // 穗霖乳業
};

const char kActionTable[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<ActionList>\n"
    "  <ActionUrl><ActionName>QuoteSmoke</ActionName><URL>https://quote.example.test/stock?id=</URL></ActionUrl>\n"
    "  <ActionUrl><ActionName>ReportSmoke</ActionName><URL>https://report.example.test/c/</URL></ActionUrl>\n"
    "  <ActionUrl><ActionName>NewsSmoke</ActionName><URL>https://news.example.test/s?q=</URL></ActionUrl>\n"
    "  <ActionUrl><ActionName>InfoSmoke</ActionName><URL>https://info.example.test/p?c=</URL></ActionUrl>\n"
    "  <ActionUrl><ActionName>QuerySmoke</ActionName><URL>https://quote.example.test/wq?id=</URL></ActionUrl>\n"
    "</ActionList>\n";

// ---------------------------------------------------------------- COM helpers

template <class I>
com_ptr<I> CreateByProgId(const wchar_t* progId, REFCLSID expected) {
    com_ptr<I> object;
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (!h.Check(hr == S_OK && IsEqualCLSID(clsid, expected), Utf8(progId) + " names its class",
                 "HRESULT " + Hex(hr) + ", CLSID " + Utf8(GuidText(clsid))))
        return object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I), object.put_void());
    h.Check(hr == S_OK && object, "CoCreateInstance(" + Utf8(progId) + ")", "HRESULT " + Hex(hr));
    return object;
}

// A property read through IDispatch::Invoke, as a script host would make it:
// the component's type information for the host interface does the call.
HRESULT DispatchGet(IDispatch* d, const wchar_t* name, std::vector<VARIANT> argsInOrder, VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> args(argsInOrder.rbegin(), argsInOrder.rend());  // last first
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    EXCEPINFO error{};
    UINT argError = 0;
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &params, result, &error, &argError);
}

std::string ShowTags(const std::vector<Commit>& commits) {
    std::string s;
    for (const auto& c : commits) {
        s += " (" + Utf8(c.type) + " " + std::to_string(c.start) + "," + std::to_string(c.length);
        for (const auto& [k, v] : c.properties) s += " " + Utf8(k) + "=" + Utf8(v);
        s += c.bagFromThisSite ? ")" : " foreign bag)";
    }
    return s.empty() ? " none" : s;
}

// ---------------------------------------------------------------- the checks

void Recognition() {
    h.Section("recognition");
    auto recognizer = CreateByProgId<ISmartTagRecognizer>(L"VarnokeST.STRecognizer", __uuidof(STRecognizer));
    if (!recognizer) return;

    com_ptr<_STRecognizer> primary;
    CheckHr(recognizer.query_to(primary), "the recognizer also has its default interface");

    unique_bstr name;
    const HRESULT nameHr = recognizer->get_SmartTagName(1, name.put());
    CheckText(nameHr, name.get(), kType, "recognizer SmartTagName(1)");

    {
        unique_variant count;
        const HRESULT hr = DispatchGet(recognizer.get(), L"SmartTagCount", {}, count.put());
        h.Check(hr == S_OK && V_VT(count.get()) == VT_I4 && V_I4(count.get()) == 1,
                "recognizer SmartTagCount through IDispatch is 1",
                "HRESULT " + Hex(hr) + ", vt " + std::to_string(V_VT(count.get())));
    }

    com_ptr<RecordingSite> site;
    site.attach(new RecordingSite);
    const HRESULT hr = recognizer->Recognize(Bstr(kRecognizedText).get(), IF_TYPE_PARA, 1028, site.get());
    CheckHr(hr, "Recognize returns S_OK");

    bool same = site->commits.size() == std::size(kExpectedTags);
    for (std::size_t i = 0; same && i < site->commits.size(); ++i) {
        const Commit& c = site->commits[i];
        const Tag& t = kExpectedTags[i];
        same = c.type == kType && c.start == t.start && c.length == t.length && c.bagFromThisSite &&
               c.properties == Properties{{kProductId, t.productId}};
    }
    std::string want;
    for (const Tag& t : kExpectedTags)
        want += " (" + Utf8(kType) + " " + std::to_string(t.start) + "," + std::to_string(t.length) + " " +
                Utf8(kProductId) + "=" + Utf8(t.productId) + ")";
    h.Check(same, "Recognize commits every stock name with its ProductID, in list order",
            "got" + ShowTags(site->commits) + "; want" + want);
    h.Check(site->handedOut.size() == site->commits.size(), "one property bag asked for per committed tag",
            std::to_string(site->handedOut.size()) + " bags for " + std::to_string(site->commits.size()) + " tags");

    primary.reset();
    recognizer.reset();
    site.reset();
    h.Check(liveHostObjects == 0, "the recognizer keeps no reference to the site or its bags",
            std::to_string(liveHostObjects) + " host objects still alive");
}

void Verbs(const std::wstring& urlLog, bool recorderInstalled) {
    h.Section("verbs");
    auto action = CreateByProgId<ISmartTagAction>(L"VarnokeST.STAction", __uuidof(STAction));
    if (!action) return;

    int count = -1;
    HRESULT hr = action->get_VerbCount(Bstr(kType).get(), &count);
    h.Check(hr == S_OK && count == 5, "VerbCount of the stock tag is 5",
            "HRESULT " + Hex(hr) + ", count " + std::to_string(count));
    count = -1;
    hr = action->get_VerbCount(Bstr(L"urn:schemas-varnoke:smarttags#other").get(), &count);
    h.Check(hr == S_OK && count == 0, "VerbCount of another tag type is 0",
            "HRESULT " + Hex(hr) + ", count " + std::to_string(count));

    int id = -1;
    hr = action->get_VerbID(Bstr(kType).get(), 1, &id);
    h.Check(hr == S_OK && id == 0, "VerbID of index 1 is 0", "HRESULT " + Hex(hr) + ", id " + std::to_string(id));

    unique_bstr caption;
    hr = action->get_VerbCaptionFromID(0, Bstr(L"Word").get(), 1033, caption.put());
    CheckText(hr, caption.get(), L"Stock Quote on Web Site", "VerbCaptionFromID(0, English)");
    hr = action->get_VerbCaptionFromID(1, Bstr(L"Word").get(), 1028, caption.put());
    CheckText(hr, caption.get(), L"公司報表", "VerbCaptionFromID(1, Traditional Chinese)");
    {
        // Three arguments of two types: their order on the 32-bit stack matters.
        unique_bstr app = Bstr(L"Excel");
        unique_variant result;
        hr = DispatchGet(action.get(), L"VerbCaptionFromID", {IntArg(4), StringArg(app.get()), IntArg(2052)},
                         result.put());
        const bool isText = V_VT(result.get()) == VT_BSTR;
        CheckText(hr, isText ? V_BSTR(result.get()) : nullptr, L"导入可更新的股票信息",
                  "VerbCaptionFromID(4, spreadsheet, Simplified Chinese) through IDispatch");
    }

    unique_bstr verbName;
    hr = action->get_VerbNameFromID(0, verbName.put());
    CheckText(hr, verbName.get(), L"QuoteSmoke", "VerbNameFromID(0) comes from acturl.xml");

    com_ptr<PropertyBag> bag;
    bag.attach(new PropertyBag);
    bag->properties.emplace_back(kProductId, L"1203");
    hr = action->InvokeVerb(0, Bstr(L"Word").get(), nullptr, bag.get(), Bstr(L"穗霖").get(), Bstr(L"").get());
    CheckHr(hr, "InvokeVerb(0) returns S_OK");
    bool readId = false;
    for (const auto& k : bag->keysRead) readId = readId || k == kProductId;
    h.Check(readId, "InvokeVerb reads ProductID from the property bag");

    // The shell starts the recorder on its own; give it time under emulation.
    const std::string want = "https://quote.example.test/stock?id=1203\n";
    std::optional<std::string> log;
    for (int waited = 0; recorderInstalled && waited < 120000; waited += 250) {
        log = ReadFileBytes(urlLog);
        if (log && log->size() >= want.size()) break;
        Sleep(250);
    }
    Sleep(500);  // a second, unexpected line would have arrived by now
    log = ReadFileBytes(urlLog);
    h.Check(recorderInstalled && log == want, "the shell is asked to open the quote address with the ProductID",
            recorderInstalled ? "recorded \"" + log.value_or("(nothing)") + "\"" : "the recorder could not be set");

    action.reset();
    bag.reset();
    h.Check(liveHostObjects == 0, "the action keeps no reference to the property bag",
            std::to_string(liveHostObjects) + " host objects still alive");
}

using NoArgumentFn = HRESULT(__stdcall*)();

NoArgumentFn Export(HMODULE dll, const char* name) {
    return reinterpret_cast<NoArgumentFn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

bool ProgIdsUnknown() {
    CLSID clsid{};
    return CLSIDFromProgID(L"VarnokeST.STRecognizer", &clsid) == CO_E_CLASSSTRING &&
           CLSIDFromProgID(L"VarnokeST.STAction", &clsid) == CO_E_CLASSSTRING;
}

int Run(const std::wstring& dll, const std::wstring& tlb, const std::wstring& recorder, const std::wstring& urlLog) {
    const std::wstring folder = dll.substr(0, dll.find_last_of(L'\\'));
    if (!h.Check(WriteUtf8File(folder + L"\\varnokeL.xml", kStockList) &&
                     WriteUtf8File(folder + L"\\acturl.xml", kActionTable),
                 "writing the component's data files beside it"))
        return 1;
    DeleteFileW(urlLog.c_str());

    // What the host application's set-up does.
    h.Section("registration");
    {
        com_ptr<ITypeLib> library;
        CheckHr(LoadTypeLibEx(tlb.c_str(), REGKIND_REGISTER, library.put()), "registering the host's SmartTagLib");
        BSTR path = nullptr;
        const HRESULT hr = QueryPathOfRegTypeLib(LIBID_SmartTagLib, 1, 2, 0, &path);
        unique_bstr owned(path);
        CheckHr(hr, "SmartTagLib 1.2 is registered");
    }

    HMODULE module = LoadLibraryW(dll.c_str());
    if (!h.Check(module != nullptr, "loading the DLL", "error " + std::to_string(GetLastError()))) return 1;
    const NoArgumentFn registerServer = Export(module, "DllRegisterServer");
    const NoArgumentFn unregisterServer = Export(module, "DllUnregisterServer");
    if (!h.Check(registerServer && unregisterServer, "the DLL exports DllRegisterServer and DllUnregisterServer"))
        return 1;

    unregisterServer();  // what an earlier, killed run may have left
    h.Check(ProgIdsUnknown(), "before registration the ProgIDs name nothing");
    CheckHr(registerServer(), "DllRegisterServer");
    const std::wstring inproc = L"CLSID\\" + GuidText(__uuidof(STRecognizer)) + L"\\InprocServer32";
    const auto server = ReadDefaultValue(HKEY_CLASSES_ROOT, inproc);
    h.Check(server && lstrcmpiW(server->c_str(), dll.c_str()) == 0, "the recognizer's server is this DLL",
            "registered \"" + Utf8(server.value_or(L"(nothing)")) + "\"");

    Recognition();
    {
        UrlRecorder recorderInPlace(recorder);
        Verbs(urlLog, recorderInPlace.installed());
    }

    h.Section("unregistration");
    CoFreeUnusedLibraries();
    CheckHr(unregisterServer(), "DllUnregisterServer");
    h.Check(ProgIdsUnknown(), "after unregistration the ProgIDs name nothing");
    h.Check(!KeyExists(L"CLSID\\" + GuidText(__uuidof(STRecognizer))) &&
                !KeyExists(L"CLSID\\" + GuidText(__uuidof(STAction))),
            "after unregistration both CLSID keys are gone");
    h.Check(KeyExists(L"TypeLib\\" + GuidText(LIBID_SmartTagLib)), "the host's SmartTagLib stays registered");
    FreeLibrary(module);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: smoke.exe DLL SMARTTAGLIB.TLB RECORDER URL-LOG\n");
        return 2;
    }
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (CheckHr(hr, "CoInitializeEx")) {
        Run(argv[1], argv[2], argv[3], argv[4]);
        CoUninitialize();
    }
    return h.Finish();
}
