#include "adapters/win32/msxml_document.h"

#include <msxml2.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "adapters/platform.h"
#include "adapters/win32/com/com_ptr.h"
#include "core/xml_chars.h"
#include "core/xml_declaration.h"

// The SDK's msxml2.h declares these interfaces without __uuidof support.
__CRT_UUID_DECL(IXMLDOMNode, 0x2933bf80, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMDocument2, 0x2933bf95, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60)

namespace varnoke::adapters::win32 {

using namespace hostapi;  // the ports this file implements
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

// A document in a legacy Chinese encoding, decoded here: the platform DOM
// reads these only where the system's language support provides them.
// Nothing for documents in any other encoding; an empty inner value for
// bytes that are not valid in the declared one.
std::optional<std::optional<std::u16string>> DecodeLegacy(std::string_view bytes) {
    const unsigned codePage = LegacyChineseCodePage(DeclaredEncoding(bytes.substr(0, 256)));
    if (codePage == 0) return std::nullopt;
    const std::string_view body = WithoutDeclaration(bytes);
    std::optional<std::u16string> text;
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, body.data(),
                                           static_cast<int>(body.size()), nullptr, 0);
    if (length > 0 || body.empty()) {
        text.emplace(static_cast<std::size_t>(length), u'\0');
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, body.data(), static_cast<int>(body.size()),
                            reinterpret_cast<wchar_t*>(text->data()), length);
    }
    return std::optional<std::optional<std::u16string>>(std::move(text));
}

// The bytes as they came, for the DOM to detect their encoding itself.
unique_variant ByteArrayVariant(std::string_view bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) throw std::bad_alloc();
    unique_variant v;
    v->vt = VT_ARRAY | VT_UI1;
    v->parray = array;
    void* data = nullptr;
    if (!bytes.empty() && SUCCEEDED(SafeArrayAccessData(array, &data))) {
        std::memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array);
    }
    return v;
}

class MsxmlDocument final : public IXmlDocument {
public:
    explicit MsxmlDocument(com_ptr<IXMLDOMDocument2> doc) : doc_(std::move(doc)) {}

    bool Load(std::u16string_view path) override {
        // A local file is read here too, from the handle its type was
        // checked on, so the DOM never opens a path of its own accord.
        const auto bytes = ReadRegularFile(path);
        if (!bytes) {
            nodes_.clear();
            return LoadText(std::nullopt);
        }
        return LoadBytes(*bytes);
    }

    bool LoadBytes(std::string_view bytes) override {
        nodes_.clear();
        // The DOM's own checks of characters differ between versions: the
        // bytes are checked here, for every version alike.
        if (auto legacy = DecodeLegacy(bytes)) {
            if (*legacy && !HasOnlyXmlChars(std::u16string_view(**legacy))) return LoadText(std::nullopt);
            return LoadText(*legacy);
        }
        if (!HasOnlyXmlChars(bytes)) return LoadText(std::nullopt);
        return LoadVariant(ByteArrayVariant(bytes));
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

    bool HasChildElement(XmlNode node) override { return node && HoldsElement(Node(node)); }

    XmlNode SelectSingleNode(XmlNode node, std::u16string_view name) override {
        if (!node) return {};
        com_ptr<IXMLDOMNode> child;
        // S_FALSE with no node when nothing matches.
        if (Node(node)->selectSingleNode(MakeBstr(name).get(), child.put()) != S_OK || !child) return {};
        return Keep(child.get());
    }

    // One walk over each entry's children instead of a query per field: a
    // query is compiled anew each time, and every node handed out as a
    // handle stays referenced until the next load.
    std::optional<XmlRecords> ReadRecords(std::u16string_view entry,
                                          std::span<const std::u16string_view> fields) override {
        com_ptr<IXMLDOMNodeList> list;
        if (FAILED(doc_->getElementsByTagName(MakeBstr(entry).get(), list.put())) || !list) return std::nullopt;
        long length = 0;
        if (FAILED(list->get_length(&length)) || length < 0) return std::nullopt;
        XmlRecords records;
        records.count = static_cast<std::size_t>(length);
        records.spans.resize(records.count * fields.size());
        std::vector<char> seen(fields.size());
        for (std::size_t i = 0; i < records.count; ++i) {
            com_ptr<IXMLDOMNode> item;
            if (FAILED(list->nextNode(item.put())) || !item) return std::nullopt;
            std::fill(seen.begin(), seen.end(), 0);
            com_ptr<IXMLDOMNode> child;
            if (FAILED(item->get_firstChild(child.put()))) continue;
            while (child) {
                DOMNodeType type = NODE_INVALID;
                unique_bstr name;
                if (SUCCEEDED(child->get_nodeType(&type)) && type == NODE_ELEMENT &&
                    SUCCEEDED(child->get_nodeName(name.put()))) {
                    for (std::size_t k = 0; k < fields.size(); ++k) {
                        if (seen[k] || com::View(name.get()) != fields[k] || !OutsideNamespaces(child.get()))
                            continue;
                        seen[k] = 1;  // the first of that name, even when it holds an element
                        if (HoldsElement(child.get())) continue;
                        if (const auto value = TypedValueOf(child.get())) {
                            records.spans[i * fields.size() + k] = {records.text.size(), value->size()};
                            records.text += *value;
                        }
                    }
                }
                com_ptr<IXMLDOMNode> next;
                if (FAILED(child->get_nextSibling(next.put()))) break;
                child = std::move(next);
            }
        }
        return records;
    }

    std::optional<std::u16string> TypedValue(XmlNode node) override {
        if (!node) return std::nullopt;
        return TypedValueOf(Node(node));
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
    static bool HoldsElement(IXMLDOMNode* node) {
        com_ptr<IXMLDOMNode> child;
        if (FAILED(node->get_firstChild(child.put()))) return false;
        while (child) {
            DOMNodeType type = NODE_INVALID;
            if (SUCCEEDED(child->get_nodeType(&type)) && type == NODE_ELEMENT) return true;
            com_ptr<IXMLDOMNode> next;
            if (FAILED(child->get_nextSibling(next.put()))) return false;
            child = std::move(next);
        }
        return false;
    }

    // An unprefixed name in a query matches only elements in no namespace,
    // a default one included: SelectSingleNode passes over <n xmlns="u">.
    static bool OutsideNamespaces(IXMLDOMNode* node) {
        unique_bstr uri;
        return SUCCEEDED(node->get_namespaceURI(uri.put())) && com::View(uri.get()).empty();
    }

    static std::optional<std::u16string> TypedValueOf(IXMLDOMNode* node) {
        unique_variant value;
        if (FAILED(node->get_nodeTypedValue(value.put()))) return std::nullopt;
        if (value->vt != VT_BSTR && FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BSTR)))
            return std::nullopt;
        return std::u16string(com::View(value->bstrVal));
    }

    // Nothing must not leave the previous document behind: an unparsable
    // text replaces it.
    bool LoadText(const std::optional<std::u16string>& text) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        return SUCCEEDED(doc_->loadXML(MakeBstr(text.value_or(u"<")).get(), &ok)) && ok == VARIANT_TRUE;
    }
    bool LoadVariant(unique_variant source) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        return SUCCEEDED(doc_->load(*source.get(), &ok)) && ok == VARIANT_TRUE;
    }

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

}  // namespace varnoke::adapters::win32
