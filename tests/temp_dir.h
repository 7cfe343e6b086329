// A fresh folder per test, removed afterwards, with helpers to write files.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "core/unicode.h"

namespace varnoke::test {

class TempDir {
public:
    TempDir() {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            // Fixed width: paths of one length from run to run.
            char name[32];
            std::snprintf(name, sizeof name, "varnoke-%08x", static_cast<unsigned>(random()));
            path_ = base / name;
            if (std::filesystem::create_directory(path_)) return;
        }
        std::abort();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::u16string Folder() const { return ToU16(path_); }
    std::u16string File(std::string_view name) const { return ToU16(path_ / name); }

    std::u16string Write(std::string_view name, std::string_view bytes) const {
        std::ofstream(path_ / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return File(name);
    }

private:
    static std::u16string ToU16(const std::filesystem::path& p) {
        const std::u8string text = p.u8string();
        return *Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    }
    std::filesystem::path path_;
};

}  // namespace varnoke::test
