#include <windows.h>

#include <string>

#include "adapters/platform.h"

namespace varnoke::adapters {
namespace {

std::wstring Wide(std::u16string_view s) { return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size()); }

bool ReplaceFile(std::u16string_view source, std::u16string_view target) {
    // Write-through: the move is on the disk when the call returns.
    return MoveFileExW(Wide(source).c_str(), Wide(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Remove(std::u16string_view path) { return DeleteFileW(Wide(path).c_str()) != 0; }

class Files final : public hostapi::IFiles {
public:
    bool ReplaceFileAtomically(std::u16string_view source, std::u16string_view target) override {
        return ReplaceFile(source, target);
    }
    bool RemoveFile(std::u16string_view path) override { return Remove(path); }
};
}  // namespace

std::unique_ptr<hostapi::IFiles> NewFiles() { return std::make_unique<Files>(); }

}  // namespace varnoke::adapters
