// The smart-tag recognizer service: STRecognizer over the paragraphs the
// office hands it, committing each tag as a string markup.
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/smarttags/XSmartTagRecognizer.hpp>
#include <cppuhelper/implbase2.hxx>
#include <cppuhelper/supportsservice.hxx>

#include <algorithm>

#include "adapters/platform.h"
#include "recognizer/st_recognizer.h"
#include "writer/services.h"
#include "writer/uno_ports.h"

namespace varnoke::writer {
namespace {

using css::uno::Reference;
using css::uno::Sequence;

class Recognizer final
    : public cppu::WeakImplHelper2<css::smarttags::XSmartTagRecognizer, css::lang::XServiceInfo> {
public:
    Recognizer() { core_.Construct(ExtensionFolder()); }

    // XInitialization: nothing is passed that the recognizer needs.
    void SAL_CALL initialize(const Sequence<css::uno::Any>&) override {}

    // XSmartTagRecognizer
    OUString SAL_CALL getName(const css::lang::Locale& locale) override {
        std::u16string name;
        core_.ISmartTagRecognizer_Name(LocaleIdOf(locale), name);
        return ToOUString(name);
    }
    OUString SAL_CALL getDescription(const css::lang::Locale& locale) override {
        return ToOUString(core_.ISmartTagRecognizer_Desc(LocaleIdOf(locale)));
    }
    sal_Int32 SAL_CALL getSmartTagCount() override { return core_.ISmartTagRecognizer_SmartTagCount(); }
    // The office counts types from 0, the component's members from 1.
    OUString SAL_CALL getSmartTagName(sal_Int32 index) override {
        CheckIndex(index);
        return ToOUString(core_.ISmartTagRecognizer_SmartTagName(index + 1));
    }
    OUString SAL_CALL getSmartTagDownloadURL(sal_Int32 index) override {
        CheckIndex(index);
        return ToOUString(core_.ISmartTagRecognizer_SmartTagDownloadURL(index + 1));
    }
    void SAL_CALL recognize(const OUString& text, sal_Int32 start, sal_Int32 length,
                            css::smarttags::SmartTagRecognizerMode mode, const css::lang::Locale& locale,
                            const Reference<css::text::XTextMarkup>& markup, const OUString& application,
                            const Reference<css::frame::XController>& controller,
                            const Reference<css::i18n::XBreakIterator>&) override {
        AtBoundary([&] {
            // The office hands a paragraph one run of one script or language at
            // a time. The matcher runs over the whole paragraph and this call
            // commits the tags that start in its run: a name that spans runs
            // ("琉晟KY") is still found, and each tag is committed once.
            const auto from = std::clamp<sal_Int32>(start, 0, text.getLength());
            const auto count = std::clamp<sal_Int32>(length, 0, text.getLength() - from);
            const bool trace = TraceEnabled();
            if (trace)
                Trace(u"recognize\t" + TraceField(View(application)) + u"\t" + TraceField(View(locale.Language)) +
                      u"-" + TraceField(View(locale.Country)) + u"\t" + ToU16(static_cast<int>(mode)) + u"\t" +
                      ToU16(start) + u"\t" + ToU16(length) + u"\t" +
                      (controller.is() ? u"controller" : u"no-controller") + u"\t" + TraceField(View(text)));
            if (!markup.is()) return;
            MarkupSite site(markup, View(text), from, count, trace);
            const Status status =
                core_.ISmartTagRecognizer_Recognize(View(text), static_cast<int32_t>(mode), LocaleIdOf(locale), site);
            if (trace) Trace(u"end\t" + ToU16(site.Committed()) + (status == Status::ok ? u"" : u"\toverflow"));
        });
    }
    sal_Bool SAL_CALL hasPropertyPage(sal_Int32 index, const css::lang::Locale&) override {
        CheckIndex(index);
        return false;
    }
    void SAL_CALL displayPropertyPage(sal_Int32 index, const css::lang::Locale&) override { CheckIndex(index); }

    // XServiceInfo
    OUString SAL_CALL getImplementationName() override { return ToOUString(kRecognizerImplementation); }
    sal_Bool SAL_CALL supportsService(const OUString& name) override { return cppu::supportsService(this, name); }
    Sequence<OUString> SAL_CALL getSupportedServiceNames() override { return OneName(kRecognizerService); }

private:
    void CheckIndex(sal_Int32 index) const {
        if (index < 0 || index >= core_.ISmartTagRecognizer_SmartTagCount())
            throw css::lang::IndexOutOfBoundsException();
    }

    std::unique_ptr<hostapi::IXmlDocumentFactory> xml_ = adapters::NewXmlDocumentFactory();
    STRecognizer core_{*xml_};
};

}  // namespace

Reference<css::uno::XInterface> CreateRecognizer(const Reference<css::uno::XComponentContext>&) {
    return static_cast<cppu::OWeakObject*>(new Recognizer);
}

}  // namespace varnoke::writer
