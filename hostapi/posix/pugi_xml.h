// The XML document port on pugixml, for POSIX builds.
#pragma once

#include "hostapi/xml.h"

namespace varnoke::hostapi::posix {

class PugiXmlDocumentFactory final : public IXmlDocumentFactory {
public:
    std::unique_ptr<IXmlDocument> NewDocument() override;
};

}  // namespace varnoke::hostapi::posix
