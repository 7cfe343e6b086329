// Cell references: any text gives a defined result, and an accepted cell is
// one the dialog would accept again, within the worksheet's limits.
#include <cstddef>
#include <cstdint>

#include "core/decimal.h"
#include "fuzz/fuzz_support.h"
#include "insertion/cell_reference.h"

using namespace varnoke;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string text = fuzz::Units(data, size);
    std::u16string row, column;
    const Status rowStatus = GetCellRow(text, row);
    const Status columnStatus = GetCellColumn(text, column);
    std::optional<CellReference> cell;
    const Status status = ValidateCellReference(text, cell);
    if (rowStatus == Status::ok && !row.empty()) {
        const auto value = DigitsValue(row);
        if (!value || *value > kLastRow || !text.ends_with(row)) fuzz::Finding("GetCellRow gave a row past the limit");
    }
    if (columnStatus == Status::ok && !column.empty() && (column.size() > 2 || !text.starts_with(column)))
        fuzz::Finding("GetCellColumn gave more than the leading letters");
    if (status != Status::ok || !cell) return 0;
    if (cell->row.empty() || cell->column.empty()) fuzz::Finding("an accepted cell without row or column");
    // The accepted cell, written out, is accepted as itself.
    std::optional<CellReference> again;
    if (ValidateCellReference(cell->column + cell->row, again) != Status::ok || again != cell)
        fuzz::Finding("an accepted cell is not accepted again as itself");
    return 0;
}
