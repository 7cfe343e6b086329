// The XML document component, as the data-file loaders and the refresh use
// it: exactly the operations they need, nothing more.
//
// A document owns its nodes; an XmlNode is a plain handle that stays valid
// until the next Load of its document or the document's destruction. An
// empty handle stands for "nothing" (no document element, no such child);
// every operation accepts one and answers as for a missing node.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/xml_source.h"

namespace varnoke::hostapi {

class XmlNode {
public:
    constexpr XmlNode() = default;
    constexpr explicit XmlNode(std::uintptr_t id) : id_(id) {}
    constexpr explicit operator bool() const { return id_ != 0; }
    constexpr std::uintptr_t id() const { return id_; }
    friend constexpr bool operator==(XmlNode, XmlNode) = default;

private:
    std::uintptr_t id_ = 0;
};

// What ReadRecords found: `count` elements, and per element, one after
// the other, a value per field asked for. The values' units lie one after
// the other in one buffer: 10^4 entries held two strings each before, and
// making, moving and freeing them cost as much as the parse's own work.
struct XmlRecords {
    struct Span {
        std::size_t offset = 0;
        std::size_t length = std::u16string_view::npos;  // npos: no value
    };
    std::size_t count = 0;
    std::u16string text;      // every value's units
    std::vector<Span> spans;  // count x fields
    // The value of span i (element i / fields, field i % fields), or nothing.
    std::optional<std::u16string_view> Value(std::size_t i) const {
        const Span& s = spans[i];
        if (s.length == std::u16string_view::npos) return std::nullopt;
        return std::u16string_view(text).substr(s.offset, s.length);
    }
};

using varnoke::XmlLoadResult;
using varnoke::XmlLoadStatus;

struct XmlElementLine {
    std::u16string name;
    std::size_t depth = 0;
    std::size_t line = 0;
};

class IXmlDocument {
public:
    virtual ~IXmlDocument() = default;

    // Parses the whole file; a web address is no file, and nothing is ever
    // fetched (the refresh fetches through hostapi/fetch.h and parses the
    // bytes). Only a regular file is read: a folder, a pipe or a device is
    // unreadable, and never blocks. What loads is decided by core/xml_source.h
    // on every platform alike (encoding, declaration, allowed characters),
    // then by the parser, and no element may lie deeper than kMaxXmlDepth.
    // Entities are never expanded and nothing external is fetched. On
    // failure there is no document element, and the result says where and
    // why, from the parser's own report where the parser found the fault.
    virtual XmlLoadResult Load(std::u16string_view path) = 0;

    // Parses these bytes, as Load parses a file's.
    virtual XmlLoadResult LoadBytes(std::string_view bytes) = 0;

    // The root element, or an empty handle when the last load failed.
    virtual XmlNode DocumentElement() = 0;

    // All elements of that name at any depth, root included, in document
    // order. Nothing when the search itself fails.
    virtual std::optional<std::vector<XmlNode>> ElementsByTagName(std::u16string_view name) = 0;

    // True when the node has any child node, text and comments included.
    virtual bool HasChildNodes(XmlNode node) = 0;

    // True when the element holds a child element. Cheap whatever lies
    // below it: the loaders ask before taking a field's text, which for an
    // element holding others would cost as much as everything below it.
    virtual bool HasChildElement(XmlNode node) = 0;

    // The first child element of that exact name, or an empty handle.
    virtual XmlNode SelectSingleNode(XmlNode node, std::u16string_view name) = 0;

    // Every element named `entry`, as ElementsByTagName finds them, each
    // with the value of each of `fields`: TypedValue of its first child
    // element of that name, or nothing where it has none or that child holds
    // an element. The same answers as those operations one by one, in one
    // pass over the document: a list of 10^4 entries read node by node cost
    // several times its parse. Nothing when the search itself fails.
    virtual std::optional<XmlRecords> ReadRecords(std::u16string_view entry,
                                                  std::span<const std::u16string_view> fields) = 0;

    // The element's typed value; for the untyped elements of the data files
    // that is its text. Nothing for an empty handle.
    virtual std::optional<std::u16string> TypedValue(XmlNode node) = 0;

    // The concatenated character data of the element and its descendants,
    // leading and trailing XML whitespace removed. Nothing for an empty handle.
    virtual std::optional<std::u16string> Text(XmlNode node) = 0;

    // Replaces the element's content with that text.
    virtual bool SetText(XmlNode node, std::u16string_view text) = 0;

    // Every element in document order: its name, its depth (1 for the root)
    // and the line its start tag is on (0 where the platform cannot tell).
    // For the maintainers' check, which reports findings by line.
    virtual std::vector<XmlElementLine> Outline() = 0;

    // Writes the whole document into the file, which exists: the refresh's
    // freshly made temporary. Where the platform can tell, false and nothing
    // written when that name is no longer a regular file of its own (a
    // link, a second name of another file, a pipe).
    virtual bool Save(std::u16string_view path) = 0;
};

// Creates fresh documents; nullptr when the XML component is unavailable.
class IXmlDocumentFactory {
public:
    virtual ~IXmlDocumentFactory() = default;
    virtual std::unique_ptr<IXmlDocument> NewDocument() = 0;
};

}  // namespace varnoke::hostapi
