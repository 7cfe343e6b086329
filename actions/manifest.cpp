#include "actions/manifest.h"

#include <algorithm>
#include <cstdint>

#include "core/base64.h"
#include "core/civil_date.h"

namespace varnoke {
namespace {

constexpr std::string_view kHeader = "varnoke-manifest 1";

// Exactly `count` ASCII digits at `at`.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The lines of `text`, which must end each with LF.
std::optional<std::vector<std::string_view>> Lines(std::string_view text) {
    if (text.empty() || text.back() != '\n') return std::nullopt;
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

std::optional<hostapi::Sha256Digest> DigestLine(std::string_view line, std::string_view name) {
    const std::string prefix = "sha256 " + std::string(name) + " ";
    if (!line.starts_with(prefix)) return std::nullopt;
    return ParseSha256Hex(line.substr(prefix.size()));
}

}  // namespace

std::string UtcText(int64_t seconds) {
    const int64_t days = FloorDiv(seconds, 86400);
    const int64_t inDay = seconds - days * 86400;
    const auto [year, month, day] = CivilFromDays(days);
    const auto two = [](int64_t v) {
        return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
    };
    if (year < 0 || year > 9999) return "";
    return std::to_string(year + 10000).substr(1) + "-" + two(month) + "-" + two(day) + "T" + two(inDay / 3600) + ":" +
           two(inDay / 60 % 60) + ":" + two(inDay % 60) + "Z";
}

std::optional<int64_t> ParseUtcText(std::string_view t) {
    if (t.size() != 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' || t[19] != 'Z')
        return std::nullopt;
    const auto year = Digits(t, 0, 4), month = Digits(t, 5, 2), day = Digits(t, 8, 2);
    const auto hour = Digits(t, 11, 2), minute = Digits(t, 14, 2), second = Digits(t, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    if (*month < 1 || *month > 12 || *day < 1 || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
    const int64_t days = DaysFromCivil(*year, *month, *day);
    // The day must exist in that month: it comes back as the same date.
    if (DaysFromCivil(*year, *month, 1) + *day - 1 != days ||
        (*month < 12 ? DaysFromCivil(*year, *month + 1, 1) : DaysFromCivil(*year + 1, 1, 1)) <= days)
        return std::nullopt;
    return days * 86400 + *hour * 3600 + *minute * 60 + *second;
}

std::optional<Manifest> ParseManifest(std::string_view text) {
    const auto lines = Lines(text);
    if (!lines || lines->size() != 5 || (*lines)[0] != kHeader) return std::nullopt;
    Manifest m;
    const std::string_view checkpoint = (*lines)[1];
    if (!checkpoint.starts_with("checkpoint ")) return std::nullopt;
    std::string_view digits = checkpoint.substr(11);
    const bool negative = digits.starts_with('-');
    if (negative) digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX || (negative && value == 0)) return std::nullopt;
    m.checkpoint = static_cast<int32_t>(value);
    if (!(*lines)[2].starts_with("expires ")) return std::nullopt;
    const auto expires = ParseUtcText((*lines)[2].substr(8));
    const auto table = DigestLine((*lines)[3], "acturl.xml");
    const auto list = DigestLine((*lines)[4], "varnokeL.xml");
    if (!expires || !table || !list) return std::nullopt;
    m.expires = *expires;
    m.table = *table;
    m.list = *list;
    return m;
}

std::string ManifestText(const Manifest& m) {
    return std::string(kHeader) + "\ncheckpoint " + std::to_string(m.checkpoint) + "\nexpires " + UtcText(m.expires) +
           "\nsha256 acturl.xml " + HexLower(m.table) + "\nsha256 varnokeL.xml " + HexLower(m.list) + "\n";
}

std::optional<std::vector<std::string>> ParseSignatures(std::string_view text) {
    if (text.size() > kMaxSignatureBytes) return std::nullopt;
    const auto lines = Lines(text);
    if (!lines || lines->size() > kMaxSignatures) return std::nullopt;
    std::vector<std::string> signatures;
    for (std::string_view line : *lines) {
        auto signature = Base64Decode(line);
        if (!signature || signature->empty()) return std::nullopt;
        signatures.push_back(std::move(*signature));
    }
    return signatures;
}

bool SignedBy(hostapi::ICrypto& crypto, std::string_view publicKey, std::string_view manifest,
              const std::vector<std::string>& signatures) {
    return std::any_of(signatures.begin(), signatures.end(),
                       [&](const std::string& s) { return crypto.VerifyP256(publicKey, manifest, s); });
}

std::optional<std::string> DecodePublicKey(std::string_view base64) {
    auto der = Base64Decode(base64);
    if (!der || !hostapi::IsP256SpkiForm(*der)) return std::nullopt;
    return der;
}

SignedVerdict CheckSignedPair(hostapi::ICrypto& crypto, std::string_view key, const SignedPair& pair, int64_t nowUtc,
                              std::optional<Manifest>* read) {
    const auto publicKey = DecodePublicKey(key);
    if (!publicKey) return SignedVerdict::key_invalid;
    if (!pair.manifest || !pair.signatures) return SignedVerdict::no_signature;
    const auto signatures = ParseSignatures(*pair.signatures);
    if (!signatures) return SignedVerdict::no_signature;
    // Hashed once per signature: a large one is refused before that.
    if (pair.manifest->size() > kMaxManifestBytes) return SignedVerdict::manifest_invalid;
    if (!SignedBy(crypto, *publicKey, *pair.manifest, *signatures)) return SignedVerdict::bad_signature;
    const auto manifest = ParseManifest(*pair.manifest);
    if (!manifest) return SignedVerdict::manifest_invalid;
    if (read) *read = manifest;
    if (manifest->expires <= nowUtc) return SignedVerdict::expired;
    if (crypto.Sha256(pair.table) != manifest->table) return SignedVerdict::hash_mismatch;
    if (pair.list && crypto.Sha256(*pair.list) != manifest->list) return SignedVerdict::hash_mismatch;
    if (manifest->checkpoint != pair.checkpoint) return SignedVerdict::checkpoint_mismatch;
    return SignedVerdict::ok;
}

}  // namespace varnoke
