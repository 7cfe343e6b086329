// The tool's clients over the portable core.
#include "adapters/platform.h"
#include "core/data_paths.h"
#include "recognizer/st_recognizer.h"
#include "standins/recording_shell.h"
#include "standins/recording_site.h"
#include "tool/clients.h"
#include "tool/common.h"

namespace varnoke::tool {
namespace {

// Hands each committed tag on at once and keeps nothing: a long text's tags
// need not fit in memory together.
class StreamingSite final : public hostapi::ISmartTagRecognizerSite {
public:
    explicit StreamingSite(const std::function<void(const Tag&)>& onTag) : onTag_(onTag) {}
    std::unique_ptr<hostapi::ISmartTagProperties> GetNewPropertyBag() override {
        return std::make_unique<standins::PropertyBag>();
    }
    bool CommitSmartTag(std::u16string_view, int32_t start, int32_t length,
                        hostapi::ISmartTagProperties& properties) override {
        Tag tag{start, length, {}};
        properties.Read(hostapi::kProductIdKey, tag.productId);
        onTag_(tag);
        return true;
    }

private:
    const std::function<void(const Tag&)>& onTag_;
};

class CoreRecognizerClient final : public RecognizerClient {
public:
    explicit CoreRecognizerClient(std::u16string_view folder) {
        if (core_.Construct(folder) != Status::ok) throw std::runtime_error("cannot create XML documents");
    }
    std::u16string ProgId() override { return core_.ISmartTagRecognizer_ProgId(); }
    std::u16string Name(int32_t locale) override {
        std::u16string name;
        core_.ISmartTagRecognizer_Name(locale, name);
        return name;
    }
    std::u16string Desc(int32_t locale) override { return core_.ISmartTagRecognizer_Desc(locale); }
    int32_t SmartTagCount() override { return core_.ISmartTagRecognizer_SmartTagCount(); }
    std::u16string SmartTagName(int32_t id) override { return core_.ISmartTagRecognizer_SmartTagName(id); }
    bool Recognize(std::u16string_view text, const std::function<void(const Tag&)>& onTag) override {
        StreamingSite site(onTag);
        return core_.ISmartTagRecognizer_Recognize(text, 0, 0, site) == Status::ok;
    }
    std::optional<std::string> NotLoadedReason() override {
        if (core_.ListState() != -1) return std::nullopt;
        return "no stock list loaded from " + Utf16ToUtf8(strStockXMLPath()) +
               " (missing or malformed): nothing is recognized";
    }

private:
    std::unique_ptr<hostapi::IXmlDocumentFactory> xml_ = adapters::NewXmlDocumentFactory();
    STRecognizer core_{*xml_};
};

class CoreActionClient final : public ActionClient {
public:
    explicit CoreActionClient(std::u16string_view folder) : folder_(folder) {}
    int32_t VerbCount(std::u16string_view type) override { return Action().ISmartTagAction_VerbCount(type); }
    std::optional<int32_t> VerbID(std::u16string_view type, int32_t index) override {
        int32_t id = 0;
        if (Action().ISmartTagAction_VerbID(type, index, id) != Status::ok) return std::nullopt;
        return id;
    }
    std::optional<std::u16string> VerbCaption(int32_t verb, std::u16string_view app, int32_t locale) override {
        std::u16string caption;
        if (Action().ISmartTagAction_VerbCaptionFromID(verb, app, locale, caption) != Status::ok) return std::nullopt;
        return caption;
    }
    std::u16string VerbName(int32_t verb) override {
        std::u16string name;
        Action().ISmartTagAction_VerbNameFromID(verb, name);
        return name;
    }
    std::optional<InvokeReport> Invoke(int32_t verb, std::u16string_view productId, std::u16string_view app,
                                       bool dryRun) override {
        WillInvoke(dryRun);
        STAction& action = Action();
        standins::PropertyBag bag;
        bag.Write(hostapi::kProductIdKey, productId);
        return action.ISmartTagAction_InvokeVerb(verb, app, nullptr, &bag, u"", u"");
    }

    void WillInvoke(bool dryRun) override { refresh_ = !dryRun; }

    std::optional<std::string> NotLoadedReason() override {
        if (Action().VerbsWithAddress() > 0) return std::nullopt;
        return "no action table loaded from " + Utf16ToUtf8(strActionXMLPath()) +
               " (missing or malformed): no verb has an address";
    }

    std::optional<std::string> LastRefresh() override {
        if (!refresh_) return std::nullopt;
        return Describe(platform_.update.LastOutcome());
    }

private:
    // Constructed on first use, with the ports its command needs: only a
    // live invocation opens addresses and refreshes the data files.
    STAction& Action() {
        if (!action_) {
            action_ =
                std::make_unique<STAction>(refresh_ ? platform_.Ports() : ActionPorts{*platform_.xml, recording_});
            action_->Construct(folder_);
        }
        return *action_;
    }

    std::u16string folder_;
    adapters::ActionPlatform platform_;
    standins::RecordingShell recording_;
    bool refresh_ = false;
    std::unique_ptr<STAction> action_;
};

}  // namespace

std::unique_ptr<RecognizerClient> CoreRecognizer(std::u16string_view folder) {
    return std::make_unique<CoreRecognizerClient>(folder);
}

std::unique_ptr<ActionClient> CoreAction(std::u16string_view folder) {
    return std::make_unique<CoreActionClient>(folder);
}

std::unique_ptr<RecognizerClient> MakeRecognizer(const Options& o, std::string& error) {
    const auto folder = DataFolder(o, error);
    if (!folder) return nullptr;
    if (o.Flag("--com")) {
#if defined(_WIN32)
        return ComRecognizer(o.Value("--data") ? folder : std::nullopt, error);
#else
        error = "--com needs the Windows build";
        return nullptr;
#endif
    }
    return CoreRecognizer(*folder);
}

std::unique_ptr<ActionClient> MakeAction(const Options& o, std::string& error) {
    const auto folder = DataFolder(o, error);
    if (!folder) return nullptr;
    if (o.Flag("--com")) {
#if defined(_WIN32)
        return ComAction(o.Value("--data") ? folder : std::nullopt, error);
#else
        error = "--com needs the Windows build";
        return nullptr;
#endif
    }
    return CoreAction(*folder);
}

}  // namespace varnoke::tool
