// Binary data as text: base64 (the signed data files' keys and signatures)
// and lowercase hexadecimal (a SHA-256 digest as the refresh prints and
// compares it).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace varnoke {

// The bytes of `text` in the standard alphabet with its padding. ASCII
// whitespace (space, tab, CR, LF) anywhere is skipped, so PEM armour's line
// breaks decode. Nothing for any other character, a length that is not a
// whole number of quanta, padding anywhere but at the end, or padding
// whose unused bits are not zero (only one text encodes given bytes).
std::optional<std::string> Base64Decode(std::string_view text);

// `bytes` in the standard alphabet with padding, on one line.
std::string Base64Encode(std::string_view bytes);

// Two lowercase hex digits per byte.
std::string HexLower(std::span<const std::uint8_t> bytes);

// A SHA-256 digest written as exactly 64 hex digits in either case; nothing
// for anything else (no blanks, no prefix).
std::optional<std::array<std::uint8_t, 32>> ParseSha256Hex(std::string_view text);

}  // namespace varnoke
