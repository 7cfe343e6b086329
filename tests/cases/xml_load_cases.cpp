#include "tests/cases/xml_load_cases.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "core/unicode.h"
#include "tests/platform_quirks.h"

namespace varnoke::test {
namespace {

std::string Utf8(std::u16string_view s) { return Utf16ToUtf8(s); }

std::string BillionLaughs() {
    std::string s = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [\n <!ENTITY lol0 \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        s += " <!ENTITY lol" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) s += "&lol" + std::to_string(i - 1) + ";";
        s += "\">\n";
    }
    return s + "]>\n<r><a>&lol9;</a></r>\n";
}

// An entry `a` beside elements nested `depth` deep, the root included;
// `decoys` first, then the nesting's start tags, whose first is `first`.
std::string Nested(int depth, std::string_view decoys = "", std::string_view first = "<d>") {
    std::string s = "<r>" + std::string(decoys) + "<a>x</a>";
    for (int i = 1; i < depth; ++i) s += i == 1 ? first : "<d>";
    for (int i = 1; i < depth; ++i) s += "</d>";
    return s + "</r>";
}

}  // namespace

const std::vector<XmlCase>& XmlConformanceCases() {
    using S = hostapi::XmlLoadStatus;
    static const std::vector<XmlCase> cases = {
        {"plain", "<r><a>x</a><a> y </a></r>", true, u"a", {u"x", u"y"}, {true, true}},
        {"root bears the tag, then nested ones in document order",
         "<a>1<b><a>2</a></b><a>3</a></a>",
         true,
         u"a",
         {u"123", u"2", u"3"},
         {}},
        {"names are case-sensitive", "<r><A>1</A><a>2</a><aa>3</aa></r>", true, u"a", {u"2"}, {}},
        {"text concatenates descendants, blank runs between elements included, and trims the ends",
         "<r><a>\n\t x <b>y</b><!--c--> <c><d>z</d></c> \r\n</a></r>",
         true,
         u"a",
         {u"x y z"},
         {},
         {true}},
        {"inner blanks are kept as written",
         "<r><a>p <b> x </b> q</a><a>  x   y  </a><a><b>x</b><c>y</c></a></r>",
         true,
         u"a",
         {u"p  x  q", u"x   y", u"xy"},
         {}},
        {"entities and character references",
         "<r><a>&lt;&amp;&gt;&quot;&apos;&#x83EF;&#23731;</a></r>",
         true,
         u"a",
         {u"<&>\"'華岳"},
         {}},
        {"CDATA is text and keeps its blanks",
         "<r><a><![CDATA[ <x>&amp; ]]></a><a> <![CDATA[ c ]]> </a></r>",
         true,
         u"a",
         {u" <x>&amp; ", u" c "},
         {}},
        {"child nodes: comment counts, whitespace-only text does not",
         "<r><a><!--c--></a><a/><a>   </a><a>t</a><a><b/></a><a>\n <!--c--> </a></r>",
         true,
         u"a",
         {u"", u"", u"", u"t", u"", u""},
         {true, false, false, true, true, true},
         {false, false, false, false, true, false}},
        {"a child element anywhere among the children, CDATA is none",
         "<r><a>x<!--c--><b/></a><a><![CDATA[<b/>]]></a><a><?p?><c>1</c>y</a></r>",
         true,
         u"a",
         {u"x", u"<b/>", u"1y"},
         {true, true, true},
         {true, false, true}},
        {"no match is an empty list", "<r><b/></r>", true, u"a", {}, {}},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF<r><a>\xE8\x8F\xAF</a></r>", true, u"a", {u"華"}, {}},
        {"UTF-16LE with byte-order mark",
         std::string("\xFF\xFE<\0r\0>\0<\0a\0>\0\xEF\x83<\0/\0a\0>\0<\0/\0r\0>\0", 32),
         true,
         u"a",
         {u"華"},
         {}},
        {"big5",
         "<?xml version=\"1.0\" encoding=\"big5\"?><r><a>\xb5\xd8\xa9\xa8\xba\xeb\xb1\x4b</a></r>",
         true,
         u"a",
         {u"華岳精密"},
         {}},
        {"Big5 in upper case",
         "<?xml version='1.0' encoding='Big5'?><r><a>\xb5\xd8\xa9\xa8</a></r>",
         true,
         u"a",
         {u"華岳"},
         {}},
        {"gb2312",
         "<?xml version=\"1.0\" encoding=\"gb2312\"?><r><a>\xbb\xaa\xd4\xc0\xbe\xab\xc3\xdc</a></r>",
         true,
         u"a",
         {u"华岳精密"},
         {}},
        {"gbk",
         "<?xml version=\"1.0\" encoding=\"GBK\"?><r><a>\xc8\x41\xd4\xc0\xbe\xab\xc3\xdc</a></r>",
         true,
         u"a",
         {u"華岳精密"},
         {}},
        {"gb18030 is not read: not every system decodes it",
         "<?xml version=\"1.0\" encoding=\"gb18030\"?><r><a>\xbb\xaa\xd4\xc0\x95\x32\x82\x36</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::unsupported_encoding,
         1},
        {"windows-1252",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r><a>\x80 \x9f caf\xe9</a></r>",
         true,
         u"a",
         {u"\u20ac \u0178 caf\u00e9"},
         {}},
        {"windows-1252's undefined bytes",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r><a>\x81</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::invalid_bytes,
         1},
        {"UTF-16BE with byte-order mark",
         std::string("\xFE\xFF\0<\0r\0>\0<\0a\0>\x83\xEF\0<\0/\0a\0>\0<\0/\0r\0>", 32),
         true,
         u"a",
         {u"華"},
         {}},
        {"UTF-8 under us-ascii",
         "<?xml version=\"1.0\" encoding=\"us-ascii\"?>\n<r><a>\xE8\x8F\xAF</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::invalid_bytes,
         2},
        {"UTF-8 under ISO-8859-1: its names would never match",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r><a>\xE8\x8F\xAF</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::encoding_mismatch,
         2},
        {"UTF-8 under big5",
         "<?xml version=\"1.0\" encoding=\"big5\"?><r><a>\xE8\x8F\xAF\xE5\xB2\xB3</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::encoding_mismatch,
         1},
        {"UTF-16 declared, 8-bit bytes",
         "<?xml version=\"1.0\" encoding=\"UTF-16\"?><r><a>x</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::encoding_mismatch,
         1},
        {"UTF-7",
         "<?xml version=\"1.0\" encoding=\"UTF-7\"?><r><a>x</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::unsupported_encoding,
         1},
        {"a declaration with an unterminated quote",
         "<?xml version=\"1.0\" encoding=\"utf-8?>\n<r><a>x</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::malformed_declaration,
         1},
        {"a declaration after a blank line",
         "\n<?xml version=\"1.0\"?><r><a>x</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::malformed_declaration,
         2},
        {"a declaration without a version",
         "<?xml encoding=\"utf-8\"?><r><a>x</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::malformed_declaration,
         1},
        {"big5's user-defined area",
         "<?xml version=\"1.0\" encoding=\"big5\"?><r><a>\xfe\xfe</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::invalid_bytes,
         1},
        {"big5 past the user-defined area: the system extensions both tables hold",
         "<?xml version=\"1.0\" encoding=\"big5\"?><r><a>\xa1\x40\xf9\xd5</a></r>",
         true,
         u"a",
         {u"\u3000\u9f98"},
         {}},
        {"gbk's user-defined area",
         "<?xml version=\"1.0\" encoding=\"gbk\"?><r><a>\xbb\xaa\xa1\x40</a></r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::invalid_bytes,
         1},
        {"gbk's euro sign", "<?xml version=\"1.0\" encoding=\"gbk\"?><r><a>\x80</a></r>", true, u"a", {u"\u20ac"}, {}},
        {"elements 256 deep load", Nested(256), true, u"a", {u"x"}, {}},
        {"elements 257 deep do not, the entries beside them included",
         Nested(257),
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::too_deep,
         0},
        {"start tags in comments, CDATA, processing instructions and empty elements add no depth",
         "<!DOCTYPE r [<!ENTITY e \"&#60;d>\"><!-- <d> ' -->]>" +
             Nested(256, "<!--<d><d>--><![CDATA[<d><d>]]><?p <d>?><e/><e x='/>'/>"),
         true,
         u"a",
         {u"x"},
         {}},
        {"a '/>' in a quoted value ends no element",
         Nested(257, "", "<d x=\"/>\">"),
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::too_deep,
         0},
        {"a mismatched end tag, its line",
         "<r>\n<a>x</a>\n<b>y</c>\n</r>",
         false,
         u"a",
         {},
         {},
         {},
         {},
         S::not_well_formed,
         3},
        {"ISO-8859-1",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><a>caf\xe9</a></r>",
         true,
         u"a",
         {u"caf\u00e9"},
         {}},
        {"unknown encoding",
         "<?xml version=\"1.0\" encoding=\"x-no-such-encoding\"?><r><a>x</a></r>",
         false,
         u"a",
         {},
         {}},
        {"not well-formed", "<r><a>x</r>", false, u"a", {}, {}},
        {"invalid UTF-8", "<r><a>\xff\xfe\xfd</a></r>", false, u"a", {}, {}},
        {"empty file", "", false, u"a", {}, {}},
        {"text only", "just text", false, u"a", {}, {}},
        {"two roots", "<r/><r/>", false, u"r", {}, {}},
        // Only characters XML allows, raw or as references; a parser that
        // let one through would cut or empty names and addresses.
        {"reference to NUL", "<r><a>\xE5\xB3\xBB\xE7\xA3\x90&#0;\xE6\xB0\xB4\xE6\xB3\xA5</a></r>", false, u"a", {}, {}},
        {"hex reference to NUL in an attribute", "<r><a href=\"https://x/&#x0;y\">z</a></r>", false, u"a", {}, {}},
        {"reference to a surrogate", "<r><a>&#xD800;</a></r>", false, u"a", {}, {}},
        {"reference past U+10FFFF", "<r><a>&#x110000;</a></r>", false, u"a", {}, {}},
        {"reference past 32 bits", "<r><a>&#99999999999;</a></r>", false, u"a", {}, {}},
        {"reference to a control character", "<r><a>&#27;</a></r>", false, u"a", {}, {}},
        {"reference to U+FFFE", "<r><a>&#65534;</a></r>", false, u"a", {}, {}},
        {"raw control character", "<r><a>x\x01y</a></r>", false, u"a", {}, {}},
        {"raw U+FFFF", "<r><a>\xEF\xBF\xBF</a></r>", false, u"a", {}, {}},
        {"raw surrogate in UTF-8", "<r><a>\xE8\x8F\xAF\xED\xA0\x80</a></r>", false, u"a", {}, {}},
        {"overlong three-byte form of '/'", "<r><a>\xE8\x8F\xAF\xE0\x80\xAF</a></r>", false, u"a", {}, {}},
        {"three-byte character cut short by markup", "<r><a>\xE8\x8F\xAF\xE8\x8F</a></r>", false, u"a", {}, {}},
        {"three-byte character whose last byte starts another",
         "<r><a>\xE8\x8F\xE8\x8F\xAF</a></r>",
         false,
         u"a",
         {},
         {}},
        {"three-byte characters at the edges of the ranges",
         "<r><a>\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD\xE1\x80\x80\xEC\xBF\xBF</a></r>",
         true,
         u"a",
         {u"\u0800\uD7FF\uE000\uFFFD\u1000\uCFFF"},
         {}},
        {"raw control character inside a run of plain ASCII",
         "<r><a>abcdefgh\x1Fijklmnop</a></r>",
         false,
         u"a",
         {},
         {}},
        {"DEL and blank inside runs of plain ASCII",
         "<r><a>abcdefg\x7Fhijklmn opqrstuv</a></r>",
         true,
         u"a",
         {u"abcdefg\x7Fhijklmn opqrstuv"},
         {}},
        {"raw control character after lines of plain ASCII, tabs and CRs",
         "<r>\r\n\t<a>abc</a>\r\n\t<a>defghijklmnopqrs\x0Bt</a>\n</r>",
         false,
         u"a",
         {},
         {}},
        {"raw control character in the last bytes, after sixteen of plain ASCII",
         "<r><a>0123456789abcdef</a>\x02</r>",
         false,
         u"a",
         {},
         {}},
        {"lines of plain ASCII around runs of ideographs, a four-byte character and a two-byte one",
         "<r>\n\t<a>\xE8\x8F\xAF\xE5\xB2\xB3\xE7\xB2\xBE\xE5\xAF\x86</a>\r\n\t<a>x\xF0\xA0\x80\x80y\xC3\xA9"
         "\xE8\x8F\xAF</a>\n</r>",
         true,
         u"a",
         {u"華岳精密", u"x\U00020000y\u00e9華"},
         {}},
        {"a character cut short by the end after runs of plain ASCII and ideographs",
         "<r>\n\t<a>0123456789abcdef\xE8\x8F\xAF\xE8\x8F",
         false,
         u"a",
         {},
         {}},
        {"raw control character in a declared single-byte encoding",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><a>x\x1Fy</a></r>",
         false,
         u"a",
         {},
         {}},
        {"reference to a surrogate in big5",
         "<?xml version=\"1.0\" encoding=\"big5\"?><r><a>&#xDFFF;</a></r>",
         false,
         u"a",
         {},
         {}},
        {"lone surrogate in UTF-16LE",
         std::string("\xFF\xFE<\0r\0>\0<\0a\0>\0x\0\x00\xD8y\0<\0/\0a\0>\0<\0/\0r\0>\0", 36),
         false,
         u"a",
         {},
         {}},
        {"allowed references at the edges of the ranges",
         "<r><a>a&#x9;b&#xD7FF;&#xE000;&#xFFFD;&#x10000;&#1114111;&#x4D2;</a></r>",
         true,
         u"a",
         {u"a\tb\uD7FF\uE000\uFFFD\U00010000\U0010FFFF\u04D2"},
         {}},
        {"references in CDATA, comments and processing instructions are literal text",
         "<r><?p &#0;?><!-- &#xD800; --><a><![CDATA[&#0;]]></a></r>",
         true,
         u"a",
         {u"&#0;"},
         {}},
        {"reference to a control character after a '!' and a '?' in text",
         "<r><a>Hi! Why? &#1;</a></r>",
         false,
         u"a",
         {},
         {}},
        {"reference to a control character after an entity and a comment",
         "<r><a>&amp;<!-- x -->?&#1;</a></r>",
         false,
         u"a",
         {},
         {}},
        {"records: the first field of each name, missing ones, other case, grandchildren, duplicates",
         "<r><e><b>1</b><c>2</c></e><e><c>3</c></e><e/><e><x><b>deep</b></x><B>case</B><b>first</b><b>2nd</b></e>"
         "<e><b>1</b><c>2</c></e></r>",
         true,
         u"e",
         {u"12", u"3", u"", u"deepcasefirst2nd", u"12"},
         {},
         {},
         {{u"1", u"2"}, {std::nullopt, u"3"}, {std::nullopt, std::nullopt}, {u"first", std::nullopt}, {u"1", u"2"}}},
        {"records: a field holding an element is missing; entries nested in fields are found",
         "<r><e><b>p<i/>q</b><c>4</c></e><e><b>o<e><b>in</b><c>5</c></e></b><c><e/></c></e></r>",
         true,
         u"e",
         {u"pq4", u"oin5", u"in5", u""},
         {},
         {},
         {{std::nullopt, u"4"}, {std::nullopt, std::nullopt}, {u"in", u"5"}, {std::nullopt, std::nullopt}}},
        {"records: CDATA, comments, blanks, entities and references in fields",
         "<r><e><!--c--><b><![CDATA[<y>]]></b><c>&lt;&#x83EF;&amp; </c></e><e><b><!--only--></b><c>   </c></e>"
         "<e><b> w </b><c>v</c></e></r>",
         true,
         u"e",
         {u"<y><華&", u"", u"w v"},
         {},
         {},
         {{u"<y>", u"<華&"}, {u"", u""}, {u"w", u"v"}}},
        {"records: entries and fields of names past ASCII",
         "<r><\u9805><\u540d>n</\u540d><c>1</c></\u9805><x><\u9805><c>2</c></\u9805></x></r>",
         true,
         u"\u9805",
         {u"n1", u"2"},
         {},
         {},
         {{std::nullopt, u"1"}, {std::nullopt, u"2"}}},
        {"records: a processing instruction named as a field, before the field or alone; empty fields",
         "<r><e><?b?><b>1</b><?c?><c/><c>2</c></e><e><?c?><b></b><b>3</b></e></r>",
         true,
         u"e",
         {u"12", u"3"},
         {},
         {},
         {{u"1", u""}, {u"", std::nullopt}}},
        {"records: fields in a namespace, default or prefixed, as SelectSingleNode sees them",
         "<r><e><b xmlns=\"urn:x\">n</b><c>1</c></e><e><p:b xmlns:p=\"urn:x\">m</p:b><b>2</b></e></r>",
         true,
         u"e",
         {u"n1", u"m2"},
         {}},
    };
    return cases;
}

