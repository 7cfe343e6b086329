// The pugixml backend against the shared conformance cases.
#include <gtest/gtest.h>

#include "hostapi/posix/pugi_xml.h"
#include "hostapi/posix/xml_encoding.h"
#include "tests/temp_dir.h"
#include "tests/xml_conformance.h"

namespace varnoke::testing {
namespace {

class PugiConformance : public ::testing::TestWithParam<XmlCase> {
protected:
    hostapi::posix::PugiXmlDocumentFactory factory;
    TempDir dir;
    WriteFile write = [this](std::string_view name, std::string_view bytes) {
        return dir.Write(name, bytes);
    };
};

TEST_P(PugiConformance, Case) { CheckXmlCase(factory, GetParam(), write); }

INSTANTIATE_TEST_SUITE_P(Table, PugiConformance, ::testing::ValuesIn(XmlConformanceCases()),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(PugiXml, Operations) {
    hostapi::posix::PugiXmlDocumentFactory factory;
    TempDir dir;
    CheckXmlOperations(factory, [&](std::string_view name, std::string_view bytes) {
        return dir.Write(name, bytes);
    });
}

TEST(XmlEncoding, DeclaredEncodingIsReadFromTheDeclarationOnly) {
    using hostapi::posix::DeclaredEncoding;
    const struct {
        std::string_view bytes;
        std::string_view expected;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"Big5\"?><r/>", "big5"},
        {"<?xml version='1.0' encoding = 'GB2312' ?><r/>", "gb2312"},
        {"<?xml version=\"1.0\"?><r encoding=\"big5\"/>", ""},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"big5\"?><r/>", ""},
        {"<r/>", ""},
        {"<?xml version=\"1.0\" encoding=\"big5", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DeclaredEncoding(c.bytes), c.expected) << c.bytes;
}

}  // namespace
}  // namespace varnoke::testing
