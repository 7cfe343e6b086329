// This platform's XML backend against the shared conformance cases.
#include <gtest/gtest.h>

#include "adapters/platform.h"
#include "tests/temp_dir.h"
#include "tests/xml_conformance.h"

namespace varnoke::test {
namespace {

class XmlConformance : public ::testing::TestWithParam<XmlCase> {
protected:
    std::unique_ptr<hostapi::IXmlDocumentFactory> factory = adapters::NewXmlDocumentFactory();
    TempDir dir;
    WriteFile write = [this](std::string_view name, std::string_view bytes) {
        return dir.Write(name, bytes);
    };
};

TEST_P(XmlConformance, Case) { CheckXmlCase(*factory, GetParam(), write); }

INSTANTIATE_TEST_SUITE_P(Table, XmlConformance, ::testing::ValuesIn(XmlConformanceCases()),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(XmlBackend, Operations) {
    auto factory = adapters::NewXmlDocumentFactory();
    TempDir dir;
    CheckXmlOperations(*factory, [&](std::string_view name, std::string_view bytes) {
        return dir.Write(name, bytes);
    });
}

}  // namespace
}  // namespace varnoke::test
