#include "hostapi/posix/xml_encoding.h"

#include <errno.h>
#include <iconv.h>

#include <cctype>

namespace varnoke::hostapi::posix {

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

std::string IconvNameFor(std::string_view declared) {
    if (declared == "big5") return "CP950";
    if (declared == "gb2312" || declared == "gbk" || declared == "x-gbk") return "CP936";
    if (declared == "gb18030") return "GB18030";
    return std::string(declared);
}

std::optional<std::string> ConvertToUtf8(std::string_view bytes, std::string_view declared) {
    const std::string from = IconvNameFor(declared);
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(bytes.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t done = 0;
    bool ok = true;
    while (inLeft > 0) {
        char* dst = out.data() + done;
        std::size_t outLeft = out.size() - done;
        const std::size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
        done = out.size() - outLeft;
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        ok = false;  // EILSEQ or a truncated final sequence
        break;
    }
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(done);
    return out;
}

}  // namespace varnoke::hostapi::posix
