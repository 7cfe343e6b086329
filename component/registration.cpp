// Registration writes, per class:
//   HKCR\CLSID\{clsid}                 = ProgID
//              \InprocServer32         = this file; ThreadingModel = Apartment
//              \ProgID                 = VarnokeST.<class>
//              \TypeLib                = {LIBID}
//              \VERSION                = 1.0
//   HKCR\VarnokeST.<class>             = ProgID
//                        \Clsid        = {clsid}
// and registers the embedded type library, whose two dual default interfaces
// are then marshalled through it. The host's own keys are never touched.
#include "component/registration.h"

#include <oleauto.h>

#include <string>

#include "adapters/win32/com/com_ptr.h"
#include "adapters/win32/com/module.h"
#include "varnoke.h"

namespace varnoke::com {
namespace {

struct ClassEntry {
    CLSID clsid;
    const wchar_t* progId;
};

const ClassEntry kClasses[] = {
    {__uuidof(STRecognizer), L"VarnokeST.STRecognizer"},
    {__uuidof(STAction), L"VarnokeST.STAction"},
};

#if defined(_WIN64)
constexpr SYSKIND kSysKind = SYS_WIN64;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
#endif

class unique_hkey {
public:
    unique_hkey() = default;
    unique_hkey(const unique_hkey&) = delete;
    unique_hkey& operator=(const unique_hkey&) = delete;
    ~unique_hkey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY get() const { return key_; }
    HKEY* put() { return &key_; }

private:
    HKEY key_ = nullptr;
};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

HRESULT SetValue(const std::wstring& subkey, const wchar_t* name, const std::wstring& value) {
    unique_hkey key;
    LONG rc =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(rc);
}

HRESULT DeleteTree(const std::wstring& subkey) {
    const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, subkey.c_str());
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
        RegDeleteKeyW(HKEY_CLASSES_ROOT, subkey.c_str());
        return S_OK;
    }
    return HRESULT_FROM_WIN32(rc);
}

HRESULT RegisterClassKeys(const ClassEntry& c, const std::wstring& file) {
    const std::wstring clsidKey = L"CLSID\\" + GuidText(c.clsid);
    const std::wstring libid = GuidText(LIBID_VarnokeST);
    HRESULT hr;
    if (FAILED(hr = SetValue(clsidKey, nullptr, c.progId))) return hr;
    if (FAILED(hr = SetValue(clsidKey + L"\\InprocServer32", nullptr, file))) return hr;
    if (FAILED(hr = SetValue(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"))) return hr;
    if (FAILED(hr = SetValue(clsidKey + L"\\ProgID", nullptr, c.progId))) return hr;
    if (FAILED(hr = SetValue(clsidKey + L"\\TypeLib", nullptr, libid))) return hr;
    if (FAILED(hr = SetValue(clsidKey + L"\\VERSION", nullptr, L"1.0"))) return hr;
    if (FAILED(hr = SetValue(c.progId, nullptr, c.progId))) return hr;
    return SetValue(std::wstring(c.progId) + L"\\Clsid", nullptr, GuidText(c.clsid));
}

}  // namespace

HRESULT RegisterServer() noexcept {
    HRESULT hr = Boundary([] {
        const std::wstring file = ModuleFileName();
        com_ptr<ITypeLib> library;
        HRESULT hr = LoadTypeLibEx(file.c_str(), REGKIND_NONE, library.put());
        if (SUCCEEDED(hr)) hr = RegisterTypeLib(library.get(), const_cast<OLECHAR*>(file.c_str()), nullptr);
        for (const ClassEntry& c : kClasses)
            if (SUCCEEDED(hr)) hr = RegisterClassKeys(c, file);
        return hr;
    });
    if (FAILED(hr)) UnregisterServer();
    return hr;
}

HRESULT UnregisterServer() noexcept {
    return Boundary([] {
        HRESULT result = S_OK;
        for (const ClassEntry& c : kClasses) {
            // A ProgID that now names another class belongs to someone else.
            std::wstring registered(40, L'\0');
            LONG size = static_cast<LONG>(registered.size() * sizeof(wchar_t));
            const std::wstring clsidOfProgId = std::wstring(c.progId) + L"\\Clsid";
            if (RegQueryValueW(HKEY_CLASSES_ROOT, clsidOfProgId.c_str(), registered.data(), &size) != ERROR_SUCCESS ||
                _wcsicmp(registered.c_str(), GuidText(c.clsid).c_str()) == 0) {
                if (HRESULT hr = DeleteTree(c.progId); FAILED(hr)) result = hr;
            }
            if (HRESULT hr = DeleteTree(L"CLSID\\" + GuidText(c.clsid)); FAILED(hr)) result = hr;
        }
        const HRESULT hr = UnRegisterTypeLib(LIBID_VarnokeST, 1, 0, 1033, kSysKind);
        if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_CANTLOADLIBRARY && hr != TYPE_E_LIBNOTREGISTERED)
            result = hr;
        return result;
    });
}

}  // namespace varnoke::com
