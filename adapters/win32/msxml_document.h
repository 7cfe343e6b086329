// The XML document port on the platform's DOM component.
#pragma once

#include <windows.h>

#include "hostapi/xml.h"

namespace varnoke::adapters::win32 {

class MsxmlDocumentFactory final : public hostapi::IXmlDocumentFactory {
public:
    // A fresh DOM document, loading synchronously, with DTDs prohibited and
    // nothing external resolved; nullptr when the component cannot be created.
    std::unique_ptr<hostapi::IXmlDocument> NewDocument() override;
    // Why the last NewDocument() returned nullptr.
    HRESULT LastError() const { return lastError_; }

private:
    HRESULT lastError_ = S_OK;
};

}  // namespace varnoke::adapters::win32
