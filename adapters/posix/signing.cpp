#include "adapters/posix/signing.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <climits>
#include <utility>

#include "adapters/posix/openssl_handles.h"

namespace varnoke::adapters::posix {

struct SigningKey::Held {
    PkeyPtr key;
};

SigningKey::SigningKey(std::unique_ptr<Held> h) : held(std::move(h)) {}
SigningKey::~SigningKey() = default;

namespace {

// Refuses encrypted keys instead of asking on the terminal, which the
// library's default callback would.
int NoPassphrase(char*, int, int, void*) { return -1; }

// The library's queued errors are ours alone to drop.
struct ClearErrorsOnExit {
    ~ClearErrorsOnExit() { ERR_clear_error(); }
};

}  // namespace

std::unique_ptr<SigningKey> LoadP256PrivateKeyPem(std::string_view pem, std::string& error) {
    const ClearErrorsOnExit clear;
    error.clear();
    if (pem.size() > INT_MAX) {
        error = "the key file is too large";
        return nullptr;
    }
    const BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    PkeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassphrase, nullptr) : nullptr);
    if (!key) {
        error = "no unencrypted private key in PEM form";
        return nullptr;
    }
    if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_EC) {
        const char* type = EVP_PKEY_get0_type_name(key.get());
        error =
            std::string("the key is of type ") + (type ? type : "unknown") + ", not an EC key on P-256 (prime256v1)";
        return nullptr;
    }
    if (!IsP256(key.get())) {
        const std::string curve = CurveName(key.get());
        error =
            "the key is on curve " + (curve.empty() ? std::string("(unnamed)") : curve) + ", not P-256 (prime256v1)";
        return nullptr;
    }
    // The public key is published in the one form the verifiers take,
    // whatever form the file held it in.
    if (EVP_PKEY_set_utf8_string_param(key.get(), OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT,
                                       OSSL_PKEY_EC_POINT_CONVERSION_FORMAT_UNCOMPRESSED) != 1 ||
        EVP_PKEY_set_utf8_string_param(key.get(), OSSL_PKEY_PARAM_EC_ENCODING, OSSL_PKEY_EC_ENCODING_GROUP) != 1) {
        error = "the library cannot use the key";
        return nullptr;
    }
    return std::make_unique<SigningKey>(std::make_unique<SigningKey::Held>(SigningKey::Held{std::move(key)}));
}

std::string PublicKeySpkiDer(const SigningKey& key) {
    const ClearErrorsOnExit clear;
    unsigned char* der = nullptr;
    const int size = i2d_PUBKEY(key.held->key.get(), &der);
    const OpensslBytes owned(der);
    if (size <= 0) return {};
    return std::string(reinterpret_cast<const char*>(der), static_cast<std::size_t>(size));
}

std::optional<std::string> SignP256(const SigningKey& key, std::string_view message) {
    const ClearErrorsOnExit clear;
    const MdContextPtr context(EVP_MD_CTX_new());
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.held->key.get()) != 1)
        return std::nullopt;
    const auto* data = reinterpret_cast<const unsigned char*>(message.data());
    std::size_t size = 0;
    if (EVP_DigestSign(context.get(), nullptr, &size, data, message.size()) != 1) return std::nullopt;
    std::string signature(size, '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size, data,
                       message.size()) != 1)
        return std::nullopt;
    signature.resize(size);
    return signature;
}

}  // namespace varnoke::adapters::posix
