// A tiny check harness for the Windows test programs: counts checks, prints
// each failure (with the HRESULT involved) as UTF-8 and a closing summary.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace varnoke::wintest {

inline std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

inline std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
    return out;
}

inline std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// Quoted, with the text of a null BSTR shown as such.
inline std::string Shown(std::wstring_view text) { return "\"" + Utf8(text) + "\""; }

class Harness {
public:
    Harness() {
        // UTF-8 goes out byte for byte: no CR insertion, no code page.
        _setmode(_fileno(stdout), _O_BINARY);
    }

    void Section(std::string name) { section_ = std::move(name); }

    bool Check(bool ok, const std::string& what) {
        if (ok) {
            ++passed_;
        } else {
            ++failed_;
            Print("FAIL [" + section_ + "] " + what);
        }
        return ok;
    }
    bool CheckHr(HRESULT actual, HRESULT expected, const std::string& what) {
        return Check(actual == expected, what + ": HRESULT " + Hex(actual) + ", expected " + Hex(expected));
    }
    // A string member's result: status and text together.
    bool CheckText(HRESULT hr, HRESULT expectedHr, std::wstring_view actual, std::wstring_view expected,
                   const std::string& what) {
        return Check(hr == expectedHr && actual == expected,
                     what + ": HRESULT " + Hex(hr) + " text " + Shown(actual) + ", expected " + Hex(expectedHr) +
                         " text " + Shown(expected));
    }

    static void Print(const std::string& line) {
        const std::string out = line + "\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
    }

    int Finish() {
        Print(std::to_string(passed_) + " passed, " + std::to_string(failed_) + " failed");
        return failed_ == 0 && passed_ > 0 ? 0 : 1;
    }

private:
    std::string section_ = "setup";
    int passed_ = 0;
    int failed_ = 0;
};

}  // namespace varnoke::wintest
