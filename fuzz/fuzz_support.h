// What the fuzz targets share: a scratch data folder per process, input
// bytes as a data file, and input bytes as UTF-16 text.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "core/unicode.h"

namespace varnoke::fuzz {

// A folder of its own for this process, removed at exit.
inline const std::filesystem::path& ScratchFolder() {
    static const std::filesystem::path folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::filesystem::path p =
            std::filesystem::path(base ? base : "/tmp") / ("varnoke-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(p);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchFolder(), ignored);
        });
        return p;
    }();
    return folder;
}

inline std::u16string Utf16Path(const std::filesystem::path& p) { return *Utf8ToUtf16(p.string()); }

// Writes `bytes` as the file `name` in the scratch folder; its path.
inline std::filesystem::path WriteFile(std::string_view name, const uint8_t* data, size_t size) {
    const auto path = ScratchFolder() / std::string(name);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

// Pairs of bytes as code units, unpaired surrogates and all.
inline std::u16string Units(const uint8_t* data, size_t size) {
    std::u16string text(size / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    return text;
}

// Fails the run with a message: a finding.
[[noreturn]] inline void Finding(const std::string& what) {
    std::fprintf(stderr, "finding: %s\n", what.c_str());
    std::abort();
}

}  // namespace varnoke::fuzz
