// The shell port on POSIX desktops: xdg-open, started directly.
#pragma once

#include "hostapi/shell.h"

namespace varnoke::adapters::posix {

class XdgOpenShell final : public hostapi::IShell {
public:
    // Starts xdg-open with the URL as its only argument (no shell in
    // between) and returns once it runs, without waiting for it to finish.
    // False when it could not be started: none on PATH, not executable, or
    // an argument over the system's limit.
    bool Open(std::u16string_view url) override;
};

}  // namespace varnoke::adapters::posix
