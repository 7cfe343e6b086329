// The XML document port on pugixml, for POSIX builds.
#pragma once

#include "hostapi/xml.h"

namespace varnoke::adapters::posix {

class PugiXmlDocumentFactory final : public hostapi::IXmlDocumentFactory {
public:
    PugiXmlDocumentFactory() = default;
    explicit PugiXmlDocumentFactory(hostapi::FetchLimits limits) : limits_(limits) {}
    std::unique_ptr<hostapi::IXmlDocument> NewDocument() override;

private:
    hostapi::FetchLimits limits_;
};

}  // namespace varnoke::adapters::posix
