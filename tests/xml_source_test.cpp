// What loads, decided before any parser sees the text: the same on every
// platform, so asserted here once with positions and reasons.
#include <gtest/gtest.h>

#include "core/unicode.h"
#include "core/xml_source.h"

namespace varnoke {
namespace {

// A code page decoder that knows one code of each page, for the paths that
// reach it.
std::optional<std::u16string> TwoCodes(unsigned codePage, std::string_view bytes) {
    std::u16string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out.push_back(b);
        } else if (i + 1 < bytes.size() && ((codePage == 950 && bytes.substr(i, 2) == "\xb5\xd8") ||
                                            (codePage == 936 && bytes.substr(i, 2) == "\xbb\xaa"))) {
            out.push_back(codePage == 950 ? u'華' : u'华');
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// The text as UTF-16LE bytes.
std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (const char16_t u : text) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    return bytes;
}

TEST(XmlSource, DecidesWhatLoadsAndSaysWhere) {
    using S = XmlLoadStatus;
    const struct {
        const char* name;
        std::string bytes;
        S status;
        std::size_t line, column;
        std::string reason;        // contained in the reason
        std::u16string text = {};  // the decoded text, when it loads and is given
    } cases[] = {
        {"no declaration is UTF-8", "<r>\xE8\x8F\xAF</r>", S::ok, 0, 0, "", u"<r>華</r>"},
        {"the declaration keeps its version; the rest is blanked in place, lines kept",
         "<?xml version=\"1.0\"\n encoding=\"utf-8\"?><r/>", S::ok, 0, 0, "",
         u"<?xml version=\"1.0\"\n                 ?><r/>"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF8'?><r/>", S::ok, 0, 0, ""},
        {"UTF-16LE without a byte-order mark", std::string("<\0r\0/\0>\0", 8), S::ok, 0, 0, "", u"<r/>"},
        {"UTF-16BE with a byte-order mark", std::string("\xFE\xFF\0<\0r\0/\0>", 10), S::ok, 0, 0, "", u"<r/>"},
        {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\xe9</r>", S::ok, 0, 0, ""},
        {"windows-1252's letters past Latin-1", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\x80\x9f\xe9</r>",
         S::ok, 0, 0, ""},
        {"big5 through the platform", "<?xml version=\"1.0\" encoding=\"big5\"?><r>\xb5\xd8</r>", S::ok, 0, 0, ""},
        {"standalone", "<?xml version=\"1.1\" encoding=\"gbk\" standalone='yes' ?><r>\xbb\xaa</r>", S::ok, 0, 0, ""},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"UTF-7\"?><r/>", S::unsupported_encoding, 1, 1,
         "encoding \"utf-7\" is not one the component reads"},
        {"gb18030 is not read: not every system decodes it", "<?xml version=\"1.0\" encoding=\"gb18030\"?><r/>",
         S::unsupported_encoding, 1, 1, "gb18030"},
        {"UTF-8 under us-ascii", "<?xml version=\"1.0\" encoding=\"us-ascii\"?>\n<r>\xE8\x8F\xAF</r>", S::invalid_bytes,
         2, 4, "byte 45 is not ASCII, the declared encoding (the file is UTF-8: declare UTF-8)"},
        {"UTF-8 under ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>caf\xc3\xa9</r>",
         S::encoding_mismatch, 2, 7, "the file is UTF-8, and its declaration names iso-8859-1"},
        {"UTF-8 under big5", "<?xml version=\"1.0\" encoding=\"big5\"?><r>\xE8\x8F\xAF</r>", S::encoding_mismatch, 1,
         41, "declare UTF-8"},
        {"UTF-16 bytes declared UTF-8", Utf16Le(u"\uFEFF<?xml version='1.0' encoding='utf-8'?><r/>"),
         S::encoding_mismatch, 1, 1, "the file is UTF-16, and its declaration names utf-8"},
        {"UTF-16 declared, 8-bit bytes", "<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>", S::encoding_mismatch, 1, 1,
         "not UTF-16"},
        {"UTF-8 byte-order mark, big5 declared", "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"big5\"?><r/>",
         S::encoding_mismatch, 1, 1, "byte-order mark"},
        {"invalid UTF-8, no declaration", "<r>\n<a>\xe9</a></r>", S::invalid_bytes, 2, 4,
         "byte 7 is not UTF-8 and no encoding is declared"},
        {"windows-1252's undefined bytes", "<?xml version=\"1.0\" encoding=\"cp1252\"?><r>\x81</r>", S::invalid_bytes,
         1, 43, "byte 42 (0x81) is not windows-1252"},
        {"big5's user-defined area", "<?xml version=\"1.0\" encoding=\"big5\"?><r>x\x81\x40</r>", S::invalid_bytes, 1,
         42, "(0x8140) are a user-defined code of big5"},
        {"gbk's user-defined area", "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<r>\xbb\xaa\xaa\xa1</r>",
         S::invalid_bytes, 2, 5, "(0xAAA1) are a user-defined code of gb2312"},
        {"a code the platform refuses", "<?xml version=\"1.0\" encoding=\"big5\"?>\n<r>\n\xb5\xd8\xa4\x40</r>",
         S::invalid_bytes, 3, 2, "byte 44 is not big5, the declared encoding"},
        {"UTF-16 of odd length", std::string("\xFF\xFE<\0r\0/\0>\0x", 11), S::invalid_bytes, 0, 0,
         "half a UTF-16 unit"},
        {"unterminated quote", "<?xml version=\"1.0\" encoding=\"utf-8?>\n<r/>", S::malformed_declaration, 1, 21,
         "malformed XML declaration: the encoding is not a quoted value"},
        {"no version", "<?xml encoding=\"utf-8\"?><r/>", S::malformed_declaration, 1, 7, "names no version"},
        {"version 2", "<?xml version=\"2.0\"?><r/>", S::malformed_declaration, 1, 7, "is not 1.x"},
        {"no closing ?>", "<?xml version=\"1.0\" encoding=\"utf-8\" ><r/>", S::malformed_declaration, 1, 38,
         "does not end with ?>"},
        {"standalone maybe", "<?xml version=\"1.0\" standalone=\"maybe\"?><r/>", S::malformed_declaration, 1, 21,
         "standalone"},
        {"an encoding name with a blank", "<?xml version=\"1.0\" encoding=\"big 5\"?><r/>", S::malformed_declaration, 1,
         21, "is no encoding name"},
        {"a declaration after blanks", "\n <?xml version=\"1.0\"?><r/>", S::malformed_declaration, 2, 2,
         "does not start the file"},
        {"a processing instruction named xml-stylesheet is none", "<?xml-stylesheet href='a'?><r/>", S::ok, 0, 0, ""},
        {"a forbidden character after decoding", "<?xml version=\"1.0\" encoding=\"big5\"?>\r\n<r>\xb5\xd8\x01</r>",
         S::forbidden_character, 2, 5, "character U+0001, which XML does not allow"},
        {"a forbidden reference", "<r>\r<a>&#0;</a></r>", S::forbidden_character, 2, 4,
         "a reference to a character XML does not allow"},
        {"a lone surrogate in UTF-16", std::string("\xFF\xFE<\0r\0>\0\x00\xD8<\0/\0r\0>\0", 18), S::forbidden_character,
         1, 4, "a lone surrogate, U+D800"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedXml d = DecodeXml(c.bytes, XmlTextForm::utf16, TwoCodes);
        EXPECT_EQ(static_cast<int>(d.result.status), static_cast<int>(c.status)) << d.result.reason;
        EXPECT_EQ(d.result.line, c.line);
        EXPECT_EQ(d.result.column, c.column);
        EXPECT_NE(d.result.reason.find(c.reason), std::string::npos) << d.result.reason;
        if (!c.text.empty()) {
            EXPECT_EQ(d.utf16, c.text);
        }
        // Both forms agree.
        const DecodedXml u = DecodeXml(c.bytes, XmlTextForm::utf8, TwoCodes);
        EXPECT_EQ(u.result.status, d.result.status);
        EXPECT_EQ(u.result.line, d.result.line);
        if (d.result) {
            EXPECT_EQ(Utf8ToUtf16(u.utf8), d.utf16);
        }
    }
}

}  // namespace
}  // namespace varnoke
