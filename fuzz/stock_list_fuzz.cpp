// The stock list loader on any bytes as the file: it loads or it does not,
// and what it loaded is recognized as listed: every tag covers its entry's
// name and carries its entry's ID.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "adapters/platform.h"
#include "fuzz/fuzz_support.h"
#include "recognizer/st_recognizer.h"
#include "standins/recording_site.h"
#include "tests/per_entry_reference.h"

using namespace varnoke;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto xml = adapters::NewXmlDocumentFactory();
    const auto path = fuzz::WriteFile("varnokeL.xml", data, size);
    STRecognizer recognizer(*xml);
    if (recognizer.LoadStockSymbolFromXMLFile(fuzz::Utf16Path(path)) != Status::ok)
        fuzz::Finding("the XML component could not be created");
    if (recognizer.ListState() != 0) return 0;
    const auto& list = recognizer.StockList();
    if (static_cast<size_t>(recognizer.StockCount()) != list.size()) fuzz::Finding("StockCount is not the list's size");

    // A text holding the first names, each twice, and a blank between.
    std::u16string text;
    for (size_t i = 0; i < list.size() && i < 16; ++i) text += list[i].strStockName + list[i].strStockName + u" ";
    standins::RecordingSite site;
    recognizer.ISmartTagRecognizer_Recognize(text, 0, 1033, site);
    const auto expected = test::PerEntryReference(list, text);
    if (site.tags.size() != expected.size()) fuzz::Finding("tags and listed occurrences differ in number");
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& tag = site.tags[i];
        const auto& entry = list[expected[i].entry];
        if (tag.start != static_cast<int32_t>(expected[i].position) + 1 ||
            tag.length != static_cast<int32_t>(entry.strStockName.size()) ||
            tag.properties.at(std::u16string(hostapi::kProductIdKey)) != entry.strStockID)
            fuzz::Finding("a tag is not its entry's name and ID");
    }
    return 0;
}
