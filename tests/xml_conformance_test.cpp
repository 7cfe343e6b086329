// This platform's XML backend against the shared conformance cases.
#include <gtest/gtest.h>

#include "adapters/platform.h"
#include "core/xml_source.h"
#include "tests/temp_dir.h"
#include "tests/cases/xml_load_cases.h"

namespace varnoke::test {
namespace {

class XmlConformance : public ::testing::TestWithParam<XmlCase> {
protected:
    std::unique_ptr<hostapi::IXmlDocumentFactory> factory = adapters::NewXmlDocumentFactory();
    TempDir dir;
    WriteFile write = [this](std::string_view name, std::string_view bytes) { return dir.Write(name, bytes); };
};

TEST_P(XmlConformance, Case) { CheckXmlCase(*factory, GetParam(), write); }

INSTANTIATE_TEST_SUITE_P(Table, XmlConformance, ::testing::ValuesIn(XmlConformanceCases()),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(XmlBackend, Operations) {
    auto factory = adapters::NewXmlDocumentFactory();
    TempDir dir;
    CheckXmlOperations(*factory, [&](std::string_view name, std::string_view bytes) { return dir.Write(name, bytes); });
}

// Every code of the two Chinese code pages outside their user-defined areas
// decodes to the same character on every platform, or fails on every
// platform: one digest of the whole table, the same number everywhere.
TEST(XmlBackend, CodePagesDecodeAlikeEverywhere) {
    for (const auto& [codePage, expected] :
         {std::pair{950u, 8665460306331399599ull}, std::pair{936u, 12649844834248886584ull}}) {
        std::uint64_t digest = 0xcbf29ce484222325ull;  // FNV-1a
        const auto mix = [&](unsigned value) {
            for (int k = 0; k < 4; ++k, value >>= 8) digest = (digest ^ (value & 0xFF)) * 0x100000001b3ull;
        };
        std::size_t decoded = 0;
        const auto code = [&](std::string_view bytes, unsigned key) {
            mix(key);
            const auto text = adapters::DecodeCodePage(codePage, bytes);
            if (!text) return mix(0xFFFFFFFF);
            ++decoded;
            for (const char16_t u : *text) mix(u);
        };
        for (unsigned b = 0x80; b <= 0xFF; ++b) code(std::string(1, static_cast<char>(b)), b);
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail)
                if (!IsUserDefinedCode(codePage, static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)))
                    code(std::string{static_cast<char>(lead), static_cast<char>(trail)}, lead << 8 | trail);
        EXPECT_EQ(digest, expected) << codePage << ": " << decoded << " codes decoded";
        EXPECT_GT(decoded, 13000u) << codePage;
    }
}

}  // namespace
}  // namespace varnoke::test
