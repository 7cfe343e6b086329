// A shell that opens nothing and records what it was asked to open.
#pragma once

#include <string>
#include <vector>

#include "hostapi/shell.h"

namespace varnoke::standins {

class RecordingShell final : public hostapi::IShell {
public:
    bool fail = false;
    std::vector<std::u16string> opened;

    bool Open(std::u16string_view url) override {
        opened.emplace_back(url);
        return !fail;
    }
};

}  // namespace varnoke::standins