void CheckXmlCase(hostapi::IXmlDocumentFactory& factory, const XmlCase& c, const WriteFile& write) {
    SCOPED_TRACE(c.name);
    auto doc = factory.NewDocument();
    ASSERT_TRUE(doc);
    const hostapi::XmlLoadResult loaded = doc->Load(write("case.xml", c.bytes));
    ASSERT_EQ(static_cast<bool>(doc->DocumentElement()), c.loads) << loaded.reason;
    EXPECT_EQ(static_cast<bool>(loaded), c.loads) << loaded.reason;
    EXPECT_EQ(loaded.reason.empty(), c.loads) << loaded.reason;
    if (c.status) {
        EXPECT_EQ(static_cast<int>(loaded.status), static_cast<int>(*c.status)) << loaded.reason;
    }
    if (c.line) {
        EXPECT_EQ(loaded.line, c.line) << loaded.reason;
    }
    // Bytes load as the same file does.
    auto again = factory.NewDocument();
    EXPECT_EQ(static_cast<int>(again->LoadBytes(c.bytes).status), static_cast<int>(loaded.status));
    if (!c.loads) return;
    auto found = doc->ElementsByTagName(c.tag);
    ASSERT_TRUE(found);
    ASSERT_EQ(found->size(), c.texts.size());
    // The bulk read answers as the operations one by one.
    static constexpr std::u16string_view kFields[] = {u"b", u"c"};
    const auto records = doc->ReadRecords(c.tag, kFields);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->count, found->size());
    ASSERT_EQ(records->spans.size(), found->size() * std::size(kFields));
    if (!c.records.empty()) {
        ASSERT_EQ(c.records.size(), found->size());
    }
    for (std::size_t i = 0; i < found->size(); ++i) {
        for (std::size_t k = 0; k < std::size(kFields); ++k) {
            const auto field = doc->SelectSingleNode((*found)[i], kFields[k]);
            const auto one = doc->HasChildElement(field) ? std::nullopt : doc->TypedValue(field);
            const auto view = records->Value(i * std::size(kFields) + k);
            const auto bulk = view ? std::optional<std::u16string>(*view) : std::nullopt;
            EXPECT_EQ(bulk, one) << i << " " << Utf8(kFields[k]);
            if (!c.records.empty()) {
                EXPECT_EQ(Utf8(bulk.value_or(u"<none>")), Utf8(c.records[i][k].value_or(u"<none>")))
                    << i << " " << Utf8(kFields[k]);
            }
        }
    }
    for (std::size_t i = 0; i < found->size(); ++i) {
        EXPECT_EQ(Utf8(doc->Text((*found)[i]).value_or(u"<none>")), Utf8(c.texts[i])) << i;
        EXPECT_EQ(doc->TypedValue((*found)[i]), doc->Text((*found)[i])) << i;
        if (!c.hasChildNodes.empty()) {
            EXPECT_EQ(doc->HasChildNodes((*found)[i]), c.hasChildNodes[i]) << i;
        }
        if (!c.hasChildElement.empty()) {
            EXPECT_EQ(doc->HasChildElement((*found)[i]), c.hasChildElement[i]) << i;
        }
    }
}

