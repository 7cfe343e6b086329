// The host ports over the office's own objects, and what the two services
// share: strings, locales, the extension's folder and the trace.
#pragma once

#include <com/sun/star/container/XStringKeyMap.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/text/XTextMarkup.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/uno/Sequence.hxx>
#include <rtl/ustring.hxx>

#include <com/sun/star/uno/RuntimeException.hpp>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "hostapi/shell.h"
#include "hostapi/smarttag.h"

namespace varnoke::writer {

namespace css = com::sun::star;
using rtl::OUString;

// The SDK's UTF-16 unit is a 16-bit integer type, not char16_t: the same
// representation, read through either (the library is built with
// -fno-strict-aliasing).
inline std::u16string_view View(const OUString& s) {
    return {reinterpret_cast<const char16_t*>(s.getStr()), static_cast<std::size_t>(s.getLength())};
}
inline OUString ToOUString(std::u16string_view s) {
    return OUString(reinterpret_cast<const sal_Unicode*>(s.data()), static_cast<sal_Int32>(s.size()));
}

// A service name list of one.
inline css::uno::Sequence<OUString> OneName(std::u16string_view name) {
    css::uno::Sequence<OUString> names(1);
    names.getArray()[0] = ToOUString(name);
    return names;
}

// The locale ID the string table is chosen by, from the office's locale.
hostapi::LocaleId LocaleIdOf(const css::lang::Locale& locale);

// The folder holding this shared library: the extension's own folder once
// the office has installed it, where the data files lie beside it.
std::u16string ExtensionFolder();
// Where the data files are read from: the build's VARNOKE_DATA_DIR where a
// system-wide package names one (users may not write the extension's
// folder there), else the extension's folder.
std::u16string DataFolder();

// The tags a recognize call commits become string markups of the office's
// smart-tag type; each property bag is a container the markup object hands
// out, asked for only for a tag the call commits (those of its run). With
// `trace`, each tag is traced as the tool's scan prints it (START 1-based in
// the paragraph).
class MarkupSite final : public hostapi::ISmartTagRecognizerSite {
public:
    MarkupSite(css::uno::Reference<css::text::XTextMarkup> markup, std::u16string_view paragraph, bool trace)
        : markup_(std::move(markup)), paragraph_(paragraph), trace_(trace) {}
    std::unique_ptr<hostapi::ISmartTagProperties> GetNewPropertyBag() override;
    bool CommitSmartTag(std::u16string_view smartTagName, int32_t start, int32_t length,
                        hostapi::ISmartTagProperties& properties) override;
    int32_t Committed() const { return committed_; }

private:
    css::uno::Reference<css::text::XTextMarkup> markup_;
    std::u16string_view paragraph_;
    bool trace_;
    int32_t committed_ = 0;
};

// A tag's properties as the office keeps them. Only string values are read.
class KeyMapBag final : public hostapi::ISmartTagProperties {
public:
    explicit KeyMapBag(css::uno::Reference<css::container::XStringKeyMap> map) : map_(std::move(map)) {}
    bool Read(std::u16string_view key, std::u16string& value) override;
    bool Write(std::u16string_view key, std::u16string_view value) override;
    const css::uno::Reference<css::container::XStringKeyMap>& Map() const { return map_; }

private:
    css::uno::Reference<css::container::XStringKeyMap> map_;
};

// Opens addresses through the office's system shell execute service, so
// the office's own rules and the user's desktop settings apply.
class OfficeShell final : public hostapi::IShell {
public:
    explicit OfficeShell(css::uno::Reference<css::uno::XComponentContext> context) : context_(std::move(context)) {}
    bool Open(std::u16string_view url) override;

private:
    css::uno::Reference<css::uno::XComponentContext> context_;
};

// Runs `work`, turning a C++ exception (memory running out) into the UNO
// exception the office expects from a call, so none reaches the office's
// code unhandled.
template <class Work>
auto AtBoundary(Work&& work) -> decltype(work()) {
    try {
        return work();
    } catch (const css::uno::Exception&) {
        throw;
    } catch (const std::exception& e) {
        throw css::uno::RuntimeException(OUString::createFromAscii(e.what()));
    }
}

// When VARNOKE_WRITER_TRACE names a file, each line given is appended to it
// (UTF-8): how a test or a maintainer sees what the office called.
bool TraceEnabled();
void Trace(std::u16string_view line);
std::u16string ToU16(int64_t n);
// Tabs, line ends and backslashes escaped, so a field stays on its line.
std::u16string TraceField(std::u16string_view text);

}  // namespace varnoke::writer
