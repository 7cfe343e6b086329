// Outcome of a component member, as the portable core reports it.
//
// The core never sees an HRESULT: the COM shells map each value to one status
// code in a single place. Members that the host interfaces let fail return a
// Status and leave their out-parameter empty on failure.
#pragma once

namespace varnoke {

enum class Status {
    ok,
    no_such_string,   // the string table has no row of that number
    out_of_range,     // an index outside the fixed tables (verb IDs 0 to 4)
    overflow,         // an arithmetic or length limit was exceeded
    no_xml_document,  // the XML document object could not be created
    out_of_memory,
};

constexpr bool Succeeded(Status s) { return s == Status::ok; }

}  // namespace varnoke
