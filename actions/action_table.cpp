// The action table file and its loader.
//
// <any-root>
//   <ActionUrl><ActionName>..</ActionName><URL>..</URL></ActionUrl>   x 5, verb order
//   <lastcheckpoint>..</lastcheckpoint>     data set version, refresh needs it
//   <lastupdate>..</lastupdate>             minutes since 1970, local time
//   <updatefrequency>..</updatefrequency>   minutes; optional, 10080
//   <updateurl>..</updateurl>               remote location of both files
// </any-root>
// Verb IDs follow from the order of the ActionUrl elements alone; the
// refresh elements count only as direct children of the root.
#include <limits>

#include "actions/st_action.h"
#include "component/data_paths.h"

namespace varnoke {
namespace {

constexpr std::u16string_view kCaptions[kVerbCount] = {
    u"Stock Quote on Web Site",
    u"Company Report on Web Site",
    u"Recent News on Web Site",
    u"Basic Information on Web Site",
    u"Insert Refreshable Stock Price",
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

std::optional<int32_t> ParseInt32(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

void STAction::Construct(std::u16string_view componentFolder) {
    updateDone = false;
    strActionXMLPath = FormDataFilePath(componentFolder, kActionFileName);
    strStockXMLPath = FormDataFilePath(componentFolder, kStockFileName);
    LoadActionURLFromXMLFile(strActionXMLPath);
}

void STAction::LoadActionURLFromXMLFile(std::u16string_view sXMLPathIn) {
    // First phase: any failure ends the load with nothing stored.
    auto doc = ports_.xml.NewDocument();
    if (!doc) return;
    doc->Load(sXMLPathIn);
    const hostapi::XmlNode root = doc->DocumentElement();
    if (!root) return;
    const auto items = doc->ElementsByTagName(u"ActionUrl");
    if (!items || items->empty()) return;

    // Second phase: a failing step is skipped and the next one runs.
    for (std::size_t i = 0; i < items->size(); ++i) {
        const hostapi::XmlNode item = (*items)[i];
        if (!doc->HasChildNodes(item)) continue;  // its index is used up all the same
        if (i >= actionList.size()) continue;     // surplus elements are read and discarded
        ActionInfo& entry = actionList[i];
        entry.iActionID = static_cast<int16_t>(i);
        if (auto name = doc->TypedValue(doc->SelectSingleNode(item, u"ActionName")))
            entry.strActionName = std::move(*name);
        if (auto url = doc->TypedValue(doc->SelectSingleNode(item, u"URL")))
            entry.strActionUrl = std::move(*url);
    }
    for (std::size_t i = 0; i < actionList.size(); ++i)
        actionList[i].strActionCaption = std::u16string(kCaptions[i]);

    // The refresh fields. updateInfoValid says the elements exist, not that
    // their values converted: a value that does not convert keeps the old one.
    const auto readInt = [&](std::u16string_view name, int32_t& field) {
        const hostapi::XmlNode node = doc->SelectSingleNode(root, name);
        if (!node) return false;
        if (auto value = ParseInt32(doc->Text(node).value_or(u""))) field = *value;
        return true;
    };
    if (!readInt(u"lastcheckpoint", lastCheckpoint) || !readInt(u"lastupdate", lastUpdate)) {
        updateInfoValid = false;
        return;
    }
    if (!readInt(u"updatefrequency", updateFrequency)) updateFrequency = kDefaultUpdateFrequency;
    const hostapi::XmlNode url = doc->SelectSingleNode(root, u"updateurl");
    if (!url) {
        updateInfoValid = false;
        return;
    }
    if (auto text = doc->Text(url)) updateURL = std::move(*text);
    updateInfoValid = true;
}

}  // namespace varnoke
