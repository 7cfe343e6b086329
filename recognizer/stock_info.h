// One stock of the stock list.
#pragma once

#include <string>

namespace varnoke {

struct stockInfo {
    std::u16string strStockName;  // searched for in document text
    std::u16string strStockID;    // attached to every tag as "ProductID"
};

}  // namespace varnoke
