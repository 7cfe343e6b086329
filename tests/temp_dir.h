// A fresh folder per test, removed afterwards, with helpers to write files.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "component/unicode.h"

namespace varnoke::testing {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnoke-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::u16string Folder() const { return *Utf8ToUtf16(path_.string()); }
    std::u16string File(std::string_view name) const { return *Utf8ToUtf16((path_ / name).string()); }

    std::u16string Write(std::string_view name, std::string_view bytes) const {
        std::ofstream(path_ / name, std::ios::binary).write(bytes.data(),
                                                            static_cast<std::streamsize>(bytes.size()));
        return File(name);
    }

private:
    std::filesystem::path path_;
};

}  // namespace varnoke::testing
