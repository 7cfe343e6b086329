// How every reader takes an action table's fields: the loader, the refresh
// (for the remote table, before anything is written) and the tool's check.
// One reading, so that what a refresh judges newer is what the loader will
// read once it is installed. A field holding an element has no value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "hostapi/xml.h"

namespace varnoke {

struct TableField {
    hostapi::XmlNode node;               // empty: no such element
    bool holdsElement = false;           // then it has no value
    std::optional<std::u16string> text;  // its value; nothing when absent or holding an element

    bool Present() const { return static_cast<bool>(node); }
    // The value as a signed 32-bit decimal; nothing when it is none.
    std::optional<int32_t> Number() const;
};

// A verb's <ActionName> or <URL> in an <ActionUrl> element: the first child
// of that name, its typed value.
TableField VerbField(hostapi::IXmlDocument& doc, hostapi::XmlNode item, std::u16string_view name);

// The refresh elements, direct children of the root only, their text with
// XML whitespace trimmed.
struct RefreshFields {
    TableField lastcheckpoint, lastupdate, updatefrequency, updateurl;
    TableField publickey;  // the key that signs the data, when the refresh is keyed
};
RefreshFields ReadRefreshFields(hostapi::IXmlDocument& doc);

}  // namespace varnoke
