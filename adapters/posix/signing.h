// Signing data files with a P-256 key (POSIX only: the publisher's side).
// What this writes, the platforms' ICrypto::VerifyP256 checks.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace varnoke::adapters::posix {

// A P-256 private key held by the library.
struct SigningKey {
    struct Held;  // only signing.cpp looks inside
    explicit SigningKey(std::unique_ptr<Held> held);
    ~SigningKey();
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    std::unique_ptr<Held> held;
};

// The unencrypted private key in `pem`, as `openssl ecparam -name prime256v1
// -genkey -noout` (SEC1) or `openssl genpkey -algorithm EC -pkeyopt
// ec_paramgen_curve:P-256` (PKCS #8) write it. Nothing, and why in `error`,
// for anything else: no key, an encrypted key, another type or curve.
std::unique_ptr<SigningKey> LoadP256PrivateKeyPem(std::string_view pem, std::string& error);

// The key's public half as a DER SubjectPublicKeyInfo, the curve named and
// the point uncompressed: the form VerifyP256 takes.
std::string PublicKeySpkiDer(const SigningKey& key);

// The DER ECDSA-Sig-Value of `message` (SHA-256); nothing when the library
// failed.
std::optional<std::string> SignP256(const SigningKey& key, std::string_view message);

}  // namespace varnoke::adapters::posix
