// The refresh of both data files from the remote location that the action
// table names, run at the end of every InvokeVerb.
//
// It runs only when the object has not refreshed yet, the table gave its
// refresh elements, the refresh interval has passed since lastupdate, and
// the remote action table carries a larger lastcheckpoint. Both remote
// documents are fetched and parsed before any local file changes; then the
// stock list and after it the action table (with lastupdate rewritten to
// now) replace the local files, each in one atomic step. Nothing in memory
// changes: objects constructed later see the new files.
#pragma once

#include <cstdint>
#include <string>

#include "hostapi/clock.h"
#include "hostapi/data_file_update_port.h"
#include "hostapi/files.h"
#include "hostapi/xml.h"

namespace varnoke {

enum class UpdateOutcome {
    not_run,           // no run yet
    already_done,      // this object refreshed before
    no_update_info,    // the local table lacks its refresh elements
    not_due,           // the interval has not passed
    table_unreachable, // the remote action table did not load
    no_checkpoint,     // it has no lastcheckpoint
    not_newer,         // its checkpoint is not larger than ours
    no_lastupdate,     // it has no lastupdate
    list_unreachable,  // the remote stock list did not load
    save_failed,       // fetched, but the local files could not (all) be replaced
    refreshed,
};

const char* Describe(UpdateOutcome outcome);

// Minutes from 1970-01-01 00:00 to a local date and time (seconds dropped);
// 0 when that does not fit a signed 32-bit count.
int32_t MinuteCount(const hostapi::LocalDateTime& t);

// The part of `updateURL` up to and including its last "/"; empty without one.
std::u16string BaseLocation(std::u16string_view updateURL);

class DataFileUpdate final : public IDataFileUpdate {
public:
    DataFileUpdate(hostapi::IXmlDocumentFactory& xml, hostapi::IClock& clock, hostapi::IFiles& files)
        : xml_(xml), clock_(clock), files_(files) {}

    void Run(STAction& action) override;
    UpdateOutcome LastOutcome() const { return last_; }

private:
    UpdateOutcome Refresh(STAction& action);

    hostapi::IXmlDocumentFactory& xml_;
    hostapi::IClock& clock_;
    hostapi::IFiles& files_;
    UpdateOutcome last_ = UpdateOutcome::not_run;
};

}  // namespace varnoke
