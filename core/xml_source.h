// What a data file's bytes must be for the component to load them, decided
// once for every platform: the encoding, the XML declaration, agreement
// between the two, and the characters the text holds. The XML adapters give
// their parser only the text decoded here, with the declaration blanked, so
// no parser reads an encoding on its own and a file loads the same way
// everywhere.
//
// Encodings read: UTF-8 (no declared encoding, "utf-8" or "utf8"), UTF-16
// (a byte-order mark, or "<" as the first unit), "us-ascii", "iso-8859-1",
// "windows-1252", and the Chinese code pages "big5" (950) and "gb2312" or
// "gbk" (936). Each is decoded alike on every platform: the single-byte ones
// here, the code pages by the platform, whose tables agree on every code
// outside the vendors' user-defined areas; codes in those areas do not load.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace varnoke {

// The platform DOM refuses deeper documents; so does every platform.
inline constexpr std::size_t kMaxXmlDepth = 256;

enum class XmlLoadStatus {
    ok,
    unreadable,             // missing, or not a regular file
    unsupported_encoding,   // a declared encoding not in the list above
    encoding_mismatch,      // the bytes contradict the declared encoding
    invalid_bytes,          // not valid in the encoding, or a user-defined code
    malformed_declaration,  // an XML declaration that breaks its grammar
    forbidden_character,    // a character XML does not allow, raw or referenced
    not_well_formed,        // the parser's verdict
    too_deep,               // elements nested deeper than kMaxXmlDepth
};

// How a load went: where and why it failed. Lines and columns count from 1,
// columns in characters; 0 where no position applies.
struct XmlLoadResult {
    XmlLoadStatus status = XmlLoadStatus::ok;
    std::size_t line = 0;
    std::size_t column = 0;
    std::string reason;  // short, in English; empty when the load succeeded
    explicit operator bool() const { return status == XmlLoadStatus::ok; }
};

enum class XmlEncoding { utf8, utf16le, utf16be, ascii, latin1, windows1252, big5, gbk };

// What the first bytes and the declaration say about the encoding.
struct XmlEncodingFound {
    XmlEncoding encoding = XmlEncoding::utf8;
    bool byteOrderMark = false;
    std::string label;  // the declared encoding, lower-cased; empty when none
    XmlLoadResult result;
};

// Decides the encoding without decoding the text.
XmlEncodingFound FindXmlEncoding(std::string_view bytes);

// The platform's decoding of a code page (950 or 936): the text, or nothing
// when a code is not valid in it.
using CodePageDecoder = std::function<std::optional<std::u16string>(unsigned codePage, std::string_view bytes)>;

enum class XmlTextForm { utf8, utf16 };

// The document as a parser is to read it, in the form asked for, or why it
// does not load. The XML declaration keeps only its version: the rest is
// blanked where it stands (line ends kept), so positions are the file's.
// The bytes are taken over: a UTF-8 file is its own text.
struct DecodedXml {
    XmlLoadResult result;
    std::string utf8;      // XmlTextForm::utf8
    std::u16string utf16;  // XmlTextForm::utf16
};
DecodedXml DecodeXml(std::string bytes, XmlTextForm form, const CodePageDecoder& decodeCodePage);

// The line and column of a code unit's offset in decoded text. A line ends at
// LF, at CR LF or at a lone CR; a column counts characters.
void XmlPosition(std::string_view utf8, std::size_t offset, XmlLoadResult& result);
void XmlPosition(std::u16string_view text, std::size_t offset, XmlLoadResult& result);

// Whether the code at `lead`, `trail` lies in a user-defined area of the code
// page (950 or 936), where platforms decode differently.
bool IsUserDefinedCode(unsigned codePage, unsigned char lead, unsigned char trail);

}  // namespace varnoke
