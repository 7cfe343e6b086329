// Builds action objects over a given action table, through a real file and
// the real loader, with a recording shell.
#pragma once

#include <memory>
#include <string>

#include "actions/st_action.h"
#include "adapters/platform.h"
#include "standins/recording_shell.h"
#include "tests/temp_dir.h"

namespace varnoke::test {

inline std::string ActionUrlXml(std::string_view name, std::string_view url) {
    return "<ActionUrl><ActionName>" + std::string(name) + "</ActionName><URL>" + std::string(url) +
           "</URL></ActionUrl>";
}

// Five verbs, base URLs that show their index, and complete refresh elements.
inline std::string CompleteActionTable() {
    return "<?xml version=\"1.0\"?><ActionList>" + ActionUrlXml("Quote", "https://q.example/?id=") +
           ActionUrlXml("Report", "https://r.example/") + ActionUrlXml("News", "http://n.example/s?q=") +
           ActionUrlXml("Info", "HTTPS://i.example/") + ActionUrlXml("Query", "https://w.example/q?id=") +
           "<lastcheckpoint>7</lastcheckpoint><lastupdate>29000000</lastupdate>"
           "<updatefrequency>60</updatefrequency><updateurl>https://d.example/v/acturl.xml</updateurl>"
           "</ActionList>";
}

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
