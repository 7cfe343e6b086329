// libcrypto's objects owned by unique_ptr, and the one key check the
// verifier and the signer share.
#pragma once

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/objects.h>

#include <memory>
#include <string>

namespace varnoke::adapters::posix {

template <auto Free>
struct OpensslDeleter {
    template <class T>
    void operator()(T* object) const {
        Free(object);
    }
};

using PkeyPtr = std::unique_ptr<EVP_PKEY, OpensslDeleter<EVP_PKEY_free>>;
using MdContextPtr = std::unique_ptr<EVP_MD_CTX, OpensslDeleter<EVP_MD_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, OpensslDeleter<BIO_free>>;

// Bytes the library allocated for us (i2d_* output).
struct OpensslBytesFree {
    void operator()(unsigned char* bytes) const { OPENSSL_free(bytes); }
};
using OpensslBytes = std::unique_ptr<unsigned char, OpensslBytesFree>;

// The curve's short name when `key` is an EC key on a named curve; empty
// otherwise.
inline std::string CurveName(EVP_PKEY* key) {
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) return {};
    char name[80] = {};
    std::size_t length = 0;
    if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, name, sizeof name, &length) != 1) return {};
    return std::string(name, length);
}

inline bool IsP256(EVP_PKEY* key) {
    const std::string curve = CurveName(key);
    return !curve.empty() && OBJ_txt2nid(curve.c_str()) == NID_X9_62_prime256v1;
}

}  // namespace varnoke::adapters::posix
