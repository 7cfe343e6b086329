// The in-process server: class factories and the four exports.
#include <windows.h>

#include "adapters/win32/com/com_object.h"
#include "component/classes.h"
#include "component/registration.h"
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

}  // namespace
}  // namespace varnoke::com

using varnoke::com::ModuleCounts;

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid == __uuidof(STRecognizer)) return varnoke::com::recognizerFactory.QueryInterface(riid, object);
    if (clsid == __uuidof(STAction)) return varnoke::com::actionFactory.QueryInterface(riid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
    return ModuleCounts::objects == 0 && ModuleCounts::locks == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT __stdcall DllRegisterServer() { return varnoke::com::RegisterServer(); }

extern "C" HRESULT __stdcall DllUnregisterServer() { return varnoke::com::UnregisterServer(); }
