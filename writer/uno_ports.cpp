#include "writer/uno_ports.h"

#include <com/sun/star/system/SystemShellExecute.hpp>
#include <com/sun/star/system/SystemShellExecuteFlags.hpp>
#include <com/sun/star/text/TextMarkupType.hpp>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "core/strings.h"
#include "core/unicode.h"

namespace varnoke::writer {

std::u16string ToU16(int64_t n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

hostapi::LocaleId LocaleIdOf(const css::lang::Locale& locale) {
    return LocaleIdForLanguage(View(locale.Language), View(locale.Country));
}

std::u16string ExtensionFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ExtensionFolder), &info) || !info.dli_fname) return {};
    std::string path(info.dli_fname);
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    path.resize(slash == 0 ? 1 : slash);
    return Utf8ToUtf16(path).value_or(u"");
}

std::u16string DataFolder() {
#if defined(VARNOKE_DATA_DIR)
    return Utf8ToUtf16(VARNOKE_DATA_DIR).value_or(u"");
#else
    return ExtensionFolder();
#endif
}

std::unique_ptr<hostapi::ISmartTagProperties> MarkupSite::GetNewPropertyBag() {
    try {
        auto map = markup_->getMarkupInfoContainer();
        if (!map.is()) return nullptr;
        return std::make_unique<KeyMapBag>(map);
    } catch (const css::uno::Exception&) {
        return nullptr;
    }
}

bool MarkupSite::CommitSmartTag(std::u16string_view smartTagName, int32_t start, int32_t length,
                                hostapi::ISmartTagProperties& properties) {
    // Only bags this site handed out reach here.
    auto& bag = static_cast<KeyMapBag&>(properties);
    try {
        markup_->commitStringMarkup(css::text::TextMarkupType::SMARTTAG, ToOUString(smartTagName), start - 1, length,
                                    bag.Map());
    } catch (const css::uno::Exception&) {
        return false;
    }
    ++committed_;
    if (trace_) {
        std::u16string id;
        bag.Read(hostapi::kProductIdKey, id);
        const auto text = paragraph_.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length));
        Trace(u"tag\t" + ToU16(start) + u"\t" + ToU16(length) + u"\t" + TraceField(id) + u"\t" + TraceField(text));
    }
    return true;
}

bool KeyMapBag::Read(std::u16string_view key, std::u16string& value) {
    try {
        const OUString k = ToOUString(key);
        if (!map_.is() || !map_->hasValue(k)) return false;
        OUString v;
        if (!(map_->getValue(k) >>= v)) return false;
        value.assign(View(v));
        return true;
    } catch (const css::uno::Exception&) {
        return false;
    }
}

bool KeyMapBag::Write(std::u16string_view key, std::u16string_view value) {
    try {
        if (!map_.is()) return false;
        map_->insertValue(ToOUString(key), css::uno::Any(ToOUString(value)));
        return true;
    } catch (const css::uno::Exception&) {
        return false;
    }
}

bool OfficeShell::Open(std::u16string_view url) {
    try {
        auto shell = css::system::SystemShellExecute::create(context_);
        // URIS_ONLY: the service itself also refuses anything but an absolute address.
        shell->execute(ToOUString(url), OUString(), css::system::SystemShellExecuteFlags::URIS_ONLY);
        return true;
    } catch (const css::uno::Exception&) {
        return false;
    }
}

bool TraceEnabled() {
    const char* file = std::getenv("VARNOKE_WRITER_TRACE");
    return file && *file;
}

void Trace(std::u16string_view line) {
    const char* file = std::getenv("VARNOKE_WRITER_TRACE");
    if (!file || !*file) return;
    static std::mutex lock;
    // Opened once and never closed: a recognize call traces a few lines, and
    // opening the file for each cost the office more than the call itself.
    // Each line is flushed, so that a reader sees it as it comes.
    static std::FILE* f = nullptr;
    const std::lock_guard<std::mutex> hold(lock);
    if (!f) f = std::fopen(file, "a");
    if (!f) return;
    const std::string text = Utf16ToUtf8(line) + '\n';
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
}

std::u16string TraceField(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        switch (c) {
            case u'\\': out += u"\\\\"; break;
            case u'\t': out += u"\\t"; break;
            case u'\n': out += u"\\n"; break;
            case u'\r': out += u"\\r"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace varnoke::writer