void CheckXmlOperations(hostapi::IXmlDocumentFactory& factory, const WriteFile& write) {
    {
        SCOPED_TRACE("select single node: first child element of that exact name only");
        auto doc = factory.NewDocument();
        doc->Load(write("select.xml", "<r><s><x><n>deep</n></x><N>case</N><n>first</n><n>second</n></s></r>"));
        auto s = doc->ElementsByTagName(u"s");
        ASSERT_TRUE(s && s->size() == 1);
        const auto n = doc->SelectSingleNode((*s)[0], u"n");
        EXPECT_EQ(doc->Text(n), u"first");
        EXPECT_FALSE(doc->SelectSingleNode((*s)[0], u"missing"));
        EXPECT_FALSE(doc->SelectSingleNode(doc->DocumentElement(), u"n"));  // grandchildren are not children
        EXPECT_FALSE(doc->SelectSingleNode(hostapi::XmlNode(), u"n"));
        EXPECT_FALSE(doc->Text(hostapi::XmlNode()));
        EXPECT_FALSE(doc->TypedValue(hostapi::XmlNode()));
        EXPECT_FALSE(doc->HasChildNodes(hostapi::XmlNode()));
        EXPECT_FALSE(doc->HasChildElement(hostapi::XmlNode()));
    }
    {
        SCOPED_TRACE("only regular files are read: anything else is no document, at once");
        const std::filesystem::path folder = write("folder.xml", "");
        std::filesystem::remove(folder);
        std::filesystem::create_directory(folder);
        std::vector<std::u16string> others = {folder.u16string()};
#if defined(_WIN32)
        others.push_back(u"NUL");
        others.push_back(u"\\\\.\\NUL");
        // A pipe whose server end waits here: reading it would block.
        const HANDLE pipe = CreateNamedPipeW(L"\\\\.\\pipe\\varnoke-conformance", PIPE_ACCESS_DUPLEX,
                                             PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
        others.push_back(u"\\\\.\\pipe\\varnoke-conformance");
#else
        const std::filesystem::path fifo = write("fifo.xml", "");
        std::filesystem::remove(fifo);
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        others.push_back(fifo.u16string());  // no writer: opening it for reading would block
        others.push_back(u"/dev/null");
#endif
        for (const auto& path : others) {
            SCOPED_TRACE(Utf8(path));
            auto doc = factory.NewDocument();
            EXPECT_TRUE(doc->Load(write("good.xml", "<r/>")));
            doc->Load(path);
            EXPECT_FALSE(doc->DocumentElement());
        }
#if defined(_WIN32)
        CloseHandle(pipe);
#endif
    }
    {
        SCOPED_TRACE("a missing file and a reload that fails leave no document element");
        auto doc = factory.NewDocument();
        EXPECT_TRUE(doc->Load(write("good.xml", "<r/>")));
        EXPECT_TRUE(doc->DocumentElement());
        doc->Load(write("good.xml", "") + u".missing");
        EXPECT_FALSE(doc->DocumentElement());
    }
    {
        SCOPED_TRACE("entity expansion bomb: quick, bounded, nothing expanded");
        auto doc = factory.NewDocument();
        const auto start = std::chrono::steady_clock::now();
        doc->Load(write("bomb.xml", BillionLaughs()));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        if (doc->DocumentElement()) {
            auto a = doc->ElementsByTagName(u"a");
            ASSERT_TRUE(a);
            for (auto node : *a) EXPECT_LT(doc->Text(node).value_or(u"").size(), 100u);
        }
    }
    {
        SCOPED_TRACE("external entities are never fetched");
        const std::u16string secret = write("secret.txt", "TOP-SECRET");
        const std::string xml = "<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + Utf8(secret) + "\">]><r><a>&x;</a></r>";
        auto doc = factory.NewDocument();
        doc->Load(write("external.xml", xml));
        if (doc->DocumentElement()) {
            auto a = doc->ElementsByTagName(u"a");
            ASSERT_TRUE(a);
            for (auto node : *a) EXPECT_EQ(doc->Text(node).value_or(u"").find(u"TOP-SECRET"), std::u16string::npos);
        }
    }
    {
        SCOPED_TRACE("write text, save, load again: legacy-encoded input comes back intact");
        auto doc = factory.NewDocument();
        doc->Load(write("legacy.xml",
                        "<?xml version=\"1.0\" encoding=\"big5\"?><r><u>old<b>x</b></u><n>\xb5\xd8\xa9\xa8</n></r>"));
        const auto u = doc->SelectSingleNode(doc->DocumentElement(), u"u");
        ASSERT_TRUE(doc->SetText(u, u"29123456 & <more>"));
        EXPECT_EQ(doc->Text(u), u"29123456 & <more>");
        const std::u16string saved = write("saved.xml", "");
        ASSERT_TRUE(doc->Save(saved));

        auto again = factory.NewDocument();
        again->Load(saved);
        ASSERT_TRUE(again->DocumentElement());
        EXPECT_EQ(again->Text(again->SelectSingleNode(again->DocumentElement(), u"u")), u"29123456 & <more>");
        EXPECT_EQ(again->Text(again->SelectSingleNode(again->DocumentElement(), u"n")), u"華岳");
        EXPECT_FALSE(again->SelectSingleNode(again->SelectSingleNode(again->DocumentElement(), u"u"), u"b"));
    }
}

}  // namespace varnoke::test
