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
    //
    // Past that, an entry whose element is empty or lacks a field keeps that
    // field empty. A field holding an element is no name or ID either, and
    // its text (all below it, entries nested in it included) is never built:
    // nested entries would make the load quadratic.
    static constexpr std::u16string_view kFields[] = {u"StockName", u"StockID"};
    std::optional<hostapi::XmlRecords> records;
    try {
        doc->Load(sXMLPathIn);
        if (!doc->DocumentElement() || !(records = doc->ReadRecords(u"KestriaStockList", kFields))) {
            listState = -1;
            return Status::ok;
        }
        // The document goes before the list and the matcher are built: a
        // load holds one of them at a time, not both.
        doc.reset();
        // Each entry's strings are made once, in place, from the values'
        // buffer: appended to the empty strings, a shorter way through the
        // library than assigned.
        stockList.clear();
        stockList.resize(records->count);
        for (std::size_t i = 0; i < records->count; ++i) {
            if (const auto name = records->Value(2 * i)) stockList[i].strStockName.append(*name);
            if (const auto id = records->Value(2 * i + 1)) stockList[i].strStockID.append(*id);
        }
        stockCount = static_cast<int32_t>(records->count);
        records.reset();
    } catch (const std::bad_alloc&) {
        listState = -1;
        return Status::ok;
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
