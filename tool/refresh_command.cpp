// varnoke refresh: the data files' refresh, run now, as the component runs
// it after a verb: the same rules, lock, time bound and signature check,
// for an administrator's scheduled task over a folder users may not write.
#include <iostream>

#include "actions/data_file_update.h"
#include "actions/st_action.h"
#include "adapters/platform.h"
#include "core/data_paths.h"
#include "tool/common.h"

namespace varnoke::tool {

int Refresh(const Options& o) {
    if (!o.positional.empty()) return Fail("refresh takes no arguments");
    std::string error;
    const auto folder = DataFolder(o, error);
    if (!folder) return Fail(error);

    adapters::ActionPlatform platform;
    STAction action(platform.Ports());
    action.Construct(*folder);
    if (action.VerbsWithAddress() == 0) {
        std::cout << "failed: no action table loads from " << Utf16ToUtf8(FormDataFilePath(*folder, kActionFileName))
                  << " (run varnoke check)\n";
        return 1;
    }
    const int32_t before = action.LastCheckpoint();
    if (o.Flag("--force"))
        platform.update.RunIgnoringInterval(action.Refresh());
    else
        platform.update.Run(action.Refresh());

    // One line: the outcome's name, then what it means.
    const UpdateOutcome outcome = platform.update.LastOutcome();
    std::cout << OutcomeName(outcome) << ": ";
    switch (outcome) {
        case UpdateOutcome::refreshed: {
            // What was installed, as a later object loads it.
            STAction after(ActionPorts{*platform.xml, *platform.shell});
            after.Construct(*folder);
            std::cout << "checkpoint " << before << " replaced by " << after.LastCheckpoint() << '\n';
            return 0;
        }
        case UpdateOutcome::not_due:
            std::cout << "up to date: not due (every " << action.UpdateFrequency()
                      << " minutes since lastupdate; --force refreshes now)\n";
            return 0;
        case UpdateOutcome::not_newer:
            std::cout << "up to date: the remote checkpoint is not above " << before << '\n';
            return 0;
        default: std::cout << "failed: " << Describe(outcome) << '\n'; return 1;
    }
}

}  // namespace varnoke::tool
