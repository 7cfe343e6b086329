// The host's type library registered for a test program's run, as the host
// application's set-up does, and unregistered at the end unless it was
// registered before.
#pragma once

#include <oleauto.h>
#include <windows.h>

#include <string>

#include "adapters/win32/com/com_ptr.h"
#include "smarttaglib.h"
#include "tests/win32/harness.h"

namespace varnoke::wintest {

// The type libraries this build registers.
inline constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

class HostLibraryForRun {
public:
    HostLibraryForRun(Harness& h, const std::wstring& tlb) : h_(h) {
        com::com_ptr<ITypeLib> probe;
        wasRegistered_ = SUCCEEDED(LoadRegTypeLib(LIBID_SmartTagLib, 1, 2, 0, probe.put()));
        probe.reset();
        h.CheckHr(LoadTypeLibEx(tlb.c_str(), REGKIND_REGISTER, library_.put()), S_OK,
                  "LoadTypeLibEx(" + Utf8(tlb) + ", REGKIND_REGISTER)");
    }
    ~HostLibraryForRun() { End(); }
    HostLibraryForRun(const HostLibraryForRun&) = delete;
    HostLibraryForRun& operator=(const HostLibraryForRun&) = delete;

    // Where the run's teardown checks it: before COM is uninitialized.
    void End() {
        if (ended_) return;
        ended_ = true;
        library_.reset();
        if (!wasRegistered_)
            h_.CheckHr(UnRegisterTypeLib(LIBID_SmartTagLib, 1, 2, 0, kSysKind), S_OK, "unregistering the host library");
    }

private:
    Harness& h_;
    com::com_ptr<ITypeLib> library_;
    bool wasRegistered_ = false;
    bool ended_ = false;
};

}  // namespace varnoke::wintest
