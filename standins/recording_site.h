// A stand-in for the document application's side of recognition: a
// recognizer site that records every committed tag, with property bags that
// keep what is written to them. Used by the tool and the tests; a test can
// make chosen host calls fail, as a real host's may.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hostapi/smarttag.h"

namespace varnoke::standins {

class PropertyBag final : public hostapi::ISmartTagProperties {
public:
    bool failWrites = false;
    bool failReads = false;
    std::map<std::u16string, std::u16string, std::less<>> values;

    bool Read(std::u16string_view key, std::u16string& value) override {
        auto it = values.find(key);
        if (failReads || it == values.end()) return false;
        value = it->second;
        return true;
    }
    bool Write(std::u16string_view key, std::u16string_view value) override {
        if (failWrites) return false;
        values.insert_or_assign(std::u16string(key), std::u16string(value));
        return true;
    }
};

struct CommittedTag {
    std::u16string smartTagName;
    int32_t start;
    int32_t length;
    std::map<std::u16string, std::u16string, std::less<>> properties;
    friend bool operator==(const CommittedTag&, const CommittedTag&) = default;
};

class RecordingSite final : public hostapi::ISmartTagRecognizerSite {
public:
    // Failure injection: the n-th call (counting from 1) of each kind fails;
    // 0 never fails. Every bag handed out gets failWrites from bagsFailWrites.
    int failBagNumber = 0;
    int failCommitNumber = 0;
    bool bagsFailWrites = false;

    int bagRequests = 0;
    int commitCalls = 0;
    std::vector<CommittedTag> tags;

    std::unique_ptr<hostapi::ISmartTagProperties> GetNewPropertyBag() override {
        if (++bagRequests == failBagNumber) return nullptr;
        auto bag = std::make_unique<PropertyBag>();
        bag->failWrites = bagsFailWrites;
        return bag;
    }
    bool CommitSmartTag(std::u16string_view smartTagName, int32_t start, int32_t length,
                        hostapi::ISmartTagProperties& properties) override {
        if (++commitCalls == failCommitNumber) return false;
        tags.push_back({std::u16string(smartTagName), start, length, static_cast<PropertyBag&>(properties).values});
        return true;
    }
};

}  // namespace varnoke::standins
