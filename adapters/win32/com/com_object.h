// ComObject<Derived, Interfaces...>: reference counting, QueryInterface from
// the interface list, and IDispatch from the type library, written once.
//
//   class Thing final : public ComObject<Thing, Dual<IFoo>, Dual<IBar>> { ... };
//
// The first interface is the default one: IUnknown and IDispatch queries
// answer with it. Each Dual<I> serves IDispatch for I from I's own type
// information, so every dual interface dispatches to its own members.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <new>
#include <type_traits>

#include "adapters/win32/com/com_ptr.h"

namespace varnoke::com {

// Objects alive and server locks held: the DLL may unload only at 0 and 0.
struct ModuleCounts {
    static inline std::atomic<long> objects{0};
    static inline std::atomic<long> locks{0};
};

// The type information of interface `iid`, from the component's embedded
// library or, for the host's interfaces, from the host's registered one.
// `forInvoke` asks for the vtable half of a dual interface.
HRESULT GetInterfaceTypeInfo(REFIID iid, bool forInvoke, ITypeInfo** info) noexcept;
// Drops the cached type information; called only when no object is alive,
// outside the loader lock, so the automation library is never called at detach.
void ReleaseTypeInfoCache() noexcept;

template <class I>
class Dual : public I {
public:
    using Interface = I;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return GetInterfaceTypeInfo(__uuidof(I), false, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        com_ptr<ITypeInfo> info;
        if (HRESULT hr = GetInterfaceTypeInfo(__uuidof(I), true, info.put()); FAILED(hr)) return hr;
        return DispGetIDsOfNames(info.get(), names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excepInfo, UINT* argError) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        com_ptr<ITypeInfo> info;
        if (HRESULT hr = GetInterfaceTypeInfo(__uuidof(I), true, info.put()); FAILED(hr)) return hr;
        return DispInvoke(static_cast<I*>(this), info.get(), id, flags, params, result, excepInfo, argError);
    }
};

// An interface served without IDispatch, such as a callback a system
// component calls.
template <class I>
class Plain : public I {
public:
    using Interface = I;
};

template <class Derived, class First, class... Rest>
class ComObject : public First, public Rest... {
public:
    // Creates an object, runs its construction (Derived::FinalConstruct) and
    // hands out the interface asked for; no object escapes a failed construction.
    static HRESULT CreateInstance(REFIID riid, void** object) noexcept {
        if (!object) return E_POINTER;
        *object = nullptr;
        Derived* created = new (std::nothrow) Derived();
        if (!created) return E_OUTOFMEMORY;
        HRESULT hr = created->FinalConstruct();
        if (SUCCEEDED(hr)) hr = created->QueryInterface(riid, object);
        created->Release();
        return hr;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown ||
            (riid == IID_IDispatch && std::is_base_of_v<IDispatch, typename First::Interface>)) {
            *object = static_cast<typename First::Interface*>(static_cast<First*>(this));
        } else if (!(Find<First>(riid, object) || (Find<Rest>(riid, object) || ...))) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }
    // The count as it stands, for the tests' own objects.
    ULONG References() const noexcept { return references_; }

protected:
    ComObject() noexcept { ++ModuleCounts::objects; }
    virtual ~ComObject() { --ModuleCounts::objects; }
    HRESULT FinalConstruct() { return S_OK; }

private:
    template <class Base>
    bool Find(REFIID riid, void** object) noexcept {
        using I = typename Base::Interface;
        if (riid != __uuidof(I)) return false;
        *object = static_cast<I*>(static_cast<Base*>(this));
        return true;
    }

    std::atomic<ULONG> references_{1};
};

}  // namespace varnoke::com
