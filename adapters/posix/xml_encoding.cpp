#include "adapters/posix/xml_encoding.h"

#include <errno.h>
#include <iconv.h>

namespace varnoke::adapters::posix {

std::optional<std::u16string> DecodeWithIconv(unsigned codePage, std::string_view bytes) {
    if (codePage != 950 && codePage != 936) return std::nullopt;
    iconv_t cd = iconv_open("UTF-16LE", codePage == 950 ? "CP950" : "CP936");
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
    std::u16string text(done / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(out[2 * i]) |
                                        static_cast<unsigned char>(out[2 * i + 1]) << 8);
    return text;
}

}  // namespace varnoke::adapters::posix
