// varnoke cellref: the dialog's cell reference check on the command line.
#include <iostream>

#include "insertion/cell_reference.h"
#include "tool/common.h"

namespace varnoke::tool {

int CellRef(const Options& o) {
    if (o.positional.size() != 1) return Fail("cellref needs one TEXT");
    const auto text = Utf8ToUtf16(o.positional[0]);
    if (!text) return Fail("TEXT is not valid UTF-8");
    std::optional<CellReference> accepted;
    const Status status = ValidateCellReference(*text, accepted);
    // A script can tell an accepted reference by the status alone.
    if (status != Status::ok) {
        std::cout << "error\t" << Utf16ToUtf8(DescribeFailure(status)) << '\n';
        return 1;
    }
    if (!accepted) {
        std::cout << "rejected\n";
        return 1;
    }
    std::cout << "accepted\t" << Utf16ToUtf8(accepted->column) << '\t' << Utf16ToUtf8(accepted->row) << '\n';
    return 0;
}

}  // namespace varnoke::tool
