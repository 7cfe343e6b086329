#include "core/strings.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace varnoke {
namespace {

struct Row {
    int32_t number;
    const char16_t* text;
};

// Sorted by row number. Rows 114/115 and 214/215 hold two quotation marks;
// the Simplified Chinese block deliberately ends at 313.
constexpr Row kRows[] = {
    {100, u"Stock Quote on Web Site"},
    {101, u"Company Report on Web Site"},
    {102, u"Recent News on Web Site"},
    {103, u"Basic Information on Web Site"},
    {104, u"Insert Refreshable Stock Price"},
    {105, u"Insert Stock Price"},
    {106, u"Insert Stock Price Web Query"},
    {107, u"&Starting at cell:"},
    {108, u"On a &new sheet"},
    {109, u"OK"},
    {110, u"Cancel"},
    {111, u"Invalid cell reference."},
    {112, u"Kestria Stock Symbol"},
    {113, u"Kestria Stock Symbol Recognizer"},
    {114, u"\"\""},
    {115, u"\"\""},

    {200, u"股市報價"},
    {201, u"公司報表"},
    {202, u"最近新聞"},
    {203, u"基本資料"},
    {204, u"匯入可更新的股票資料"},
    {205, u"匯入股票價格資料"},
    {206, u"將資料放在:"},
    {207, u"目前工作表的儲存格(&S):"},
    {208, u"新工作表(&N)"},
    {209, u"確定"},
    {210, u"取消"},
    {211, u"參照無效。"},
    {212, u"Kestria股票名稱/代碼"},
    {213, u"Kestria股票名稱/代碼智慧標籤"},
    {214, u"\"\""},
    {215, u"\"\""},

    {300, u"股市报价"},
    {301, u"公司报表"},
    {302, u"最近新闻"},
    {303, u"基本资料"},
    {304, u"导入可更新的股票信息"},
    {305, u"导入股票信息"},
    {306, u"将数据放在"},
    {307, u"现有工作表(&S):"},
    {308, u"新工作表(&N)"},
    {309, u"确定"},
    {310, u"取消"},
    {311, u"输入的内容为非法引用或名称"},
    {312, u"Kestria股票名称/代码"},
    {313, u"Kestria股票名称/代码智能标记"},
};

static_assert(std::is_sorted(std::begin(kRows), std::end(kRows),
                             [](const Row& a, const Row& b) { return a.number < b.number; }));

}  // namespace

std::optional<std::u16string> LoadLocalString(int32_t row) {
    const auto* it =
        std::lower_bound(std::begin(kRows), std::end(kRows), row, [](const Row& r, int32_t n) { return r.number < n; });
    if (it == std::end(kRows) || it->number != row) return std::nullopt;
    return std::u16string(it->text);
}

int32_t StringBlockForLocale(int32_t localeId) {
    switch (localeId) {
        case 2052: return kSimplifiedChineseBlock;
        case 1028:
        case 3076: return kTraditionalChineseBlock;
        default: return kEnglishBlock;
    }
}

int32_t LocaleIdForLanguage(std::u16string_view language, std::u16string_view country) {
    const auto same = [](std::u16string_view a, std::u16string_view upper) {
        return a.size() == upper.size() && std::equal(a.begin(), a.end(), upper.begin(), [](char16_t x, char16_t u) {
                   return (x >= u'a' && x <= u'z' ? static_cast<char16_t>(x - u'a' + u'A') : x) == u;
               });
    };
    if (!same(language, u"ZH")) return 1033;
    if (same(country, u"TW")) return 1028;
    if (same(country, u"HK")) return 3076;
    if (same(country, u"CN")) return 2052;
    return 1033;
}

}  // namespace varnoke
