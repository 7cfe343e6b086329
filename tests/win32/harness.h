// The check harness of the Windows test programs: counts checks, prints each
// failure with its section (and, when asked, each check that passed) as UTF-8,
// and closes with "N passed, M failed". A run that checked nothing fails.
// Checks may come from several threads.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "adapters/win32/com/com_ptr.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace varnoke::wintest {

inline std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// UTF-16 in either type: wchar_t is 16 bits here.
inline std::string Utf8(std::u16string_view text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return Utf8(std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size()));
}

inline std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

inline std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
    return out;
}

// An HRESULT, SCODE, VARTYPE or other code of at most 32 bits, as 0x%08lX.
template <class Number>
requires std::is_integral_v<Number> &&(sizeof(Number) <= sizeof(unsigned long)) inline std::string Hex(Number value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

// Quoted, with the text of a null BSTR shown as such.
inline std::string Shown(std::wstring_view text) { return "\"" + Utf8(text) + "\""; }

class Harness {
public:
    enum class Report {
        failures,    // a line for each failed check
        everyCheck,  // a line for each check, "ok" or "FAIL"
    };

    explicit Harness(Report report = Report::failures) : report_(report) {
        // UTF-8 goes out byte for byte: no CR insertion, no code page.
        _setmode(_fileno(stdout), _O_BINARY);
    }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    // Names the checks that follow, in the report.
    void Section(std::string name) {
        std::lock_guard lock(mutex_);
        section_ = std::move(name);
    }

    // `detail` is printed after `what` when the check fails.
    bool Check(bool ok, const std::string& what, const std::string& detail = {}) {
        std::lock_guard lock(mutex_);
        ++(ok ? passed_ : failed_);
        if (!ok) {
            Print("FAIL [" + section_ + "] " + what + (detail.empty() ? "" : ": " + detail));
        } else if (report_ == Report::everyCheck) {
            Print("ok   [" + section_ + "] " + what);
        }
        return ok;
    }
    bool CheckHr(HRESULT actual, HRESULT expected, const std::string& what) {
        return Check(actual == expected, what, "HRESULT " + Hex(actual) + ", expected " + Hex(expected));
    }
    // A string member's result: status and text together.
    bool CheckText(HRESULT hr, HRESULT expectedHr, std::wstring_view actual, std::wstring_view expected,
                   const std::string& what) {
        return Check(hr == expectedHr && actual == expected, what,
                     "HRESULT " + Hex(hr) + " text " + Shown(actual) + ", expected " + Hex(expectedHr) + " text " +
                         Shown(expected));
    }
    template <class Actual, class Expected>
    bool Equal(const Actual& actual, const Expected& expected, const std::string& what) {
        return Check(actual == expected, what, "got " + Show(actual) + ", expected " + Show(Actual(expected)));
    }

    static std::string Show(const std::string& s) { return "\"" + s + "\""; }
    static std::string Show(const std::wstring& s) { return Shown(s); }
    static std::string Show(const std::u16string& s) { return "\"" + Utf8(s) + "\""; }
    static std::string Show(bool b) { return b ? "true" : "false"; }
    template <class Number>
    requires std::is_integral_v<Number>
    static std::string Show(Number n) { return std::to_string(n); }
    template <class T>
    static std::string Show(const std::vector<T>& items) {
        std::string text = "{";
        for (std::size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + Show(items[i]);
        return text + "}";
    }

    static void Print(const std::string& line) {
        const std::string out = line + "\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
    }

    int Finish() {
        std::lock_guard lock(mutex_);
        Print(std::to_string(passed_) + " passed, " + std::to_string(failed_) + " failed");
        return failed_ == 0 && passed_ > 0 ? 0 : 1;
    }

private:
    const Report report_;
    std::mutex mutex_;
    std::string section_ = "setup";
    int passed_ = 0;
    int failed_ = 0;
};

// The class registered for `progId` as I, each step checked.
template <class I>
com::com_ptr<I> Create(Harness& h, const wchar_t* progId, const std::string& what) {
    com::com_ptr<I> object;
    const HRESULT hr = com::CreateByProgId(progId, object);
    h.Check(hr == S_OK && object, what + ": an instance of " + Utf8(progId) + ", HRESULT " + Hex(hr));
    return object;
}

}  // namespace varnoke::wintest
