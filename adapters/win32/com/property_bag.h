// A property bag as a host hands one out: the ISmartTagProperties members
// over a base that counts references and answers IDispatch, so that each
// user keeps its own kind of object (a ComObject for the tool, the tests'
// own host objects) and the bag is written once.
//
//   class Bag final : public BasicPropertyBag<ComObject<Bag, Dual<::ISmartTagProperties>>> {};
//
// One value per key, in the order the keys were first written; writing a key
// again replaces its value, and a key never written reads as empty. Header
// only: a test built from one source file uses it too.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "adapters/win32/com/boundary.h"
#include "smarttaglib.h"

namespace varnoke::com {

template <class Base>
class BasicPropertyBag : public Base {
public:
    std::vector<std::pair<std::wstring, std::wstring>> properties;

    STDMETHODIMP get_Read(BSTR key, BSTR* value) override {
        if (!value) return E_POINTER;
        *value = nullptr;
        // The latest pair for the key, should a user have stored it twice.
        std::wstring_view found;
        for (const auto& [k, v] : properties)
            if (k == BstrText(key)) found = v;
        *value = SysAllocStringLen(found.data(), static_cast<UINT>(found.size()));
        return *value ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP Write(BSTR key, BSTR value) override {
        return Boundary([&] {
            for (auto& [k, v] : properties)
                if (k == BstrText(key)) {
                    v = BstrText(value);
                    return S_OK;
                }
            properties.emplace_back(BstrText(key), BstrText(value));
            return S_OK;
        });
    }
    STDMETHODIMP get_Count(int* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<int>(properties.size());
        return S_OK;
    }
    STDMETHODIMP get_KeyFromIndex(int index, BSTR* key) override { return Item(index, true, key); }
    STDMETHODIMP get_ValueFromIndex(int index, BSTR* value) override { return Item(index, false, value); }

private:
    // A BSTR's text; a null BSTR is the empty string.
    static std::wstring_view BstrText(BSTR s) noexcept {
        return s ? std::wstring_view(s, SysStringLen(s)) : std::wstring_view();
    }

    HRESULT Item(int index, bool key, BSTR* out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index < 0 || static_cast<std::size_t>(index) >= properties.size()) return E_INVALIDARG;
        const auto& [k, v] = properties[static_cast<std::size_t>(index)];
        const std::wstring& text = key ? k : v;
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }
};

}  // namespace varnoke::com
