// The tool's clients over the registered component, driven through COM as a
// host drives it: created by ProgID, called through the host interfaces,
// with the tool's own recognizer site and property bags.
#include <objbase.h>

#include "adapters/platform.h"
#include "adapters/win32/com/boundary.h"
#include "adapters/win32/com/com_object.h"
#include "adapters/win32/com/property_bag.h"
#include "adapters/win32/wide.h"
#include "core/data_paths.h"
#include "recognizer/st_recognizer.h"
#include "smarttaglib.h"
#include "standins/recording_shell.h"
#include "tool/clients.h"
#include "tool/common.h"
#include "varnoke.h"

namespace varnoke::tool {
namespace {

using com::com_ptr;
using com::MakeBstr;
using com::unique_bstr;
using com::View;

std::string HResultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// Dual, as a host's bag is: IDispatch through the host's registered SmartTagLib.
class PropertyBag final : public com::BasicPropertyBag<com::ComObject<PropertyBag, com::Dual<::ISmartTagProperties>>> {
};

// Hands each committed tag on at once and keeps nothing.
class StreamingSite final : public com::ComObject<StreamingSite, com::Dual<::ISmartTagRecognizerSite>> {
public:
    std::function<void(const Tag&)> onTag;

    STDMETHODIMP GetNewPropertyBag(::ISmartTagProperties** bag) override {
        if (!bag) return E_POINTER;
        *bag = new (std::nothrow) PropertyBag();  // starts with the one reference handed out
        return *bag ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP CommitSmartTag(BSTR SmartTagName, int Start, int Length, ::ISmartTagProperties* Properties) override {
        if (View(SmartTagName) != hostapi::kSmartTagType || !Properties) return E_INVALIDARG;
        return com::Boundary([&] {
            unique_bstr id;
            Properties->get_Read(MakeBstr(hostapi::kProductIdKey).get(), id.put());
            onTag({Start, Length, std::u16string(View(id.get()))});
            return S_OK;
        });
    }
};

template <class I>
com_ptr<I> Create(const wchar_t* progId, std::string& error) {
    com_ptr<I> object;
    const HRESULT hr = com::CreateByProgId(progId, object);
    if (FAILED(hr)) error = "cannot create the registered component: " + HResultText(hr);
    if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG)
        error += " (not registered: run regsvr32 Varnoke.dll or the installer)";
    return object;
}

// The folder of the DLL registered for the class: where the component reads
// its data files when nothing else is loaded.
std::optional<std::u16string> ServerFolder(const wchar_t* progId) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId, &clsid))) return std::nullopt;
    wchar_t text[64];
    if (!StringFromGUID2(clsid, text, 64)) return std::nullopt;
    const std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
    wchar_t path[MAX_PATH * 4];
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::u16string file(reinterpret_cast<const char16_t*>(path));
    const auto slash = file.find_last_of(u"\\/");
    if (slash == std::u16string::npos) return std::nullopt;
    return file.substr(0, slash);
}

// The host interfaces do not tell whether a data file loaded, so the file
// the component reads is loaded here by the same loader.
std::optional<std::string> ListMissing(const std::u16string& path) {
    auto xml = adapters::NewXmlDocumentFactory();
    STRecognizer recognizer(*xml);
    recognizer.LoadStockSymbolFromXMLFile(path);
    if (recognizer.ListState() != -1) return std::nullopt;
    return "no stock list loaded from " + Utf16ToUtf8(path) + " (missing or malformed): nothing is recognized";
}

std::optional<std::string> TableMissing(const std::u16string& path) {
    auto xml = adapters::NewXmlDocumentFactory();
    standins::RecordingShell shell;
    STAction action(ActionPorts{*xml, shell});
    action.LoadActionURLFromXMLFile(path);
    if (action.VerbsWithAddress() > 0) return std::nullopt;
    return "no action table loaded from " + Utf16ToUtf8(path) + " (missing or malformed): no verb has an address";
}

// A load method of the component's own interface, for --data.
template <class Default, class I>
void LoadFrom(const com_ptr<I>& object, const std::u16string& path,
              HRESULT (STDMETHODCALLTYPE Default::*load)(VARIANT*, VARIANT*)) {
    com_ptr<Default> own;
    if (FAILED(object.query_to(own))) return;
    com::unique_variant argument, result;
    argument->vt = VT_BSTR;
    argument->bstrVal = MakeBstr(path).release();
    (own.get()->*load)(argument.get(), result.put());
}

