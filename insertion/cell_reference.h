// Cell references as the web query's dialog reads them: a text such as B6,
// =b6 or A1:C3 split into its column letters and row digits, checked against
// the worksheet's limits (256 columns, 65536 rows).
//
// Texts are never trimmed and letter case is kept. Two limits fail with
// Status::overflow instead of giving a result: a row number above
// 2147483647, and a text longer than 32767 characters.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/status.h"

namespace varnoke {

inline constexpr int32_t kLastRow = 65536;
inline constexpr int32_t kLastColumn = 256;  // "IV"

// The digits at the very end of `text` (leading zeros kept) when their
// value is at most 65536, else empty. "0" is a valid row text.
Status GetCellRow(std::u16string_view text, std::u16string& row);

// The letters at the very start of `text` (as typed) when there are one or
// two and they name a column up to IV, else empty.
Status GetCellColumn(std::u16string_view text, std::u16string& column);

struct CellReference {
    std::u16string row;
    std::u16string column;
    friend bool operator==(const CellReference&, const CellReference&) = default;
};

// Accepts a cell (B6), optionally behind "=" then "&", or a range (A1:C3),
// which yields its top-left cell; only the part before the first ":" decides
// acceptance. `accepted` is empty for a rejected text.
Status ValidateCellReference(std::u16string_view text, std::optional<CellReference>& accepted);

// The text a message box shows for a failed operation.
std::u16string DescribeFailure(Status status);

}  // namespace varnoke
