#include "adapters/win32/host_objects.h"

namespace varnoke::adapters::win32 {

using namespace hostapi;  // the ports this file implements

bool HostPropertyBag::Read(std::u16string_view key, std::u16string& value) {
    if (!bag_) return false;
    com::unique_bstr result;
    if (FAILED(bag_->get_Read(com::MakeBstr(key).get(), result.put()))) return false;
    value = com::View(result.get());
    return true;
}

bool HostPropertyBag::Write(std::u16string_view key, std::u16string_view value) {
    return bag_ && SUCCEEDED(bag_->Write(com::MakeBstr(key).get(), com::MakeBstr(value).get()));
}

std::unique_ptr<hostapi::ISmartTagProperties> HostRecognizerSite::GetNewPropertyBag() {
    com::com_ptr<::ISmartTagProperties> bag;
    if (!site_ || FAILED(site_->GetNewPropertyBag(bag.put())) || !bag) return nullptr;
    return std::make_unique<HostPropertyBag>(bag.get());
}

bool HostRecognizerSite::CommitSmartTag(std::u16string_view smartTagName, int32_t start, int32_t length,
                                        hostapi::ISmartTagProperties& properties) {
    if (!site_) return false;
    if (!typeName_.get() || com::View(typeName_.get()) != smartTagName) typeName_ = com::MakeBstr(smartTagName);
    // Bags passed here are always ones this site handed out.
    auto& bag = static_cast<HostPropertyBag&>(properties);
    return SUCCEEDED(site_->CommitSmartTag(typeName_.get(), start, length, bag.get()));
}

}  // namespace varnoke::adapters::win32
