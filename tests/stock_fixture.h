// Builds recognizers over a given stock list, through a real file and the
// real loader.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "adapters/platform.h"
#include "core/unicode.h"
#include "recognizer/st_recognizer.h"
#include "tests/temp_dir.h"

namespace varnoke::testing {

inline std::string XmlEscape(std::u16string_view text) {
    std::string out;
    for (char c : Utf16ToUtf8(text)) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

inline std::string StockListXml(const std::vector<stockInfo>& stocks) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StockData>\n";
    for (const auto& s : stocks)
        xml += "<KestriaStockList><StockName>" + XmlEscape(s.strStockName) + "</StockName><StockID>" +
               XmlEscape(s.strStockID) + "</StockID></KestriaStockList>\n";
    return xml + "</StockData>\n";
}

class StockFixture {
public:
    std::unique_ptr<STRecognizer> Recognizer(const std::vector<stockInfo>& stocks) {
        dir_.Write("varnokeL.xml", StockListXml(stocks));
        auto r = std::make_unique<STRecognizer>(*xml_);
        r->Construct(dir_.Folder());
        return r;
    }

private:
    TempDir dir_;
    std::unique_ptr<hostapi::IXmlDocumentFactory> xml_ = adapters::NewXmlDocumentFactory();
};

}  // namespace varnoke::testing
