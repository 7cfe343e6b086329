#include "core/xml_declaration.h"

#include <cctype>

namespace varnoke {

std::string DeclaredEncoding(std::string_view bytes) {
    if (!bytes.starts_with("<?xml")) return {};
    const auto end = bytes.find("?>");
    const std::string_view decl = bytes.substr(0, end);
    auto pos = decl.find("encoding");
    if (pos == std::string_view::npos) return {};
    pos += 8;
    while (pos < decl.size() && std::isspace(static_cast<unsigned char>(decl[pos]))) ++pos;
    if (pos >= decl.size() || decl[pos] != '=') return {};
    ++pos;
    while (pos < decl.size() && std::isspace(static_cast<unsigned char>(decl[pos]))) ++pos;
    if (pos >= decl.size() || (decl[pos] != '"' && decl[pos] != '\'')) return {};
    const char quote = decl[pos++];
    const auto close = decl.find(quote, pos);
    if (close == std::string_view::npos) return {};
    std::string name(decl.substr(pos, close - pos));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

bool IsNativeEncoding(std::string_view declared) {
    return declared.empty() || declared == "utf-8" || declared == "utf8" || declared == "utf-16" ||
           declared == "us-ascii" || declared == "ascii";
}

unsigned LegacyChineseCodePage(std::string_view declared) {
    if (declared == "big5") return 950;
    if (declared == "gb2312" || declared == "gbk" || declared == "x-gbk" || declared == "cp936") return 936;
    if (declared == "gb18030") return 54936;
    return 0;
}

std::string_view WithoutDeclaration(std::string_view text) {
    if (!text.starts_with("<?xml")) return text;
    const auto end = text.find("?>");
    return end == std::string_view::npos ? text : text.substr(end + 2);
}

}  // namespace varnoke
