// How InvokeVerb reaches the refresh of the data files, which runs at the
// end of every invocation: the action object's refresh state, read from its
// action table, and whether it refreshed already.
#pragma once

#include <cstdint>
#include <string>

namespace varnoke {

struct RefreshState {
    int32_t updateFrequency = 0;
    int32_t lastUpdate = 0;
    int32_t lastCheckpoint = 0;
    std::u16string updateURL;
    std::u16string publicKey;      // the key the data must be signed by
    bool keyed = false;            // the table names a <publickey>, usable or not
    bool updateInfoValid = false;  // the table has the refresh elements
    bool updateDone = false;       // this object refreshed, or tried and must not again
};

class IDataFileUpdate {
public:
    virtual ~IDataFileUpdate() = default;
    // Refreshes the data files when due; never fails. Sets updateDone once
    // it has run far enough that this object must not try again.
    virtual void Run(RefreshState& state) = 0;
};

}  // namespace varnoke
