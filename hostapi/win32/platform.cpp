#include "hostapi/platform.h"

#include <windows.h>

#include "hostapi/win32/msxml_document.h"
#include "hostapi/win32/shell_execute.h"

namespace varnoke::hostapi {

std::unique_ptr<IXmlDocumentFactory> NewXmlDocumentFactory() {
    return std::make_unique<win32::MsxmlDocumentFactory>();
}

std::unique_ptr<IShell> NewDesktopShell() { return std::make_unique<win32::ShellExecuteShell>(); }

namespace {
class SystemClock final : public IClock {
public:
    LocalDateTime Now() override {
        SYSTEMTIME t;
        GetLocalTime(&t);
        return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
    }
};
}  // namespace

std::unique_ptr<IClock> NewSystemClock() { return std::make_unique<SystemClock>(); }

}  // namespace varnoke::hostapi
