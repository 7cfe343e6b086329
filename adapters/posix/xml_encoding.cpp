#include "adapters/posix/xml_encoding.h"

#include <errno.h>
#include <iconv.h>

#include "core/xml_declaration.h"

namespace varnoke::adapters::posix {

std::optional<std::string> ConvertToUtf8(std::string_view bytes, std::string_view declared) {
    const unsigned codePage = LegacyChineseCodePage(declared);
    const std::string from = codePage == 54936 ? "GB18030"
                             : codePage != 0   ? "CP" + std::to_string(codePage)
                                               : std::string(declared);
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

}  // namespace varnoke::adapters::posix
