// The refresh of both data files from the remote location that the action
// table names, run at the end of every InvokeVerb.
//
// It runs only when the object has not refreshed yet, the table gave its
// refresh elements, the refresh interval has passed since lastupdate, the
// updateurl is an http or https address, and the remote action table
// carries a larger lastcheckpoint. The whole refresh has one time budget.
// Both remote documents are fetched and parsed before any local file
// changes. When the local table names a <publickey>, the pair is installed
// only under a valid signature by that key over a manifest of both
// (actions/manifest.h) that has not expired. Then, holding the data
// folder's lock, it checks the checkpoint (and the signature) again against
// the table on disk, writes both beside their targets (only the folder's
// own regular files), loads each written file with the real loaders, and
// only when both load as what they claim to be, the stock list and after it
// the action table (with lastupdate rewritten to now) replace the local
// files, each in one atomic step. Nothing in memory changes: objects
// constructed later see the new files.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "hostapi/clock.h"
#include "hostapi/crypto.h"
#include "hostapi/data_file_update_port.h"
#include "hostapi/fetch.h"
#include "hostapi/files.h"
#include "hostapi/xml.h"

namespace varnoke {

class STAction;

enum class UpdateOutcome {
    not_run,            // no run yet
    already_done,       // this object refreshed before
    no_update_info,     // the local table lacks its refresh elements
    not_due,            // the interval has not passed
    table_unreachable,  // the remote action table did not load
    no_checkpoint,      // it has no lastcheckpoint
    not_newer,          // its checkpoint is not larger than ours
    no_lastupdate,      // it has no lastupdate
    list_unreachable,   // the remote stock list did not load
    not_web_address,    // updateurl is no http or https address: nothing is read
    lock_busy,          // another refresh held the data folder's lock past the budget
    list_invalid,       // the remote stock list has no usable entry
    table_invalid,      // the remote action table lacks its verbs or refresh elements
    save_failed,        // fetched, but the local files could not (all) be replaced
    refreshed,
    // Only where the local table names a key:
    key_invalid,          // the local table's publickey is no P-256 key in base64
    no_signature,         // no manifest or no signature beside the remote table
    bad_signature,        // no signature by the local key over the manifest
    manifest_invalid,     // not a manifest (signed, or too large to be one)
    expired,              // the manifest's expiry has passed (a frozen server)
    hash_mismatch,        // a file is not the one the manifest names
    checkpoint_mismatch,  // the manifest's checkpoint is not the remote table's
};

const char* Describe(UpdateOutcome outcome);
// The outcome's name as the enumeration spells it ("not_due").
const char* OutcomeName(UpdateOutcome outcome);

// Minutes from 1970-01-01 00:00 to a local date and time (seconds dropped);
// 0 when that does not fit a signed 32-bit count.
int32_t MinuteCount(const hostapi::LocalDateTime& t);

// The part of `updateURL` up to and including its last "/"; empty without one.
std::u16string BaseLocation(std::u16string_view updateURL);

// What the refresh reads and writes through.
struct UpdatePorts {
    hostapi::IXmlDocumentFactory& xml;
    hostapi::IClock& clock;
    hostapi::IFiles& files;
    hostapi::IFetch& fetch;
    hostapi::ICrypto& crypto;
};

class DataFileUpdate final : public IDataFileUpdate {
public:
    // `budget` bounds the whole refresh: every fetch and the wait for the
    // lock; by default the documented total bound of one fetch.
    explicit DataFileUpdate(
        UpdatePorts ports, std::chrono::milliseconds budget = std::chrono::seconds(hostapi::FetchLimits{}.totalSeconds))
        : ports_(ports), budget_(budget) {}

    void Run(RefreshState& state) override;
    void Run(STAction& action);
    // As Run, but due whatever the interval (varnoke refresh --force): the
    // remote table must still carry a larger checkpoint.
    void RunIgnoringInterval(RefreshState& state);
    UpdateOutcome LastOutcome() const { return last_; }

private:
    struct Fetched;
    void Run(RefreshState& state, bool ignoreInterval);
    UpdateOutcome Refresh(RefreshState& state, bool ignoreInterval);
    UpdateOutcome CheckSigned(std::u16string_view key, const Fetched& remote, int32_t checkpoint);
    UpdateOutcome Replace(Fetched& remote, int32_t checkpoint, std::chrono::steady_clock::time_point deadline,
                          RefreshState& state);

    UpdatePorts ports_;
    std::chrono::milliseconds budget_;
    UpdateOutcome last_ = UpdateOutcome::not_run;
};

}  // namespace varnoke
