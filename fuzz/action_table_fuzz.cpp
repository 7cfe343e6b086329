// The action table loader on any bytes as the file, then every verb: only
// web addresses ever reach the shell, whatever the table says.
#include <cstddef>
#include <cstdint>

#include "actions/st_action.h"
#include "adapters/platform.h"
#include "core/data_paths.h"
#include "core/web_address.h"
#include "fuzz/fuzz_support.h"
#include "standins/recording_shell.h"
#include "standins/recording_site.h"

using namespace varnoke;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto xml = adapters::NewXmlDocumentFactory();
    fuzz::WriteFile("acturl.xml", data, size);
    standins::RecordingShell shell;
    STAction action({*xml, shell});
    action.Construct(fuzz::Utf16Path(fuzz::ScratchFolder()));

    standins::PropertyBag bag;
    bag.Write(hostapi::kProductIdKey, u"2330");
    for (int32_t verb = -1; verb <= kVerbCount; ++verb) {
        std::u16string text;
        action.ISmartTagAction_VerbCaptionFromID(verb, u"Excel", 1028, text);
        action.ISmartTagAction_VerbNameFromID(verb, text);
        action.ISmartTagAction_InvokeVerb(verb, u"Word", nullptr, &bag, u"", u"");
    }
    for (const auto& url : shell.opened)
        if (!IsWebAddress(url)) fuzz::Finding("the shell was handed a non-web address");
    return 0;
}
