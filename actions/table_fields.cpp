#include "actions/table_fields.h"

#include "core/decimal.h"

namespace varnoke {
namespace {

// Whether the element holds another is asked first: the text of an element
// holding others costs as much as everything below it, and is no value.
TableField Read(hostapi::IXmlDocument& doc, hostapi::XmlNode node, bool typed) {
    TableField field;
    field.node = node;
    if (!node) return field;
    field.holdsElement = doc.HasChildElement(node);
    if (!field.holdsElement) field.text = typed ? doc.TypedValue(node) : doc.Text(node);
    return field;
}

}  // namespace

std::optional<int32_t> TableField::Number() const { return text ? ParseInt32(*text) : std::nullopt; }

TableField VerbField(hostapi::IXmlDocument& doc, hostapi::XmlNode item, std::u16string_view name) {
    return Read(doc, doc.SelectSingleNode(item, name), true);
}

RefreshFields ReadRefreshFields(hostapi::IXmlDocument& doc) {
    const hostapi::XmlNode root = doc.DocumentElement();
    const auto field = [&](std::u16string_view name) { return Read(doc, doc.SelectSingleNode(root, name), false); };
    return {field(u"lastcheckpoint"), field(u"lastupdate"), field(u"updatefrequency"), field(u"updateurl"),
            field(u"publickey")};
}

}  // namespace varnoke
