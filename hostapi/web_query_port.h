// How the action component reaches the web query insertion of verb 4.
#pragma once

#include <string_view>

#include "hostapi/smarttag.h"

namespace varnoke {

class IWebQueryInsertion {
public:
    virtual ~IWebQueryInsertion() = default;
    // Asks where to put the data and inserts a refreshable web query for
    // `url` there. Deals with its own failures; reports nothing.
    virtual void InsertWebQuery(std::u16string_view url, hostapi::IHostObject* target) = 0;
};

}  // namespace varnoke
