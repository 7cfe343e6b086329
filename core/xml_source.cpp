#include "core/xml_source.h"

#include <array>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "core/unicode.h"
#include "core/xml_chars.h"

namespace varnoke {
namespace {

constexpr std::size_t npos = std::string_view::npos;

template <class C>
char32_t Unit(C c) {
    return static_cast<char32_t>(static_cast<std::make_unsigned_t<C>>(c));
}

constexpr bool IsBlank(char32_t c) { return c == 0x20 || c == 0x9 || c == 0xD || c == 0xA; }

template <class C>
bool At(std::basic_string_view<C> s, std::size_t i, std::string_view ascii) {
    if (i > s.size() || s.size() - i < ascii.size()) return false;
    for (std::size_t k = 0; k < ascii.size(); ++k)
        if (Unit(s[i + k]) != static_cast<unsigned char>(ascii[k])) return false;
    return true;
}

// "<?xml" then a blank or "?": the declaration, not a processing instruction
// whose name merely starts so.
template <class C>
bool DeclarationAt(std::basic_string_view<C> s, std::size_t i) {
    return At(s, i, "<?xml") && s.size() > i + 5 && (IsBlank(Unit(s[i + 5])) || s[i + 5] == C('?'));
}

struct Declaration {
    std::size_t versionEnd = 0;  // just past the version's value
    std::size_t end = 0;         // just past "?>"; 0 when there is none
    std::string label;           // lower-cased
    std::size_t errorAt = npos;
    std::string error;
};

// The XML declaration at the text's start, read by its grammar:
// '<?xml' S 'version' Eq '1.'[0-9]+ (S 'encoding' Eq EncName)? (S 'standalone' Eq (yes|no))? S? '?>'
template <class C>
Declaration ReadDeclaration(std::basic_string_view<C> s) {
    Declaration d;
    if (!DeclarationAt(s, 0)) {
        std::size_t i = 0;
        while (i < s.size() && IsBlank(Unit(s[i]))) ++i;
        if (i > 0 && DeclarationAt(s, i)) {
            d.errorAt = i;
            d.error = "the XML declaration does not start the file";
        }
        return d;
    }
    std::size_t i = 5;
    const auto fail = [&](const std::string& why) {
        d.errorAt = i;
        d.error = "malformed XML declaration: " + why;
        return d;
    };
    const auto blanks = [&] {
        const std::size_t from = i;
        while (i < s.size() && IsBlank(Unit(s[i]))) ++i;
        return i > from;
    };
    // Eq and a quoted value of ASCII without markup.
    const auto value = [&](std::string& out) {
        blanks();
        if (i >= s.size() || s[i] != C('=')) return false;
        ++i;
        blanks();
        if (i >= s.size() || (s[i] != C('"') && s[i] != C('\''))) return false;
        const C quote = s[i++];
        out.clear();
        for (; i < s.size() && s[i] != quote; ++i) {
            const char32_t c = Unit(s[i]);
            if (c >= 0x80 || c == '<' || c == '>' || c == '?') return false;
            out.push_back(static_cast<char>(c));
        }
        if (i >= s.size()) return false;
        ++i;
        return true;
    };
    std::string version;
    bool blank = blanks();
    // A fault in a pseudo-attribute is reported where its name starts.
    std::size_t start = i;
    const auto failAtStart = [&](const std::string& why) {
        i = start;
        return fail(why);
    };
    if (!blank || !At(s, i, "version")) return fail("it names no version");
    i += 7;
    if (!value(version)) return failAtStart("the version is not a quoted value");
    if (version.size() < 3 || !version.starts_with("1.") ||
        version.find_first_not_of("0123456789", 2) != std::string::npos)
        return failAtStart("version \"" + version + "\" is not 1.x");
    d.versionEnd = i;
    blank = blanks();
    if (blank && At(s, i, "encoding")) {
        start = i;
        i += 8;
        if (!value(d.label)) return failAtStart("the encoding is not a quoted value");
        const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
        bool name = !d.label.empty() && letter(d.label[0]);
        for (const char c : d.label)
            name = name && (letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-');
        if (!name) return failAtStart("\"" + d.label + "\" is no encoding name");
        for (char& c : d.label)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        blank = blanks();
    }
    if (blank && At(s, i, "standalone")) {
        start = i;
        i += 10;
        std::string standalone;
        if (!value(standalone) || (standalone != "yes" && standalone != "no"))
            return failAtStart("standalone is not \"yes\" or \"no\"");
        blanks();
    }
    if (!At(s, i, "?>")) return fail("it does not end with ?>");
    d.end = i + 2;
    return d;
}

enum class Label { none, utf8, utf16, ascii, latin1, windows1252, big5, gbk, unknown };

Label KindOf(std::string_view label) {
    if (label.empty()) return Label::none;
    if (label == "utf-8" || label == "utf8") return Label::utf8;
    if (label == "utf-16" || label == "utf-16le" || label == "utf-16be") return Label::utf16;
    if (label == "us-ascii" || label == "ascii") return Label::ascii;
    if (label == "iso-8859-1" || label == "latin1") return Label::latin1;
    if (label == "windows-1252" || label == "cp1252") return Label::windows1252;
    if (label == "big5") return Label::big5;
    if (label == "gb2312" || label == "gbk" || label == "x-gbk" || label == "cp936") return Label::gbk;
    return Label::unknown;
}

XmlLoadResult Failure(XmlLoadStatus status, std::string reason) {
    XmlLoadResult r;
    r.status = status;
    r.reason = std::move(reason);
    return r;
}

std::string Hex(unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s(static_cast<std::size_t>(digits), '0');
    for (int k = digits - 1; k >= 0; --k, value >>= 4) s[static_cast<std::size_t>(k)] = kDigits[value & 0xF];
    return s;
}

// Positions in bytes of the file before decoding: each byte that starts a
// character counts a column.
template <class StartsCharacter>
void BytePosition(std::string_view bytes, std::size_t offset, XmlLoadResult& r, StartsCharacter starts) {
    r.line = 1;
    r.column = 1;
    for (std::size_t i = 0; i < offset && i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\n' || (c == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))) {
            ++r.line;
            r.column = 1;
        } else if (c != '\r' && starts(i)) {
            ++r.column;
        }
    }
}

// windows-1252's 0x80 to 0x9F; 0 where it defines nothing.
constexpr std::array<char16_t, 32> kWindows1252 = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                   0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

struct CodeRange {
    unsigned char leadFirst, leadLast, trailFirst, trailLast;
};

// The vendors' user-defined areas, where one system's table maps codes to
// private-use characters and another's refuses them.
constexpr CodeRange kUserDefined950[] = {
    {0x81, 0xA0, 0x40, 0x7E}, {0x81, 0xA0, 0xA1, 0xFE}, {0xFA, 0xFE, 0x40, 0x7E}, {0xFA, 0xFE, 0xA1, 0xFE}};
constexpr CodeRange kUserDefined936[] = {
    {0xA1, 0xA7, 0x40, 0x7E}, {0xA1, 0xA7, 0x80, 0xA0}, {0xA2, 0xA2, 0xAB, 0xB0}, {0xA2, 0xA2, 0xE3, 0xE4},
    {0xA2, 0xA2, 0xEF, 0xF0}, {0xA2, 0xA2, 0xFD, 0xFE}, {0xA4, 0xA4, 0xF4, 0xFE}, {0xA5, 0xA5, 0xF7, 0xFE},
    {0xA6, 0xA6, 0xB9, 0xC0}, {0xA6, 0xA6, 0xD9, 0xDF}, {0xA6, 0xA6, 0xEC, 0xED}, {0xA6, 0xA6, 0xF3, 0xF3},
    {0xA6, 0xA6, 0xF6, 0xFE}, {0xA7, 0xA7, 0xC2, 0xD0}, {0xA7, 0xA7, 0xF2, 0xFE}, {0xA8, 0xA8, 0x96, 0xA0},
    {0xA8, 0xA8, 0xBC, 0xBC}, {0xA8, 0xA8, 0xBF, 0xBF}, {0xA8, 0xA8, 0xC1, 0xC4}, {0xA8, 0xA8, 0xEA, 0xFE},
    {0xA9, 0xA9, 0x58, 0x58}, {0xA9, 0xA9, 0x5B, 0x5B}, {0xA9, 0xA9, 0x5D, 0x5F}, {0xA9, 0xA9, 0x89, 0x95},
    {0xA9, 0xA9, 0x97, 0xA3}, {0xA9, 0xA9, 0xF0, 0xFE}, {0xAA, 0xAF, 0xA1, 0xFE}, {0xD7, 0xD7, 0xFA, 0xFE},
    {0xF8, 0xFD, 0xA1, 0xFE}, {0xFE, 0xFE, 0x50, 0x7E}, {0xFE, 0xFE, 0x80, 0xFE}};

// In the Chinese code pages a byte from 0x81 to 0xFE leads a two-byte code.
constexpr bool IsLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// The declaration's encoding and standalone blanked where they stand, line
// ends kept: no parser reads the encoding again, every position stays, and
// the text still starts "<?xml", by which readers tell UTF-16 from UTF-8.
template <class C>
void Blank(std::basic_string<C>& text, const Declaration& d) {
    if (d.end == 0) return;
    for (std::size_t i = d.versionEnd; i + 2 < d.end && i < text.size(); ++i)
        if (text[i] != C('\n') && text[i] != C('\r')) text[i] = C(' ');
}

std::u16string Widen(std::string_view bytes) {
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    return text;
}

// The decoded text's last checks: characters XML allows, in the form asked for.
// `checked`: the caller found no forbidden character before blanking, which
// only ever writes blanks.
template <class C>
DecodedXml Finish(std::basic_string<C> text, const Declaration& declaration, XmlTextForm form, bool checked = false) {
    DecodedXml out;
    Blank(text, declaration);
    const std::basic_string_view<C> view = text;
    if (const std::size_t bad = checked ? npos : FirstForbiddenXmlChar(view); bad != npos) {
        std::string what;
        if (view[bad] == C('&')) {
            what = "a reference to a character XML does not allow";
        } else if constexpr (sizeof(C) == 2) {
            const auto u = static_cast<unsigned>(view[bad]);
            what = u >= 0xD800 && u <= 0xDFFF ? "a lone surrogate, U+" + Hex(u, 4)
                                              : "character U+" + Hex(u, 4) + ", which XML does not allow";
        } else {
            const auto u = static_cast<unsigned char>(view[bad]);
            what =
                u < 0x80 ? "character U+" + Hex(u, 4) + ", which XML does not allow" : "a character XML does not allow";
        }
        out.result = Failure(XmlLoadStatus::forbidden_character, what);
        XmlPosition(view, bad, out.result);
        return out;
    }
    if constexpr (sizeof(C) == 1) {
        if (form == XmlTextForm::utf8)
            out.utf8 = std::move(text);
        else
            out.utf16 = Utf8ToUtf16(text).value_or(u"");  // valid: checked above
    } else {
        if (form == XmlTextForm::utf16)
            out.utf16 = std::move(text);
        else
            out.utf8 = Utf16ToUtf8(text);
    }
    return out;
}

template <class C>
void TextPosition(std::basic_string_view<C> text, std::size_t offset, XmlLoadResult& r) {
    r.line = 1;
    r.column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        const char32_t c = Unit(text[i]);
        if (c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != C('\n')))) {
            ++r.line;
            r.column = 1;
        } else if (c != '\r' && !(sizeof(C) == 1 ? (c & 0xC0) == 0x80 : (c >= 0xDC00 && c <= 0xDFFF))) {
            ++r.column;
        }
    }
}

}  // namespace

