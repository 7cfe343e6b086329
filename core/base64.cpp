#include "core/base64.h"

namespace varnoke {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHexDigits[] = "0123456789abcdef";

// A base64 character's six bits; -1 for any other character.
int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> Base64Decode(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::uint32_t quantum = 0;
    int filled = 0;   // characters of the current quantum, padding included
    int padding = 0;  // '=' seen: only padding and blanks may follow
    for (char c : text) {
        if (IsBlank(c)) continue;
        if (c == '=') {
            // "xx==" or "xxx=": never in a quantum's first two places.
            if (filled < 2) return std::nullopt;
            ++padding;
            quantum <<= 6;
        } else {
            const int sextet = SextetOf(c);
            if (sextet < 0 || padding > 0) return std::nullopt;
            quantum = quantum << 6 | static_cast<std::uint32_t>(sextet);
        }
        if (++filled < 4) continue;
        bytes += static_cast<char>(quantum >> 16 & 0xFF);
        if (padding < 2) bytes += static_cast<char>(quantum >> 8 & 0xFF);
        if (padding < 1) bytes += static_cast<char>(quantum & 0xFF);
        // The bits padding stands beside must be zero.
        if ((padding == 1 && (quantum & 0xFF) != 0) || (padding == 2 && (quantum & 0xFFFF) != 0)) return std::nullopt;
        quantum = 0;
        filled = 0;
        // After a padded quantum the text is over: a further quantum would
        // start with '=' (refused above) or with data (refused now).
        if (padding > 0) padding = 3;
    }
    if (filled != 0) return std::nullopt;
    return bytes;
}

std::string Base64Encode(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = bytes.size() - i < 3 ? bytes.size() - i : 3;
        std::uint32_t quantum = 0;
        for (std::size_t k = 0; k < 3; ++k)
            quantum = quantum << 8 | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        text += kAlphabet[quantum >> 18 & 63];
        text += kAlphabet[quantum >> 12 & 63];
        text += count > 1 ? kAlphabet[quantum >> 6 & 63] : '=';
        text += count > 2 ? kAlphabet[quantum & 63] : '=';
    }
    return text;
}

std::string HexLower(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text += kHexDigits[b >> 4];
        text += kHexDigits[b & 15];
    }
    return text;
}

std::optional<std::array<std::uint8_t, 32>> ParseSha256Hex(std::string_view text) {
    std::array<std::uint8_t, 32> digest{};
    if (text.size() != digest.size() * 2) return std::nullopt;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        digest[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return digest;
}

}  // namespace varnoke
