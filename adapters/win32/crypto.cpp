#include <windows.h>

#include <bcrypt.h>

#include <array>
#include <cstring>
#include <memory>

#include "adapters/platform.h"

namespace varnoke::adapters {
namespace {

struct CloseAlgorithm {
    void operator()(void* handle) const { BCryptCloseAlgorithmProvider(handle, 0); }
};
struct DestroyHash {
    void operator()(void* handle) const { BCryptDestroyHash(handle); }
};
struct DestroyKey {
    void operator()(void* handle) const { BCryptDestroyKey(handle); }
};
using AlgorithmHandle = std::unique_ptr<void, CloseAlgorithm>;
using HashHandle = std::unique_ptr<void, DestroyHash>;
using KeyHandle = std::unique_ptr<void, DestroyKey>;

AlgorithmHandle OpenAlgorithm(const wchar_t* name) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0))) return nullptr;
    return AlgorithmHandle(handle);
}

PUCHAR Bytes(std::string_view s) { return reinterpret_cast<PUCHAR>(const_cast<char*>(s.data())); }

using hostapi::kP256SpkiPrefix;
constexpr std::size_t kCoordinate = hostapi::kP256Coordinate;

// One INTEGER of an ECDSA-Sig-Value taken from the front of `der`, right-
// aligned into `out` (32 bytes). Strict DER, as the POSIX library reads it:
// short length, minimal, positive, nonzero, no wider than the curve.
bool TakeScalar(std::string_view& der, unsigned char* out) {
    if (der.size() < 2 || der[0] != 0x02) return false;
    const std::size_t length = static_cast<unsigned char>(der[1]);
    if (length == 0 || length >= 0x80 || der.size() - 2 < length) return false;
    std::string_view value = der.substr(2, length);
    der.remove_prefix(2 + length);
    if (value[0] & 0x80) return false;
    if (value[0] == 0 && value.size() > 1) {
        if (!(value[1] & 0x80)) return false;  // a leading zero only before a high bit
        value.remove_prefix(1);
    }
    if (value.size() > kCoordinate || (value.size() == 1 && value[0] == 0)) return false;
    std::memcpy(out + kCoordinate - value.size(), value.data(), value.size());
    return true;
}

// The DER ECDSA-Sig-Value as the r||s that CNG takes.
bool RawSignature(std::string_view der, std::array<unsigned char, 2 * kCoordinate>& raw) {
    if (der.size() < 2 || der[0] != 0x30) return false;
    const std::size_t length = static_cast<unsigned char>(der[1]);
    if (length >= 0x80 || der.size() != 2 + length) return false;
    der.remove_prefix(2);
    raw.fill(0);
    return TakeScalar(der, raw.data()) && TakeScalar(der, raw.data() + kCoordinate) && der.empty();
}

class CngCrypto final : public hostapi::ICrypto {
public:
    std::optional<hostapi::Sha256Digest> Sha256(std::string_view bytes) override {
        if (!sha256_) return std::nullopt;
        BCRYPT_HASH_HANDLE raw = nullptr;
        // No hash object buffer: the system allocates it (Windows 7 and later).
        if (!BCRYPT_SUCCESS(BCryptCreateHash(sha256_.get(), &raw, nullptr, 0, nullptr, 0, 0))) return std::nullopt;
        const HashHandle hash(raw);
        // BCryptHashData takes a 32-bit length.
        constexpr std::size_t kChunk = 1u << 30;
        for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
            const std::string_view chunk = bytes.substr(at, kChunk);
            if (!BCRYPT_SUCCESS(BCryptHashData(hash.get(), Bytes(chunk), static_cast<ULONG>(chunk.size()), 0)))
                return std::nullopt;
        }
        hostapi::Sha256Digest digest{};
        if (!BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0)))
            return std::nullopt;
        return digest;
    }

    bool VerifyP256(std::string_view publicKey, std::string_view message, std::string_view signature) override {
        if (!ecdsa_ || !hostapi::IsP256SpkiForm(publicKey)) return false;
        std::array<unsigned char, 2 * kCoordinate> raw;
        if (!RawSignature(signature, raw)) return false;
        const auto digest = Sha256(message);
        if (!digest) return false;

        // The blob: its header, then X and Y as the key holds them.
        std::array<unsigned char, sizeof(BCRYPT_ECCKEY_BLOB) + 2 * kCoordinate> blob{};
        const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, static_cast<ULONG>(kCoordinate)};
        std::memcpy(blob.data(), &header, sizeof header);
        std::memcpy(blob.data() + sizeof header, publicKey.data() + sizeof kP256SpkiPrefix, 2 * kCoordinate);
        BCRYPT_KEY_HANDLE imported = nullptr;
        if (!BCRYPT_SUCCESS(BCryptImportKeyPair(ecdsa_.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &imported, blob.data(),
                                                static_cast<ULONG>(blob.size()), 0)))
            return false;
        const KeyHandle key(imported);
        // Only success itself (STATUS_SUCCESS) means valid.
        return BCryptVerifySignature(key.get(), nullptr, const_cast<PUCHAR>(digest->data()),
                                     static_cast<ULONG>(digest->size()), raw.data(), static_cast<ULONG>(raw.size()),
                                     0) == 0;
    }

private:
    AlgorithmHandle sha256_ = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
    AlgorithmHandle ecdsa_ = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
};

}  // namespace

std::unique_ptr<hostapi::ICrypto> NewCrypto() { return std::make_unique<CngCrypto>(); }

}  // namespace varnoke::adapters
