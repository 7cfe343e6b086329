#include "adapters/posix/pugi_xml.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <bit>
#include <chrono>
#include <pugixml.hpp>
#include <type_traits>

#include "adapters/platform.h"
#include "core/unicode.h"
#include "core/xml_source.h"

namespace varnoke::adapters::posix {

using namespace hostapi;  // the ports this file implements
namespace {

// Whitespace-only text is kept, for element text, and hidden from the child
// nodes below, as the platform DOM does; comments and processing
// instructions are child nodes. The DOCTYPE is skipped without expanding or
// fetching anything: unknown entity references stay in the text as written.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_ws_pcdata;

// Whether an element's name is `wanted`, without converting ASCII names.
bool NameIs(const char* name, std::u16string_view wanted) {
    for (char16_t c : wanted) {
        if (c >= 0x80 || c == 0) return Utf16ToUtf8(wanted) == name;
        if (static_cast<unsigned char>(*name) != c) return false;
        ++name;
    }
    return *name == '\0';
}

// NameIs with the conversion done once, for a walk that tests every element.
class WantedName {
public:
    explicit WantedName(std::u16string_view name)
        : utf8_(Utf16ToUtf8(name)), possible_(utf8_.find('\0') == std::string::npos) {}
    const std::string& Utf8() const { return utf8_; }
    // Letters, digits, '_', '-' and '.', not first: an XPath name test as it is.
    bool PlainAscii() const {
        const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
        if (utf8_.empty() || !letter(utf8_[0])) return false;
        for (const char c : utf8_)
            if (!letter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
        return true;
    }
    bool Possible() const { return possible_; }
    bool Is(const char* name) const {
        if (!possible_) return false;
        const char* w = utf8_.c_str();  // names are short: no library call
        while (*w != '\0' && *w == *name) ++w, ++name;
        return *w == *name;
    }

private:
    std::string utf8_;
    bool possible_;  // a name holding a NUL is no element's
};

// A NUL-terminated UTF-8 text written as UTF-16 into `out` from `used` on,
// `out` grown by doubling and `used` moved past it. False at the first byte
// that does not continue valid UTF-8 (overlong forms, surrogates and values
// past U+10FFFF included), with `used` as it was. `out` keeps its size
// between values: no zero fill, size change or length taken per value.
bool AppendUtf16(const char* p, std::u16string& out, std::size_t& used) {
    std::size_t at = used;
    for (;;) {
        if (out.size() - at < 2) out.resize(std::max<std::size_t>(64, 2 * out.size()));
        char16_t* const base = out.data();
        char16_t* o = base + at;
        char16_t* const roomy = base + out.size() - 1;  // room for a surrogate pair below it
        while (o < roomy) {
            const unsigned b = static_cast<unsigned char>(p[0]);
            if (b < 0x80) {
                if (b == 0) {
                    used = static_cast<std::size_t>(o - base);
                    return true;
                }
                *o++ = static_cast<char16_t>(b);
                ++p;
                continue;
            }
            // Each continuation byte is read only after the one before it
            // passed: the NUL at the end stops the reading.
            const auto next = [&](int k) { return static_cast<unsigned char>(p[k]) ^ 0x80u; };  // < 0x40 continues
            unsigned t1, t2, t3;
            if (b < 0xC2) return false;  // a continuation byte, or an overlong lead
            if (b < 0xE0) {
                if ((t1 = next(1)) >= 0x40) return false;
                *o++ = static_cast<char16_t>(((b & 0x1F) << 6) | t1);
                p += 2;
            } else if (b < 0xF0) {
                if ((t1 = next(1)) >= 0x40 || (t2 = next(2)) >= 0x40) return false;
                const unsigned c = ((b & 0x0F) << 12) | (t1 << 6) | t2;
                if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) return false;
                *o++ = static_cast<char16_t>(c);
                p += 3;
            } else {
                if (b > 0xF4 || (t1 = next(1)) >= 0x40 || (t2 = next(2)) >= 0x40 || (t3 = next(3)) >= 0x40)
                    return false;
                const unsigned c = ((b & 0x07) << 18) | (t1 << 12) | (t2 << 6) | t3;
                if (c < 0x10000 || c > 0x10FFFF) return false;
                *o++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                *o++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
                p += 4;
            }
        }
        at = static_cast<std::size_t>(o - base);
    }
}

// Whether a handle names a node, without a call into the library: a handle
// is the node's address and nothing else.
static_assert(sizeof(pugi::xml_node) == sizeof(pugi::xml_node_struct*) && std::is_trivially_copyable_v<pugi::xml_node>);
bool Present(const pugi::xml_node n) { return std::bit_cast<pugi::xml_node_struct*>(n) != nullptr; }

// What an XPath result holds, as the library's header lays it out: read
// without a call per node.
struct XpathNode {
    pugi::xml_node node;
    pugi::xml_attribute attribute;
};
static_assert(sizeof(pugi::xpath_node) == sizeof(XpathNode) && std::is_trivially_copyable_v<pugi::xpath_node>);

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Writes the saved document through the descriptor, remembering a failure.
struct FdWriter final : pugi::xml_writer {
    explicit FdWriter(int descriptor) : fd(descriptor) {}
    void write(const void* data, size_t size) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0 && !failed) {
            const ssize_t n = ::write(fd, p, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failed = true;
                break;
            }
            p += n;
            size -= static_cast<size_t>(n);
        }
    }
    int fd;
    bool failed = false;
};

