// The shell's "open": hands an address to the system's default handler for
// it (normally a web browser) and returns without waiting for the page.
#pragma once

#include <string_view>

namespace varnoke::hostapi {

class IShell {
public:
    virtual ~IShell() = default;
    // False when the request could not even be handed over.
    virtual bool Open(std::u16string_view url) = 0;
};

}  // namespace varnoke::hostapi
