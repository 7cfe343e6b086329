// varnoke scan / info: the recognizer on the command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "component/data_paths.h"
#include "hostapi/platform.h"
#include "recognizer/st_recognizer.h"
#include "standins/recording_site.h"
#include "tool/common.h"

namespace varnoke::tool {
namespace {

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

// Reads FILE (or standard input) as UTF-8 and converts it to UTF-16.
bool ReadText(const Options& o, std::u16string& text, std::string& error) {
    std::string bytes;
    std::string name = "standard input";
    if (!o.positional.empty() && o.positional[0] != "-") {
        name = o.positional[0];
        std::ifstream in(std::filesystem::path(reinterpret_cast<const char8_t*>(name.c_str())), std::ios::binary);
        if (!in) {
            error = "cannot read " + name + ": " + std::strerror(errno);
            return false;
        }
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) {
            error = "cannot read " + name;
            return false;
        }
    } else {
        std::ostringstream ss;
        ss << std::cin.rdbuf();
        bytes = ss.str();
    }
    if (const auto bad = FirstInvalidUtf8(bytes); bad != std::string::npos) {
        error = name + ": invalid UTF-8 at byte " + std::to_string(bad);
        return false;
    }
    // Editors on Windows start files with a byte-order mark; a host never passes one.
    std::string_view view = bytes;
    if (view.starts_with("\xEF\xBB\xBF")) view.remove_prefix(3);
    text = *Utf8ToUtf16(view);
    return true;
}

void WarnIfNotLoaded(const STRecognizer& r) {
    if (r.ListState() == -1)
        std::cerr << "varnoke: no stock list loaded from " << Utf16ToUtf8(strStockXMLPath)
                  << " (missing or malformed): nothing is recognized\n";
}

}  // namespace

int Scan(const Options& o) {
    if (o.positional.size() > 1) return Fail("scan takes at most one FILE");
    std::u16string text;
    std::string error;
    if (!ReadText(o, text, error)) return Fail(error);

    auto xml = hostapi::NewXmlDocumentFactory();
    STRecognizer recognizer(*xml);
    if (recognizer.Construct(DataFolder(o)) != Status::ok) return Fail("cannot create XML documents");
    WarnIfNotLoaded(recognizer);

    standins::RecordingSite site;
    recognizer.ISmartTagRecognizer_Recognize(text, 0, 0, site);

    const bool json = o.Flag("--json");
    std::string out = json ? "[" : "";
    bool first = true;
    for (const auto& tag : site.tags) {
        const std::string id = Utf16ToUtf8(tag.properties.at(std::u16string(hostapi::kProductIdKey)));
        const std::string matched =
            Utf16ToUtf8(std::u16string_view(text).substr(tag.start - 1, tag.length));
        if (json) {
            out += first ? "\n  " : ",\n  ";
            out += "{\"start\": " + std::to_string(tag.start) +
                   ", \"length\": " + std::to_string(tag.length) +
                   ", \"productId\": " + JsonString(id) + ", \"text\": " + JsonString(matched) + "}";
        } else {
            out += std::to_string(tag.start) + '\t' + std::to_string(tag.length) + '\t' + id + '\t' +
                   matched + '\n';
        }
        first = false;
    }
    if (json) out += first ? "]\n" : "\n]\n";
    std::cout << out;
    return 0;
}

int Info(const Options& o) {
    if (!o.positional.empty()) return Fail("info takes no arguments");
    int32_t locale;
    if (!LocaleOption(o, locale)) return Fail("--locale needs a decimal locale identifier");

    auto xml = hostapi::NewXmlDocumentFactory();
    STRecognizer recognizer(*xml);
    if (recognizer.Construct(DataFolder(o)) != Status::ok) return Fail("cannot create XML documents");
    WarnIfNotLoaded(recognizer);

    std::u16string name;
    recognizer.ISmartTagRecognizer_Name(locale, name);
    std::cout << Utf16ToUtf8(recognizer.ISmartTagRecognizer_ProgId()) << '\n'
              << Utf16ToUtf8(name) << '\n'
              << Utf16ToUtf8(recognizer.ISmartTagRecognizer_Desc(locale)) << '\n'
              << recognizer.ISmartTagRecognizer_SmartTagCount() << '\n'
              << Utf16ToUtf8(recognizer.ISmartTagRecognizer_SmartTagName(1)) << '\n';
    return 0;
}

}  // namespace varnoke::tool
