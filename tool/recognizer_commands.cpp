// varnoke scan / info: the recognizer on the command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "adapters/platform.h"
#include "recognizer/matcher.h"
#include "tool/clients.h"
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

// A field of scan's line format: one line, no tab inside. The backslash is
// escaped too, so each escape reads back to one character.
std::string LineField(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default: out += c;
        }
    }
    return out;
}

// Reads FILE (or standard input) as UTF-8 and converts it to UTF-16.
bool ReadText(const Options& o, std::u16string& text, std::string& error) {
    std::string bytes;
    std::string name = "standard input";
    if (!o.positional.empty() && o.positional[0] != "-") {
        name = o.positional[0];
        // A regular file only: a folder, a pipe or a device is no text.
        const auto path = Utf8ToUtf16(name);
        auto read = path ? adapters::ReadRegularFile(*path) : std::nullopt;
        if (!read) {
            const int reason = errno;
            std::error_code ec;
            const auto status =
                std::filesystem::status(std::filesystem::path(reinterpret_cast<const char8_t*>(name.c_str())), ec);
            error = "cannot read " + name + ": " +
                    (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)
                         ? std::string("not a regular file")
                         : std::string(std::strerror(reason)));
            return false;
        }
        bytes = std::move(*read);
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

std::unique_ptr<RecognizerClient> Recognizer(const Options& o, std::string& error) {
    auto client = MakeRecognizer(o, error);
    if (client)
        if (auto reason = client->NotLoadedReason()) std::cerr << "varnoke: " << *reason << '\n';
    return client;
}

}  // namespace

int Scan(const Options& o) {
    if (o.positional.size() > 1) return Fail("scan takes at most one FILE");
    std::u16string text;
    std::string error;
    if (!ReadText(o, text, error)) return Fail(error);

    auto recognizer = Recognizer(o, error);
    if (!recognizer) return Fail(error);
    // Each tag is printed as it is committed: a long text's output is never
    // held whole.
    const bool json = o.Flag("--json");
    bool first = true;
    std::string out;
    const bool recognized = recognizer->Recognize(text, [&](const Tag& tag) {
        out.clear();
        if (json && first) out += "[";
        const std::string id = Utf16ToUtf8(tag.productId);
        const std::string matched = Utf16ToUtf8(std::u16string_view(text).substr(tag.start - 1, tag.length));
        if (json) {
            out += first ? "\n  " : ",\n  ";
            out += "{\"start\": " + std::to_string(tag.start) + ", \"length\": " + std::to_string(tag.length) +
                   ", \"productId\": " + JsonString(id) + ", \"text\": " + JsonString(matched) + "}";
        } else {
            out += std::to_string(tag.start) + '\t' + std::to_string(tag.length) + '\t' + LineField(id) + '\t' +
                   LineField(matched) + '\n';
        }
        first = false;
        std::cout << out;
    });
    if (!recognized) {
        // Nothing was committed, so nothing was printed.
        std::cerr << "varnoke: more than " << StockNameMatcher::kMaxMatches
                  << " tags in one text: nothing recognized\n";
        return 1;
    }
    if (json) std::cout << (first ? "[]\n" : "\n]\n");
    return 0;
}

int Info(const Options& o) {
    if (!o.positional.empty()) return Fail("info takes no arguments");
    int32_t locale;
    if (!LocaleOption(o, locale)) return Fail("--locale needs a decimal locale identifier");

    std::string error;
    auto recognizer = Recognizer(o, error);
    if (!recognizer) return Fail(error);
    std::cout << Utf16ToUtf8(recognizer->ProgId()) << '\n'
              << Utf16ToUtf8(recognizer->Name(locale)) << '\n'
              << Utf16ToUtf8(recognizer->Desc(locale)) << '\n'
              << recognizer->SmartTagCount() << '\n'
              << Utf16ToUtf8(recognizer->SmartTagName(1)) << '\n';
    return 0;
}

}  // namespace varnoke::tool