void XmlPosition(std::string_view utf8, std::size_t offset, XmlLoadResult& result) {
    TextPosition(utf8, offset, result);
}
void XmlPosition(std::u16string_view text, std::size_t offset, XmlLoadResult& result) {
    TextPosition(text, offset, result);
}

bool IsUserDefinedCode(unsigned codePage, unsigned char lead, unsigned char trail) {
    const auto in = [&](const auto& ranges) {
        for (const CodeRange& r : ranges)
            if (lead >= r.leadFirst && lead <= r.leadLast && trail >= r.trailFirst && trail <= r.trailLast) return true;
        return false;
    };
    return codePage == 950 ? in(kUserDefined950) : codePage == 936 && in(kUserDefined936);
}

XmlEncodingFound FindXmlEncoding(std::string_view b) {
    XmlEncodingFound f;
    Declaration d;
    std::u16string prefix;  // of UTF-16 text, enough for any sane declaration
    const bool le = b.starts_with("\xFF\xFE") || (b.size() >= 2 && b[0] == '<' && b[1] == '\0');
    const bool be = !le && (b.starts_with("\xFE\xFF") || (b.size() >= 2 && b[0] == '\0' && b[1] == '<'));
    if (le || be) {
        f.encoding = le ? XmlEncoding::utf16le : XmlEncoding::utf16be;
        f.byteOrderMark = b[0] != '<' && b[1] != '<';
        const std::size_t from = f.byteOrderMark ? 2 : 0;
        for (std::size_t i = from; i + 1 < b.size() && prefix.size() < 4096; i += 2)
            prefix.push_back(static_cast<char16_t>(static_cast<unsigned char>(b[i + (le ? 0 : 1)]) |
                                                   static_cast<unsigned char>(b[i + (le ? 1 : 0)]) << 8));
        d = ReadDeclaration(std::u16string_view(prefix));
    } else {
        f.byteOrderMark = b.starts_with("\xEF\xBB\xBF");
        d = ReadDeclaration(f.byteOrderMark ? b.substr(3) : b);
    }
    f.label = d.label;
    if (!d.error.empty()) {
        f.result = Failure(XmlLoadStatus::malformed_declaration, d.error);
        if (le || be)
            XmlPosition(std::u16string_view(prefix), d.errorAt, f.result);
        else
            XmlPosition(b.substr(f.byteOrderMark ? 3 : 0), d.errorAt, f.result);
        return f;
    }
    const Label kind = KindOf(d.label);
    const auto refuse = [&](XmlLoadStatus status, std::string why) {
        f.result = Failure(status, std::move(why));
        f.result.line = f.result.column = 1;
        return f;
    };
    if (kind == Label::unknown)
        return refuse(XmlLoadStatus::unsupported_encoding,
                      "encoding \"" + d.label + "\" is not one the component reads");
    if (le || be) {
        if (kind != Label::none && kind != Label::utf16)
            return refuse(XmlLoadStatus::encoding_mismatch, "the file is UTF-16, and its declaration names " + d.label);
        return f;
    }
    if (f.byteOrderMark && kind != Label::none && kind != Label::utf8)
        return refuse(XmlLoadStatus::encoding_mismatch,
                      "the file starts with UTF-8's byte-order mark, and its declaration names " + d.label);
    switch (kind) {
        case Label::utf16:
            return refuse(XmlLoadStatus::encoding_mismatch,
                          "the declaration names " + d.label + ", and the file is not UTF-16 (no byte-order mark)");
        case Label::ascii: f.encoding = XmlEncoding::ascii; break;
        case Label::latin1: f.encoding = XmlEncoding::latin1; break;
        case Label::windows1252: f.encoding = XmlEncoding::windows1252; break;
        case Label::big5: f.encoding = XmlEncoding::big5; break;
        case Label::gbk: f.encoding = XmlEncoding::gbk; break;
        default: f.encoding = XmlEncoding::utf8; break;
    }
    return f;
}

