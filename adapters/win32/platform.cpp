#include "adapters/platform.h"

#include <windows.h>

#include "adapters/win32/msxml_document.h"
#include "adapters/win32/shell_execute.h"

namespace varnoke::adapters {

std::optional<std::u16string> DecodeCodePage(unsigned codePage, std::string_view bytes) {
    if (codePage != 950 && codePage != 936) return std::nullopt;
    if (bytes.empty()) return std::u16string();
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::u16string text(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()),
                        length);
    return text;
}

std::unique_ptr<hostapi::IXmlDocumentFactory> NewXmlDocumentFactory() {
    return std::make_unique<win32::MsxmlDocumentFactory>();
}

std::unique_ptr<hostapi::IShell> NewDesktopShell() { return std::make_unique<win32::ShellExecuteShell>(); }

namespace {
class SystemClock final : public hostapi::IClock {
public:
    hostapi::LocalDateTime Now() override {
        SYSTEMTIME t;
        GetLocalTime(&t);
        return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
    }
    std::int64_t UtcSeconds() override {
        FILETIME t;
        GetSystemTimeAsFileTime(&t);
        // 100 ns ticks since 1601-01-01.
        const auto ticks = (static_cast<std::int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        return ticks / 10000000 - 11644473600LL;
    }
};
}  // namespace

std::unique_ptr<hostapi::IClock> NewSystemClock() { return std::make_unique<SystemClock>(); }

}  // namespace varnoke::adapters