bool IsWhitespaceText(pugi::xml_node n) {
    if (n.type() != pugi::node_pcdata) return false;
    for (const char* p = n.value(); *p; ++p)
        if (!IsXmlSpace(*p)) return false;
    return true;
}

class PugiXmlDocument final : public IXmlDocument {
public:
    XmlLoadResult Load(std::u16string_view path) override {
        Reset();
        auto bytes = ReadRegularFile(path);
        if (!bytes) return Unreadable();
        return Parse(std::move(*bytes));
    }

    XmlLoadResult LoadBytes(std::string_view bytes) override {
        Reset();
        return Parse(std::string(bytes));
    }

    std::vector<XmlElementLine> Outline() override {
        // Where each line starts, for lines by offset in logarithmic time.
        std::vector<std::size_t> starts = {0};
        for (std::size_t i = 0; i < buffer_.size(); ++i)
            if (buffer_[i] == '\n' || (buffer_[i] == '\r' && (i + 1 == buffer_.size() || buffer_[i + 1] != '\n')))
                starts.push_back(i + 1);
        std::vector<XmlElementLine> out;
        ForEachElement([&](pugi::xml_node n, std::size_t depth) {
            const auto offset = static_cast<std::size_t>(std::max<std::ptrdiff_t>(n.offset_debug(), 0));
            const auto line =
                static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin());
            out.push_back({Utf8ToUtf16(n.name()).value_or(u""), depth, line});
            return true;
        });
        return out;
    }

private:
    void Reset() {
        doc_.reset();
        buffer_.clear();
    }

    static XmlLoadResult Unreadable() {
        XmlLoadResult r;
        r.status = XmlLoadStatus::unreadable;
        r.reason = "cannot be read (missing, or not a regular file)";
        return r;
    }

    XmlLoadResult Parse(std::string bytes) {
        DecodedXml decoded = DecodeXml(std::move(bytes), XmlTextForm::utf8, DecodeCodePage);
        if (!decoded.result) return decoded.result;
        // Parsed where it lies: the document points into buffer_ from now on.
        buffer_ = std::move(decoded.utf8);
        const pugi::xml_parse_result parsed =
            doc_.load_buffer_inplace(buffer_.data(), buffer_.size(), kParseOptions, pugi::encoding_utf8);
        XmlLoadResult result;
        const auto at = [&](std::ptrdiff_t offset) {
            XmlPosition(std::string_view(buffer_), static_cast<std::size_t>(std::max<std::ptrdiff_t>(offset, 0)),
                        result);
        };
        if (!parsed) {
            result.status = XmlLoadStatus::not_well_formed;
            result.reason = std::string("not well-formed: ") + parsed.description();
            at(parsed.offset);
        } else if (const pugi::xml_node second = SecondRoot()) {
            result.status = XmlLoadStatus::not_well_formed;
            result.reason = "not well-formed: a second root element";
            at(second.offset_debug());
        } else if (!doc_.document_element()) {
            result.status = XmlLoadStatus::not_well_formed;
            result.reason = "not well-formed: no root element";
            at(static_cast<std::ptrdiff_t>(buffer_.size()));
        } else if (const pugi::xml_node deep = TooDeep()) {
            result.status = XmlLoadStatus::too_deep;
            result.reason = "elements nested more than " + std::to_string(kMaxXmlDepth) + " deep";
            at(deep.offset_debug());
        }
        if (!result) Reset();
        return result;
    }

    // Calls f(element, depth) for each element in document order, the root
    // at depth 1, until f returns false. Iterative, whatever the depth.
    template <class F>
    void ForEachElement(F f) const {
        pugi::xml_node n = doc_.document_element();
        std::size_t depth = 1;
        while (Present(n)) {
            if (n.type() == pugi::node_element && !f(n, depth)) return;
            if (pugi::xml_node child = n.first_child(); Present(child)) {
                n = child;
                ++depth;
                continue;
            }
            while (!Present(n.next_sibling())) {
                if (--depth == 0) return;
                n = n.parent();
            }
            n = n.next_sibling();
        }
    }

    // The first element below kMaxXmlDepth others, or an empty node. The
    // library's own walk: one call per node, not three.
    pugi::xml_node TooDeep() const {
        struct Deep final : pugi::xml_tree_walker {
            bool for_each(pugi::xml_node& n) override {
                // depth() is 0 for the root's children, which lie at depth 2.
                if (depth() + 2 > static_cast<int>(kMaxXmlDepth) && n.type() == pugi::node_element) found = n;
                return !Present(found);
            }
            pugi::xml_node found;
        } deep;
        doc_.document_element().traverse(deep);
        return deep.found;
    }

