#include "hostapi/platform.h"

#include "hostapi/posix/pugi_xml.h"
#include "hostapi/posix/xdg_shell.h"

namespace varnoke::hostapi {

std::unique_ptr<IXmlDocumentFactory> NewXmlDocumentFactory() {
    return std::make_unique<posix::PugiXmlDocumentFactory>();
}

std::unique_ptr<IShell> NewDesktopShell() { return std::make_unique<posix::XdgOpenShell>(); }

}  // namespace varnoke::hostapi
