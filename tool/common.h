// Helpers shared by the tool's commands.
#pragma once

#include <charconv>
#include <iostream>
#include <string>

#include "core/unicode.h"
#include "hostapi/module.h"
#include "tool/options.h"

namespace varnoke::tool {

inline constexpr int kUsageError = 2;

inline int Fail(const std::string& message) {
    std::cerr << "varnoke: " << message << '\n';
    return kUsageError;
}

// --data DIR, or else the folder holding this program (as the component does).
inline std::u16string DataFolder(const Options& o) {
    if (auto dir = o.Value("--data")) {
        if (auto folder = Utf8ToUtf16(*dir)) return *folder;
    }
    return hostapi::ComponentFolder();
}

inline bool ParseDecimal(const std::string& text, int32_t& out) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end;
}

// --locale LCID (default 1033); false when it is not a decimal number.
inline bool LocaleOption(const Options& o, int32_t& locale) {
    locale = 1033;
    auto l = o.Value("--locale");
    return !l || ParseDecimal(*l, locale);
}

int Scan(const Options& o);
int Info(const Options& o);
int Verbs(const Options& o);
int Invoke(const Options& o);
int CellRef(const Options& o);

}  // namespace varnoke::tool