public:
    XmlNode DocumentElement() override { return Handle(doc_.document_element()); }

    std::optional<std::vector<XmlNode>> ElementsByTagName(std::u16string_view name) override {
        std::vector<XmlNode> found;
        for (const pugi::xml_node n : ElementsNamed(name)) found.push_back(Handle(n));
        return found;
    }

    bool HasChildNodes(XmlNode node) override {
        if (!node) return false;
        for (pugi::xml_node child = Node(node).first_child(); child; child = child.next_sibling())
            if (!IsWhitespaceText(child)) return true;
        return false;
    }

    bool HasChildElement(XmlNode node) override { return node && HoldsElement(Node(node)); }

    XmlNode SelectSingleNode(XmlNode node, std::u16string_view name) override {
        if (!node) return {};
        for (pugi::xml_node child = Node(node).first_child(); child; child = child.next_sibling())
            if (child.type() == pugi::node_element && NameIs(child.name(), name)) return Handle(child);
        return {};
    }

    std::optional<XmlRecords> ReadRecords(std::u16string_view entry,
                                          std::span<const std::u16string_view> fields) override {
        XmlRecords records;
        // The entries first, so that the values are laid out once.
        const std::vector<pugi::xml_node> entries = ElementsNamed(entry);
        records.count = entries.size();
        records.spans.resize(entries.size() * fields.size());
        const std::vector<WantedName> fieldNames(fields.begin(), fields.end());
        auto span = records.spans.begin();
        std::u16string& text = records.text;
        std::size_t used = 0;                   // text's size is room: AppendUtf16 grows it
        text.resize(records.spans.size() * 6);  // names and codes are short: grown seldom, if at all
        for (const pugi::xml_node e : entries) {
            for (std::size_t k = 0; k < fields.size(); ++k) {
                // The library answers every question with a call, dearer than
                // the question (two calls and a stack guard each): 10^4 entries
                // ask a few hundred thousand. Its own search finds the first
                // child of that name in one.
                if (!fieldNames[k].Possible()) continue;
                pugi::xml_node field = e.child(fieldNames[k].Utf8().c_str());
                if (!Present(field)) continue;
                // Only an element (or the document) has children; a child-less
                // node of that name may be a processing instruction before
                // the element.
                pugi::xml_node first = field.first_child();
                if (!Present(first) && field.type() != pugi::node_element) {
                    do field = field.next_sibling();
                    while (Present(field) && !(field.type() == pugi::node_element && fieldNames[k].Is(field.name())));
                    if (!Present(field)) continue;
                    first = field.first_child();
                }
                const std::size_t start = used;
                if (Present(first) && first.type() == pugi::node_pcdata && !Present(first.next_sibling()))
                    PlainText(first, text, used);  // plain text alone holds no element: no second look
                else if (!HoldsElement(field))
                    TextOf(field, text, used);
                else
                    continue;  // the first of that name, even when it holds an element
                span[k] = {start, used - start};
            }
            span += static_cast<std::ptrdiff_t>(fields.size());
        }
        text.resize(used);
        return records;
    }

    std::optional<std::u16string> TypedValue(XmlNode node) override { return Text(node); }

    std::optional<std::u16string> Text(XmlNode node) override {
        if (!node) return std::nullopt;
        std::u16string text;
        std::size_t used = 0;
        TextOf(Node(node), text, used);
        text.resize(used);
        return text;
    }

    bool SetText(XmlNode node, std::u16string_view text) override {
        if (!node) return false;
        pugi::xml_node element = Node(node);
        while (pugi::xml_node child = element.first_child()) element.remove_child(child);
        return element.append_child(pugi::node_pcdata).set_value(Utf16ToUtf8(text).c_str());
    }

    bool Save(std::u16string_view path) override {
        // Only into a regular file of one name: whoever can write the folder
        // could have swapped the refresh's fresh temporary for a link, a
        // second name of another file or a pipe since it was made.
        const int fd = open(Utf16ToUtf8(path).c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        struct stat st {};
        FdWriter out{fd};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && ftruncate(fd, 0) == 0)
            // Raw: the document's own whitespace is kept, nothing is added.
            doc_.save(out, "", pugi::format_raw, pugi::encoding_utf8);
        else
            out.failed = true;
        return close(fd) == 0 && !out.failed;
    }

