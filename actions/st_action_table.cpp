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
#include "actions/st_action.h"
#include "core/data_paths.h"
#include "core/decimal.h"
#include "core/strings.h"

namespace varnoke {

void STAction::Construct(std::u16string_view componentFolder) {
    updateDone = false;
    strActionXMLPath() = FormDataFilePath(componentFolder, kActionFileName);
    strStockXMLPath() = FormDataFilePath(componentFolder, kStockFileName);
    LoadActionURLFromXMLFile(strActionXMLPath());
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

    // A field holding an element has no usable value: a verb's field is
    // then missing, a refresh element empty, and the text of everything
    // below it is never built.
    const auto typedValue = [&](hostapi::XmlNode field) {
        return doc->HasChildElement(field) ? std::nullopt : doc->TypedValue(field);
    };
    const auto text = [&](hostapi::XmlNode field) {
        return doc->HasChildElement(field) ? std::optional<std::u16string>(u"") : doc->Text(field);
    };

    // Second phase: a failing step is skipped and the next one runs.
    for (std::size_t i = 0; i < items->size(); ++i) {
        const hostapi::XmlNode item = (*items)[i];
        if (!doc->HasChildNodes(item)) continue;  // its index is used up all the same
        if (i >= actionList.size()) continue;     // surplus elements are read and discarded
        ActionInfo& entry = actionList[i];
        entry.iActionID = static_cast<int16_t>(i);
        if (auto name = typedValue(doc->SelectSingleNode(item, u"ActionName")))
            entry.strActionName = std::move(*name);
        if (auto url = typedValue(doc->SelectSingleNode(item, u"URL")))
            entry.strActionUrl = std::move(*url);
    }
    // The stored captions are always the English ones; hosts ask for
    // localized captions by verb ID.
    for (std::size_t i = 0; i < actionList.size(); ++i)
        actionList[i].strActionCaption =
            LoadLocalString(kEnglishBlock + kVerbCaptionOffset + static_cast<int32_t>(i)).value_or(u"");

    // The refresh fields. updateInfoValid says the elements exist, not that
    // their values converted: a value that does not convert keeps the old one.
    const auto readInt = [&](std::u16string_view name, int32_t& field) {
        const hostapi::XmlNode node = doc->SelectSingleNode(root, name);
        if (!node) return false;
        if (auto value = ParseInt32(text(node).value_or(u""))) field = *value;
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
    if (auto value = text(url)) updateURL = std::move(*value);
    updateInfoValid = true;
}

}  // namespace varnoke
