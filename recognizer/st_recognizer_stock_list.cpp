// The stock list file and its loader.
//
// <any-root>
//   <KestriaStockList><StockName>...</StockName><StockID>...</StockID></KestriaStockList>
//   ...
// Every "KestriaStockList" element at any depth, the root included, is one
// entry, in document order. Nothing else is examined.
#include <new>

#include "core/data_paths.h"
#include "recognizer/st_recognizer.h"

namespace varnoke {

Status STRecognizer::Construct(std::u16string_view componentFolder) {
    strStockXMLPath() = FormDataFilePath(componentFolder, kStockFileName);
    return LoadStockSymbolFromXMLFile(strStockXMLPath());
}

Status STRecognizer::LoadStockSymbolFromXMLFile(std::u16string_view sXMLPathIn) {
    auto doc = xml_.NewDocument();
    if (!doc) return Status::no_xml_document;

    // Up to the replacement of the list, any failure marks the object as not
    // loaded, for good: a recognizer that once failed recognizes nothing.
    std::vector<hostapi::XmlNode> elements;
    try {
        doc->Load(sXMLPathIn);
        if (!doc->DocumentElement()) {
            listState = -1;
            return Status::ok;
        }
        auto found = doc->ElementsByTagName(u"KestriaStockList");
        if (!found) {
            listState = -1;
            return Status::ok;
        }
        elements = std::move(*found);
        stockList.assign(elements.size(), stockInfo{});
        stockCount = static_cast<int32_t>(elements.size());
    } catch (const std::bad_alloc&) {
        listState = -1;
        return Status::ok;
    }

    // From here a failing step is skipped and the next one runs: an entry
    // whose element is empty or lacks a field keeps that field empty. A field
    // holding an element is no name or ID either, and its text (all below
    // it, entries nested in it included) is never built: nested entries
    // would make the load quadratic.
    const auto value = [&](hostapi::XmlNode field) {
        return doc->HasChildElement(field) ? std::nullopt : doc->TypedValue(field);
    };
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const hostapi::XmlNode element = elements[i];
        if (!doc->HasChildNodes(element)) continue;
        const hostapi::XmlNode name = doc->SelectSingleNode(element, u"StockName");
        const hostapi::XmlNode id = doc->SelectSingleNode(element, u"StockID");
        if (auto v = value(name)) stockList[i].strStockName = std::move(*v);
        if (auto v = value(id)) stockList[i].strStockID = std::move(*v);
    }
    try {
        matcher = StockNameMatcher(stockList);
    } catch (const std::bad_alloc&) {
        // A stale matcher must never serve the new list: recognize nothing.
        listState = -1;
    }
    return Status::ok;
}

}  // namespace varnoke
