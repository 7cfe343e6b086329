// The recognizer's host members; the stock list loader is in
// st_recognizer_stock_list.cpp.
#include "recognizer/st_recognizer.h"

#include <limits>
#include <span>

#include "core/strings.h"

namespace varnoke {

namespace {
// The trailing blank is part of the published ProgId.
constexpr std::u16string_view kProgId = u"Varnoke.STRecognizer ";
constexpr std::u16string_view kDesc =
    u"Kestria Stock Symbol Recognizer recognizes stock symbol of Kestria market in document.";
}  // namespace

std::u16string STRecognizer::ISmartTagRecognizer_ProgId() const { return std::u16string(kProgId); }

Status STRecognizer::ISmartTagRecognizer_Name(hostapi::LocaleId LocaleID,
                                              std::u16string& result) const {
    result.clear();
    // The Chinese names are the offset-12 rows; only English uses offset 13.
    const int32_t block = StringBlockForLocale(LocaleID);
    const int32_t row = block + (block == kEnglishBlock ? kRecognizerNameOffset : kMsgTitleOffset);
    auto text = LoadLocalString(row);
    if (!text) return Status::no_such_string;
    result = std::move(*text);
    return Status::ok;
}

std::u16string STRecognizer::ISmartTagRecognizer_Desc(hostapi::LocaleId) const {
    return std::u16string(kDesc);
}

int32_t STRecognizer::ISmartTagRecognizer_SmartTagCount() const { return 1; }

std::u16string STRecognizer::ISmartTagRecognizer_SmartTagName(int32_t SmartTagID) const {
    return SmartTagID == 1 ? std::u16string(hostapi::kSmartTagType) : std::u16string();
}

std::u16string STRecognizer::ISmartTagRecognizer_SmartTagDownloadURL(int32_t) const { return {}; }

Status STRecognizer::ISmartTagRecognizer_Recognize(
    std::u16string_view Text, int32_t /*DataType*/, hostapi::LocaleId /*LocaleID*/,
    hostapi::ISmartTagRecognizerSite& RecognizerSite) const {
    if (listState == -1) return Status::ok;
    // All or nothing: no host sees a part.
    const bool all = matcher.WithMatches(Text, [&](std::span<const StockMatch> matches) {
        for (const StockMatch& m : matches) {
            // Positions past what the host's 32-bit start can express are unreachable.
            if (m.position >= static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) continue;
            // A failing host call only loses this one tag.
            auto bag = RecognizerSite.GetNewPropertyBag();
            if (!bag) continue;
            bag->Write(hostapi::kProductIdKey, stockList[m.entry].strStockID);
            RecognizerSite.CommitSmartTag(hostapi::kSmartTagType, static_cast<int32_t>(m.position) + 1,
                                          static_cast<int32_t>(m.length), *bag);
        }
    });
    return all ? Status::ok : Status::overflow;
}

}  // namespace varnoke
