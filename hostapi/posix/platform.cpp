#include "hostapi/platform.h"

#include <ctime>

#include "hostapi/posix/pugi_xml.h"
#include "hostapi/posix/xdg_shell.h"

namespace varnoke::hostapi {

std::unique_ptr<IXmlDocumentFactory> NewXmlDocumentFactory() {
    return std::make_unique<posix::PugiXmlDocumentFactory>();
}

std::unique_ptr<IShell> NewDesktopShell() { return std::make_unique<posix::XdgOpenShell>(); }

namespace {
class SystemClock final : public IClock {
public:
    LocalDateTime Now() override {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
    }
};
}  // namespace

std::unique_ptr<IClock> NewSystemClock() { return std::make_unique<SystemClock>(); }

}  // namespace varnoke::hostapi
