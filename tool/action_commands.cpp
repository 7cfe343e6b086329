// varnoke verbs / invoke: the action component on the command line.
#include <iostream>

#include "actions/st_action.h"
#include "hostapi/platform.h"
#include "standins/recording_shell.h"
#include "standins/recording_site.h"
#include "tool/common.h"

namespace varnoke::tool {
namespace {

// Any name not starting with "Excel": a document host, not a spreadsheet.
constexpr const char* kDefaultApp = "Varnoke";

std::u16string AppOption(const Options& o) {
    return Utf8ToUtf16(o.Value("--app").value_or(kDefaultApp)).value_or(u"");
}

}  // namespace

int Verbs(const Options& o) {
    if (!o.positional.empty()) return Fail("verbs takes no arguments");
    int32_t locale;
    if (!LocaleOption(o, locale)) return Fail("--locale needs a decimal locale identifier");
    const std::u16string app = AppOption(o);

    auto xml = hostapi::NewXmlDocumentFactory();
    standins::RecordingShell shell;
    STAction action({*xml, shell});
    action.Construct(DataFolder(o));

    // What a host does when the user opens a tag: count, IDs, captions; a
    // verb with an empty caption is not offered.
    const std::u16string type(hostapi::kSmartTagType);
    const int32_t count = action.ISmartTagAction_VerbCount(type);
    for (int32_t index = 1; index <= count; ++index) {
        int32_t id = 0;
        std::u16string caption, name;
        if (action.ISmartTagAction_VerbID(type, index, id) != Status::ok) continue;
        if (action.ISmartTagAction_VerbCaptionFromID(id, app, locale, caption) != Status::ok ||
            caption.empty())
            continue;
        action.ISmartTagAction_VerbNameFromID(id, name);
        std::cout << id << '\t' << Utf16ToUtf8(caption) << '\t' << Utf16ToUtf8(name) << '\n';
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

    auto xml = hostapi::NewXmlDocumentFactory();
    standins::RecordingShell recordingShell;
    auto desktopShell = hostapi::NewDesktopShell();
    hostapi::IShell& shell = dryRun ? static_cast<hostapi::IShell&>(recordingShell) : *desktopShell;
    STAction action({*xml, shell});
    action.Construct(DataFolder(o));

    standins::PropertyBag bag;
    bag.Write(hostapi::kProductIdKey, *productId);
    const InvokeReport report =
        action.ISmartTagAction_InvokeVerb(verb, AppOption(o), nullptr, &bag, u"", u"");

    const std::string url = Utf16ToUtf8(report.url);
    switch (report.effect) {
        case InvokeReport::Effect::opened:
            std::cout << url << '\n';
            return 0;
        case InvokeReport::Effect::shell_failed:
            std::cout << url << '\n';
            std::cerr << "varnoke: the shell could not be started to open it\n";
            return 1;
        case InvokeReport::Effect::refused:
            std::cerr << "varnoke: not opened, not a web address: \"" << url << "\"\n";
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
