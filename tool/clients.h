// What the tool's commands need of a recognizer and an action component.
// Two implementations: the portable core linked into the tool, and (on
// Windows, with --com) the registered component driven through COM.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "actions/st_action.h"
#include "tool/options.h"

namespace varnoke::tool {

struct Tag {
    int32_t start;
    int32_t length;
    std::u16string productId;
};

class RecognizerClient {
public:
    virtual ~RecognizerClient() = default;
    virtual std::u16string ProgId() = 0;
    virtual std::u16string Name(int32_t locale) = 0;  // empty when the member fails
    virtual std::u16string Desc(int32_t locale) = 0;
    virtual int32_t SmartTagCount() = 0;
    virtual std::u16string SmartTagName(int32_t id) = 0;
    // Hands each tag to `onTag` as it is committed; false when the
    // recognizer failed (too many matches), having committed nothing.
    virtual bool Recognize(std::u16string_view text, const std::function<void(const Tag&)>& onTag) = 0;
    // Why nothing will be recognized, when the client can tell.
    virtual std::optional<std::string> NotLoadedReason() = 0;
};

class ActionClient {
public:
    virtual ~ActionClient() = default;
    virtual int32_t VerbCount(std::u16string_view type) = 0;
    virtual std::optional<int32_t> VerbID(std::u16string_view type, int32_t index) = 0;
    virtual std::optional<std::u16string> VerbCaption(int32_t verb, std::u16string_view app, int32_t locale) = 0;
    virtual std::u16string VerbName(int32_t verb) = 0;
    // Said before anything else by a command that will invoke a verb: a
    // live invocation needs an object built with the ports that open
    // addresses and refresh the data files.
    virtual void WillInvoke(bool /*dryRun*/) {}
    // What the invocation handed over, when the client can tell. A dry run
    // opens nothing and refreshes nothing.
    virtual std::optional<InvokeReport> Invoke(int32_t verb, std::u16string_view productId, std::u16string_view app,
                                               bool dryRun) = 0;
    // Why no verb has an address, when the client can tell.
    virtual std::optional<std::string> NotLoadedReason() = 0;
    // What the data-file refresh of the last invocation did, when the client can tell.
    virtual std::optional<std::string> LastRefresh() = 0;
};

// The portable core, constructed exactly as the component constructs it.
std::unique_ptr<RecognizerClient> CoreRecognizer(std::u16string_view folder);
std::unique_ptr<ActionClient> CoreAction(std::u16string_view folder);

#if defined(_WIN32)
// The registered component, created by ProgID; --data reaches it through
// its public load methods. Nothing when it cannot be created.
std::unique_ptr<RecognizerClient> ComRecognizer(const std::optional<std::u16string>& folder, std::string& error);
std::unique_ptr<ActionClient> ComAction(const std::optional<std::u16string>& folder, std::string& error);
#endif

// The client the options ask for; nothing (with `error` set) when --com
// cannot be honoured.
std::unique_ptr<RecognizerClient> MakeRecognizer(const Options& o, std::string& error);
std::unique_ptr<ActionClient> MakeAction(const Options& o, std::string& error);

}  // namespace varnoke::tool
