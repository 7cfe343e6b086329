// The in-process server: class factories, the four exports and the
// per-thread records' lifetime.
#include <windows.h>

#include "adapters/win32/com/com_object.h"
#include "component/classes.h"
#include "component/registration.h"
#include "core/thread_records.h"
#include "varnoke.h"

namespace varnoke::com {
namespace {

// Factories live as long as the DLL: they count neither as objects nor,
// unless locked, against unloading.
class ClassFactory final : public IClassFactory {
public:
    using Create = HRESULT (*)(REFIID, void**) noexcept;
    explicit constexpr ClassFactory(Create create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(riid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        lock ? ++ModuleCounts::locks : --ModuleCounts::locks;
        return S_OK;
    }

private:
    Create create_;
};

ClassFactory recognizerFactory(CreateSTRecognizer);
ClassFactory actionFactory(CreateSTAction);

// Each thread's records hang in a TLS slot of the DLL's own. The runtime's
// thread_local storage is torn down by its own detach callbacks, which run
// before DllMain; a TLS slot stays readable until the thread is gone.
DWORD recordSlot = TLS_OUT_OF_INDEXES;

void* GetRecords() noexcept {
    const DWORD error = GetLastError();  // TlsGetValue clears it
    void* records = TlsGetValue(recordSlot);
    SetLastError(error);
    return records;
}
void SetRecords(void* records) noexcept { TlsSetValue(recordSlot, records); }

}  // namespace
}  // namespace varnoke::com

// Frees the per-thread records and nothing else: no waiting, no calls into
// other components. The DLL holds no reference to itself, so it unloads
// whenever COM finds no object alive and no lock.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void* reserved) {
    using namespace varnoke::com;
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            recordSlot = TlsAlloc();
            if (recordSlot == TLS_OUT_OF_INDEXES) return FALSE;
            varnoke::UseThreadSlot({&GetRecords, &SetRecords});
            break;
        case DLL_THREAD_DETACH: varnoke::FreeThisThreadRecords(); break;
        case DLL_PROCESS_DETACH:
            // At process exit other threads were stopped wherever they were:
            // the memory goes with the process.
            if (reserved) break;
            varnoke::FreeAllThreadRecords();
            TlsFree(recordSlot);
            break;
        default: break;
    }
    return TRUE;
}

using varnoke::com::ModuleCounts;

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid == __uuidof(STRecognizer)) return varnoke::com::recognizerFactory.QueryInterface(riid, object);
    if (clsid == __uuidof(STAction)) return varnoke::com::actionFactory.QueryInterface(riid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
    if (ModuleCounts::objects != 0 || ModuleCounts::locks != 0) return S_FALSE;
    // The unload that may follow must not leave the type information held.
    varnoke::com::ReleaseTypeInfoCache();
    return S_OK;
}

extern "C" HRESULT __stdcall DllRegisterServer() { return varnoke::com::RegisterServer(); }

extern "C" HRESULT __stdcall DllUnregisterServer() { return varnoke::com::UnregisterServer(); }
