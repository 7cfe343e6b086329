// One verb of the action table.
#pragma once

#include <cstdint>
#include <string>

namespace varnoke {

struct ActionInfo {
    std::u16string strActionCaption;  // fixed English caption; hosts see the string table's
    std::u16string strActionName;     // returned to the host as the verb's name
    int16_t iActionID = 0;            // the verb's index, 0 to 4
    std::u16string strActionUrl;      // base URL; the stock identifier is appended
};

}  // namespace varnoke
