// The recognizer's host members; the stock list loader is in
// st_recognizer_stock_list.cpp.
#include "recognizer/st_recognizer.h"

#include <algorithm>
#include <limits>
#include <numeric>
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

Status STRecognizer::ISmartTagRecognizer_Name(hostapi::LocaleId LocaleID, std::u16string& result) const {
    result.clear();
    // The Chinese names are the offset-12 rows; only English uses offset 13.
    const int32_t block = StringBlockForLocale(LocaleID);
    const int32_t row = block + (block == kEnglishBlock ? kRecognizerNameOffset : kMsgTitleOffset);
    auto text = LoadLocalString(row);
    if (!text) return Status::no_such_string;
    result = std::move(*text);
    return Status::ok;
}

std::u16string STRecognizer::ISmartTagRecognizer_Desc(hostapi::LocaleId) const { return std::u16string(kDesc); }

int32_t STRecognizer::ISmartTagRecognizer_SmartTagCount() const { return 1; }

std::u16string STRecognizer::ISmartTagRecognizer_SmartTagName(int32_t SmartTagID) const {
    return SmartTagID == 1 ? std::u16string(hostapi::kSmartTagType) : std::u16string();
}

std::u16string STRecognizer::ISmartTagRecognizer_SmartTagDownloadURL(int32_t) const { return {}; }

Status STRecognizer::ISmartTagRecognizer_Recognize(std::u16string_view Text, int32_t /*DataType*/,
                                                   hostapi::LocaleId /*LocaleID*/,
                                                   hostapi::ISmartTagRecognizerSite& RecognizerSite) const {
    // All or nothing: no host sees a part.
    const bool all = FindMatches(Text, [&](std::span<const StockMatch> matches) {
        CommitMatches(matches, 0, std::numeric_limits<std::size_t>::max(), RecognizerSite);
    });
    return all ? Status::ok : Status::overflow;
}

void STRecognizer::CommitMatches(std::span<const StockMatch> matches, std::size_t from, std::size_t count,
                                 hostapi::ISmartTagRecognizerSite& RecognizerSite) const {
    if (listState == -1) return;
    for (const StockMatch& m : matches) {
        if (m.position < from || m.position - from >= count) continue;
        // Positions past what the host's 32-bit start can express are unreachable.
        if (m.position >= static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) continue;
        // Matches of another list would read past this one.
        if (m.entry >= stockList.size()) continue;
        // A failing host call only loses this one tag.
        auto bag = RecognizerSite.GetNewPropertyBag();
        if (!bag) continue;
        bag->Write(hostapi::kProductIdKey, stockList[m.entry].strStockID);
        RecognizerSite.CommitSmartTag(hostapi::kSmartTagType, static_cast<int32_t>(m.position) + 1,
                                      static_cast<int32_t>(m.length), *bag);
    }
}

void STRecognizer::CommitMatches(const TextMatches& matches, std::size_t from, std::size_t count,
                                 hostapi::ISmartTagRecognizerSite& RecognizerSite) const {
    std::vector<StockMatch> run;
    matches.InRun(from, count, run);
    CommitMatches(run, from, count, RecognizerSite);
}

TextMatches::TextMatches(std::span<const StockMatch> matches)
    : matches_(matches.begin(), matches.end()), byPosition_(matches.size()) {
    std::iota(byPosition_.begin(), byPosition_.end(), uint32_t{0});
    std::sort(byPosition_.begin(), byPosition_.end(),
              [&](uint32_t a, uint32_t b) { return matches_[a].position < matches_[b].position; });
}

void TextMatches::InRun(std::size_t from, std::size_t count, std::vector<StockMatch>& out) const {
    const std::size_t end = from + std::min(count, std::numeric_limits<std::size_t>::max() - from);
    const auto below = [&](uint32_t i, std::size_t at) { return matches_[i].position < at; };
    const auto first = std::lower_bound(byPosition_.begin(), byPosition_.end(), from, below);
    const auto last = std::lower_bound(first, byPosition_.end(), end, below);
    // Back in list order: the run's indices ascending.
    std::vector<uint32_t> run(first, last);
    std::sort(run.begin(), run.end());
    out.clear();
    out.reserve(run.size());
    for (uint32_t i : run) out.push_back(matches_[i]);
}

}  // namespace varnoke
