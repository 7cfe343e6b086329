// Out-parameters and argument conversions shared by the class shells.
#pragma once

#include <string>

#include "adapters/win32/com/boundary.h"
#include "adapters/win32/com/com_ptr.h"

namespace varnoke::com {

// The path a load method receives: a string variant, or anything that
// converts to one (a path the conversion refuses is no path).
inline std::u16string PathFromVariant(const VARIANT* v) {
    unique_variant text;
    if (!v || FAILED(VariantChangeType(text.get(), const_cast<VARIANT*>(v), 0, VT_BSTR))) return {};
    return std::u16string(View(text->bstrVal));
}

// A member returning a string that cannot fail but for memory.
template <class F>
HRESULT OutString(BSTR* out, F&& member) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Boundary([&] {
        *out = MakeBstr(member()).release();
        return S_OK;
    });
}

// A member returning a Status and a string; the string is empty on failure.
template <class F>
HRESULT OutStringWithStatus(BSTR* out, F&& member) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Boundary([&] {
        std::u16string text;
        if (const Status s = member(text); !Succeeded(s)) return HResultFromStatus(s);
        *out = MakeBstr(text).release();
        return S_OK;
    });
}

}  // namespace varnoke::com
