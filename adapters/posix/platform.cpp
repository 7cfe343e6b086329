#include "adapters/platform.h"

#include <ctime>

#include "adapters/posix/pugi_xml.h"
#include "adapters/posix/xdg_shell.h"
#include "adapters/posix/xml_encoding.h"

namespace varnoke::adapters {

std::unique_ptr<hostapi::IXmlDocumentFactory> NewXmlDocumentFactory() {
    return std::make_unique<posix::PugiXmlDocumentFactory>();
}

std::optional<std::u16string> DecodeCodePage(unsigned codePage, std::string_view bytes) {
    return posix::DecodeWithIconv(codePage, bytes);
}

std::unique_ptr<hostapi::IShell> NewDesktopShell() { return std::make_unique<posix::XdgOpenShell>(); }

namespace {
class SystemClock final : public hostapi::IClock {
public:
    hostapi::LocalDateTime Now() override {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
    }
    std::int64_t UtcSeconds() override { return static_cast<std::int64_t>(std::time(nullptr)); }
};
}  // namespace

std::unique_ptr<hostapi::IClock> NewSystemClock() { return std::make_unique<SystemClock>(); }

}  // namespace varnoke::adapters
