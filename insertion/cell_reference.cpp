#include "insertion/cell_reference.h"

#include <cstdint>

#include "core/decimal.h"

namespace varnoke {
namespace {

constexpr std::size_t kMaxTextLength = 32767;  // positions are 16-bit

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool IsLetter(char16_t c) {
    const char16_t u = Upper(c);
    return u >= u'A' && u <= u'Z';
}

int32_t ColumnNumber(std::u16string_view letters) {
    int32_t n = 0;
    for (char16_t c : letters) n = n * 26 + (Upper(c) - u'A' + 1);
    return n;
}

}  // namespace

Status GetCellRow(std::u16string_view text, std::u16string& row) {
    row.clear();
    if (text.size() > kMaxTextLength) return Status::overflow;
    std::size_t start = text.size();
    while (start > 0 && IsDigit(text[start - 1])) --start;
    const std::u16string_view digits = text.substr(start);
    if (digits.empty()) return Status::ok;
    const auto value = DigitsValue(digits);
    if (!value) return Status::overflow;
    if (*value <= kLastRow) row = digits;
    return Status::ok;
}

Status GetCellColumn(std::u16string_view text, std::u16string& column) {
    column.clear();
    if (text.size() > kMaxTextLength) return Status::overflow;
    std::size_t end = 0;
    while (end < text.size() && IsLetter(text[end])) ++end;
    const std::u16string_view letters = text.substr(0, end);
    if (letters.empty() || letters.size() > 2 || ColumnNumber(letters) > kLastColumn) return Status::ok;
    column = letters;
    return Status::ok;
}

Status ValidateCellReference(std::u16string_view text, std::optional<CellReference>& accepted) {
    accepted.reset();
    if (text.size() > kMaxTextLength) return Status::overflow;
    // Each prefix at most once, "=" before "&".
    if (text.starts_with(u'=')) text.remove_prefix(1);
    if (text.starts_with(u'&')) text.remove_prefix(1);

    const auto colon = text.find(u':');
    const std::u16string_view first = text.substr(0, colon);
    CellReference cell;
    if (Status s = GetCellRow(first, cell.row); s != Status::ok) return s;
    if (cell.row.empty()) return Status::ok;
    if (Status s = GetCellColumn(first, cell.column); s != Status::ok) return s;
    if (cell.column.empty()) return Status::ok;

    if (colon != std::u16string_view::npos) {
        // A range gives its top-left cell; its second part never rejects.
        const std::u16string_view second = text.substr(colon + 1);
        std::u16string row2, column2;
        if (Status s = GetCellRow(second, row2); s != Status::ok) return s;
        if (Status s = GetCellColumn(second, column2); s != Status::ok) return s;
        if (!row2.empty() && *DigitsValue(cell.row) > *DigitsValue(row2)) cell.row = row2;
        if (!column2.empty() && ColumnNumber(cell.column) > ColumnNumber(column2)) cell.column = column2;
    }
    accepted = std::move(cell);
    return Status::ok;
}

std::u16string DescribeFailure(Status status) {
    switch (status) {
        case Status::overflow: return u"Overflow";
        case Status::out_of_memory: return u"Out of memory";
        default: return u"Unexpected error";
    }
}

}  // namespace varnoke
