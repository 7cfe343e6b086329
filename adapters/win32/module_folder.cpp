// The folder of the component's own file: the DLL's, not the host program's.
#include "adapters/win32/com/module.h"
#include "hostapi/module.h"

namespace varnoke::hostapi {

std::u16string ComponentFolder() {
    const std::wstring path = com::ModuleFileName();
    const auto slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return {};
    // "C:\Varnoke.dll" gives "C:": the path rule appends the separator itself.
    return std::u16string(reinterpret_cast<const char16_t*>(path.data()), slash);
}

}  // namespace varnoke::hostapi
