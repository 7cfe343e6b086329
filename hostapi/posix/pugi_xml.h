// The XML document port on pugixml, for POSIX builds.
#pragma once

#include "hostapi/xml.h"

namespace varnoke::hostapi::posix {

class PugiXmlDocumentFactory final : public IXmlDocumentFactory {
public:
    PugiXmlDocumentFactory() = default;
    explicit PugiXmlDocumentFactory(FetchLimits limits) : limits_(limits) {}
    std::unique_ptr<IXmlDocument> NewDocument() override;

private:
    FetchLimits limits_;
};

}  // namespace varnoke::hostapi::posix
