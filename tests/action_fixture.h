// Builds action objects over a given action table, through a real file and
// the real loader, with a recording shell.
#pragma once

#include <memory>
#include <string>

#include "actions/st_action.h"
#include "adapters/platform.h"
#include "standins/recording_shell.h"
#include "tests/cases/action_cases.h"
#include "tests/temp_dir.h"

namespace varnoke::test {

using cases::ActionUrlXml;
using cases::CompleteActionTable;

class ActionFixture {
public:
    standins::RecordingShell shell;
    std::unique_ptr<hostapi::IXmlDocumentFactory> xmlFactory = adapters::NewXmlDocumentFactory();
    hostapi::IXmlDocumentFactory& xml = *xmlFactory;
    TempDir dir;

    // An action object constructed in a folder whose acturl.xml holds `table`
    // (no file at all when `table` is empty).
    std::unique_ptr<STAction> Action(const std::string& table, ActionPorts ports) {
        if (!table.empty()) dir.Write("acturl.xml", table);
        auto action = std::make_unique<STAction>(ports);
        action->Construct(dir.Folder());
        return action;
    }
    std::unique_ptr<STAction> Action(const std::string& table) { return Action(table, {xml, shell}); }
};

}  // namespace varnoke::test
