#include "actions/data_file_update.h"

#include <algorithm>
#include <limits>
#include <new>
#include <random>

#include "actions/manifest.h"
#include "actions/st_action.h"
#include "actions/table_fields.h"
#include "core/base64.h"
#include "core/civil_date.h"
#include "core/data_paths.h"
#include "core/decimal.h"
#include "core/unicode.h"
#include "core/web_address.h"
#include "hostapi/files.h"
#include "hostapi/shell.h"
#include "recognizer/st_recognizer.h"

namespace varnoke {
namespace {

constexpr std::u16string_view kTemporaryMarker = u".update-";

// Written beside the file it replaces: the move must not cross file systems.
std::u16string TemporaryBeside(const std::u16string& target) {
    std::random_device random;
    return target + std::u16string(kTemporaryMarker) + DecimalText(random() & 0x7FFFFFFF);
}

// The folder part of a data file's path, separator excluded.
std::u16string FolderOf(std::u16string_view path) {
    const auto at = path.find_last_of(u"/\\");
    if (at == std::u16string_view::npos) return u".";
    return std::u16string(path.substr(0, at == 0 ? 1 : at));
}

// The loaders only read; they never open anything.
class NoShell final : public hostapi::IShell {
public:
    bool Open(std::u16string_view) override { return false; }
};

// A data file replaced through a temporary written beside its real target.
class Replacement {
public:
    Replacement(hostapi::IFiles& files, std::u16string target) : files_(files), target_(std::move(target)) {}
    ~Replacement() {
        if (temporary_.empty()) return;
        // Out of memory, it stays for the next refresh, which removes such
        // leftovers first; a throw from here would end the process.
        try {
            files_.RemoveFile(temporary_);
        } catch (const std::bad_alloc&) {}
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    // A fresh name, created exclusively, so nothing planted there is written through.
    bool Write(hostapi::IXmlDocument& doc) {
        for (int attempt = 0; attempt < 8 && temporary_.empty(); ++attempt) {
            std::u16string name = TemporaryBeside(target_);
            if (files_.CreateExclusive(name, target_)) temporary_ = std::move(name);
        }
        return !temporary_.empty() && doc.Save(temporary_);
    }
    bool Write(std::string_view bytes) {
        for (int attempt = 0; attempt < 8 && temporary_.empty(); ++attempt) {
            std::u16string name = TemporaryBeside(target_);
            if (files_.WriteNew(name, bytes, target_)) temporary_ = std::move(name);
        }
        return !temporary_.empty();
    }
    const std::u16string& Temporary() const { return temporary_; }
    bool MoveOver() {
        if (!files_.ReplaceFileAtomically(temporary_, target_)) return false;
        temporary_.clear();
        return true;
    }

private:
    hostapi::IFiles& files_;
    const std::u16string target_;
    std::u16string temporary_;
};

}  // namespace

const char* Describe(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::not_run: return "no refresh was attempted";
        case UpdateOutcome::already_done: return "the data files were refreshed before";
        case UpdateOutcome::no_update_info: return "the action table has no refresh elements";
        case UpdateOutcome::not_due: return "not due";
        case UpdateOutcome::table_unreachable: return "the remote action table could not be loaded";
        case UpdateOutcome::no_checkpoint: return "the remote action table has no lastcheckpoint";
        case UpdateOutcome::not_newer: return "no newer checkpoint";
        case UpdateOutcome::no_lastupdate: return "the remote action table has no lastupdate";
        case UpdateOutcome::list_unreachable: return "the remote stock list could not be loaded";
        case UpdateOutcome::not_web_address: return "updateurl is not an http or https address";
        case UpdateOutcome::lock_busy: return "another refresh of the data files did not finish in time";
        case UpdateOutcome::list_invalid: return "the remote stock list has no usable entry";
        case UpdateOutcome::table_invalid: return "the remote action table lacks its verbs or refresh elements";
        case UpdateOutcome::save_failed: return "fetched, but the local files could not be replaced";
        case UpdateOutcome::refreshed: return "refreshed";
        case UpdateOutcome::key_invalid: return "the action table's publickey is not a P-256 key in base64";
        case UpdateOutcome::no_signature: return "the remote data files have no manifest or no signature";
        case UpdateOutcome::bad_signature: return "the remote manifest is not signed by the action table's key";
        case UpdateOutcome::manifest_invalid: return "the remote manifest is malformed";
        case UpdateOutcome::expired: return "the remote manifest has expired";
        case UpdateOutcome::hash_mismatch: return "a remote data file is not the one its manifest names";
        case UpdateOutcome::checkpoint_mismatch:
            return "the remote manifest's checkpoint is not the remote action table's";
    }
    return "";
}

const char* OutcomeName(UpdateOutcome outcome) {
    switch (outcome) {
#define VARNOKE_OUTCOME(name) \
    case UpdateOutcome::name: return #name;
        VARNOKE_OUTCOME(not_run)
        VARNOKE_OUTCOME(already_done)
        VARNOKE_OUTCOME(no_update_info)
        VARNOKE_OUTCOME(not_due)
        VARNOKE_OUTCOME(table_unreachable)
        VARNOKE_OUTCOME(no_checkpoint)
        VARNOKE_OUTCOME(not_newer)
        VARNOKE_OUTCOME(no_lastupdate)
        VARNOKE_OUTCOME(list_unreachable)
        VARNOKE_OUTCOME(not_web_address)
        VARNOKE_OUTCOME(lock_busy)
        VARNOKE_OUTCOME(list_invalid)
        VARNOKE_OUTCOME(table_invalid)
        VARNOKE_OUTCOME(save_failed)
        VARNOKE_OUTCOME(refreshed)
        VARNOKE_OUTCOME(key_invalid)
        VARNOKE_OUTCOME(no_signature)
        VARNOKE_OUTCOME(bad_signature)
        VARNOKE_OUTCOME(manifest_invalid)
        VARNOKE_OUTCOME(expired)
        VARNOKE_OUTCOME(hash_mismatch)
        VARNOKE_OUTCOME(checkpoint_mismatch)
#undef VARNOKE_OUTCOME
    }
    return "";
}

int32_t MinuteCount(const hostapi::LocalDateTime& t) {
    const int64_t minutes = DaysFromCivil(t.year, t.month, t.day) * 1440 + t.hour * 60 + t.minute;
    if (minutes < std::numeric_limits<int32_t>::min() || minutes > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(minutes);
}

std::u16string BaseLocation(std::u16string_view updateURL) {
    const auto slash = updateURL.rfind(u'/');
    return slash == std::u16string_view::npos ? std::u16string() : std::u16string(updateURL.substr(0, slash + 1));
}

// What was fetched, as served: each document parsed from the very bytes
// whose digest the manifest names.
struct DataFileUpdate::Fetched {
    std::string tableBytes, listBytes;
    std::unique_ptr<hostapi::IXmlDocument> table, list;
    std::optional<std::string> manifest, signatures;  // only when keyed
};

void DataFileUpdate::Run(STAction& action) { Run(action.Refresh()); }

void DataFileUpdate::Run(RefreshState& state) { Run(state, false); }

void DataFileUpdate::RunIgnoringInterval(RefreshState& state) { Run(state, true); }

void DataFileUpdate::Run(RefreshState& state, bool ignoreInterval) {
    try {
        last_ = Refresh(state, ignoreInterval);
    } catch (const std::bad_alloc&) {
        // Nothing was moved, or the list alone: a later refresh fetches both again.
        last_ = UpdateOutcome::save_failed;
    }
}

UpdateOutcome DataFileUpdate::Refresh(RefreshState& state, bool ignoreInterval) {
    if (state.updateDone) return UpdateOutcome::already_done;
    if (!state.updateInfoValid) return UpdateOutcome::no_update_info;

    // Due when more than updateFrequency minutes have passed; a difference
    // beyond 32 bits counts as due.
    const int32_t now = MinuteCount(ports_.clock.Now());
    const int64_t elapsed = int64_t{now} - state.lastUpdate;
    const bool overflow =
        elapsed < std::numeric_limits<int32_t>::min() || elapsed > std::numeric_limits<int32_t>::max();
    if (!ignoreInterval && !overflow && elapsed <= state.updateFrequency) return UpdateOutcome::not_due;

    // Only web addresses are fetched: the remote table chooses updateurl,
    // and as a path it would read local folders, devices and pipes.
    const std::u16string base = BaseLocation(state.updateURL);
    const std::u16string tableAddress = base + std::u16string(kActionFileName);
    const std::u16string listAddress = base + std::u16string(kStockFileName);
    if (!IsWebAddress(tableAddress) || !IsWebAddress(listAddress)) return UpdateOutcome::not_web_address;
    // A table naming a key it cannot use refuses everything.
    const bool keyed = state.keyed;
    if (keyed && !DecodePublicKey(Utf16ToUtf8(state.publicKey))) return UpdateOutcome::key_invalid;

    // One budget for everything that can wait on others: each fetch gets
    // what the ones before it left.
    const auto deadline = std::chrono::steady_clock::now() + budget_;
    Fetched remote;
    const auto parsed = [&](const std::u16string& address,
                            std::string& bytes) -> std::unique_ptr<hostapi::IXmlDocument> {
        auto body = ports_.fetch.Fetch(address, deadline);
        if (!body) return nullptr;
        bytes = std::move(*body);
        auto doc = ports_.xml.NewDocument();
        if (!doc || !doc->LoadBytes(bytes) || !doc->DocumentElement()) return nullptr;
        return doc;
    };
    remote.table = parsed(tableAddress, remote.tableBytes);
    if (!remote.table) return UpdateOutcome::table_unreachable;
    // Read as the loader will read it once installed.
    const RefreshFields fields = ReadRefreshFields(*remote.table);
    if (!fields.lastcheckpoint.Present()) return UpdateOutcome::no_checkpoint;
    const int32_t checkpoint = fields.lastcheckpoint.Number().value_or(0);
    if (checkpoint <= state.lastCheckpoint) return UpdateOutcome::not_newer;
    if (!fields.lastupdate.Present()) return UpdateOutcome::no_lastupdate;
    remote.table->SetText(fields.lastupdate.node, DecimalText(now));

    if (keyed) {
        remote.manifest = ports_.fetch.Fetch(base + std::u16string(kManifestFileName), deadline);
        if (remote.manifest)
            remote.signatures = ports_.fetch.Fetch(base + std::u16string(kSignatureFileName), deadline);
        if (const UpdateOutcome signedOutcome = CheckSigned(state.publicKey, remote, checkpoint);
            signedOutcome != UpdateOutcome::refreshed)
            return signedOutcome;
    }

    // Both documents in hand before any local file changes; the list's
    // digest checked at once, whatever happens on disk meanwhile.
    remote.list = parsed(listAddress, remote.listBytes);
    if (!remote.list) return UpdateOutcome::list_unreachable;
    if (keyed) {
        if (const UpdateOutcome signedOutcome = CheckSigned(state.publicKey, remote, checkpoint);
            signedOutcome != UpdateOutcome::refreshed)
            return signedOutcome;
    }
    return Replace(remote, checkpoint, deadline, state);
}

// refreshed when the pair may be installed under `key`; the list's digest is
// checked once it is in hand.
UpdateOutcome DataFileUpdate::CheckSigned(std::u16string_view key, const Fetched& remote, int32_t checkpoint) {
    SignedPair pair{remote.tableBytes, std::nullopt, remote.manifest, remote.signatures, checkpoint};
    if (remote.list) pair.list = remote.listBytes;
    switch (CheckSignedPair(ports_.crypto, Utf16ToUtf8(key), pair, ports_.clock.UtcSeconds())) {
        case SignedVerdict::ok: break;
        case SignedVerdict::key_invalid: return UpdateOutcome::key_invalid;
        case SignedVerdict::no_signature: return UpdateOutcome::no_signature;
        case SignedVerdict::bad_signature: return UpdateOutcome::bad_signature;
        case SignedVerdict::manifest_invalid: return UpdateOutcome::manifest_invalid;
        case SignedVerdict::expired: return UpdateOutcome::expired;
        case SignedVerdict::hash_mismatch: return UpdateOutcome::hash_mismatch;
        case SignedVerdict::checkpoint_mismatch: return UpdateOutcome::checkpoint_mismatch;
    }
    // The table that will sign the next refresh must name a key: a signed
    // pair cannot switch signing off by accident or by a replayed mistake.
    const RefreshFields next = ReadRefreshFields(*remote.table);
    if (!next.publickey.text || !DecodePublicKey(Utf16ToUtf8(*next.publickey.text)))
        return UpdateOutcome::table_invalid;
    return UpdateOutcome::refreshed;
}

UpdateOutcome DataFileUpdate::Replace(Fetched& remote, int32_t checkpoint,
                                      std::chrono::steady_clock::time_point deadline, RefreshState& state) {
    hostapi::IFiles& files = ports_.files;
    // One refresh at a time per data folder: two at once could leave one's
    // list beside the other's newer checkpoint, which no refresh repairs.
    const auto lock = files.LockFolder(FolderOf(strActionXMLPath()), deadline);
    if (!lock) return UpdateOutcome::lock_busy;
    NoShell noShell;
    {
        // A refresh that finished while we fetched makes ours not newer; the
        // key that counts is the one on disk now.
        STAction onDisk(ActionPorts{ports_.xml, noShell});
        onDisk.LoadActionURLFromXMLFile(strActionXMLPath());
        // (The pair was judged under this object's key already.)
        int32_t known = state.lastCheckpoint;
        if (onDisk.UpdateInfoValid()) {
            known = std::max(known, onDisk.LastCheckpoint());
            if (onDisk.Keyed()) {
                if (const UpdateOutcome signedOutcome = CheckSigned(onDisk.PublicKey(), remote, checkpoint);
                    signedOutcome != UpdateOutcome::refreshed)
                    return signedOutcome;
            }
        }
        if (checkpoint <= known) return UpdateOutcome::not_newer;
    }

    // Only the folder's own regular files are replaced (a link, only when
    // it names one beside it): nothing is written anywhere else.
    const auto listTarget = files.ReplacementTarget(strStockXMLPath());
    const auto tableTarget = files.ReplacementTarget(strActionXMLPath());
    if (!listTarget || !tableTarget || *listTarget == *tableTarget) {
        state.updateDone = true;
        return UpdateOutcome::save_failed;
    }
    // Temporaries of refreshes killed before their move, all in the data
    // folder; no one else writes them while we hold the lock.
    const std::u16string folder = FolderOf(strActionXMLPath());
    for (const std::u16string& path :
         {strStockXMLPath(), strActionXMLPath(), *listTarget, *tableTarget, FormDataFilePath(folder, kManifestFileName),
          FormDataFilePath(folder, kSignatureFileName)})
        files.RemoveFilesStartingWith(path + std::u16string(kTemporaryMarker));

    // The list as served, byte for byte (what its digest vouched for); the
    // table with its lastupdate rewritten.
    Replacement newList(files, *listTarget), newTable(files, *tableTarget);
    if (!newList.Write(remote.listBytes) || !newTable.Write(*remote.table)) {
        state.updateDone = true;
        return UpdateOutcome::save_failed;
    }
    // What later objects will read is exactly what is checked here: each
    // written file through its own loader on a fresh object.
    STRecognizer stocks(ports_.xml);
    if (stocks.LoadStockSymbolFromXMLFile(newList.Temporary()) != Status::ok || stocks.ListState() != 0 ||
        std::none_of(stocks.StockList().begin(), stocks.StockList().end(),
                     [](const stockInfo& s) { return !s.strStockName.empty() && !s.strStockID.empty(); }))
        return UpdateOutcome::list_invalid;
    STAction actions(ActionPorts{ports_.xml, noShell});
    actions.LoadActionURLFromXMLFile(newTable.Temporary());
    if (!actions.UpdateInfoValid() || actions.LastCheckpoint() != checkpoint) return UpdateOutcome::table_invalid;

    // The list first: until the table with its new checkpoint lands, the
    // next refresh simply fetches both again.
    state.updateDone = true;
    if (!newList.MoveOver()) return UpdateOutcome::save_failed;
    if (!newTable.MoveOver()) return UpdateOutcome::save_failed;
    // What a signed pair was installed under, for status and check; the
    // pair is in place whatever becomes of these.
    if (remote.manifest && remote.signatures) {
        for (const auto& [name, bytes] :
             {std::pair{kManifestFileName, &*remote.manifest}, std::pair{kSignatureFileName, &*remote.signatures}}) {
            // Running out of memory here is one more way not to write them:
            // the refresh happened, and is reported so.
            try {
                // Under their own names, never through a link: one could name a data file.
                Replacement record(files, FormDataFilePath(folder, name));
                if (record.Write(*bytes)) record.MoveOver();
            } catch (const std::bad_alloc&) {}
        }
    }
    return UpdateOutcome::refreshed;
}

}  // namespace varnoke
