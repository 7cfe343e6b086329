// varnoke verbs / invoke: the action component on the command line.
#include <iostream>

#include "tool/clients.h"
#include "tool/common.h"

namespace varnoke::tool {
namespace {

// Any name not starting with "Excel": a document host, not a spreadsheet.
constexpr const char* kDefaultApp = "Varnoke";

std::u16string AppOption(const Options& o) { return Utf8ToUtf16(o.Value("--app").value_or(kDefaultApp)).value_or(u""); }

}  // namespace

int Verbs(const Options& o) {
    if (!o.positional.empty()) return Fail("verbs takes no arguments");
    int32_t locale;
    if (!LocaleOption(o, locale)) return Fail("--locale needs a decimal locale identifier");
    const std::u16string app = AppOption(o);
    std::string error;
    auto action = MakeAction(o, error);
    if (!action) return Fail(error);

    // What a host does when the user opens a tag: count, IDs, captions; a
    // verb with an empty caption is not offered.
    const std::u16string type(hostapi::kSmartTagType);
    const int32_t count = action->VerbCount(type);
    for (int32_t index = 1; index <= count; ++index) {
        const auto id = action->VerbID(type, index);
        if (!id) continue;
        const auto caption = action->VerbCaption(*id, app, locale);
        if (!caption || caption->empty()) continue;
        std::cout << *id << '\t' << Utf16ToUtf8(*caption) << '\t' << Utf16ToUtf8(action->VerbName(*id)) << '\n';
    }
    return 0;
}

int Invoke(const Options& o) {
    if (o.positional.size() != 2) return Fail("invoke needs VERBID and PRODUCTID");
    int32_t verb;
    if (!ParseDecimal(o.positional[0], verb)) return Fail("VERBID must be a decimal number");
    auto productId = Utf8ToUtf16(o.positional[1]);
    if (!productId) return Fail("PRODUCTID is not valid UTF-8");
    const bool dryRun = o.Flag("--dry-run");
    if (dryRun && o.Flag("--com")) return Fail("--dry-run cannot stop a component driven through COM");
    std::string error;
    auto action = MakeAction(o, error);
    if (!action) return Fail(error);
    action->WillInvoke(dryRun);

    // Only the IDs a host could be handed: any other would only ever form
    // the ProductID alone as the address.
    const std::u16string type(hostapi::kSmartTagType);
    bool offered = false;
    for (int32_t index = 1, count = action->VerbCount(type); index <= count && !offered; ++index)
        offered = action->VerbID(type, index) == verb;
    if (!offered) return Fail("verb ID " + o.positional[0] + " is not one the component hands out (0 to 4)");
    if (auto missing = action->NotLoadedReason()) std::cerr << "varnoke: " << *missing << '\n';

    const auto report = action->Invoke(verb, *productId, AppOption(o), dryRun);
    if (o.Flag("--verbose"))
        if (auto refresh = action->LastRefresh()) std::cerr << "varnoke: data files: " << *refresh << '\n';
    if (!report) return 0;  // through COM: the component tells nothing
    const std::string url = Utf16ToUtf8(report->url);
    switch (report->effect) {
        case InvokeReport::Effect::opened: std::cout << url << '\n'; return 0;
        case InvokeReport::Effect::shell_failed:
            // Standard output holds only an address that was opened.
            std::cerr << "varnoke: not opened, the shell could not be started: \"" << url << "\"\n";
            return 1;
        case InvokeReport::Effect::refused:
            std::cerr << "varnoke: " << (verb == kWebQueryVerb ? "no web query" : "not opened")
                      << ", not a web address: \"" << url << "\"\n";
            return 0;
        case InvokeReport::Effect::web_query:
        case InvokeReport::Effect::no_web_query:
            // No spreadsheet here: show the connection the web query would get.
            std::cout << "URL;" << url << '\n';
            return 0;
    }
    return 0;
}

}  // namespace varnoke::tool
