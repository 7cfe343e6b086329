// The folder that holds the component's own file, where its data files live.
#pragma once

#include <string>

namespace varnoke::hostapi {

// As the platform reports it, normally without a trailing separator; empty
// when the platform cannot tell.
std::u16string ComponentFolder();

}  // namespace varnoke::hostapi
