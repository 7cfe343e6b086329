#include <openssl/err.h>
#include <openssl/x509.h>

#include <cstring>

#include "adapters/platform.h"
#include "adapters/posix/openssl_handles.h"

namespace varnoke::adapters {
namespace {

const unsigned char* Bytes(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

bool Verify(std::string_view publicKey, std::string_view message, std::string_view signature) {
    if (!hostapi::IsP256SpkiForm(publicKey)) return false;
    const unsigned char* der = Bytes(publicKey);
    // The library checks the point lies on the curve.
    const posix::PkeyPtr key(d2i_PUBKEY(nullptr, &der, static_cast<long>(publicKey.size())));
    if (!key || der != Bytes(publicKey) + publicKey.size() || !posix::IsP256(key.get())) return false;
    const posix::MdContextPtr context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) return false;
    // The library reads the signature as strict DER (it encodes what it
    // parsed again and compares) and takes r and s only in [1, n-1].
    return EVP_DigestVerify(context.get(), Bytes(signature), signature.size(), Bytes(message), message.size()) == 1;
}

class LibCrypto final : public hostapi::ICrypto {
public:
    std::optional<hostapi::Sha256Digest> Sha256(std::string_view bytes) override {
        hostapi::Sha256Digest digest{};
        unsigned int size = 0;
        if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr) != 1 ||
            size != digest.size()) {
            ERR_clear_error();
            return std::nullopt;
        }
        return digest;
    }

    bool VerifyP256(std::string_view publicKey, std::string_view message, std::string_view signature) override {
        const bool valid = Verify(publicKey, message, signature);
        // A refusal leaves errors queued in this thread, where the library's
        // other user (the web loads' TLS) would take them for its own.
        ERR_clear_error();
        return valid;
    }
};

}  // namespace

std::unique_ptr<hostapi::ICrypto> NewCrypto() { return std::make_unique<LibCrypto>(); }

}  // namespace varnoke::adapters
