// Self-registration: the type library and both classes, and their removal.
#pragma once

#include <windows.h>

namespace varnoke::com {

// Writes every key and registers the embedded type library; on any failure
// removes what it wrote and returns the error.
HRESULT RegisterServer() noexcept;
// Removes exactly what RegisterServer writes.
HRESULT UnregisterServer() noexcept;

}  // namespace varnoke::com
