// Text as element content in the data files the tests and the benchmark
// write: the markup characters escaped, everything else as it is.
#pragma once

#include <string>
#include <string_view>

namespace varnoke::test {

inline std::string XmlEscape(std::string_view utf8) {
    std::string out;
    for (char c : utf8) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace varnoke::test
