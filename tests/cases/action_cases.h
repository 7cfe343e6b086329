// What the action object answers and what its verbs open: one set of tables,
// run through the core on each platform (tests/verbs_test.cpp) and through
// COM by the smart-tag host (tests/win32/test_host.cpp), every row in each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"

namespace varnoke::cases {

inline std::string ActionUrlXml(std::string_view name, std::string_view url) {
    return "<ActionUrl><ActionName>" + std::string(name) + "</ActionName><URL>" + std::string(url) +
           "</URL></ActionUrl>";
}

// Five verbs, base URLs that show their index, and complete refresh elements.
inline std::string CompleteActionTable() {
    return "<?xml version=\"1.0\"?><ActionList>" + ActionUrlXml("Quote", "https://q.example/?id=") +
           ActionUrlXml("Report", "https://r.example/") + ActionUrlXml("News", "http://n.example/s?q=") +
           ActionUrlXml("Info", "HTTPS://i.example/") + ActionUrlXml("Query", "https://w.example/q?id=") +
           "<lastcheckpoint>7</lastcheckpoint><lastupdate>29000000</lastupdate>"
           "<updatefrequency>60</updatefrequency><updateurl>https://d.example/v/acturl.xml</updateurl>"
           "</ActionList>";
}

struct SmartTagCaptionCase {
    int32_t locale;
    std::u16string_view caption;
};

inline constexpr SmartTagCaptionCase kSmartTagCaptionCases[] = {
    {1028, u"Kestria股票名稱/代碼"}, {3076, u"Kestria股票名稱/代碼"}, {2052, u"Kestria股票名称/代码"},
    {1033, u"Kestria Stock Symbol"}, {4100, u"Kestria Stock Symbol"}, {0, u"Kestria Stock Symbol"},
};

struct VerbCaptionCase {
    int32_t verb;
    std::optional<std::u16string_view> app;  // nothing: no name at all (a null string through COM)
    int32_t locale;
    Status status;
    std::u16string_view caption;
};

inline constexpr int32_t kMinInt32 = -2147483647 - 1;

inline const std::vector<VerbCaptionCase>& VerbCaptionCases() {
    static const std::vector<VerbCaptionCase> cases = {
        {0, u"Word", 1033, Status::ok, u"Stock Quote on Web Site"},
        {1, u"Word", 1028, Status::ok, u"公司報表"},
        {2, u"Word", 4100, Status::ok, u"Recent News on Web Site"},
        {3, u"Word", 2052, Status::ok, u"基本资料"},
        {3, u"Word", 3076, Status::ok, u"基本資料"},
        {3, u"Excel", 1028, Status::ok, u"基本資料"},
        {4, u"Excel", 1033, Status::ok, u"Insert Refreshable Stock Price"},
        {4, u"Excel.Application", 1028, Status::ok, u"匯入可更新的股票資料"},
        {4, u"Excel", 2052, Status::ok, u"导入可更新的股票信息"},
        {4, u"excel", 1033, Status::ok, u""},
        {4, u"Exce", 1033, Status::ok, u""},
        {4, u"Word", 1028, Status::ok, u""},
        {4, u"", 2052, Status::ok, u""},
        {4, std::nullopt, 1033, Status::ok, u""},
        {5, u"Excel", 1033, Status::ok, u"Insert Stock Price"},
        {5, u"Word", 2052, Status::ok, u"导入股票信息"},
        {14, u"Excel", 1033, Status::ok, u"\"\""},
        {14, u"Excel", 2052, Status::no_such_string, u""},
        {16, u"Excel", 1033, Status::no_such_string, u""},
        {-1, u"Excel", 1028, Status::no_such_string, u""},
        {2147483647, u"Excel", 1033, Status::overflow, u""},
        {kMinInt32, u"Excel", 1033, Status::no_such_string, u""},
    };
    return cases;
}

// What a verb does. Through COM only the shell is seen: `opened` is the one
// effect that reaches it.
enum class Effect { opened, refused, web_query };

struct InvokeCase {
    const char* name;
    bool table;  // CompleteActionTable(), or no action table at all
    int32_t verb;
    std::u16string_view app;
    std::optional<std::u16string_view> productId;  // nothing: the bag has no ProductID
    Effect effect;
    std::u16string_view url;  // what was opened, handed over or refused
    bool failReads = false;   // the bag's reads fail
    bool noBag = false;       // no property bag at all
    // What the Windows shell is handed, where it differs from `url`: its
    // adapter escapes what is past ASCII as UTF-8.
    std::u16string_view ansiUrl = {};
};

inline const std::vector<InvokeCase>& InvokeCases() {
    using E = Effect;
    static const std::vector<InvokeCase> cases = {
        {"verb 0 appends the identifier", true, 0, u"Word", u"2330", E::opened, u"https://q.example/?id=2330"},
        {"verb 1", true, 1, u"Word", u"2330", E::opened, u"https://r.example/2330"},
        {"verb 2, no separator, no escaping", true, 2, u"Word", u"a b&c", E::refused, u"http://n.example/s?q=a b&c"},
        {"verb 2 with a plain identifier", true, 2, u"Excel", u"華岳2417", E::opened, u"http://n.example/s?q=華岳2417",
         false, false, u"http://n.example/s?q=%E8%8F%AF%E5%B2%B32417"},
        {"scheme in upper case", true, 3, u"Word", u"1101", E::opened, u"HTTPS://i.example/1101"},
        {"empty identifier leaves the base URL", true, 1, u"Word", u"", E::opened, u"https://r.example/"},
        {"no ProductID in the bag", true, 1, u"Word", std::nullopt, E::opened, u"https://r.example/"},
        {"a failing read: the base URL", true, 1, u"Word", u"2330", E::opened, u"https://r.example/", true},
        {"no property bag: the base URL", true, 0, u"Word", std::nullopt, E::opened, u"https://q.example/?id=", false,
         true},
        {"verb 4 goes to the web query, never the shell", true, 4, u"Excel", u"2330", E::web_query,
         u"https://w.example/q?id=2330"},
        {"verb 7: empty URL, nothing opened", true, 7, u"Word", u"2330", E::refused, u""},
        {"negative verb", true, -1, u"Word", u"2330", E::refused, u""},
        {"verb 4 with a blank in the identifier", true, 4, u"Excel", u"2330\u3000x", E::refused,
         u"https://w.example/q?id=2330\u3000x"},
        {"quote smuggling browser arguments", true, 0, u"Word", u"1\" --x", E::refused,
         u"https://q.example/?id=1\" --x"},
        {"a blank in the identifier", true, 0, u"Word", u"1 2", E::refused, u"https://q.example/?id=1 2"},
        {"a no-break space in the identifier", true, 0, u"Word", u"1\u00A0--x", E::refused,
         u"https://q.example/?id=1\u00A0--x"},
        {"an ideographic space in the identifier", true, 1, u"Word", u"1\u3000--x", E::refused,
         u"https://r.example/1\u3000--x"},
        {"a C1 next line in the identifier", true, 2, u"Word", u"1\u0085x", E::refused,
         u"http://n.example/s?q=1\u0085x"},
        {"a right-to-left override in the identifier", true, 3, u"Word", u"1\u202Eexe.x", E::refused,
         u"HTTPS://i.example/1\u202Eexe.x"},
        {"an unpaired surrogate in the identifier", true, 0, u"Word", u"1\xD800", E::refused,
         u"https://q.example/?id=1\xD800"},
        // Without an action table the URL is the identifier alone: a document
        // could make it anything.
        {"no table, web address identifier", false, 0, u"Word", u"https://x.example/", E::opened,
         u"https://x.example/"},
        {"no table, an upper-case http address", false, 2, u"Word", u"HTTP://y.example/", E::opened,
         u"HTTP://y.example/"},
        {"no table, a program path", false, 0, u"Word", u"C:\\Windows\\System32\\calc.exe", E::refused,
         u"C:\\Windows\\System32\\calc.exe"},
        {"no table, a POSIX path", false, 1, u"Word", u"/usr/bin/xterm", E::refused, u"/usr/bin/xterm"},
        {"no table, file address", false, 2, u"Word", u"file:///etc/passwd", E::refused, u"file:///etc/passwd"},
        {"no table, javascript address", false, 3, u"Word", u"javascript:alert(1)", E::refused, u"javascript:alert(1)"},
        {"no table, UNC path", false, 0, u"Word", u"\\\\evil\\share\\x.exe", E::refused, u"\\\\evil\\share\\x.exe"},
        {"no table, empty identifier", false, 0, u"Word", u"", E::refused, u""},
        // Verb 4's connection is "URL;" + address: the same guard.
        {"no table, verb 4 with a bare word", false, 4, u"Excel", u"x", E::refused, u"x"},
        {"no table, verb 4 with a file address", false, 4, u"Excel", u"file:///C:/Windows/x.exe", E::refused,
         u"file:///C:/Windows/x.exe"},
        {"no table, verb 4 with a Windows path", false, 4, u"Excel", u"C:\\Users\\x.txt", E::refused,
         u"C:\\Users\\x.txt"},
        {"no table, verb 4 with a web address", false, 4, u"Excel", u"https://x.example/", E::web_query,
         u"https://x.example/"},
    };
    return cases;
}

}  // namespace varnoke::cases
