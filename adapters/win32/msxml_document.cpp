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
#include "adapters/win32/com/com_object.h"
#include "core/unicode.h"
#include "core/xml_source.h"

// The SDK's msxml2.h declares these interfaces without __uuidof support.
__CRT_UUID_DECL(IXMLDOMNode, 0x2933bf80, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMDocument2, 0x2933bf95, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60)
__CRT_UUID_DECL(ISAXXMLReader, 0xa4f96ed0, 0xf829, 0x476e, 0x81, 0xc0, 0xcd, 0xc7, 0xbd, 0x2a, 0x08, 0x02)
__CRT_UUID_DECL(ISAXContentHandler, 0x1545cdfa, 0x9e4e, 0x4497, 0xa8, 0xa4, 0x2b, 0xf7, 0xd0, 0x11, 0x2c, 0x44)
__CRT_UUID_DECL(ISAXErrorHandler, 0xa60511c4, 0xccf5, 0x479e, 0x98, 0xa3, 0xdc, 0x8d, 0xc5, 0x45, 0xb7, 0xd0)
__CRT_UUID_DECL(ISAXLocator, 0x9b7e472a, 0x0de4, 0x4640, 0xbf, 0xf3, 0x84, 0xd3, 0x8a, 0x05, 0x1c, 0x31)

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

