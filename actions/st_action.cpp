// The action component's host members: who it is, which verbs it offers on
// a stock tag, and what invoking one does. The action table loader is in
// st_action_table.cpp.
#include "actions/st_action.h"

#include <limits>

#include "core/strings.h"
#include "core/web_address.h"

namespace varnoke {
namespace {

constexpr std::u16string_view kProgId = u"Varnoke.STAction";
constexpr std::u16string_view kName = u"Kestria Stock Symbol Actions";
constexpr std::u16string_view kDesc = u"Provide actions for Kestria Stock Symbol data";
// Only a host whose name starts with these five letters is a spreadsheet.
constexpr std::u16string_view kSpreadsheetPrefix = u"Excel";

bool InInt32(int64_t v) { return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max(); }

}  // namespace

std::u16string STAction::ISmartTagAction_ProgId() const { return std::u16string(kProgId); }

std::u16string STAction::ISmartTagAction_Name(hostapi::LocaleId) const { return std::u16string(kName); }

std::u16string STAction::ISmartTagAction_Desc(hostapi::LocaleId) const { return std::u16string(kDesc); }

int32_t STAction::ISmartTagAction_SmartTagCount() const { return 1; }

std::u16string STAction::ISmartTagAction_SmartTagName(int32_t SmartTagID) const {
    return SmartTagID == 1 ? std::u16string(hostapi::kSmartTagType) : std::u16string();
}

Status STAction::ISmartTagAction_SmartTagCaption(int32_t, hostapi::LocaleId LocaleID, std::u16string& result) const {
    result.clear();
    auto text = LoadLocalString(StringBlockForLocale(LocaleID) + kMsgTitleOffset);
    if (!text) return Status::no_such_string;
    result = std::move(*text);
    return Status::ok;
}

int32_t STAction::ISmartTagAction_VerbCount(std::u16string_view SmartTagName) const {
    return SmartTagName == hostapi::kSmartTagType ? kVerbCount : 0;
}

Status STAction::ISmartTagAction_VerbID(std::u16string_view, int32_t VerbIndex, int32_t& result) const {
    result = 0;
    const int64_t id = int64_t{VerbIndex} - 1;
    if (!InInt32(id)) return Status::overflow;
    result = static_cast<int32_t>(id);
    return Status::ok;
}

Status STAction::ISmartTagAction_VerbCaptionFromID(int32_t VerbID, std::u16string_view ApplicationName,
                                                   hostapi::LocaleId LocaleID, std::u16string& result) const {
    result.clear();
    const int64_t row = int64_t{StringBlockForLocale(LocaleID)} + kVerbCaptionOffset + VerbID;
    // Keeps the web query verb out of every other host's menus.
    if (!ApplicationName.starts_with(kSpreadsheetPrefix) && VerbID == kWebQueryVerb) return Status::ok;
    // No range test on VerbID: hosts only pass the IDs they were given, and
    // any row of the block is what they get for the others.
    if (!InInt32(row)) return Status::overflow;
    auto text = LoadLocalString(static_cast<int32_t>(row));
    if (!text) return Status::no_such_string;
    result = std::move(*text);
    return Status::ok;
}

Status STAction::ISmartTagAction_VerbNameFromID(int32_t VerbID, std::u16string& result) const {
    result.clear();
    if (VerbID < 0 || VerbID >= kVerbCount) return Status::out_of_range;
    result = actionList[static_cast<std::size_t>(VerbID)].strActionName;
    return Status::ok;
}

InvokeReport STAction::ISmartTagAction_InvokeVerb(int32_t VerbID, std::u16string_view, hostapi::IHostObject* Target,
                                                  hostapi::ISmartTagProperties* Properties, std::u16string_view,
                                                  std::u16string_view) {
    // Every step runs whatever the previous one did; nothing reaches the host.
    std::u16string productId;
    if (Properties && !Properties->Read(hostapi::kProductIdKey, productId)) productId.clear();

    // No separator and no escaping: the base URL ends where the identifier goes.
    std::u16string url;
    if (VerbID >= 0 && VerbID < kVerbCount) url = actionList[static_cast<std::size_t>(VerbID)].strActionUrl + productId;

    // One guard for every verb: verbs 0 to 3 hand the address to the shell,
    // verb 4 to the host as the web query's connection "URL;" + address.
    InvokeReport report{InvokeReport::Effect::refused, url};
    if (!IsWebAddress(url)) {
        // Nothing opened, nothing inserted.
    } else if (VerbID == kWebQueryVerb) {
        report.effect = InvokeReport::Effect::no_web_query;
        if (ports_.webQuery) {
            ports_.webQuery->InsertWebQuery(url, Target);
            report.effect = InvokeReport::Effect::web_query;
        }
    } else {
        report.effect = ports_.shell.Open(url) ? InvokeReport::Effect::opened : InvokeReport::Effect::shell_failed;
    }

    if (ports_.update) ports_.update->Run(refresh);
    return report;
}

}  // namespace varnoke
