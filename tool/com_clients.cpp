// The tool's clients over the registered component, driven through COM as a
// host drives it: created by ProgID, called through the host interfaces,
// with the tool's own recognizer site and property bags.
#include <objbase.h>

#include "adapters/win32/com/boundary.h"
#include "adapters/win32/com/com_object.h"
#include "core/data_paths.h"
#include "smarttaglib.h"
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

class PropertyBag final : public com::ComObject<PropertyBag, com::Dual<::ISmartTagProperties>> {
public:
    std::vector<std::pair<std::u16string, std::u16string>> values;

    STDMETHODIMP get_Read(BSTR Key, BSTR* Value) override {
        if (!Value) return E_POINTER;
        *Value = nullptr;
        for (const auto& [k, v] : values)
            if (k == View(Key)) return com::Boundary([&] { *Value = MakeBstr(v).release(); return S_OK; });
        return E_INVALIDARG;
    }
    STDMETHODIMP Write(BSTR Key, BSTR Value) override {
        return com::Boundary([&] {
            values.emplace_back(View(Key), View(Value));
            return S_OK;
        });
    }
    STDMETHODIMP get_Count(int* Count) override {
        if (!Count) return E_POINTER;
        *Count = static_cast<int>(values.size());
        return S_OK;
    }
    STDMETHODIMP get_KeyFromIndex(int Index, BSTR* Key) override { return Item(Index, true, Key); }
    STDMETHODIMP get_ValueFromIndex(int Index, BSTR* Value) override { return Item(Index, false, Value); }

private:
    HRESULT Item(int index, bool key, BSTR* out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index < 0 || static_cast<std::size_t>(index) >= values.size()) return E_INVALIDARG;
        const auto& item = values[static_cast<std::size_t>(index)];
        return com::Boundary([&] { *out = MakeBstr(key ? item.first : item.second).release(); return S_OK; });
    }
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
    CLSID clsid;
    com_ptr<I> object;
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I), object.put_void());
    if (FAILED(hr)) error = "cannot create the registered component: " + HResultText(hr);
    return object;
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
    explicit ComRecognizerClient(com_ptr<::ISmartTagRecognizer> r) : r_(std::move(r)) {}
    std::u16string ProgId() override { return Get([&](BSTR* s) { return r_->get_ProgId(s); }); }
    std::u16string Name(int32_t locale) override { return Get([&](BSTR* s) { return r_->get_Name(locale, s); }); }
    std::u16string Desc(int32_t locale) override { return Get([&](BSTR* s) { return r_->get_Desc(locale, s); }); }
    int32_t SmartTagCount() override {
        int count = 0;
        r_->get_SmartTagCount(&count);
        return count;
    }
    std::u16string SmartTagName(int32_t id) override { return Get([&](BSTR* s) { return r_->get_SmartTagName(id, s); }); }
    bool Recognize(std::u16string_view text, const std::function<void(const Tag&)>& onTag) override {
        com_ptr<StreamingSite> site;
        site.attach(new StreamingSite());
        site->onTag = onTag;
        return SUCCEEDED(r_->Recognize(MakeBstr(text).get(), IF_TYPE_PARA, 1033, site.get()));
    }
    // The host interfaces do not tell whether a list was loaded.
    std::optional<std::string> NotLoadedReason() override { return std::nullopt; }

private:
    template <class F>
    static std::u16string Get(F&& member) {
        unique_bstr s;
        if (FAILED(member(s.put()))) return {};
        return std::u16string(View(s.get()));
    }
    com_ptr<::ISmartTagRecognizer> r_;
};

class ComActionClient final : public ActionClient {
public:
    explicit ComActionClient(com_ptr<::ISmartTagAction> a) : a_(std::move(a)) {}
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
        bag->values.emplace_back(hostapi::kProductIdKey, productId);
        a_->InvokeVerb(verb, MakeBstr(app).get(), nullptr, bag.get(), MakeBstr(u"").get(), MakeBstr(u"").get());
        return std::nullopt;
    }

    // The component refreshes its files inside InvokeVerb and tells nobody.
    std::optional<std::string> LastRefresh() override { return std::nullopt; }

private:
    com_ptr<::ISmartTagAction> a_;
};

}  // namespace

std::unique_ptr<RecognizerClient> ComRecognizer(const std::optional<std::u16string>& folder, std::string& error) {
    auto r = Create<::ISmartTagRecognizer>(L"VarnokeST.STRecognizer", error);
    if (!r) return nullptr;
    if (folder) LoadFrom<::_STRecognizer>(r, FormDataFilePath(*folder, kStockFileName), &::_STRecognizer::LoadStockSymbolFromXMLFile);
    return std::make_unique<ComRecognizerClient>(std::move(r));
}

std::unique_ptr<ActionClient> ComAction(const std::optional<std::u16string>& folder, std::string& error) {
    auto a = Create<::ISmartTagAction>(L"VarnokeST.STAction", error);
    if (!a) return nullptr;
    if (folder) LoadFrom<::_STAction>(a, FormDataFilePath(*folder, kActionFileName), &::_STAction::LoadActionURLFromXMLFile);
    return std::make_unique<ComActionClient>(std::move(a));
}

}  // namespace varnoke::tool
