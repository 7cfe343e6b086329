// A small check harness: counts checks, prints each failure with its
// section, and closes with "N passed, M failed".
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/unicode.h"

namespace varnoke::spreadsheet_standin {

class Harness {
public:
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

    template <class T>
    bool Equal(const T& actual, const T& expected, const std::string& what) {
        return Check(actual == expected, what + ": got " + Show(actual) + ", expected " + Show(expected));
    }

    static void Print(const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    // Fails a run that checked nothing.
    int Finish() const {
        Print(std::to_string(passed_) + " passed, " + std::to_string(failed_) + " failed");
        return failed_ == 0 && passed_ > 0 ? 0 : 1;
    }

    static std::string Show(const std::string& s) { return "\"" + s + "\""; }
    static std::string Show(const std::u16string& s) { return "\"" + Utf16ToUtf8(s) + "\""; }
    template <class N>
    requires std::is_integral_v<N>
    static std::string Show(N n) { return std::to_string(n); }
    template <class T>
    static std::string Show(const std::vector<T>& items) {
        std::string text = "{";
        for (std::size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + Show(items[i]);
        return text + "}";
    }

private:
    std::string section_;
    int passed_ = 0, failed_ = 0;
};

inline std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

}  // namespace varnoke::spreadsheet_standin
