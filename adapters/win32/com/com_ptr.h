// The component's owning types for COM: interface pointers, BSTRs and
// VARIANTs, each released exactly once by its destructor. Names follow the
// platform's C++ helper libraries (com_ptr, unique_bstr, unique_variant).
#pragma once

#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>

#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace varnoke::com {

template <class T>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Takes its own reference to a borrowed pointer.
    com_ptr(T* p) noexcept : p_(p) {
        if (p_) p_->AddRef();
    }
    com_ptr(const com_ptr& other) noexcept : com_ptr(other.p_) {}
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    com_ptr& operator=(com_ptr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~com_ptr() { reset(); }

    void reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // For out-parameters: releases what is held first.
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    // Adopts a reference the caller already owns.
    void attach(T* p) noexcept {
        reset();
        p_ = p;
    }
    T* detach() noexcept { return std::exchange(p_, nullptr); }

    template <class U>
    HRESULT query_to(com_ptr<U>& out) const noexcept {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(__uuidof(U), out.put_void());
    }
    // Hands a new reference to an out-parameter.
    HRESULT copy_to(T** out) const noexcept {
        *out = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }

private:
    T* p_ = nullptr;
};

class unique_bstr {
public:
    unique_bstr() noexcept = default;
    explicit unique_bstr(BSTR s) noexcept : s_(s) {}
    unique_bstr(unique_bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
    unique_bstr& operator=(unique_bstr&& other) noexcept {
        reset(std::exchange(other.s_, nullptr));
        return *this;
    }
    unique_bstr(const unique_bstr&) = delete;
    unique_bstr& operator=(const unique_bstr&) = delete;
    ~unique_bstr() { reset(); }

    void reset(BSTR s = nullptr) noexcept {
        if (s_) SysFreeString(s_);
        s_ = s;
    }
    BSTR get() const noexcept { return s_; }
    BSTR* put() noexcept {
        reset();
        return &s_;
    }
    BSTR release() noexcept { return std::exchange(s_, nullptr); }

private:
    BSTR s_ = nullptr;
};

class unique_variant {
public:
    unique_variant() noexcept { VariantInit(&v_); }
    unique_variant(unique_variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    ~unique_variant() { VariantClear(&v_); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;

    VARIANT* get() noexcept { return &v_; }
    const VARIANT* get() const noexcept { return &v_; }
    VARIANT* operator->() noexcept { return &v_; }
    const VARIANT* operator->() const noexcept { return &v_; }
    // For out-parameters: clears what is held first.
    VARIANT* put() noexcept {
        VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

// A BSTR's text without copying; a null BSTR is the empty string.
inline std::u16string_view View(BSTR s) noexcept {
    return s ? std::u16string_view(reinterpret_cast<const char16_t*>(s), SysStringLen(s)) : std::u16string_view();
}

// A new BSTR holding `text`; throws std::bad_alloc when none can be had.
inline unique_bstr MakeBstr(std::u16string_view text) {
    BSTR s = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    if (!s) throw std::bad_alloc();
    return unique_bstr(s);
}

// An in-process instance of the class registered for `progId`, as I; the
// class's CLSID in `clsid` when asked.
template <class I>
HRESULT CreateByProgId(const wchar_t* progId, com_ptr<I>& object, CLSID* clsid = nullptr) {
    CLSID found{};
    HRESULT hr = CLSIDFromProgID(progId, &found);
    if (clsid) *clsid = found;
    if (SUCCEEDED(hr)) hr = CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I), object.put_void());
    return hr;
}

// Arguments for IDispatch::Invoke. A string or an object is borrowed, not
// owned: it must outlive the call, and the argument is never cleared.
inline VARIANTARG BoolArg(bool value) {
    VARIANTARG v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}
inline VARIANTARG LongArg(LONG value) {
    VARIANTARG v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
inline VARIANTARG ShortArg(SHORT value) {
    VARIANTARG v;
    VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}
inline VARIANTARG StringArg(BSTR value) {
    VARIANTARG v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = value;
    return v;
}
inline VARIANTARG ObjectArg(IDispatch* value) {
    VARIANTARG v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = value;
    return v;
}

}  // namespace varnoke::com