constexpr CLSID kSaxReader60 = {0x88D96A0C, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
constexpr CLSID kSaxReader30 = {0x3124C396, 0xFB13, 0x4836, {0xA6, 0xAD, 0x13, 0x17, 0xF1, 0x71, 0x36, 0x88}};

// The outline of the text the document was parsed from: the DOM keeps no
// lines, the reader's locator tells them as it meets each start tag. Where
// the DOM reports a fault without a position, the reader's report of the
// same text gives one.
class OutlineHandler final
    : public com::ComObject<OutlineHandler, com::Plain<ISAXContentHandler>, com::Plain<ISAXErrorHandler>> {
public:
    std::vector<XmlElementLine> elements;
    XmlLoadResult fault;  // the first fatal error, when there was one

    STDMETHODIMP error(ISAXLocator* locator, const wchar_t* message, HRESULT code) override {
        return fatalError(locator, message, code);
    }
    STDMETHODIMP fatalError(ISAXLocator* locator, const wchar_t* message, HRESULT code) override {
        if (fault) {
            int line = 0, column = 0;
            if (locator && SUCCEEDED(locator->getLineNumber(&line)) && SUCCEEDED(locator->getColumnNumber(&column))) {
                fault.line = static_cast<std::size_t>(std::max(line, 0));
                fault.column = static_cast<std::size_t>(std::max(column, 0));
            }
            fault.status = XmlLoadStatus::not_well_formed;
            fault.reason = message ? Utf16ToUtf8(reinterpret_cast<const char16_t*>(message)) : "";
        }
        return FAILED(code) ? code : E_FAIL;
    }
    STDMETHODIMP ignorableWarning(ISAXLocator*, const wchar_t*, HRESULT) override { return S_OK; }

    STDMETHODIMP putDocumentLocator(ISAXLocator* locator) override {
        locator_ = com_ptr<ISAXLocator>(locator);
        return S_OK;
    }
    STDMETHODIMP startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t* name, int length,
                              ISAXAttributes*) override {
        int line = 0;
        if (!locator_ || FAILED(locator_->getLineNumber(&line)) || line < 0) line = 0;
        elements.push_back({std::u16string(reinterpret_cast<const char16_t*>(name), static_cast<std::size_t>(length)),
                            ++depth_, static_cast<std::size_t>(line)});
        return S_OK;
    }
    STDMETHODIMP endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) override {
        --depth_;
        return S_OK;
    }
    STDMETHODIMP startDocument() override { return S_OK; }
    STDMETHODIMP endDocument() override {
        locator_ = nullptr;  // valid only during the parse
        return S_OK;
    }
    STDMETHODIMP startPrefixMapping(const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    STDMETHODIMP endPrefixMapping(const wchar_t*, int) override { return S_OK; }
    STDMETHODIMP characters(const wchar_t*, int) override { return S_OK; }
    STDMETHODIMP ignorableWhitespace(const wchar_t*, int) override { return S_OK; }
    STDMETHODIMP processingInstruction(const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    STDMETHODIMP skippedEntity(const wchar_t*, int) override { return S_OK; }

private:
    com_ptr<ISAXLocator> locator_;
    std::size_t depth_ = 0;
};

XmlLoadResult Unreadable() {
    XmlLoadResult r;
    r.status = XmlLoadStatus::unreadable;
    r.reason = "cannot be read (missing, or not a regular file)";
    return r;
}

class MsxmlDocument final : public IXmlDocument {
public:
    explicit MsxmlDocument(com_ptr<IXMLDOMDocument2> doc) : doc_(std::move(doc)) {}

    XmlLoadResult Load(std::u16string_view path) override {
        // A local file is read here too, from the handle its type was
        // checked on, so the DOM never opens a path of its own accord.
        const auto bytes = ReadRegularFile(path);
        if (!bytes) {
            Clear();
            return Unreadable();
        }
        return LoadBytes(*bytes);
    }

    XmlLoadResult LoadBytes(std::string_view bytes) override {
        Clear();
        DecodedXml decoded = DecodeXml(std::string(bytes), XmlTextForm::utf16, DecodeCodePage);
        if (!decoded.result) return decoded.result;
        VARIANT_BOOL ok = VARIANT_FALSE;
        const HRESULT hr = doc_->loadXML(MakeBstr(decoded.utf16).get(), &ok);
        XmlLoadResult result;
        if (FAILED(hr) || ok != VARIANT_TRUE) {
            result = ParseError(decoded.utf16);
        } else if (TooDeep()) {
            result.status = XmlLoadStatus::too_deep;
            result.reason = "elements nested more than " + std::to_string(kMaxXmlDepth) + " deep";
            if (const com_ptr<OutlineHandler> read = ReadWithSax(decoded.utf16)) {
                for (const XmlElementLine& e : read->elements)
                    if (e.depth > kMaxXmlDepth) {
                        result.line = e.line;
                        break;
                    }
            }
            Clear();
        } else {
            text_ = std::move(decoded.utf16);
        }
        return result;
    }

    std::vector<XmlElementLine> Outline() override {
        const com_ptr<OutlineHandler> read = ReadWithSax(text_);
        return read && read->fault ? std::move(read->elements) : std::vector<XmlElementLine>{};
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
                        if (seen[k] || com::View(name.get()) != fields[k] || !OutsideNamespaces(child.get())) continue;
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

    // The text read by the platform's SAX reader, nothing external fetched.
    static com_ptr<OutlineHandler> ReadWithSax(std::u16string_view text) {
        com_ptr<ISAXXMLReader> reader;
        if (FAILED(CoCreateInstance(kSaxReader60, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ISAXXMLReader),
                                    reader.put_void())) &&
            FAILED(CoCreateInstance(kSaxReader30, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ISAXXMLReader),
                                    reader.put_void())))
            return nullptr;
        com_ptr<OutlineHandler> handler;
        handler.attach(new (std::nothrow) OutlineHandler());
        if (!handler) return nullptr;
        reader->putFeature(L"external-general-entities", VARIANT_FALSE);
        reader->putFeature(L"external-parameter-entities", VARIANT_FALSE);
        if (FAILED(reader->putContentHandler(handler.get())) || FAILED(reader->putErrorHandler(handler.get())))
            return nullptr;
        const HRESULT parsed = reader->parse(*StringVariant(text).get());
        reader->putContentHandler(nullptr);
        reader->putErrorHandler(nullptr);
        if (FAILED(parsed) && handler->fault) {
            handler->fault.status = XmlLoadStatus::not_well_formed;  // failed without a report
        }
        return handler;
    }

    // Leaves no document behind: an unparsable text replaces it.
    void Clear() {
        nodes_.clear();
        text_.clear();
        VARIANT_BOOL ok = VARIANT_FALSE;
        doc_->loadXML(MakeBstr(u"<").get(), &ok);
    }

    // The DOM's report of the fault, positions taken from its offset into
    // the text it was given.
    XmlLoadResult ParseError(std::u16string_view text) {
        XmlLoadResult result;
        result.status = XmlLoadStatus::not_well_formed;
        result.reason = "not well-formed";
        com_ptr<IXMLDOMParseError> error;
        long offset = -1;
        if (SUCCEEDED(doc_->get_parseError(error.put())) && error) {
            unique_bstr reason;
            if (SUCCEEDED(error->get_reason(reason.put())) && reason.get()) {
                std::string why = Utf16ToUtf8(com::View(reason.get()));
                while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ')) why.pop_back();
                if (!why.empty()) result.reason += ": " + why;
            }
            if (FAILED(error->get_filepos(&offset))) offset = -1;
            long line = 0, column = 0;
            if (offset < 0 && SUCCEEDED(error->get_line(&line)) && SUCCEEDED(error->get_linepos(&column))) {
                result.line = static_cast<std::size_t>(std::max(line, 0L));
                result.column = static_cast<std::size_t>(std::max(column, 0L));
            }
        }
        if (offset >= 0) XmlPosition(text, std::min(static_cast<std::size_t>(offset), text.size()), result);
        if (const com_ptr<OutlineHandler> read = ReadWithSax(text)) {
            // A DOM that stops at its own depth limit fails as every platform does.
            for (const XmlElementLine& e : read->elements)
                if (e.depth > kMaxXmlDepth) {
                    result.status = XmlLoadStatus::too_deep;
                    result.reason = "elements nested more than " + std::to_string(kMaxXmlDepth) + " deep";
                    result.line = e.line;
                    result.column = 0;
                    break;
                }
            // A DOM that reports no position (Wine's): the reader's report.
            if (result.status == XmlLoadStatus::not_well_formed && result.line == 0 && !read->fault &&
                read->fault.line) {
                result.line = read->fault.line;
                result.column = read->fault.column;
                if (result.reason == "not well-formed" || result.reason == "not well-formed: error")
                    result.reason = "not well-formed: " + read->fault.reason;
            }
        }
        while (!result.reason.empty() && (result.reason.back() == '\n' || result.reason.back() == ' '))
            result.reason.pop_back();
        Clear();
        return result;
    }

    // Whether an element lies below kMaxXmlDepth others, for a DOM that
    // does not stop there by itself.
    bool TooDeep() {
        std::u16string path;
        for (std::size_t i = 0; i <= kMaxXmlDepth; ++i) path += u"/*";
        com_ptr<IXMLDOMNode> deep;
        return doc_->selectSingleNode(MakeBstr(path).get(), deep.put()) == S_OK && deep;
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
    std::u16string text_;  // what the document was parsed from, for its outline
};

void SetProperty(IXMLDOMDocument2* doc, const wchar_t* name, VARIANT value) {
    unique_bstr n(SysAllocString(name));
    if (n.get()) doc->setProperty(n.get(), value);  // a version without the property keeps its default
}

}  // namespace

std::unique_ptr<IXmlDocument> MsxmlDocumentFactory::NewDocument() {
    com_ptr<IXMLDOMDocument2> doc;
    lastError_ =
        CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IXMLDOMDocument2), doc.put_void());
    if (FAILED(lastError_))
        lastError_ =
            CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IXMLDOMDocument2), doc.put_void());
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
    VARIANT depth;
    depth.vt = VT_I4;
    depth.lVal = static_cast<LONG>(kMaxXmlDepth);
    SetProperty(doc.get(), L"MaxElementDepth", depth);
    return std::make_unique<MsxmlDocument>(std::move(doc));
}

}  // namespace varnoke::adapters::win32
