// The two creatable classes, as the class factories see them.
#pragma once

#include <windows.h>

namespace varnoke::com {

HRESULT CreateSTRecognizer(REFIID riid, void** object) noexcept;
HRESULT CreateSTAction(REFIID riid, void** object) noexcept;

}  // namespace varnoke::com
