// Helpers shared by the tool's commands.
#pragma once

#include <charconv>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>

#include "core/unicode.h"
#include "hostapi/module.h"
#include "tool/options.h"

namespace varnoke::tool {

inline constexpr int kUsageError = 2;

inline int Fail(const std::string& message) {
    std::cerr << "varnoke: " << message << '\n';
    return kUsageError;
}

// --data DIR, or else the folder holding this program (as the component does);
// nothing, with `error` set, when DIR is no usable folder name.
// DIR is made absolute, so a relative folder such as "http:/" is plainly a
// local folder in every path formed from it (the loaders read files only).
inline std::optional<std::u16string> DataFolder(const Options& o, std::string& error) {
    const auto dir = o.Value("--data");
#if defined(VARNOKE_DATA_DIR)
    // A system-wide package's data folder, which users may not write.
    if (!dir) return Utf8ToUtf16(VARNOKE_DATA_DIR).value_or(u"");
#else
    if (!dir) return hostapi::ComponentFolder();
#endif
    const std::size_t bad = FirstInvalidUtf8(*dir);
    if (bad != std::string::npos) {
        error = "--data: invalid UTF-8 at byte " + std::to_string(bad);
        return std::nullopt;
    }
    if (dir->empty()) {
        error = "--data needs a folder name";
        return std::nullopt;
    }
    try {
        std::error_code failed;
        const auto absolute = std::filesystem::absolute(std::filesystem::path(*Utf8ToUtf16(*dir)), failed);
        if (!failed) return absolute.u16string();
        error = "--data: cannot make " + *dir + " absolute: " + failed.message();
    } catch (const std::system_error& e) {  // the current folder's name is not UTF-8
        error = "--data: cannot make " + *dir + " absolute: " + e.what();
    }
    return std::nullopt;
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
int Check(const Options& o);
int StatusCommand(const Options& o);
int Publish(const Options& o);
int Refresh(const Options& o);

}  // namespace varnoke::tool
