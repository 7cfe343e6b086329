// The spreadsheet port over the host's own object model, reached late-bound
// through IDispatch with fixed interface identities and dispatch IDs (no
// type library, no names looked up).
//
// Calling conventions chosen where the host leaves a choice:
//  - Omitted optional arguments are not passed at all: Sheets.Add is invoked
//    with no arguments, so the host applies its defaults for Before, After,
//    Count and Type.
//  - The query's Destination is the range passed by reference as an object:
//    VT_DISPATCH | VT_BYREF pointing at a variable holding the range's
//    IDispatch*, the form a late-bound caller gives an object variable.
//  - Sheets.Add is invoked with locale 1033; every other call with
//    LOCALE_USER_DEFAULT.
#pragma once

#include <memory>

#include "hostapi/spreadsheet.h"

namespace varnoke::adapters::win32 {

// Accepts targets that are HostObject (host_objects.h) wrapping the host's
// range; every failure of the host, of a cast or of a result's type comes
// back as the port's empty result.
class DispatchSpreadsheetHost final : public hostapi::ISpreadsheetHost {
public:
    std::unique_ptr<hostapi::IRange> AsRange(hostapi::IHostObject* target) override;
};

}  // namespace varnoke::adapters::win32
