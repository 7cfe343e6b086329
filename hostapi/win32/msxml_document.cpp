#include "hostapi/win32/msxml_document.h"

#include <msxml2.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "component/com/com_ptr.h"
#include "hostapi/xml_declaration.h"

// The SDK's msxml2.h declares these interfaces without __uuidof support.
__CRT_UUID_DECL(IXMLDOMNode, 0x2933bf80, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMDocument2, 0x2933bf95, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60)

namespace varnoke::hostapi::win32 {
namespace {

using com::com_ptr;
using com::MakeBstr;
using com::unique_bstr;
using com::unique_variant;

// The 6.0 document first: it can prohibit DTDs. 3.0 is on every system.
constexpr CLSID kDomDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
constexpr CLSID kDomDocument30 = {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};

unique_variant StringVariant(std::u16string_view text) {
    unique_variant v;
    v->vt = VT_BSTR;
    v->bstrVal = MakeBstr(text).release();
    return v;
}

// A local file in a legacy Chinese encoding, decoded here: the platform DOM
// reads these only where the system's language support provides them.
// Nothing for files in any other encoding, and for addresses.
std::optional<std::optional<std::u16string>> DecodeLegacyFile(std::u16string_view path) {
    if (path.find(u"://") != std::u16string_view::npos) return std::nullopt;
    std::ifstream in(std::filesystem::path(std::wstring(reinterpret_cast<const wchar_t*>(path.data()), path.size())),
                     std::ios::binary);
    char head[256] = {};
    in.read(head, sizeof head);
    const unsigned codePage = LegacyChineseCodePage(DeclaredEncoding(std::string_view(head, in.gcount())));
    if (codePage == 0) return std::nullopt;
    in.clear();
    in.seekg(0);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string_view body = WithoutDeclaration(bytes);
    std::optional<std::u16string> text;  // nothing: not valid in that encoding
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, body.data(),
                                           static_cast<int>(body.size()), nullptr, 0);
    if (length > 0 || body.empty()) {
        text.emplace(static_cast<std::size_t>(length), u'\0');
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, body.data(), static_cast<int>(body.size()),
                            reinterpret_cast<wchar_t*>(text->data()), length);
    }
    return text;
}

class MsxmlDocument final : public IXmlDocument {
public:
    explicit MsxmlDocument(com_ptr<IXMLDOMDocument2> doc) : doc_(std::move(doc)) {}

    void SetAsync(bool async) override { doc_->put_async(async ? VARIANT_TRUE : VARIANT_FALSE); }

    bool Load(std::u16string_view pathOrUrl) override {
        nodes_.clear();
        VARIANT_BOOL ok = VARIANT_FALSE;
        if (auto legacy = DecodeLegacyFile(pathOrUrl)) {
            // An undecodable file must not leave the previous document behind.
            const std::u16string text = legacy->value_or(u"<");
            return SUCCEEDED(doc_->loadXML(MakeBstr(text).get(), &ok)) && ok == VARIANT_TRUE;
        }
        auto source = StringVariant(pathOrUrl);
        return SUCCEEDED(doc_->load(*source.get(), &ok)) && ok == VARIANT_TRUE;
    }

    XmlNode DocumentElement() override {
        com_ptr<IXMLDOMElement> root;
        if (FAILED(doc_->get_documentElement(root.put())) || !root) return {};
        return Keep(root.get());
    }

    std::optional<std::vector<XmlNode>> ElementsByTagName(std::u16string_view name) override {
        com_ptr<IXMLDOMNodeList> list;
        if (FAILED(doc_->getElementsByTagName(MakeBstr(name).get(), list.put())) || !list) return std::nullopt;
        long length = 0;
        if (FAILED(list->get_length(&length))) return std::nullopt;
        std::vector<XmlNode> found;
        found.reserve(static_cast<std::size_t>(length));
        for (long i = 0; i < length; ++i) {
            com_ptr<IXMLDOMNode> item;
            if (FAILED(list->get_item(i, item.put())) || !item) return std::nullopt;
            found.push_back(Keep(item.get()));
        }
        return found;
    }

    bool HasChildNodes(XmlNode node) override {
        VARIANT_BOOL has = VARIANT_FALSE;
        return node && SUCCEEDED(Node(node)->hasChildNodes(&has)) && has == VARIANT_TRUE;
    }

    XmlNode SelectSingleNode(XmlNode node, std::u16string_view name) override {
        if (!node) return {};
        com_ptr<IXMLDOMNode> child;
        // S_FALSE with no node when nothing matches.
        if (Node(node)->selectSingleNode(MakeBstr(name).get(), child.put()) != S_OK || !child) return {};
        return Keep(child.get());
    }

    std::optional<std::u16string> TypedValue(XmlNode node) override {
        if (!node) return std::nullopt;
        unique_variant value;
        if (FAILED(Node(node)->get_nodeTypedValue(value.put()))) return std::nullopt;
        if (value->vt != VT_BSTR && FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BSTR)))
            return std::nullopt;
        return std::u16string(com::View(value->bstrVal));
    }

    std::optional<std::u16string> Text(XmlNode node) override {
        if (!node) return std::nullopt;
        unique_bstr text;
        if (FAILED(Node(node)->get_text(text.put()))) return std::nullopt;
        return std::u16string(com::View(text.get()));
    }

    bool SetText(XmlNode node, std::u16string_view text) override {
        return node && SUCCEEDED(Node(node)->put_text(MakeBstr(text).get()));
    }

    bool Save(std::u16string_view path) override {
        auto target = StringVariant(path);
        return SUCCEEDED(doc_->save(*target.get()));
    }

private:
    // Handles are 1-based indexes into the nodes this document handed out.
    template <class T>
    XmlNode Keep(T* node) {
        com_ptr<IXMLDOMNode> n;
        if (FAILED(com_ptr<T>(node).query_to(n))) return {};
        nodes_.push_back(std::move(n));
        return XmlNode(nodes_.size());
    }
    IXMLDOMNode* Node(XmlNode h) const { return nodes_[h.id() - 1].get(); }

    com_ptr<IXMLDOMDocument2> doc_;
    std::vector<com_ptr<IXMLDOMNode>> nodes_;
};

void SetProperty(IXMLDOMDocument2* doc, const wchar_t* name, VARIANT value) {
    unique_bstr n(SysAllocString(name));
    if (n.get()) doc->setProperty(n.get(), value);  // a version without the property keeps its default
}

}  // namespace

std::unique_ptr<IXmlDocument> MsxmlDocumentFactory::NewDocument() {
    com_ptr<IXMLDOMDocument2> doc;
    lastError_ = CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IXMLDOMDocument2),
                                  doc.put_void());
    if (FAILED(lastError_))
        lastError_ = CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER,
                                      __uuidof(IXMLDOMDocument2), doc.put_void());
    if (FAILED(lastError_)) return nullptr;

    doc->put_async(VARIANT_FALSE);
    doc->put_validateOnParse(VARIANT_FALSE);
    doc->put_resolveExternals(VARIANT_FALSE);
    doc->put_preserveWhiteSpace(VARIANT_FALSE);
    VARIANT on;
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    SetProperty(doc.get(), L"ProhibitDTD", on);
    VARIANT xpath;
    xpath.vt = VT_BSTR;
    xpath.bstrVal = SysAllocString(L"XPath");
    SetProperty(doc.get(), L"SelectionLanguage", xpath);
    VariantClear(&xpath);
    return std::make_unique<MsxmlDocument>(std::move(doc));
}

}  // namespace varnoke::hostapi::win32