private:
    static bool HoldsElement(pugi::xml_node element) {
        for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling())
            if (child.type() == pugi::node_element) return true;
        return false;
    }

    // Every element of that name, the root included, in document order. A
    // plain ASCII name goes to the library's XPath engine, the quickest way
    // through the tree; any other to the library's walk. Both are
    // iterative: deep documents cannot exhaust the stack.
    std::vector<pugi::xml_node> ElementsNamed(std::u16string_view name) {
        std::vector<pugi::xml_node> found;
        pugi::xml_node root = doc_.document_element();
        if (!root) return found;
        const WantedName wanted(name);
        if (wanted.PlainAscii()) {
            const pugi::xpath_node_set nodes = doc_.select_nodes(("//" + wanted.Utf8()).c_str());
            found.reserve(nodes.size());
            for (const pugi::xpath_node& n : nodes) found.push_back(std::bit_cast<XpathNode>(n).node);
            return found;
        }
        struct Collector final : pugi::xml_tree_walker {
            Collector(const WantedName& w, std::vector<pugi::xml_node>& into) : wanted(w), found(into) {}
            bool for_each(pugi::xml_node& n) override {
                if (n.type() == pugi::node_element && wanted.Is(n.name())) found.push_back(n);
                return true;
            }
            const WantedName& wanted;
            std::vector<pugi::xml_node>& found;
        } collector(wanted, found);
        collector.for_each(root);
        root.traverse(collector);
        return found;
    }

    // The element's one child when that is plain text, or an empty node.
    static pugi::xml_node PlainTextOnly(const pugi::xml_node element) {
        const pugi::xml_node only = element.first_child();
        return Present(only) && only.type() == pugi::node_pcdata && !Present(only.next_sibling()) ? only
                                                                                                  : pugi::xml_node();
    }

    // A text node's text, written into `out` at `used` as AppendUtf16 does,
    // decoded where it lies; the blanks at its end are dropped after
    // decoding. Bytes that are no UTF-8 append nothing, as Utf8ToUtf16
    // answers for them.
    static void PlainText(const pugi::xml_node pcdata, std::u16string& out, std::size_t& used) {
        const char* text = pcdata.value();
        while (IsXmlSpace(*text)) ++text;
        const std::size_t start = used;
        if (!AppendUtf16(text, out, used)) return;
        while (used > start && out[used - 1] < 0x80 && IsXmlSpace(static_cast<char>(out[used - 1]))) --used;
    }

    // All character data of the element and its descendants, written into
    // `out` at `used` as PlainText does. Blanks at the two ends are dropped,
    // but only from plain text: CDATA keeps its own.
    static void TextOf(const pugi::xml_node start, std::u16string& out, std::size_t& used) {
        if (const pugi::xml_node only = PlainTextOnly(start)) return PlainText(only, out, used);  // the common case
        std::string text;
        std::vector<bool> fromCdata;  // per byte of `text`
        const auto collect = [&](pugi::xml_node n) {
            if (n.type() != pugi::node_pcdata && n.type() != pugi::node_cdata) return;
            text += n.value();
            fromCdata.resize(text.size(), n.type() == pugi::node_cdata);
        };
        collect(start);
        pugi::xml_node n = start.first_child();
        while (n) {
            collect(n);
            if (pugi::xml_node child = n.first_child()) {
                n = child;
                continue;
            }
            while (n != start && !n.next_sibling()) n = n.parent();
            if (n == start) break;
            n = n.next_sibling();
        }
        std::size_t b = 0, e = text.size();
        while (b < e && !fromCdata[b] && IsXmlSpace(text[b])) ++b;
        while (e > b && !fromCdata[e - 1] && IsXmlSpace(text[e - 1])) --e;
        // The library hands out valid UTF-8 only.
        if (auto utf16 = Utf8ToUtf16(std::string_view(text).substr(b, e - b))) {
            out.resize(used);
            out += *utf16;
            used = out.size();
        }
    }

    // The library accepts several top-level elements; a document has one.
    pugi::xml_node SecondRoot() const {
        int elements = 0;
        for (pugi::xml_node n : doc_.children())
            if (n.type() == pugi::node_element && ++elements == 2) return n;
        return {};
    }

    static XmlNode Handle(pugi::xml_node n) {
        return n ? XmlNode(reinterpret_cast<std::uintptr_t>(n.internal_object())) : XmlNode();
    }
    static pugi::xml_node Node(XmlNode h) { return pugi::xml_node(reinterpret_cast<pugi::xml_node_struct*>(h.id())); }

    std::string buffer_;  // the loaded bytes, which doc_ was parsed in
    pugi::xml_document doc_;
};

}  // namespace

std::unique_ptr<IXmlDocument> PugiXmlDocumentFactory::NewDocument() { return std::make_unique<PugiXmlDocument>(); }

}  // namespace varnoke::adapters::posix
