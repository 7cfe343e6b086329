// How InvokeVerb reaches the refresh of the data files, which runs at the
// end of every invocation.
#pragma once

namespace varnoke {

class STAction;

class IDataFileUpdate {
public:
    virtual ~IDataFileUpdate() = default;
    // Refreshes the data files when due; never fails.
    virtual void Run(STAction& action) = 0;
};

}  // namespace varnoke
