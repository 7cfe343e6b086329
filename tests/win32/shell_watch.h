// Watches what one module hands to the shell: its import-table entries for
// the shell's execute functions are pointed at recorders. A recorder notes
// the file and passes only plain web addresses on to the real shell, so a
// faulty component under test cannot start programs or leave stray browser
// starts behind; the test sees every call, whatever the shell would have
// done with it.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace varnoke::wintest {

struct ShellCall {
    std::string function;
    std::wstring file;
    bool passedOn;
};

class ShellWatch {
public:
    static std::vector<ShellCall>& Calls() {
        static std::vector<ShellCall> calls;
        return calls;
    }

    // The number of import entries replaced in `module`.
    static int Install(HMODULE module) {
        int patched = 0;
        patched += Patch(module, "ShellExecuteA", reinterpret_cast<void*>(&RecordA), &originalA_);
        patched += Patch(module, "ShellExecuteW", reinterpret_cast<void*>(&RecordW), &originalW_);
        patched += Patch(module, "ShellExecuteExA", reinterpret_cast<void*>(&RecordExA), &originalExA_);
        patched += Patch(module, "ShellExecuteExW", reinterpret_cast<void*>(&RecordExW), &originalExW_);
        return patched;
    }

private:
    static bool IsWeb(const std::wstring& file) {
        if (_wcsnicmp(file.c_str(), L"http://", 7) != 0 && _wcsnicmp(file.c_str(), L"https://", 8) != 0) return false;
        for (wchar_t c : file)
            if (c <= L' ' || c == L'"') return false;
        return true;
    }
    static std::wstring FromAnsi(LPCSTR text) {
        if (!text) return {};
        const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        std::wstring out(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), size);
        out.resize(out.size() - 1);
        return out;
    }
    // What a refused call returns: "file not found".
    static HINSTANCE Refused() { return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_FNF)); }

    static HINSTANCE WINAPI RecordA(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT show) {
        const std::wstring wide = FromAnsi(file);
        Calls().push_back({"ShellExecuteA", wide, IsWeb(wide)});
        if (!IsWeb(wide)) return Refused();
        return reinterpret_cast<decltype(&ShellExecuteA)>(originalA_)(window, verb, file, parameters, folder, show);
    }
    static HINSTANCE WINAPI RecordW(HWND window, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder,
                                    INT show) {
        const std::wstring wide = file ? file : L"";
        Calls().push_back({"ShellExecuteW", wide, IsWeb(wide)});
        if (!IsWeb(wide)) return Refused();
        return reinterpret_cast<decltype(&ShellExecuteW)>(originalW_)(window, verb, file, parameters, folder, show);
    }
    static BOOL WINAPI RecordExA(SHELLEXECUTEINFOA* info) {
        const std::wstring wide = info ? FromAnsi(info->lpFile) : L"";
        Calls().push_back({"ShellExecuteExA", wide, IsWeb(wide)});
        if (!IsWeb(wide)) return FALSE;
        return reinterpret_cast<decltype(&ShellExecuteExA)>(originalExA_)(info);
    }
    static BOOL WINAPI RecordExW(SHELLEXECUTEINFOW* info) {
        const std::wstring wide = info && info->lpFile ? info->lpFile : L"";
        Calls().push_back({"ShellExecuteExW", wide, IsWeb(wide)});
        if (!IsWeb(wide)) return FALSE;
        return reinterpret_cast<decltype(&ShellExecuteExW)>(originalExW_)(info);
    }

    static int Patch(HMODULE module, const char* function, void* replacement, ULONG_PTR* original) {
        auto* base = reinterpret_cast<BYTE*>(module);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (imports.VirtualAddress == 0) return 0;
        int patched = 0;
        for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
            if (_stricmp(reinterpret_cast<const char*>(base + d->Name), "shell32.dll") != 0) continue;
            if (d->OriginalFirstThunk == 0) continue;  // no names left to match
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
                DWORD protection = 0;
                if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection))
                    continue;
                *original = slots->u1.Function;
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
                ++patched;
            }
        }
        return patched;
    }

    static inline ULONG_PTR originalA_ = 0;
    static inline ULONG_PTR originalW_ = 0;
    static inline ULONG_PTR originalExA_ = 0;
    static inline ULONG_PTR originalExW_ = 0;
};

}  // namespace varnoke::wintest
