// The platform's cryptography, as the refresh of signed data files needs it:
// a SHA-256 digest and the check of an ECDSA P-256 signature. Never written
// by hand: each platform's adapter calls its system library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace varnoke::hostapi {

using Sha256Digest = std::array<std::uint8_t, 32>;

// The one DER form of a P-256 SubjectPublicKeyInfo every adapter takes: the
// curve named by its identifier, the point uncompressed (0x04, X, Y), 91
// bytes. Any other encoding of a key is refused alike on every platform.
inline constexpr unsigned char kP256SpkiPrefix[] = {
    0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,  // id-ecPublicKey
    0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07,                    // prime256v1
    0x03, 0x42, 0x00, 0x04};
inline constexpr std::size_t kP256Coordinate = 32;
inline constexpr std::size_t kP256SpkiSize = sizeof kP256SpkiPrefix + 2 * kP256Coordinate;

// Whether `der` has that form (not whether its point lies on the curve).
inline bool IsP256SpkiForm(std::string_view der) {
    if (der.size() != kP256SpkiSize) return false;
    for (std::size_t i = 0; i < sizeof kP256SpkiPrefix; ++i)
        if (static_cast<unsigned char>(der[i]) != kP256SpkiPrefix[i]) return false;
    return true;
}

class ICrypto {
public:
    virtual ~ICrypto() = default;

    // The SHA-256 digest of `bytes`; nothing when the library failed.
    virtual std::optional<Sha256Digest> Sha256(std::string_view bytes) = 0;

    // True only when `signature`, a DER ECDSA-Sig-Value (what
    // `openssl dgst -sha256 -sign` writes), is a valid signature with
    // SHA-256 over `message` by the P-256 key whose DER SubjectPublicKeyInfo
    // is `publicKey`. A malformed or other-curve key, a malformed signature
    // or any failure of the library is false.
    virtual bool VerifyP256(std::string_view publicKey, std::string_view message, std::string_view signature) = 0;
};

}  // namespace varnoke::hostapi
