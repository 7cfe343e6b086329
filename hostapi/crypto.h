// The platform's cryptography, as the refresh of signed data files needs it:
// a SHA-256 digest and the check of an ECDSA P-256 signature. Never written
// by hand: each platform's adapter calls its system library.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace varnoke::hostapi {

using Sha256Digest = std::array<std::uint8_t, 32>;

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
