// The action table file and its loader.
//
// <any-root>
//   <ActionUrl><ActionName>..</ActionName><URL>..</URL></ActionUrl>   x 5, verb order
//   <lastcheckpoint>..</lastcheckpoint>     data set version, refresh needs it
//   <lastupdate>..</lastupdate>             minutes since 1970, local time
//   <updatefrequency>..</updatefrequency>   minutes; optional, 10080
//   <updateurl>..</updateurl>               remote location of both files
//   <publickey>..</publickey>               optional: the key the data must be signed by
// </any-root>
// Verb IDs follow from the order of the ActionUrl elements alone; the
// refresh elements count only as direct children of the root.
#include "actions/st_action.h"
#include "actions/table_fields.h"
#include "core/data_paths.h"
#include "core/decimal.h"
#include "core/strings.h"

namespace varnoke {

void STAction::Construct(std::u16string_view componentFolder) {
    refresh.updateDone = false;
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

    // Second phase: a failing step is skipped and the next one runs. A
    // field holding an element has no usable value: a verb's field is then
    // missing, a refresh element empty.
    for (std::size_t i = 0; i < items->size(); ++i) {
        const hostapi::XmlNode item = (*items)[i];
        if (!doc->HasChildNodes(item)) continue;  // its index is used up all the same
        if (i >= actionList.size()) continue;     // surplus elements are read and discarded
        ActionInfo& entry = actionList[i];
        entry.iActionID = static_cast<int16_t>(i);
        if (auto name = VerbField(*doc, item, u"ActionName").text) entry.strActionName = std::move(*name);
        if (auto url = VerbField(*doc, item, u"URL").text) entry.strActionUrl = std::move(*url);
    }
    // The stored captions are always the English ones; hosts ask for
    // localized captions by verb ID.
    for (std::size_t i = 0; i < actionList.size(); ++i)
        actionList[i].strActionCaption =
            LoadLocalString(kEnglishBlock + kVerbCaptionOffset + static_cast<int32_t>(i)).value_or(u"");

    // The refresh fields. updateInfoValid says the elements exist, not that
    // their values converted: a value that does not convert keeps the old one.
    RefreshFields fields = ReadRefreshFields(*doc);
    const auto readInt = [](const TableField& field, int32_t& value) {
        if (!field.Present()) return false;
        if (auto number = field.Number()) value = *number;
        return true;
    };
    if (!readInt(fields.lastcheckpoint, refresh.lastCheckpoint) || !readInt(fields.lastupdate, refresh.lastUpdate)) {
        refresh.updateInfoValid = false;
        return;
    }
    if (!readInt(fields.updatefrequency, refresh.updateFrequency)) refresh.updateFrequency = kDefaultUpdateFrequency;
    if (!fields.updateurl.Present()) {
        refresh.updateInfoValid = false;
        return;
    }
    refresh.updateURL = std::move(fields.updateurl.text).value_or(u"");
    // A <publickey> that names no usable key still keys the refresh: it then
    // refuses everything rather than install unsigned data.
    refresh.keyed = fields.publickey.Present();
    refresh.publicKey = std::move(fields.publickey.text).value_or(u"");
    refresh.updateInfoValid = true;
}

}  // namespace varnoke
