// varnoke publish: signs a data folder as it stands, leaving in it all that
// the update location must serve for keyed refreshes (actions/manifest.h).
// The signing key stays with the publisher: only POSIX builds sign.
#include <cstdint>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "actions/manifest.h"
#include "actions/st_action.h"
#include "actions/table_fields.h"
#include "adapters/platform.h"
#include "core/base64.h"
#include "core/data_paths.h"
#include "recognizer/st_recognizer.h"
#include "standins/recording_shell.h"
#include "tool/common.h"
#if !defined(_WIN32)
#include "adapters/posix/signing.h"
#endif

namespace varnoke::tool {
namespace {

constexpr int64_t kDefaultDays = 30;
constexpr int64_t kMaxDays = 3650;

#if !defined(_WIN32)
std::unique_ptr<adapters::posix::SigningKey> LoadKey(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the key " + path;
        return nullptr;
    }
    std::stringstream pem;
    pem << in.rdbuf();
    std::string why;
    auto key = adapters::posix::LoadP256PrivateKeyPem(pem.str(), why);
    if (!key) error = path + ": " + why;
    return key;
}

// Replaces FOLDER/NAME with each of `files`: all written first, then each
// moved over its name (the links there replaced, never written through).
bool Install(hostapi::IFiles& io, const std::u16string& folder,
             std::initializer_list<std::pair<std::u16string_view, std::string_view>> files) {
    std::vector<std::pair<std::u16string, std::u16string>> moves;
    bool ok = true;
    for (const auto& [name, bytes] : files) {
        const std::u16string target = FormDataFilePath(folder, name), temporary = target + u".publish";
        io.RemoveFile(temporary);
        if (!io.WriteNew(temporary, bytes, target)) {
            ok = false;
            break;
        }
        moves.emplace_back(temporary, target);
    }
    for (const auto& [temporary, target] : moves)
        if (!ok || !io.ReplaceFileAtomically(temporary, target)) {
            io.RemoveFile(temporary);
            ok = false;
        }
    return ok;
}
#endif

}  // namespace

int Publish(const Options& o) {
    if (!o.positional.empty()) return Fail("publish takes no arguments");
#if defined(_WIN32)
    return Fail("publish signs with a private key and runs in the Linux build of the tool only");
#else
    const auto keyPath = o.Value("--key");
    if (!keyPath) return Fail("publish needs --key KEY.pem");
    int64_t days = kDefaultDays;
    if (const auto given = o.Value("--expires")) {
        int32_t value = 0;
        if (!ParseDecimal(*given, value) || value < 1 || value > kMaxDays)
            return Fail("--expires takes a number of days from 1 to " + std::to_string(kMaxDays));
        days = value;
    }
    std::string error;
    const auto folder = DataFolder(o, error);
    if (!folder) return Fail(error);
    std::vector<std::unique_ptr<adapters::posix::SigningKey>> keys;
    for (const char* option : {"--key", "--next-key"})
        if (const auto path = o.Value(option)) {
            keys.push_back(LoadKey(*path, error));
            if (!keys.back()) return Fail(error);
        }

    // What a keyed refresh will insist on, checked before anything is signed.
    const auto table = adapters::ReadRegularFile(FormDataFilePath(*folder, kActionFileName));
    const auto list = adapters::ReadRegularFile(FormDataFilePath(*folder, kStockFileName));
    if (!table || !list) return Fail("the folder needs both acturl.xml and varnokeL.xml as regular files");
    auto xml = adapters::NewXmlDocumentFactory();
    auto doc = xml->NewDocument();
    if (!doc || !doc->LoadBytes(*table) || !doc->DocumentElement())
        return Fail("acturl.xml does not load: run varnoke check");
    const RefreshFields fields = ReadRefreshFields(*doc);
    const auto checkpoint = fields.lastcheckpoint.Number();
    if (!checkpoint) return Fail("acturl.xml has no numeric <lastcheckpoint>: refreshes would never install it");
    standins::RecordingShell shell;
    STAction action(ActionPorts{*xml, shell});
    action.Construct(*folder);
    if (!action.UpdateInfoValid()) return Fail("acturl.xml lacks its refresh elements: run varnoke check");
    const std::string named = Utf16ToUtf8(fields.publickey.text.value_or(u""));
    if (!DecodePublicKey(named))
        return Fail(
            "acturl.xml names no P-256 <publickey> in base64: a keyed refresh refuses a table that would end "
            "signing or name a key no one can sign with");
    STRecognizer stocks(*xml);
    stocks.Construct(*folder);
    bool usable = false;
    for (const stockInfo& s : stocks.StockList()) usable |= !s.strStockName.empty() && !s.strStockID.empty();
    if (stocks.ListState() != 0 || !usable) return Fail("varnokeL.xml has no usable entry: run varnoke check");

    auto crypto = adapters::NewCrypto();
    const auto tableDigest = crypto->Sha256(*table), listDigest = crypto->Sha256(*list);
    if (!tableDigest || !listDigest) return Fail("the cryptography library failed");
    const auto clock = adapters::NewSystemClock();
    Manifest manifest{*checkpoint, clock->UtcSeconds() + days * 86400, *tableDigest, *listDigest};
    const std::string text = ManifestText(manifest);
    std::string signatures;
    bool namedSigns = false;
    for (const auto& key : keys) {
        const auto signature = adapters::posix::SignP256(*key, text);
        if (!signature) return Fail("signing failed");
        signatures += Base64Encode(*signature) + "\n";
        namedSigns |= Base64Encode(adapters::posix::PublicKeySpkiDer(*key)) == named;
    }
    auto files = adapters::NewFiles();
    if (!Install(*files, *folder, {{kManifestFileName, text}, {kSignatureFileName, signatures}}))
        return Fail("cannot write manifest.txt and manifest.sig in " + Utf16ToUtf8(*folder));
    std::cout << "signed " << Utf16ToUtf8(*folder) << ": checkpoint " << *checkpoint << ", expires "
              << UtcText(manifest.expires) << ", " << keys.size() << (keys.size() == 1 ? " key" : " keys") << '\n'
              << "serve these four beside each other: acturl.xml varnokeL.xml manifest.txt manifest.sig\n";
    if (!namedSigns)
        std::cerr << "varnoke: warning: acturl.xml's <publickey> is not among the signing keys: the refresh after "
                     "this one must be signed by it\n";
    return 0;
#endif
}

}  // namespace varnoke::tool
