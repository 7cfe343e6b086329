// What the component relies on from a smart-tag host: the recognizer site
// that commits tags and the property bags that travel with them.
//
// A call that the host fails returns false (or nullptr); the component
// decides what a failure means where it makes the call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace varnoke::hostapi {

// The one smart-tag type the component commits, reports and offers verbs for.
// Compared exactly, case-sensitively, everywhere.
inline constexpr std::u16string_view kSmartTagType = u"urn:schemas-varnoke:smarttags#varnoke";

// The only property key the component writes or reads.
inline constexpr std::u16string_view kProductIdKey = u"ProductID";

// Host language identifiers arrive as 32-bit integers.
using LocaleId = int32_t;

// The host object at which a tag stands (in a spreadsheet, the cell range
// holding it). The component only passes it along to the web query.
class IHostObject {
public:
    virtual ~IHostObject() = default;
};

class ISmartTagProperties {
public:
    virtual ~ISmartTagProperties() = default;
    virtual bool Read(std::u16string_view key, std::u16string& value) = 0;
    virtual bool Write(std::u16string_view key, std::u16string_view value) = 0;
};

class ISmartTagRecognizerSite {
public:
    virtual ~ISmartTagRecognizerSite() = default;
    // A new, empty bag owned by the caller; nullptr when the host fails.
    virtual std::unique_ptr<ISmartTagProperties> GetNewPropertyBag() = 0;
    // `start` is 1-based and, like `length`, counted in UTF-16 code units.
    // `properties` is a bag this site handed out.
    virtual bool CommitSmartTag(std::u16string_view smartTagName, int32_t start, int32_t length,
                                ISmartTagProperties& properties) = 0;
};

}  // namespace varnoke::hostapi
