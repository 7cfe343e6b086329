// The guard in front of the shell. A verb's address is a base URL from the
// action table followed by a ProductID from the tag's property bag, and a
// document can carry any property bag: handed to the shell unchecked, a path,
// a "file:" address or a UNC name would open files or start programs.
#pragma once

#include <string_view>

namespace varnoke {

// True only for "http://" or "https://" (scheme in any ASCII case) addresses
// free of control characters, blanks and double quotes, which could smuggle
// extra arguments onto a browser's command line.
bool IsWebAddress(std::u16string_view url);

}  // namespace varnoke
