// Builds recognizers over a given stock list, through a real file and the
// real loader.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "adapters/platform.h"
#include "core/unicode.h"
#include "recognizer/st_recognizer.h"
#include "tests/temp_dir.h"
#include "tests/xml_escape.h"

namespace varnoke::test {

inline std::string XmlEscape(std::u16string_view text) { return XmlEscape(Utf16ToUtf8(text)); }

// One stock element, its two fields written as given (no escaping, so a test
// can put any bytes there).
inline std::string StockXml(std::string_view name, std::string_view id) {
    return "<KestriaStockList><StockName>" + std::string(name) + "</StockName><StockID>" + std::string(id) +
           "</StockID></KestriaStockList>";
}

inline std::string StockListXml(const std::vector<stockInfo>& stocks) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StockData>\n";
    for (const auto& s : stocks) xml += StockXml(XmlEscape(s.strStockName), XmlEscape(s.strStockID)) + "\n";
    return xml + "</StockData>\n";
}

// A folder of its own and this platform's XML component.
class StockFixture {
public:
    // Constructed over the folder, whose stock list holds these stocks.
    std::unique_ptr<STRecognizer> Recognizer(const std::vector<stockInfo>& stocks) {
        WriteList(StockListXml(stocks));
        auto r = NewRecognizer();
        r->Construct(dir_.Folder());
        return r;
    }

    // Not constructed yet: it has read nothing.
    std::unique_ptr<STRecognizer> NewRecognizer() { return std::make_unique<STRecognizer>(*xml_); }

    // The folder's stock list file, byte for byte.
    void WriteList(std::string_view bytes) const { dir_.Write("varnokeL.xml", bytes); }

    const TempDir& Dir() const { return dir_; }

private:
    TempDir dir_;
    std::unique_ptr<hostapi::IXmlDocumentFactory> xml_ = adapters::NewXmlDocumentFactory();
};

}  // namespace varnoke::test
