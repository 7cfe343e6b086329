// Conformance cases for the XML document port: every backend (pugixml on
// POSIX, the platform DOM on Windows) must give the same answers, because
// the loaders' behaviour depends on them.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "hostapi/xml.h"

namespace varnoke::test {

struct XmlCase {
    const char* name;
    std::string bytes;                       // the file, byte for byte
    bool loads;                              // has a document element afterwards
    std::u16string tag;                      // searched with ElementsByTagName
    std::vector<std::u16string> texts;       // Text() of each element found, in order
    std::vector<bool> hasChildNodes;         // HasChildNodes() of each, when given
    std::vector<bool> hasChildElement = {};  // HasChildElement() of each, when given
    // ReadRecords(tag, {"b", "c"}) of each element, when given; on every row
    // it must answer as SelectSingleNode, HasChildElement and TypedValue do.
    std::vector<std::vector<std::optional<std::u16string>>> records = {};
    // The load's status and line, when given: the same on every platform.
    std::optional<hostapi::XmlLoadStatus> status = std::nullopt;
    std::size_t line = 0;
    friend void PrintTo(const XmlCase& c, std::ostream* os) { *os << c.name; }
};

const std::vector<XmlCase>& XmlConformanceCases();

// Writes `bytes` to a file called `name` in a scratch folder; returns its path.
using WriteFile = std::function<std::u16string(std::string_view name, std::string_view bytes)>;

// Loads the case from a file and checks every expectation.
void CheckXmlCase(hostapi::IXmlDocumentFactory& factory, const XmlCase& c, const WriteFile& write);

// What the table cannot express: selection, missing files, files that are
// not regular files, hostile DOCTYPEs, writing text and saving.
void CheckXmlOperations(hostapi::IXmlDocumentFactory& factory, const WriteFile& write);

}  // namespace varnoke::test
