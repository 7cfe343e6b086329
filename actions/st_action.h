// STAction: the verbs offered on a stock tag, free of any platform type.
//
// The COM class of the same name is a shell around this one. The constructor
// only stores the ports; Construct() forms both data-file paths and loads the
// action table, as the COM object's construction does.
#pragma once

#include <array>
#include <optional>
#include <cstdint>
#include <string>
#include <string_view>

#include "actions/action_info.h"
#include "core/status.h"
#include "hostapi/data_file_update_port.h"
#include "hostapi/shell.h"
#include "hostapi/smarttag.h"
#include "hostapi/web_query_port.h"
#include "hostapi/xml.h"

namespace varnoke {

inline constexpr int32_t kVerbCount = 5;
inline constexpr int32_t kWebQueryVerb = 4;
inline constexpr int32_t kDefaultUpdateFrequency = 10080;  // minutes: 7 days

struct ActionPorts {
    hostapi::IXmlDocumentFactory& xml;
    hostapi::IShell& shell;
    IWebQueryInsertion* webQuery = nullptr;  // none: verb 4 inserts nothing
    IDataFileUpdate* update = nullptr;       // none: the data files are never refreshed
};

// What one InvokeVerb did, for callers that report it (the COM member does not).
struct InvokeReport {
    enum class Effect {
        opened,        // the address was handed to the shell
        shell_failed,  // handed over, but the shell failed
        refused,       // not a web address: nothing was opened or inserted
        web_query,     // verb 4: handed to the web query insertion
        no_web_query,  // verb 4 without a web query insertion
    };
    Effect effect;
    std::u16string url;
};

class STAction {
public:
    explicit STAction(ActionPorts ports) : ports_(ports) {}

    // Stores folder + separator + "acturl.xml" and "varnokeL.xml" into this
    // thread's strActionXMLPath and strStockXMLPath, then loads the table.
    void Construct(std::u16string_view componentFolder);

    // Reads the action table at `sXMLPathIn` into this object's fields. Never
    // fails: a missing or malformed file changes nothing.
    void LoadActionURLFromXMLFile(std::u16string_view sXMLPathIn);

    // The members of the host's action interface. Those returning a Status
    // leave `result` empty on failure.
    std::u16string ISmartTagAction_ProgId() const;
    std::u16string ISmartTagAction_Name(hostapi::LocaleId LocaleID) const;
    std::u16string ISmartTagAction_Desc(hostapi::LocaleId LocaleID) const;
    int32_t ISmartTagAction_SmartTagCount() const;
    std::u16string ISmartTagAction_SmartTagName(int32_t SmartTagID) const;
    Status ISmartTagAction_SmartTagCaption(int32_t SmartTagID, hostapi::LocaleId LocaleID,
                                           std::u16string& result) const;
    int32_t ISmartTagAction_VerbCount(std::u16string_view SmartTagName) const;
    Status ISmartTagAction_VerbID(std::u16string_view SmartTagName, int32_t VerbIndex, int32_t& result) const;
    Status ISmartTagAction_VerbCaptionFromID(int32_t VerbID, std::u16string_view ApplicationName,
                                             hostapi::LocaleId LocaleID, std::u16string& result) const;
    Status ISmartTagAction_VerbNameFromID(int32_t VerbID, std::u16string& result) const;
    // Always succeeds; ApplicationName, Text and XML are accepted and not used.
    InvokeReport ISmartTagAction_InvokeVerb(int32_t VerbID, std::u16string_view ApplicationName,
                                            hostapi::IHostObject* Target, hostapi::ISmartTagProperties* Properties,
                                            std::u16string_view Text, std::u16string_view XML);

    // State read by the data-file update and the tests.
    const std::array<ActionInfo, kVerbCount>& ActionList() const { return actionList; }
    // The verbs the table gave an address: none when it did not load.
    int VerbsWithAddress() const {
        int verbs = 0;
        for (const ActionInfo& a : actionList) verbs += !a.strActionUrl.empty();
        return verbs;
    }
    int32_t UpdateFrequency() const { return refresh.updateFrequency; }
    int32_t LastUpdate() const { return refresh.lastUpdate; }
    int32_t LastCheckpoint() const { return refresh.lastCheckpoint; }
    const std::u16string& UpdateURL() const { return refresh.updateURL; }
    // Whether the table names a <publickey>, and its base64 text.
    bool Keyed() const { return refresh.keyed; }
    const std::u16string& PublicKey() const { return refresh.publicKey; }
    bool UpdateInfoValid() const { return refresh.updateInfoValid; }
    bool UpdateDone() const { return refresh.updateDone; }
    // What the refresh reads and marks done.
    RefreshState& Refresh() { return refresh; }

private:
    ActionPorts ports_;
    std::array<ActionInfo, kVerbCount> actionList{};
    RefreshState refresh;
};

}  // namespace varnoke
