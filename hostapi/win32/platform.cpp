#include "hostapi/platform.h"

#include "hostapi/win32/msxml_document.h"
#include "hostapi/win32/shell_execute.h"

namespace varnoke::hostapi {

std::unique_ptr<IXmlDocumentFactory> NewXmlDocumentFactory() {
    return std::make_unique<win32::MsxmlDocumentFactory>();
}

std::unique_ptr<IShell> NewDesktopShell() { return std::make_unique<win32::ShellExecuteShell>(); }

}  // namespace varnoke::hostapi
