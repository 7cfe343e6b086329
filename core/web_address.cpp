#include "core/web_address.h"

namespace varnoke {
namespace {

bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        char16_t c = text[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != lowerPrefix[i]) return false;
    }
    return true;
}

}  // namespace

bool HasWebScheme(std::u16string_view text) {
    return StartsWithIgnoringAsciiCase(text, u"http://") || StartsWithIgnoringAsciiCase(text, u"https://");
}

bool IsWebAddress(std::u16string_view url) {
    if (!HasWebScheme(url)) return false;
    for (char16_t c : url)
        if (c <= u' ' || c == u'"' || c == 0x7F) return false;
    return true;
}

}  // namespace varnoke
