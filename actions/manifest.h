// The manifest of a signed pair of data files, and its signatures.
//
// Served beside the remote acturl.xml as manifest.txt, in UTF-8 with LF line
// ends, exactly these five lines in this order:
//
//   varnoke-manifest 1
//   checkpoint 7
//   expires 2027-01-08T12:00:00Z
//   sha256 acturl.xml 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08
//   sha256 varnokeL.xml 60303ae22b998861bce3b28f33eec1be758a213c86c93c076dbe9f558c11c752
//
// The checkpoint is the action table's lastcheckpoint; the digests are of
// both files' bytes as served; the expiry is UTC. manifest.sig, beside it,
// holds one signature per line: the base64 of a DER ECDSA P-256 signature
// with SHA-256 over manifest.txt's bytes. One by the key the local table
// names is enough, so a release that rotates keys can carry both.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostapi/crypto.h"

namespace varnoke {

inline constexpr std::u16string_view kManifestFileName = u"manifest.txt";
inline constexpr std::u16string_view kSignatureFileName = u"manifest.sig";
// A signature file past this many lines or bytes is no signature file; a
// manifest past this many bytes is no manifest.
inline constexpr std::size_t kMaxSignatures = 8;
inline constexpr std::size_t kMaxSignatureBytes = 4096;
inline constexpr std::size_t kMaxManifestBytes = 4096;

// The DER key that a <publickey> names: its base64, ASCII whitespace
// allowed, in the one P-256 form the platforms take; nothing otherwise
// (empty, not base64, another key type or encoding).
std::optional<std::string> DecodePublicKey(std::string_view base64);

struct Manifest {
    int32_t checkpoint = 0;
    int64_t expires = 0;  // seconds since 1970-01-01 00:00 UTC
    hostapi::Sha256Digest table{};
    hostapi::Sha256Digest list{};
};

// The manifest in these bytes; nothing for anything but the five lines.
std::optional<Manifest> ParseManifest(std::string_view text);
// Its text, as ParseManifest reads it back.
std::string ManifestText(const Manifest& manifest);

// "2027-01-08T12:00:00Z" for seconds since 1970 (UTC), and back; nothing
// for any other text.
std::string UtcText(int64_t seconds);
std::optional<int64_t> ParseUtcText(std::string_view text);

// The signatures of a signature file; nothing when it is malformed.
std::optional<std::vector<std::string>> ParseSignatures(std::string_view text);

// Whether any of the signatures is by `publicKey` (DER SubjectPublicKeyInfo)
// over `manifest`.
bool SignedBy(hostapi::ICrypto& crypto, std::string_view publicKey, std::string_view manifest,
              const std::vector<std::string>& signatures);

// The judgement of a pair of data files under a key, in the order the
// checks run.
enum class SignedVerdict {
    ok,
    key_invalid,          // the key is not a P-256 key in base64
    no_signature,         // no manifest, or no well-formed signature file
    bad_signature,        // no signature by the key over the manifest
    manifest_invalid,     // signed, but not a manifest
    expired,              // its expiry is not after now
    hash_mismatch,        // a file is not the one the manifest names
    checkpoint_mismatch,  // the manifest's checkpoint is not the table's
};

struct SignedPair {
    std::string_view table;                // the action table's bytes
    std::optional<std::string_view> list;  // the stock list's, when in hand
    std::optional<std::string_view> manifest, signatures;
    int32_t checkpoint = 0;  // the table's, as the loader reads it
};

// The pair's verdict under `key` (a <publickey>'s base64) at
// `nowUtc`; the manifest, when it was read, in `read`.
SignedVerdict CheckSignedPair(hostapi::ICrypto& crypto, std::string_view key, const SignedPair& pair, int64_t nowUtc,
                              std::optional<Manifest>* read = nullptr);

}  // namespace varnoke