DecodedXml DecodeXml(std::string owned, XmlTextForm form, const CodePageDecoder& decodeCodePage) {
    const std::string_view bytes = owned;
    DecodedXml out;
    const XmlEncodingFound found = FindXmlEncoding(bytes);
    if (!found.result) {
        out.result = found.result;
        return out;
    }
    const auto fail = [&](XmlLoadStatus status, std::string why, std::size_t at, auto starts) {
        out.result = Failure(status, std::move(why));
        BytePosition(bytes, at, out.result, starts);
        return out;
    };
    const auto utf8Start = [&](std::size_t i) { return (static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80; };
    switch (found.encoding) {
        case XmlEncoding::utf16le:
        case XmlEncoding::utf16be: {
            const bool le = found.encoding == XmlEncoding::utf16le;
            const std::size_t from = found.byteOrderMark ? 2 : 0;
            if ((bytes.size() - from) % 2 != 0) {
                out.result = Failure(XmlLoadStatus::invalid_bytes, "the file ends in half a UTF-16 unit");
                return out;
            }
            std::u16string text((bytes.size() - from) / 2, u'\0');
            for (std::size_t i = 0; i < text.size(); ++i)
                text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[from + 2 * i + (le ? 0 : 1)]) |
                                                static_cast<unsigned char>(bytes[from + 2 * i + (le ? 1 : 0)]) << 8);
            const Declaration end = ReadDeclaration(std::u16string_view(text));
            return Finish(std::move(text), end, form);
        }
        case XmlEncoding::utf8:
        case XmlEncoding::ascii: {
            const std::size_t from = found.byteOrderMark ? 3 : 0;
            const std::string_view body = bytes.substr(from);
            // One pass over the text on the common path: the character check
            // also stops at any byte that is no UTF-8, and only then is it
            // told which of the two it was.
            const std::size_t forbidden = FirstForbiddenXmlChar(body);
            const std::size_t invalid = forbidden == npos ? npos : FirstInvalidUtf8(body);
            if (found.encoding == XmlEncoding::ascii) {
                std::size_t i = 0;
                while (i < body.size() && static_cast<unsigned char>(body[i]) < 0x80) ++i;
                if (i < body.size())
                    return fail(XmlLoadStatus::invalid_bytes,
                                "byte " + std::to_string(i) + " is not ASCII, the declared encoding" +
                                    (FirstInvalidUtf8(body) == npos ? " (the file is UTF-8: declare UTF-8)" : ""),
                                i, utf8Start);
            }
            if (invalid != npos) {
                out.result =
                    Failure(XmlLoadStatus::invalid_bytes,
                            "byte " + std::to_string(from + invalid) + " is not UTF-8" +
                                (found.label.empty() ? " and no encoding is declared" : ", the declared encoding"));
                XmlPosition(body, invalid, out.result);  // valid UTF-8 before it
                return out;
            }
            const Declaration end = ReadDeclaration(body);
            // UTF-8 without a byte-order mark, the common case: the bytes are the text.
            return Finish(from == 0 ? std::move(owned) : std::string(body), end, form, forbidden == npos);
        }
        default: break;
    }
    // The single-byte encodings and the code pages. A file whose bytes past
    // ASCII all read as UTF-8 is UTF-8 under a wrong label: loaded, its names
    // would never match anything.
    std::size_t high = 0;
    while (high < bytes.size() && static_cast<unsigned char>(bytes[high]) < 0x80) ++high;
    const auto oneByte = [](std::size_t) { return true; };
    if (high < bytes.size() && FirstInvalidUtf8(bytes) == npos)
        return fail(XmlLoadStatus::encoding_mismatch,
                    "the file is UTF-8, and its declaration names " + found.label + ": declare UTF-8", high, utf8Start);
    const Declaration end = ReadDeclaration(bytes);
    if (found.encoding == XmlEncoding::latin1) return Finish(Widen(bytes), end, form);
    if (found.encoding == XmlEncoding::windows1252) {
        std::u16string text = Widen(bytes);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] < 0x80 || text[i] > 0x9F) continue;
            text[i] = kWindows1252[text[i] - 0x80];
            if (text[i] == 0)
                return fail(XmlLoadStatus::invalid_bytes,
                            "byte " + std::to_string(i) + " (0x" + Hex(static_cast<unsigned char>(bytes[i]), 2) +
                                ") is not windows-1252, the declared encoding",
                            i, oneByte);
        }
        return Finish(std::move(text), end, form);
    }
    const unsigned codePage = found.encoding == XmlEncoding::big5 ? 950 : 936;
    std::vector<bool> starts;  // per byte: a character starts there
    starts.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        starts.push_back(true);
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (!IsLead(lead) || i + 1 == bytes.size()) continue;
        const auto trail = static_cast<unsigned char>(bytes[i + 1]);
        if (IsUserDefinedCode(codePage, lead, trail))
            return fail(XmlLoadStatus::invalid_bytes,
                        "bytes " + std::to_string(i) + " and " + std::to_string(i + 1) + " (0x" +
                            Hex(static_cast<unsigned>(lead) << 8 | trail, 4) + ") are a user-defined code of " +
                            found.label + ", which systems decode differently",
                        i, [&](std::size_t k) { return k >= starts.size() || starts[k]; });
        starts.push_back(false);
        ++i;
    }
    auto text = decodeCodePage ? decodeCodePage(codePage, bytes) : std::nullopt;
    if (!text) {
        // Where: the end of the longest prefix of whole codes that decodes,
        // found by halving, so a hostile file costs a few decodes, not one
        // per code.
        std::vector<std::size_t> codes;  // where each code starts
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (starts[i]) codes.push_back(i);
        std::size_t good = 0, bad = codes.size();  // codes [0, good) decode; [0, bad) do not
        while (decodeCodePage && bad - good > 1) {
            const std::size_t mid = good + (bad - good) / 2;
            if (decodeCodePage(codePage, bytes.substr(0, codes[mid])))
                good = mid;
            else
                bad = mid;
        }
        const std::size_t at = codes.empty() ? 0 : codes[good];
        return fail(XmlLoadStatus::invalid_bytes,
                    "byte " + std::to_string(at) + " is not " + found.label + ", the declared encoding", at,
                    [&](std::size_t k) { return k >= starts.size() || starts[k]; });
    }
    return Finish(std::move(*text), end, form);
}

}  // namespace varnoke
