// The smart-tag action service: STAction's web verbs, offered on our tag
// type, opened through the office's system shell execute service.
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/smarttags/XSmartTagAction.hpp>
#include <cppuhelper/implbase2.hxx>
#include <cppuhelper/supportsservice.hxx>

#include <mutex>
#include <vector>

#include "actions/st_action.h"
#include "adapters/platform.h"
#include "core/data_paths.h"
#include "writer/services.h"
#include "writer/uno_ports.h"

namespace varnoke::writer {
namespace {

using css::uno::Reference;
using css::uno::Sequence;

class Action final : public cppu::WeakImplHelper2<css::smarttags::XSmartTagAction, css::lang::XServiceInfo> {
public:
    explicit Action(const Reference<css::uno::XComponentContext>& context) : folder_(DataFolder()), shell_(context) {
        core_.Construct(folder_);
        // What a host offers on a tag: the verbs whose caption for the
        // office is not empty, which leaves out the spreadsheet's verb.
        const std::u16string type(hostapi::kSmartTagType);
        for (int32_t index = 1, count = core_.ISmartTagAction_VerbCount(type); index <= count; ++index) {
            int32_t id = 0;
            std::u16string caption;
            if (core_.ISmartTagAction_VerbID(type, index, id) == Status::ok &&
                core_.ISmartTagAction_VerbCaptionFromID(id, std::u16string_view(kWriterApplication), 1033, caption) ==
                    Status::ok &&
                !caption.empty())
                offered_.push_back(id);
        }
    }

    void SAL_CALL initialize(const Sequence<css::uno::Any>&) override {}

    // XSmartTagAction
    OUString SAL_CALL getName(const css::lang::Locale& locale) override {
        return ToOUString(core_.ISmartTagAction_Name(LocaleIdOf(locale)));
    }
    OUString SAL_CALL getDescription(const css::lang::Locale& locale) override {
        return ToOUString(core_.ISmartTagAction_Desc(LocaleIdOf(locale)));
    }
    sal_Int32 SAL_CALL getSmartTagCount() override { return core_.ISmartTagAction_SmartTagCount(); }
    OUString SAL_CALL getSmartTagName(sal_Int32 index) override {
        CheckIndex(index);
        return ToOUString(core_.ISmartTagAction_SmartTagName(index + 1));
    }
    OUString SAL_CALL getSmartTagCaption(sal_Int32 index, const css::lang::Locale& locale) override {
        CheckIndex(index);
        std::u16string caption;
        core_.ISmartTagAction_SmartTagCaption(index + 1, LocaleIdOf(locale), caption);
        return ToOUString(caption);
    }
    sal_Int32 SAL_CALL getActionCount(const OUString& type, const Reference<css::frame::XController>&,
                                      const Reference<css::container::XStringKeyMap>&) override {
        return core_.ISmartTagAction_VerbCount(View(type)) ? static_cast<sal_Int32>(offered_.size()) : 0;
    }
    sal_Int32 SAL_CALL getActionID(const OUString& type, sal_Int32 index,
                                   const Reference<css::frame::XController>&) override {
        if (!core_.ISmartTagAction_VerbCount(View(type)) || index < 0 ||
            static_cast<std::size_t>(index) >= offered_.size())
            throw css::lang::IllegalArgumentException();
        return offered_[static_cast<std::size_t>(index)];
    }
    OUString SAL_CALL getActionCaptionFromID(sal_Int32 id, const OUString& application, const css::lang::Locale& locale,
                                             const Reference<css::container::XStringKeyMap>&, const OUString&,
                                             const OUString&, const Reference<css::frame::XController>&,
                                             const Reference<css::text::XTextRange>&) override {
        CheckOffered(id);
        std::u16string caption;
        if (core_.ISmartTagAction_VerbCaptionFromID(id, View(application), LocaleIdOf(locale), caption) != Status::ok)
            throw css::lang::IllegalArgumentException();
        return ToOUString(caption);
    }
    OUString SAL_CALL getActionNameFromID(sal_Int32 id, const Reference<css::frame::XController>&) override {
        CheckOffered(id);
        std::u16string name;
        core_.ISmartTagAction_VerbNameFromID(id, name);
        return ToOUString(name);
    }
    void SAL_CALL invokeAction(sal_Int32 id, const OUString& application, const Reference<css::frame::XController>&,
                               const Reference<css::text::XTextRange>&,
                               const Reference<css::container::XStringKeyMap>& properties, const OUString& text,
                               const OUString& xml, const css::lang::Locale&) override {
        CheckOffered(id);
        AtBoundary([&] {
            const std::lock_guard<std::mutex> hold(lock_);
            // The refresh finds the data files through the calling thread's
            // paths, and the office may call on any thread.
            strActionXMLPath() = FormDataFilePath(folder_, kActionFileName);
            strStockXMLPath() = FormDataFilePath(folder_, kStockFileName);
            KeyMapBag bag(properties);
            const InvokeReport report = core_.ISmartTagAction_InvokeVerb(
                id, View(application), nullptr, properties.is() ? &bag : nullptr, View(text), View(xml));
            if (TraceEnabled())
                Trace(u"invoke\t" + ToU16(id) + u"\t" + Effect(report.effect) + u"\t" + TraceField(report.url) + u"\t" +
                      ToU16(static_cast<int>(platform_.update.LastOutcome())));
        });
    }
    sal_Bool SAL_CALL isCaptionDynamic(sal_Int32 id, const OUString&, const Reference<css::frame::XController>&,
                                       const css::lang::Locale&) override {
        CheckOffered(id);
        return false;
    }
    sal_Bool SAL_CALL isShowSmartTagIndicator(sal_Int32 id, const OUString&, const Reference<css::frame::XController>&,
                                              const css::lang::Locale&) override {
        CheckOffered(id);
        return true;
    }

    // XServiceInfo
    OUString SAL_CALL getImplementationName() override { return ToOUString(kActionImplementation); }
    sal_Bool SAL_CALL supportsService(const OUString& name) override { return cppu::supportsService(this, name); }
    Sequence<OUString> SAL_CALL getSupportedServiceNames() override { return OneName(kActionService); }

private:
    void CheckIndex(sal_Int32 index) const {
        if (index < 0 || index >= core_.ISmartTagAction_SmartTagCount()) throw css::lang::IndexOutOfBoundsException();
    }
    // Only the IDs handed out: any other would form the ProductID alone as
    // the address, or reach the spreadsheet's verb.
    void CheckOffered(sal_Int32 id) const {
        for (int32_t o : offered_)
            if (o == id) return;
        throw css::lang::IllegalArgumentException();
    }
    static std::u16string Effect(InvokeReport::Effect e) {
        switch (e) {
            case InvokeReport::Effect::opened: return u"opened";
            case InvokeReport::Effect::shell_failed: return u"shell-failed";
            case InvokeReport::Effect::refused: return u"refused";
            case InvokeReport::Effect::web_query: return u"web-query";
            case InvokeReport::Effect::no_web_query: return u"no-web-query";
        }
        return u"?";
    }

    std::u16string folder_;
    std::mutex lock_;
    OfficeShell shell_;
    adapters::ActionPlatform platform_;
    STAction core_{ActionPorts{*platform_.xml, shell_, nullptr, &platform_.update}};
    std::vector<int32_t> offered_;
};

}  // namespace

Reference<css::uno::XInterface> CreateAction(const Reference<css::uno::XComponentContext>& context) {
    return static_cast<cppu::OWeakObject*>(new Action(context));
}

}  // namespace varnoke::writer
