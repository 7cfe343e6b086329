// Web addresses: which texts name a remote document, and which may reach
// the shell.
#pragma once

#include <string>
#include <string_view>

namespace varnoke {

// True when `text` starts with "http://" or "https://", the scheme in any
// ASCII case: the XML adapters fetch such a text over the network and read
// any other as a file path.
bool HasWebScheme(std::u16string_view text);

// The guard in front of the shell. A verb's address is a base URL from the
// action table followed by a ProductID from the tag's property bag, and a
// document can carry any property bag: handed to the shell unchecked, a
// path, a "file:" address or a UNC name would open files or start programs.
// True only for addresses with a web scheme that hold no control (Cc),
// White_Space or format (Cf) character, no unpaired surrogate and no double
// quote: any of them could smuggle extra arguments onto a browser's command
// line or show the user another address than the one opened. Other
// characters outside ASCII (letters of any script) pass.
bool IsWebAddress(std::u16string_view url);

// `url` with every character outside ASCII written as the bytes of its UTF-8
// form, each as %XX in uppercase hex, as browsers send an internationalized
// address; ASCII, '%' included, is kept as it is. The result is pure ASCII,
// so it names the same address whatever code page reads it. Empty when `url`
// holds an unpaired surrogate: no character to encode.
std::string PercentEncodeNonAscii(std::u16string_view url);

}  // namespace varnoke
