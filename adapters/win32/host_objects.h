// The host's COM objects seen through the component's ports: the recognizer
// site, its property bags, and the object a tag stands at.
#pragma once

#include <memory>

#include "adapters/win32/com/com_ptr.h"
#include "hostapi/smarttag.h"
#include "smarttaglib.h"

namespace varnoke::adapters::win32 {

class HostPropertyBag final : public hostapi::ISmartTagProperties {
public:
    explicit HostPropertyBag(::ISmartTagProperties* bag) : bag_(bag) {}
    bool Read(std::u16string_view key, std::u16string& value) override;
    bool Write(std::u16string_view key, std::u16string_view value) override;
    ::ISmartTagProperties* get() const { return bag_.get(); }

private:
    com::com_ptr<::ISmartTagProperties> bag_;
};

class HostRecognizerSite final : public hostapi::ISmartTagRecognizerSite {
public:
    explicit HostRecognizerSite(::ISmartTagRecognizerSite* site) : site_(site) {}
    std::unique_ptr<hostapi::ISmartTagProperties> GetNewPropertyBag() override;
    bool CommitSmartTag(std::u16string_view smartTagName, int32_t start, int32_t length,
                        hostapi::ISmartTagProperties& properties) override;

private:
    com::com_ptr<::ISmartTagRecognizerSite> site_;
    com::unique_bstr typeName_;  // the one type name, allocated once per call
};

// The Target of InvokeVerb, held only for the duration of the call.
class HostObject final : public hostapi::IHostObject {
public:
    explicit HostObject(IDispatch* object) : object_(object) {}
    IDispatch* get() const { return object_.get(); }

private:
    com::com_ptr<IDispatch> object_;
};

}  // namespace varnoke::adapters::win32
