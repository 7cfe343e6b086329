// The smart-tag recognizer service: STRecognizer over the paragraphs the
// office hands it, committing each tag as a string markup.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/smarttags/XSmartTagRecognizer.hpp>
#include <cppuhelper/implbase2.hxx>
#include <cppuhelper/supportsservice.hxx>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "adapters/platform.h"
#include "recognizer/st_recognizer.h"
#include "writer/services.h"
#include "writer/uno_ports.h"

namespace varnoke::writer {
namespace {

using css::uno::Reference;
using css::uno::Sequence;

// The paragraphs the office handed last, with their matches: the office
// calls once per run of a paragraph, and every call but the first finds the
// paragraph's matches here instead of scanning it again. Bounded: at most
// kParagraphs of them, and no matches kept for one with more than
// kKeptMatches (each of its calls scans it again). Shared between the
// office's threads under one mutex, held for nothing but the list itself:
// a paragraph, once made, never changes, and one that a call holds outlives
// its eviction until that call is done.
class Paragraphs {
public:
    static constexpr std::size_t kParagraphs = 4;
    static constexpr std::size_t kKeptMatches = std::size_t{1} << 16;  // 1 MB of them, at 16 bytes each

    struct Paragraph {
        OUString text;                       // the office's own string, shared, not copied
        std::u16string id;                   // names the paragraph in the trace
        bool overflow = false;               // more than the matcher collects: nothing is committed
        std::optional<TextMatches> matches;  // absent past kKeptMatches
    };

    // The paragraph whose text is `text` (compared whole), made the most
    // recent; nullptr when it is not kept.
    std::shared_ptr<const Paragraph> Find(const OUString& text) {
        const std::lock_guard<std::mutex> hold(lock_);
        const auto it =
            std::find_if(recent_.begin(), recent_.end(), [&](const auto& p) { return Same(p->text, text); });
        if (it == recent_.end()) return nullptr;
        std::rotate(recent_.begin(), it, it + 1);
        return recent_.front();
    }

    // Keeps `paragraph` as the most recent, in place of the least recent
    // past kParagraphs; another thread's copy of the same text found
    // meanwhile is kept instead. Returns the one kept.
    std::shared_ptr<const Paragraph> Keep(std::shared_ptr<const Paragraph> paragraph) {
        std::shared_ptr<const Paragraph> evicted;  // freed after the lock is released
        const std::lock_guard<std::mutex> hold(lock_);
        const auto it =
            std::find_if(recent_.begin(), recent_.end(), [&](const auto& p) { return Same(p->text, paragraph->text); });
        if (it != recent_.end()) return *it;
        if (recent_.size() == kParagraphs) {
            evicted = std::move(recent_.back());
            recent_.pop_back();
        }
        recent_.insert(recent_.begin(), std::move(paragraph));
        return recent_.front();
    }

    // A new paragraph's trace name, unique among the office processes that
    // share a trace file.
    static std::u16string NewId() {
        static std::atomic<uint64_t> next{1};
        return ToU16(getpid()) + u"." + ToU16(static_cast<int64_t>(next.fetch_add(1, std::memory_order_relaxed)));
    }

private:
    // The office hands all runs of a paragraph in one string: the same
    // buffer answers without reading the text.
    static bool Same(const OUString& a, const OUString& b) {
        return a.getLength() == b.getLength() && (a.getStr() == b.getStr() || View(a) == View(b));
    }

    std::mutex lock_;
    std::vector<std::shared_ptr<const Paragraph>> recent_;  // the most recent first
};

class Recognizer final : public cppu::WeakImplHelper2<css::smarttags::XSmartTagRecognizer, css::lang::XServiceInfo> {
public:
    Recognizer() { core_.Construct(DataFolder()); }

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
            // a time. The paragraph's matches are found once, over all of it,
            // and each call commits those that start in its run: a name that
            // spans runs ("琉晟KY") is still found, each tag is committed
            // once, and the office makes a container only for the run's tags.
            const auto from = std::clamp<sal_Int32>(start, 0, text.getLength());
            const auto count = std::clamp<sal_Int32>(length, 0, text.getLength() - from);
            const bool trace = TraceEnabled();
            auto paragraph = paragraphs_.Find(text);
            const std::u16string id = paragraph ? paragraph->id : Paragraphs::NewId();
            // The paragraph's text only with the first call for it.
            if (trace)
                Trace(u"recognize\t" + TraceField(View(application)) + u"\t" + TraceField(View(locale.Language)) +
                      u"-" + TraceField(View(locale.Country)) + u"\t" + ToU16(static_cast<int>(mode)) + u"\t" +
                      ToU16(start) + u"\t" + ToU16(length) + u"\t" +
                      (controller.is() ? u"controller" : u"no-controller") + u"\t" + id +
                      (paragraph ? u"" : u"\t" + TraceField(View(text))));
            if (!markup.is()) return;
            if (!paragraph) paragraph = paragraphs_.Keep(Scan(text, id));
            MarkupSite site(markup, View(text), trace);
            // A paragraph with more matches than the matcher collects commits
            // none in any of its calls: all or nothing, as for a whole text.
            bool overflow = paragraph->overflow;
            if (paragraph->matches)
                core_.CommitMatches(*paragraph->matches, from, count, site);
            else if (!overflow)
                overflow = !core_.FindMatches(View(text), [&](std::span<const StockMatch> matches) {
                    core_.CommitMatches(matches, from, count, site);
                });
            if (trace) Trace(u"end\t" + ToU16(site.Committed()) + (overflow ? u"\toverflow" : u""));
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
    // A paragraph not seen before: its matches, kept unless too many.
    std::shared_ptr<const Paragraphs::Paragraph> Scan(const OUString& text, std::u16string id) const {
        auto paragraph = std::make_shared<Paragraphs::Paragraph>();
        paragraph->text = text;
        paragraph->id = std::move(id);
        paragraph->overflow = !core_.FindMatches(View(text), [&](std::span<const StockMatch> matches) {
            if (matches.size() <= Paragraphs::kKeptMatches) paragraph->matches.emplace(matches);
        });
        return paragraph;
    }

    void CheckIndex(sal_Int32 index) const {
        if (index < 0 || index >= core_.ISmartTagRecognizer_SmartTagCount())
            throw css::lang::IndexOutOfBoundsException();
    }

    std::unique_ptr<hostapi::IXmlDocumentFactory> xml_ = adapters::NewXmlDocumentFactory();
    STRecognizer core_{*xml_};
    Paragraphs paragraphs_;
};

}  // namespace

Reference<css::uno::XInterface> CreateRecognizer(const Reference<css::uno::XComponentContext>&) {
    return static_cast<cppu::OWeakObject*>(new Recognizer);
}

}  // namespace varnoke::writer
