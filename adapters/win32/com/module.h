// The DLL's own module: its handle and file.
#pragma once

#include <windows.h>

#include <string>

#include "adapters/win32/com/boundary.h"

namespace varnoke::com {

HMODULE ModuleHandle() noexcept;
std::wstring ModuleFileName();

}  // namespace varnoke::com
