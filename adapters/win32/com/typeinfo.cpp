#include <mutex>
#include <vector>

#include "adapters/win32/com/com_object.h"
#include "adapters/win32/com/module.h"

namespace varnoke::com {
namespace {

// The host's smart-tag library; the host application registers it.
constexpr GUID kSmartTagLibId = {0x9B92EB61, 0xCBC1, 0x11D3, {0x8C, 0x2D, 0x00, 0xA0, 0xCC, 0x37, 0xB5, 0x91}};

struct Cached {
    IID iid;
    bool forInvoke;
    com_ptr<ITypeInfo> info;
};

std::mutex cacheLock;
// Successes only: a library registered later is still found. Never
// destroyed: releasing type information at DLL detach would call into the
// automation library under the loader lock, where its own locks may wait;
// it is emptied instead when COM asks whether the DLL may unload.
std::vector<Cached>& cache = *new std::vector<Cached>;

HRESULT Lookup(REFIID iid, bool forInvoke, com_ptr<ITypeInfo>& out) {
    com_ptr<ITypeLib> own;
    HRESULT hr = LoadTypeLibEx(ModuleFileName().c_str(), REGKIND_NONE, own.put());
    if (SUCCEEDED(hr)) hr = own->GetTypeInfoOfGuid(iid, out.put());
    if (FAILED(hr)) {
        com_ptr<ITypeLib> host;
        hr = LoadRegTypeLib(kSmartTagLibId, 1, 2, 0, host.put());
        if (SUCCEEDED(hr)) hr = host->GetTypeInfoOfGuid(iid, out.put());
        if (FAILED(hr)) return hr;
    }
    if (!forInvoke) return S_OK;
    // A dual interface's dispatch half names the vtable half as implemented type -1.
    TYPEATTR* attr = nullptr;
    if (FAILED(hr = out->GetTypeAttr(&attr))) return hr;
    const bool dispatchHalf = attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL);
    out->ReleaseTypeAttr(attr);
    if (!dispatchHalf) return S_OK;
    HREFTYPE vtableHalf = 0;
    if (FAILED(hr = out->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf))) return hr;
    com_ptr<ITypeInfo> dual = out;
    return dual->GetRefTypeInfo(vtableHalf, out.put());
}

}  // namespace

HRESULT GetInterfaceTypeInfo(REFIID iid, bool forInvoke, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    return Boundary([&] {
        std::lock_guard lock(cacheLock);
        for (const Cached& c : cache)
            if (c.iid == iid && c.forInvoke == forInvoke) return c.info.copy_to(info);
        com_ptr<ITypeInfo> found;
        if (HRESULT hr = Lookup(iid, forInvoke, found); FAILED(hr)) return hr;
        cache.push_back({iid, forInvoke, found});
        return found.copy_to(info);
    });
}

void ReleaseTypeInfoCache() noexcept {
    std::vector<Cached> released;
    {
        std::lock_guard lock(cacheLock);
        released.swap(cache);
    }
}

}  // namespace varnoke::com