class ComRecognizerClient final : public RecognizerClient {
public:
    ComRecognizerClient(com_ptr<::ISmartTagRecognizer> r, std::optional<std::u16string> list)
        : r_(std::move(r)), list_(std::move(list)) {}
    std::u16string ProgId() override {
        return Get([&](BSTR* s) { return r_->get_ProgId(s); });
    }
    std::u16string Name(int32_t locale) override {
        return Get([&](BSTR* s) { return r_->get_Name(locale, s); });
    }
    std::u16string Desc(int32_t locale) override {
        return Get([&](BSTR* s) { return r_->get_Desc(locale, s); });
    }
    int32_t SmartTagCount() override {
        int count = 0;
        r_->get_SmartTagCount(&count);
        return count;
    }
    std::u16string SmartTagName(int32_t id) override {
        return Get([&](BSTR* s) { return r_->get_SmartTagName(id, s); });
    }
    bool Recognize(std::u16string_view text, const std::function<void(const Tag&)>& onTag) override {
        com_ptr<StreamingSite> site;
        site.attach(new StreamingSite());
        site->onTag = onTag;
        return SUCCEEDED(r_->Recognize(MakeBstr(text).get(), IF_TYPE_PARA, 1033, site.get()));
    }
    std::optional<std::string> NotLoadedReason() override {
        if (!list_) return "the registered component's folder is unknown: cannot tell whether a stock list loads";
        return ListMissing(*list_);
    }

private:
    template <class F>
    static std::u16string Get(F&& member) {
        unique_bstr s;
        if (FAILED(member(s.put()))) return {};
        return std::u16string(View(s.get()));
    }
    com_ptr<::ISmartTagRecognizer> r_;
    std::optional<std::u16string> list_;
};

class ComActionClient final : public ActionClient {
public:
    ComActionClient(com_ptr<::ISmartTagAction> a, std::optional<std::u16string> table)
        : a_(std::move(a)), table_(std::move(table)) {}
    std::optional<std::string> NotLoadedReason() override {
        if (!table_) return std::nullopt;
        return TableMissing(*table_);
    }
    int32_t VerbCount(std::u16string_view type) override {
        int count = 0;
        a_->get_VerbCount(MakeBstr(type).get(), &count);
        return count;
    }
    std::optional<int32_t> VerbID(std::u16string_view type, int32_t index) override {
        int id = 0;
        if (FAILED(a_->get_VerbID(MakeBstr(type).get(), index, &id))) return std::nullopt;
        return id;
    }
    std::optional<std::u16string> VerbCaption(int32_t verb, std::u16string_view app, int32_t locale) override {
        unique_bstr caption;
        if (FAILED(a_->get_VerbCaptionFromID(verb, MakeBstr(app).get(), locale, caption.put()))) return std::nullopt;
        return std::u16string(View(caption.get()));
    }
    std::u16string VerbName(int32_t verb) override {
        unique_bstr name;
        if (FAILED(a_->get_VerbNameFromID(verb, name.put()))) return {};
        return std::u16string(View(name.get()));
    }
    std::optional<InvokeReport> Invoke(int32_t verb, std::u16string_view productId, std::u16string_view app,
                                       bool) override {
        com_ptr<PropertyBag> bag;
        bag.attach(new PropertyBag());
        bag->properties.emplace_back(adapters::win32::Wide(hostapi::kProductIdKey), adapters::win32::Wide(productId));
        a_->InvokeVerb(verb, MakeBstr(app).get(), nullptr, bag.get(), MakeBstr(u"").get(), MakeBstr(u"").get());
        return std::nullopt;
    }

    // The component refreshes its files inside InvokeVerb and tells nobody.
    std::optional<std::string> LastRefresh() override { return std::nullopt; }

private:
    com_ptr<::ISmartTagAction> a_;
    std::optional<std::u16string> table_;
};

}  // namespace

std::unique_ptr<RecognizerClient> ComRecognizer(const std::optional<std::u16string>& folder, std::string& error) {
    auto r = Create<::ISmartTagRecognizer>(L"VarnokeST.STRecognizer", error);
    if (!r) return nullptr;
    const auto from = folder ? folder : ServerFolder(L"VarnokeST.STRecognizer");
    const auto list = from ? std::optional(FormDataFilePath(*from, kStockFileName)) : std::nullopt;
    if (folder) LoadFrom<::_STRecognizer>(r, *list, &::_STRecognizer::LoadStockSymbolFromXMLFile);
    return std::make_unique<ComRecognizerClient>(std::move(r), list);
}

std::unique_ptr<ActionClient> ComAction(const std::optional<std::u16string>& folder, std::string& error) {
    auto a = Create<::ISmartTagAction>(L"VarnokeST.STAction", error);
    if (!a) return nullptr;
    const auto from = folder ? folder : ServerFolder(L"VarnokeST.STAction");
    const auto table = from ? std::optional(FormDataFilePath(*from, kActionFileName)) : std::nullopt;
    if (folder) LoadFrom<::_STAction>(a, *table, &::_STAction::LoadActionURLFromXMLFile);
    return std::make_unique<ComActionClient>(std::move(a), table);
}

}  // namespace varnoke::tool
