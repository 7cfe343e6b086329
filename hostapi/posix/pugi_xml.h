// The XML document port on pugixml, for POSIX builds.
#pragma once

#include "hostapi/xml.h"

namespace varnoke::hostapi::posix {

// Bounds on loading an http or https address: a server that does not
// answer must not hold the host's call for long. A load past a bound fails
// like an unreachable address.
struct FetchLimits {
    long connectSeconds = 10;
    long totalSeconds = 30;
    long maxBytes = 16L * 1024 * 1024;
};

class PugiXmlDocumentFactory final : public IXmlDocumentFactory {
public:
    PugiXmlDocumentFactory() = default;
    explicit PugiXmlDocumentFactory(FetchLimits limits) : limits_(limits) {}
    std::unique_ptr<IXmlDocument> NewDocument() override;

private:
    FetchLimits limits_;
};

}  // namespace varnoke::hostapi::posix
