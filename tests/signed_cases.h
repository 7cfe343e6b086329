// The refresh of signed data files: one table of cases, run by both
// platforms' refresh suites against their loopback servers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "actions/data_file_update.h"
#include "actions/manifest.h"
#include "actions/st_action.h"
#include "core/unicode.h"
#include "tests/refresh_fixture.h"
#include "tests/signed_fixture.h"
#include "tests/temp_dir.h"

namespace varnoke::test {

struct Served {
    int status = 200;  // 404: not served
    std::string body;
};

struct SignedCase {
    const char* name;
    std::string localKey;  // the local table's <publickey>
    int32_t localCheckpoint;
    std::string table, list;
    Served manifest, signature;
    UpdateOutcome outcome;
    std::string installedKey = {};  // refreshed: the key the installed table names
};

inline std::vector<SignedCase> SignedCases() {
    namespace f = signed_fixture;
    const std::string key1(f::kKey1), key2(f::kKey2), table(f::kTable), list(f::kList);
    const Served ok{200, std::string(f::kOkManifest)}, okSignature{200, std::string(f::kOkSignature)};
    const Served none{404, ""};
    std::string tamperedList = list, tamperedTable = table;
    tamperedList.replace(tamperedList.find("SIGNED1"), 7, "OTHER01");
    tamperedTable.replace(tamperedTable.find("q.example"), 9, "e.example");
    const Served oversized{200, std::string(f::kOkManifest) + std::string(kMaxManifestBytes, '#')};
    return {
        {"signed by the local key", key1, 5, table, list, ok, okSignature, UpdateOutcome::refreshed, key1},
        {"no manifest", key1, 5, table, list, none, okSignature, UpdateOutcome::no_signature},
        {"no signature", key1, 5, table, list, ok, none, UpdateOutcome::no_signature},
        {"a signature file that is no base64",
         key1,
         5,
         table,
         list,
         ok,
         {200, "not a signature\n"},
         UpdateOutcome::no_signature},
        {"signed by another key",
         key1,
         5,
         table,
         list,
         ok,
         {200, std::string(f::kOkSignatureByKey2)},
         UpdateOutcome::bad_signature},
        {"the signature of another manifest",
         key1,
         5,
         table,
         list,
         ok,
         {200, std::string(f::kCheckpointSignature)},
         UpdateOutcome::bad_signature},
        {"a list the manifest does not name", key1, 5, table, tamperedList, ok, okSignature,
         UpdateOutcome::hash_mismatch},
        {"a table the manifest does not name", key1, 5, tamperedTable, list, ok, okSignature,
         UpdateOutcome::hash_mismatch},
        {"a table from another manifest", key1, 5, std::string(f::kRotatedTable), list, ok, okSignature,
         UpdateOutcome::hash_mismatch},
        {"a manifest naming another checkpoint",
         key1,
         5,
         table,
         list,
         {200, std::string(f::kCheckpointManifest)},
         {200, std::string(f::kCheckpointSignature)},
         UpdateOutcome::checkpoint_mismatch},
        {"a replayed pair, not newer", key1, 6, table, list, ok, okSignature, UpdateOutcome::not_newer},
        {"an expired manifest",
         key1,
         5,
         table,
         list,
         {200, std::string(f::kExpiredManifest)},
         {200, std::string(f::kExpiredSignature)},
         UpdateOutcome::expired},
        {"signed, but no manifest",
         key1,
         5,
         table,
         list,
         {200, std::string(f::kMalformedManifest)},
         {200, std::string(f::kMalformedSignature)},
         UpdateOutcome::manifest_invalid},
        {"a signed table that names no key",
         key1,
         5,
         std::string(f::kUnkeyedTable),
         list,
         {200, std::string(f::kUnkeyedManifest)},
         {200, std::string(f::kUnkeyedSignature)},
         UpdateOutcome::table_invalid},
        {"a signed table naming a blank key",
         key1,
         5,
         std::string(f::kBlankKeyTable),
         list,
         {200, std::string(f::kBlankKeyManifest)},
         {200, std::string(f::kBlankKeySignature)},
         UpdateOutcome::table_invalid},
        {"a signed table naming base64 that is no P-256 key",
         key1,
         5,
         std::string(f::kShortKeyTable),
         list,
         {200, std::string(f::kShortKeyManifest)},
         {200, std::string(f::kShortKeySignature)},
         UpdateOutcome::table_invalid},
        {"a local key that is no base64", "not base64!", 5, table, list, ok, okSignature, UpdateOutcome::key_invalid},
        // Named but unusable, the key still keys the refresh: nothing unsigned is installed.
        {"a blank local key", " ", 5, table, list, none, none, UpdateOutcome::key_invalid},
        {"a local key that is base64 of no P-256 key", "AAAA", 5, table, list, ok, okSignature,
         UpdateOutcome::key_invalid},
        {"a manifest past its size bound", key1, 5, table, list, oversized, okSignature,
         UpdateOutcome::manifest_invalid},
        {"rotation: signed by the local key, naming the next",
         key1,
         5,
         std::string(f::kRotatedTable),
         list,
         {200, std::string(f::kRotateManifest)},
         {200, std::string(f::kRotateSignature)},
         UpdateOutcome::refreshed,
         key2},
        {"after rotation the next key signs",
         key2,
         6,
         std::string(f::kSecondTable),
         list,
         {200, std::string(f::kSecondManifest)},
         {200, std::string(f::kSecondSignature)},
         UpdateOutcome::refreshed,
         key2},
        {"after rotation the old key no longer does", key2, 5, table, list, ok, okSignature,
         UpdateOutcome::bad_signature},
        {"without a local key, nothing signed is asked for", "", 5, table, list, none, none, UpdateOutcome::refreshed,
         key1},
    };
}

// Runs every case: `local` writes the local pair for a case (the old list
// and a table with its key and checkpoint) and returns its action object;
// the server serves the remote files under /v/.
template <class Server>
void RunSignedCases(Server& server, DataFileUpdate& update, const TempDir& dir, hostapi::IXmlDocumentFactory& xml,
                    hostapi::IShell& shell, const std::function<std::unique_ptr<STAction>(const SignedCase&)>& local) {
    const char* const signedFiles[] = {"manifest.txt", "manifest.sig"};
    for (const SignedCase& c : SignedCases()) {
        SCOPED_TRACE(c.name);
        auto action = local(c);
        const std::string table = Read(dir.path() / "acturl.xml"), list = Read(dir.path() / "varnokeL.xml");
        server.Set("/v/acturl.xml", {200, c.table});
        server.Set("/v/varnokeL.xml", {200, c.list});
        server.Set("/v/manifest.txt", {c.manifest.status, c.manifest.body});
        server.Set("/v/manifest.sig", {c.signature.status, c.signature.body});
        update.Run(*action);
        EXPECT_EQ(update.LastOutcome(), c.outcome) << Describe(update.LastOutcome());
        if (c.outcome == UpdateOutcome::refreshed) {
            STAction later(ActionPorts{xml, shell});
            later.Construct(dir.Folder());
            EXPECT_EQ(Utf16ToUtf8(later.PublicKey()), c.installedKey);
            EXPECT_NE(Read(dir.path() / "varnokeL.xml").find("SIGNED1"), std::string::npos);
            // What a signed pair was installed under stays beside it.
            for (const char* name : signedFiles)
                EXPECT_EQ(std::filesystem::exists(dir.path() / name), !c.localKey.empty()) << name;
            if (!c.localKey.empty()) {
                EXPECT_EQ(Read(dir.path() / "manifest.txt"), c.manifest.body);
            }
        } else {
            EXPECT_EQ(Read(dir.path() / "acturl.xml"), table);
            EXPECT_EQ(Read(dir.path() / "varnokeL.xml"), list);
            EXPECT_EQ(FilesIn(dir.path()), 2);
        }
        for (const char* name : signedFiles) std::filesystem::remove(dir.path() / name);
    }
}

}  // namespace varnoke::test
