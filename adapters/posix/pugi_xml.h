// The XML document port on pugixml, for POSIX builds.
#pragma once

#include "hostapi/xml.h"

namespace varnoke::adapters::posix {

class PugiXmlDocumentFactory final : public hostapi::IXmlDocumentFactory {
public:
    std::unique_ptr<hostapi::IXmlDocument> NewDocument() override;
};

}  // namespace varnoke::adapters::posix
