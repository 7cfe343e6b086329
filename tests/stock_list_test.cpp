#include <gtest/gtest.h>

#include <thread>

#include "core/data_paths.h"
#include "core/thread_records.h"
#include "recognizer/st_recognizer.h"
#include "tests/stock_fixture.h"

namespace varnoke {
namespace {

using test::StockFixture;
using test::StockXml;

struct LoadCase {
    const char* name;
    std::string file;  // empty: no file at all
    int16_t listState;
    std::vector<stockInfo> entries;  // checked when loaded
    friend void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }
};

class StockListLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(StockListLoad, Case) {
    const LoadCase& c = GetParam();
    StockFixture fixture;
    if (!c.file.empty()) fixture.WriteList(c.file);
    auto r = fixture.NewRecognizer();
    ASSERT_EQ(r->Construct(fixture.Dir().Folder()), Status::ok);
    EXPECT_EQ(r->ListState(), c.listState);
    if (c.listState == -1) {
        EXPECT_EQ(r->StockCount(), 0);
        return;
    }
    ASSERT_EQ(r->StockCount(), static_cast<int32_t>(c.entries.size()));
    ASSERT_EQ(r->StockList().size(), c.entries.size());
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
        EXPECT_EQ(r->StockList()[i].strStockName, c.entries[i].strStockName) << i;
        EXPECT_EQ(r->StockList()[i].strStockID, c.entries[i].strStockID) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StockListLoad,
    ::testing::Values(
        LoadCase{"missing file", "", -1, {}},
        LoadCase{"malformed", "<StockData>" + StockXml("甲", "1") + "<StockData>", -1, {}},
        LoadCase{"root element only", "<StockData/>", 0, {}},
        LoadCase{
            "two stocks, whitespace trimmed",
            "<StockData>\n  " + StockXml(" 華岳精密 ", "2417") + "\n  " + StockXml("2417", "2417") + "\n</StockData>",
            0,
            {{u"華岳精密", u"2417"}, {u"2417", u"2417"}}},
        LoadCase{"root is itself a stock, nested ones follow in document order",
                 "<KestriaStockList><StockName>R</StockName><StockID>0</StockID>"
                 "<g>" +
                     StockXml("A", "1") + "</g>" + StockXml("B", "2") + "</KestriaStockList>",
                 0,
                 {{u"R", u"0"}, {u"A", u"1"}, {u"B", u"2"}}},
        LoadCase{"duplicates stay separate entries",
                 "<r>" + StockXml("同名", "1111") + StockXml("同名", "2222") + "</r>",
                 0,
                 {{u"同名", u"1111"}, {u"同名", u"2222"}}},
        LoadCase{"empty, text-only, comment-only and half-filled elements",
                 "<r><KestriaStockList/><KestriaStockList>text</KestriaStockList>"
                 "<KestriaStockList><!-- c --></KestriaStockList>"
                 "<KestriaStockList><StockID>9</StockID></KestriaStockList>"
                 "<KestriaStockList><StockName>N</StockName></KestriaStockList>"
                 "<KestriaStockList><StockName></StockName><StockID>7</StockID></KestriaStockList>"
                 "</r>",
                 0,
                 {{u"", u""}, {u"", u""}, {u"", u""}, {u"", u"9"}, {u"N", u""}, {u"", u"7"}}},
        LoadCase{"first child of each name wins; grandchildren and other case ignored",
                 "<r><KestriaStockList><x><StockName>deep</StockName></x><stockname>lc</stockname>"
                 "<StockName>first</StockName><StockName>second</StockName>"
                 "<StockID>1</StockID><StockID>2</StockID></KestriaStockList></r>",
                 0,
                 {{u"first", u"1"}}},
        LoadCase{"a field holding an element is empty; entries nested in a name still load",
                 "<r><KestriaStockList><StockName>A<b>B</b>C</StockName><StockID>1</StockID>"
                 "</KestriaStockList><KestriaStockList><StockName>X<KestriaStockList><StockName>Y"
                 "<KestriaStockList><StockName>Z</StockName><StockID>3</StockID></KestriaStockList>"
                 "</StockName><StockID>2</StockID></KestriaStockList></StockName><StockID><i>4</i></StockID>"
                 "</KestriaStockList>" +
                     StockXml("N", "9") + "</r>",
                 0,
                 {{u"", u"1"}, {u"", u""}, {u"", u"2"}, {u"Z", u"3"}, {u"N", u"9"}}},
        LoadCase{"legacy encoding",
                 "<?xml version=\"1.0\" encoding=\"big5\"?><r>" + StockXml("\xb5\xd8\xa9\xa8", "2417") + "</r>",
                 0,
                 {{u"華岳", u"2417"}}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(StockList, ConstructionFormsThePathFromTheFolder) {
    StockFixture fixture;
    const std::u16string folder = fixture.Dir().Folder();
    auto r = fixture.NewRecognizer();
    strStockXMLPath().clear();
    r->Construct(folder);
    EXPECT_EQ(strStockXMLPath(), folder + std::u16string(1, kPathSeparator) + u"varnokeL.xml");
    // The separator is always inserted, even after one.
    r->Construct(folder + kPathSeparator);
    EXPECT_EQ(strStockXMLPath(), folder + kPathSeparator + kPathSeparator + u"varnokeL.xml");
}

TEST(StockList, PathIsPerThread) {
    StockFixture a, b;
    auto r = a.NewRecognizer();
    r->Construct(a.Dir().Folder());
    std::u16string seenOnOtherThread = u"unset";
    const int threadsBefore = ThreadsWithRecords();
    int threadsDuring = 0;
    std::thread([&] {
        seenOnOtherThread = strStockXMLPath();  // a new thread starts empty
        b.NewRecognizer()->Construct(b.Dir().Folder());
        threadsDuring = ThreadsWithRecords();
    }).join();
    EXPECT_EQ(seenOnOtherThread, u"");
    EXPECT_EQ(threadsDuring, threadsBefore + 1);
#if !defined(_WIN32)  // on Windows the DLL frees them at thread detach (tests/win32/test_host.cpp)
    EXPECT_EQ(ThreadsWithRecords(), threadsBefore) << "an ended thread's records are freed";
#endif
    EXPECT_EQ(strStockXMLPath(), a.Dir().Folder() + std::u16string(1, kPathSeparator) + u"varnokeL.xml");
}

TEST(StockList, OnceNotLoadedNeverLoadedAgain) {
    StockFixture fixture;
    const auto good = fixture.Dir().Write("good.xml", "<r>" + StockXml("A", "1") + StockXml("B", "2") + "</r>");
    auto r = fixture.NewRecognizer();
    r->LoadStockSymbolFromXMLFile(good);
    EXPECT_EQ(r->ListState(), 0);
    EXPECT_EQ(r->StockCount(), 2);

    EXPECT_EQ(r->LoadStockSymbolFromXMLFile(fixture.Dir().File("missing.xml")), Status::ok);
    EXPECT_EQ(r->ListState(), -1);
    EXPECT_EQ(r->StockCount(), 2);  // a failed load keeps the previous list

    r->LoadStockSymbolFromXMLFile(good);
    EXPECT_EQ(r->ListState(), -1);
}

TEST(StockList, ReloadReplacesTheWholeList) {
    StockFixture fixture;
    const test::TempDir& dir = fixture.Dir();
    auto r = fixture.NewRecognizer();
    r->LoadStockSymbolFromXMLFile(dir.Write("a.xml", "<r>" + StockXml("A", "1") + StockXml("B", "2") + "</r>"));
    r->LoadStockSymbolFromXMLFile(dir.Write("b.xml", "<r>" + StockXml("C", "3") + "</r>"));
    ASSERT_EQ(r->StockCount(), 1);
    EXPECT_EQ(r->StockList()[0].strStockName, u"C");
}

class NoXml final : public hostapi::IXmlDocumentFactory {
public:
    std::unique_ptr<hostapi::IXmlDocument> NewDocument() override { return nullptr; }
};

TEST(StockList, WithoutAnXmlComponentConstructionFails) {
    NoXml xml;
    STRecognizer r(xml);
    EXPECT_EQ(r.Construct(u"/nowhere"), Status::no_xml_document);
    EXPECT_EQ(r.ListState(), 0);
}

}  // namespace
}  // namespace varnoke
