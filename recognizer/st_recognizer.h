// STRecognizer: the stock-name recognizer, free of any platform type.
//
// The COM class of the same name is a shell around this one. Construction
// runs in two steps, as a COM object's does: the constructor only stores its
// collaborators, Construct() forms the stock list path and loads the list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/status.h"
#include "hostapi/smarttag.h"
#include "hostapi/xml.h"
#include "recognizer/matcher.h"
#include "recognizer/stock_info.h"

namespace varnoke {

// One text's matches, kept so that a run of the text finds its own without
// reading all of them: each run costs what starts in it.
class TextMatches {
public:
    // `matches` in list order, as FindMatches hands them (at most
    // StockNameMatcher::kMaxMatches).
    explicit TextMatches(std::span<const StockMatch> matches);
    // Those starting in [from, from + count), in list order, into `out`.
    void InRun(std::size_t from, std::size_t count, std::vector<StockMatch>& out) const;
    std::size_t Size() const { return matches_.size(); }

private:
    std::vector<StockMatch> matches_;   // list order
    std::vector<uint32_t> byPosition_;  // indices into matches_, by position
};

class STRecognizer {
public:
    explicit STRecognizer(hostapi::IXmlDocumentFactory& xml) : xml_(xml) {}

    // Stores folder + separator + "varnokeL.xml" into this thread's
    // strStockXMLPath and loads that file. Fails only when the XML document
    // object cannot be created; a missing or malformed list leaves the object
    // usable in the not-loaded state.
    Status Construct(std::u16string_view componentFolder);

    // Reads the stock list at `sXMLPathIn` into this object. Every problem
    // with the file is absorbed (see the state below); fails only when the
    // XML document object cannot be created.
    Status LoadStockSymbolFromXMLFile(std::u16string_view sXMLPathIn);

    // The members of the host's recognizer interface.
    std::u16string ISmartTagRecognizer_ProgId() const;
    Status ISmartTagRecognizer_Name(hostapi::LocaleId LocaleID, std::u16string& result) const;
    std::u16string ISmartTagRecognizer_Desc(hostapi::LocaleId LocaleID) const;
    int32_t ISmartTagRecognizer_SmartTagCount() const;
    std::u16string ISmartTagRecognizer_SmartTagName(int32_t SmartTagID) const;
    std::u16string ISmartTagRecognizer_SmartTagDownloadURL(int32_t SmartTagID) const;
    // Commits a tag for every occurrence of every stock name. More than
    // StockNameMatcher::kMaxMatches of them is Status::overflow, with
    // nothing committed. DataType and LocaleID are accepted and deliberately
    // not examined.
    Status ISmartTagRecognizer_Recognize(std::u16string_view Text, int32_t DataType, hostapi::LocaleId LocaleID,
                                         hostapi::ISmartTagRecognizerSite& RecognizerSite) const;

    // For a host that hands one text in several runs: the matches are found
    // once per text (FindMatches, kept as TextMatches) and each run commits
    // its own share of them (CommitMatches); the runs of a text together
    // commit the tags ISmartTagRecognizer_Recognize commits over all of it.
    //
    // Hands `use` the matches of `Text` as one span, in list order (none
    // while the list is not loaded), valid while `use` runs. Hands nothing
    // and returns false past StockNameMatcher::kMaxMatches.
    template <class Use>
    bool FindMatches(std::u16string_view Text, Use&& use) const {
        if (listState == -1) {
            use(std::span<const StockMatch>());
            return true;
        }
        return matcher.WithMatches(Text, std::forward<Use>(use));
    }
    // Commits, one by one as ISmartTagRecognizer_Recognize does, those of
    // `matches` (FindMatches' over one text) that start in [from, from +
    // count), in their order. A match naming no entry of the list is
    // skipped; nothing is committed while the list is not loaded.
    void CommitMatches(std::span<const StockMatch> matches, std::size_t from, std::size_t count,
                       hostapi::ISmartTagRecognizerSite& RecognizerSite) const;
    // The same from kept matches, looking at those of the run only.
    void CommitMatches(const TextMatches& matches, std::size_t from, std::size_t count,
                       hostapi::ISmartTagRecognizerSite& RecognizerSite) const;

    // 0 while loaded, -1 once any load has failed; never returns to 0.
    int16_t ListState() const { return listState; }
    int32_t StockCount() const { return stockCount; }
    const std::vector<stockInfo>& StockList() const { return stockList; }
    const StockNameMatcher& Matcher() const { return matcher; }

private:
    hostapi::IXmlDocumentFactory& xml_;
    int16_t listState = 0;
    std::vector<stockInfo> stockList;
    int32_t stockCount = 0;
    StockNameMatcher matcher;  // rebuilt whenever stockList is replaced
};

}  // namespace varnoke
