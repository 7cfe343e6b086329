// varnoke check: the data files as their maintainers need to see them.
//
// Values are read through the loaders' own field reader (a field holding an
// element has no value, entries are taken in document order, verbs by
// position), and a signed folder through the refresh's own checks, so a
// finding is about what the component would really do. Whether a file loads,
// and where it breaks, is the XML port's own verdict; the port's outline
// gives each element's line.
#include <algorithm>
#include <array>
#include <map>

#include "actions/data_file_update.h"
#include "actions/manifest.h"
#include "actions/table_fields.h"
#include "actions/st_action.h"
#include "adapters/platform.h"
#include "core/base64.h"
#include "core/data_paths.h"
#include "core/decimal.h"
#include "core/web_address.h"
#include "core/xml_source.h"
#include "tool/common.h"

namespace varnoke::tool {
namespace {

// The names the loaders read; verbs follow the ActionUrl order alone.
constexpr std::array<std::u16string_view, kVerbCount> kVerbNames = {u"StockQuote", u"CompanyReport", u"RecentNews",
                                                                    u"BasicInformation", u"InsertStockPrice"};
constexpr std::array<const char*, kVerbCount> kVerbDoes = {"the stock quote page", "the company report page",
                                                           "the recent news page", "the basic information page",
                                                           "the web query inserted in a spreadsheet"};

struct Element {
    std::string name;
    std::size_t line;
    std::size_t depth;  // 1 for the root
};

// Elements in document order with their lines.
struct Outline {
    std::vector<Element> elements;

    std::vector<std::size_t> Lines(std::string_view name) const {
        std::vector<std::size_t> lines;
        for (const Element& e : elements)
            if (e.name == name) lines.push_back(e.line);
        return lines;
    }
};

class Checker {
public:
    explicit Checker(hostapi::IXmlDocumentFactory& xml) : xml_(xml) {}

    void Report(const std::string& file, std::size_t line, bool error, const std::string& what,
                const std::string& why) {
        std::cout << file << ':' << line << ": " << (error ? "error" : "warning") << ": " << what << " \u2014 " << why
                  << '\n';
        errors_ += error;
    }
    int Errors() const { return errors_; }

    // Loads the file as the component would; the document when it loads.
    std::unique_ptr<hostapi::IXmlDocument> Open(const std::u16string& path, const std::string& file, Outline& outline) {
        auto doc = xml_.NewDocument();
        if (!doc) throw std::runtime_error("cannot create XML documents");
        const hostapi::XmlLoadResult loaded = doc->Load(path);
        if (loaded.status == hostapi::XmlLoadStatus::unreadable) {
            Report(file, 0, true, "cannot be read (missing, or not a regular file)",
                   "the component loads nothing from it");
            return nullptr;
        }
        if (!loaded) {
            Report(file, loaded.line, true,
                   loaded.reason + (loaded.column ? " (column " + std::to_string(loaded.column) + ")" : ""),
                   "the file does not load at all");
            return nullptr;
        }
        const auto bytes = adapters::ReadRegularFile(path);
        const XmlEncodingFound encoding = FindXmlEncoding(bytes.value_or(""));
        if (encoding.label.empty() && !encoding.byteOrderMark)
            Report(file, 1, false, "no XML declaration naming the encoding",
                   "readers take the file as UTF-8; a file saved in another encoding does not load");
        for (hostapi::XmlElementLine& e : doc->Outline())
            outline.elements.push_back({Utf16ToUtf8(e.name), e.line, e.depth});
        return doc;
    }

    void StockList(const std::u16string& folder) {
        const std::u16string path = FormDataFilePath(folder, kStockFileName);
        const std::string file = Utf16ToUtf8(path);
        Outline outline;
        auto doc = Open(path, file, outline);
        if (!doc) return;
        Unknown(outline, file, {"StockData", "KestriaStockList", "StockName", "StockID"},
                "the loader reads only <KestriaStockList> entries with <StockName> and <StockID>");
        const auto entries = doc->ElementsByTagName(u"KestriaStockList").value_or(std::vector<hostapi::XmlNode>{});
        const auto lines = LinesOf(outline, "KestriaStockList", entries.size());
        if (entries.empty()) Report(file, 1, true, "no <KestriaStockList> entry", "nothing would be recognized");
        std::map<std::u16string, std::size_t> seen;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (!doc->HasChildNodes(entries[i])) {
                Report(file, lines[i], true, "empty entry", "it is never recognized");
                continue;
            }
            const auto name = Field(*doc, entries[i], u"StockName", file, lines[i], "the entry never matches");
            Field(*doc, entries[i], u"StockID", file, lines[i], "its tags would carry no ProductID");
            if (!name) continue;
            const auto [first, added] = seen.emplace(*name, lines[i]);
            if (!added)
                Report(file, lines[i], false,
                       "name \"" + Utf16ToUtf8(*name) + "\" also on line " + std::to_string(first->second),
                       "the text is tagged once for each entry");
        }
    }

    void ActionTable(const std::u16string& folder, int32_t now) {
        const std::u16string path = FormDataFilePath(folder, kActionFileName);
        const std::string file = Utf16ToUtf8(path);
        Outline outline;
        auto doc = Open(path, file, outline);
        if (!doc) return;
        Unknown(outline, file,
                {"ActionList", "ActionUrl", "ActionName", "URL", "lastcheckpoint", "lastupdate", "updatefrequency",
                 "updateurl", "publickey"},
                "the loader reads only <ActionUrl> with <ActionName> and <URL>, and the refresh elements");
        const auto items = doc->ElementsByTagName(u"ActionUrl").value_or(std::vector<hostapi::XmlNode>{});
        const auto lines = LinesOf(outline, "ActionUrl", items.size());
        if (items.size() < kVerbCount) {
            Report(file, items.empty() ? 1 : lines.back(), true,
                   std::to_string(items.size()) + " <ActionUrl> elements, " + std::to_string(kVerbCount) + " expected",
                   items.empty() ? "no verb has an address, and the refresh never runs"
                                 : "verbs " + std::to_string(items.size()) + " to 4 have no address");
        } else if (items.size() > kVerbCount) {
            Report(file, lines[kVerbCount], false,
                   std::to_string(items.size()) + " <ActionUrl> elements, " + std::to_string(kVerbCount) + " expected",
                   "those past the fifth are ignored");
        }
        for (std::size_t i = 0; i < items.size() && i < kVerbCount; ++i) {
            const std::string verb = "verb " + std::to_string(i) + " (" + kVerbDoes[i] + ")";
            const auto name = Field(*doc, items[i], u"ActionName", file, lines[i], verb + " has no name", false);
            if (name && *name != kVerbNames[i]) {
                const auto other = std::find(kVerbNames.begin(), kVerbNames.end(), *name);
                if (other != kVerbNames.end())
                    Report(file, lines[i], true,
                           "<ActionName>" + Utf16ToUtf8(*name) + "</ActionName> in position " + std::to_string(i + 1) +
                               ", expected " + Utf16ToUtf8(kVerbNames[i]),
                           "verbs are taken by position, not by name: " + verb + " would open this URL");
                else
                    Report(file, lines[i], false,
                           "<ActionName>" + Utf16ToUtf8(*name) + "</ActionName> in position " + std::to_string(i + 1) +
                               ", expected " + Utf16ToUtf8(kVerbNames[i]),
                           "verbs are taken by position: this URL serves " + verb);
            }
            const auto url = Field(*doc, items[i], u"URL", file, lines[i], verb + " opens nothing");
            if (url && !IsWebAddress(*url))
                Report(file, lines[i], true, "URL \"" + Utf16ToUtf8(*url) + "\" is not a web address",
                       "only http(s) addresses free of blanks, quotes and control characters are opened: " + verb +
                           " would open nothing");
        }
        Refresh(*doc, outline, file, now);
    }

private:
    // The lines of the loader's elements, found by name in the outline; line
    // 1 for all when the outline does not match what the port found.
    static std::vector<std::size_t> LinesOf(const Outline& outline, std::string_view name, std::size_t count) {
        auto lines = outline.Lines(name);
        if (lines.size() != count) lines.assign(count, 1);
        return lines;
    }

    void Unknown(const Outline& outline, const std::string& file, std::initializer_list<std::string_view> known,
                 const std::string& why) {
        for (const Element& e : outline.elements)
            if (std::find(known.begin(), known.end(), e.name) == known.end())
                Report(file, e.line, false, "unknown element <" + e.name + ">", "a misspelt name? " + why);
    }

    // A field as the loader reads it: nothing when missing, holding an
    // element, or empty (each reported).
    std::optional<std::u16string> Field(hostapi::IXmlDocument& doc, hostapi::XmlNode parent, std::u16string_view name,
                                        const std::string& file, std::size_t line, const std::string& why,
                                        bool error = true) {
        const std::string tag = "<" + Utf16ToUtf8(name) + ">";
        if (!doc.HasChildNodes(parent)) {
            Report(file, line, error, "empty entry, no " + tag, why);
            return std::nullopt;
        }
        const TableField field = VerbField(doc, parent, name);
        if (!field.Present()) {
            Report(file, line, error, "no " + tag + " in this entry", why);
            return std::nullopt;
        }
        if (field.holdsElement) {
            Report(file, line, error, tag + " holds an element", "it is read as no value: " + why);
            return std::nullopt;
        }
        const auto& value = field.text;
        if (!value || value->find_first_not_of(u" \t\r\n") == std::u16string::npos) {
            Report(file, line, error, "empty " + tag, why);
            return std::nullopt;
        }
        return value;
    }

    void Refresh(hostapi::IXmlDocument& doc, const Outline& outline, const std::string& file, int32_t now) {
        const auto lineOf = [&](std::string_view name) {
            for (const Element& e : outline.elements)
                if (e.name == name && e.depth == 2) return e.line;
            return std::size_t{1};
        };
        for (const Element& e : outline.elements)
            if (e.depth > 2 && (e.name == "lastcheckpoint" || e.name == "lastupdate" || e.name == "updatefrequency" ||
                                e.name == "updateurl" || e.name == "publickey"))
                Report(file, e.line, false, "<" + e.name + "> is not a direct child of the root element",
                       "the refresh reads it only there");
        const RefreshFields fields = ReadRefreshFields(doc);
        const auto number = [&](const TableField& field, std::string_view name, int32_t lowest,
                                const char* why) -> std::optional<int32_t> {
            if (!field.Present()) return std::nullopt;
            const std::string tag = "<" + std::string(name) + ">";
            const std::u16string text = field.text.value_or(u"");
            const auto value = field.Number();
            if (!value)
                Report(file, lineOf(name), true,
                       tag + " \"" + Utf16ToUtf8(text) + "\" is not a decimal number up to 2147483647",
                       std::string("the loader keeps 0 instead: ") + why);
            else if (*value < lowest)
                Report(file, lineOf(name), true,
                       tag + " " + std::to_string(*value) + " is below " + std::to_string(lowest), why);
            return value;
        };
        const bool checkpoint = fields.lastcheckpoint.Present(), lastupdate = fields.lastupdate.Present();
        const bool url = fields.updateurl.Present();
        checkpoint_ = number(fields.lastcheckpoint, "lastcheckpoint", 0,
                             "a refresh replaces the files only with a larger checkpoint")
                          .value_or(0);
        const auto last = number(fields.lastupdate, "lastupdate", 0, "it counts minutes since 1970, local time");
        number(fields.updatefrequency, "updatefrequency", 1,
               "minutes between refreshes: below 1 every invocation of a verb fetches");
        if (last && *last > now)
            Report(file, lineOf("lastupdate"), false,
                   "<lastupdate> " + std::to_string(*last) + " lies in the future (now " + std::to_string(now) + ")",
                   "no refresh happens until that time has passed");
        keyed_ = fields.publickey.Present();
        key_ = Utf16ToUtf8(fields.publickey.text.value_or(u""));
        if (keyed_ && !DecodePublicKey(key_))
            Report(file, lineOf("publickey"), true, "<publickey> is not a P-256 key in base64",
                   "every refresh is refused (key_invalid); give the base64 of the key's DER SubjectPublicKeyInfo, "
                   "what openssl ec -pubout -outform DER | base64 -w0 prints");
        if (!checkpoint && !lastupdate && !url) return;  // the refresh is off, as intended
        if (!checkpoint || !lastupdate || !url) {
            Report(file, 1, false, "the refresh needs <lastcheckpoint>, <lastupdate> and <updateurl>; one is missing",
                   "the data files are never refreshed");
            if (!url) return;
        }
        const std::u16string address = fields.updateurl.text.value_or(u"");
        const std::u16string base = BaseLocation(address);
        if (!IsWebAddress(address) || !IsWebAddress(base + std::u16string(kActionFileName)))
            Report(file, lineOf("updateurl"), true,
                   "<updateurl> \"" + Utf16ToUtf8(address) + "\" is not an http(s) address",
                   "the refresh reads only web addresses: the data files are never refreshed");
    }

public:
    // The folder's manifest and signatures, under the table's key: what a
    // keyed refresh would say of this folder served as the update location.
    void Signed(const std::u16string& folder, hostapi::ICrypto& crypto, int64_t nowUtc) {
        const std::string file = Utf16ToUtf8(FormDataFilePath(folder, kManifestFileName));
        const auto manifest = adapters::ReadRegularFile(FormDataFilePath(folder, kManifestFileName));
        const auto signatures = adapters::ReadRegularFile(FormDataFilePath(folder, kSignatureFileName));
        if (!keyed_) {
            if (manifest)
                Report(file, 1, false, "a manifest beside a table that names no <publickey>",
                       "nothing checks it: refreshes of this folder's data are not signed");
            return;
        }
        if (!DecodePublicKey(key_)) return;  // reported with the table
        if (!manifest && !signatures) {
            Report(file, 0, false, "the table names a <publickey>, and the folder is not signed",
                   "served as the update location, keyed refreshes refuse it (no_signature); run varnoke publish");
            return;
        }
        const auto table = adapters::ReadRegularFile(FormDataFilePath(folder, kActionFileName));
        const auto list = adapters::ReadRegularFile(FormDataFilePath(folder, kStockFileName));
        if (!table || !list) return;  // reported with the file
        SignedPair pair{*table, std::string_view(*list), std::nullopt, std::nullopt, checkpoint_};
        if (manifest) pair.manifest = *manifest;
        if (signatures) pair.signatures = *signatures;
        std::optional<Manifest> read;
        const SignedVerdict verdict = CheckSignedPair(crypto, key_, pair, nowUtc, &read);
        const std::string expires = read ? " (expires " + UtcText(read->expires) + ")" : "";
        switch (verdict) {
            case SignedVerdict::ok:
                std::cout << file << ": signed by the table's key, checkpoint " << read->checkpoint << expires << '\n';
                return;
            case SignedVerdict::expired:
                Report(file, 3, false, "the manifest has expired" + expires,
                       "keyed refreshes refuse it (expired); run varnoke publish again");
                return;
            case SignedVerdict::no_signature:
                Report(file, 0, true, "no manifest.txt, or no well-formed manifest.sig, beside the other",
                       "keyed refreshes refuse the folder (no_signature)");
                return;
            case SignedVerdict::bad_signature:
                Report(file, 0, true, "no signature in manifest.sig is by the table's <publickey>",
                       "keyed refreshes holding this key refuse it (bad_signature); a release that rotates keys "
                       "is signed by the old key and the new one");
                return;
            case SignedVerdict::manifest_invalid:
                Report(file, 1, true, "not a manifest", "keyed refreshes refuse it (manifest_invalid)");
                return;
            case SignedVerdict::hash_mismatch:
                // A refreshed client keeps the list as served and rewrites the table's lastupdate.
                if (read && crypto.Sha256(*list) == read->list)
                    Report(file, 0, false, "acturl.xml is not the file the manifest names, varnokeL.xml is",
                           "as in a refreshed client's folder, whose table has its own lastupdate; served as the "
                           "update location, keyed refreshes refuse it (hash_mismatch): run varnoke publish again");
                else
                    Report(file, 0, true, "varnokeL.xml is not the file the manifest names (changed after publishing?)",
                           "keyed refreshes refuse it (hash_mismatch); run varnoke publish again");
                return;
            case SignedVerdict::checkpoint_mismatch:
                Report(file, 2, true, "the manifest's checkpoint is not the table's <lastcheckpoint>",
                       "keyed refreshes refuse it (checkpoint_mismatch); run varnoke publish again");
                return;
            case SignedVerdict::key_invalid: return;
        }
    }

private:
    hostapi::IXmlDocumentFactory& xml_;
    int errors_ = 0;
    int32_t checkpoint_ = 0;  // the table's, as the loader reads it
    bool keyed_ = false;      // it names a <publickey>
    std::string key_;         // its text
};

}  // namespace

int Check(const Options& o) {
    if (!o.positional.empty()) return Fail("check takes no arguments");
    std::string error;
    const auto folder = DataFolder(o, error);
    if (!folder) return Fail(error);
    auto xml = adapters::NewXmlDocumentFactory();
    Checker checker(*xml);
    checker.StockList(*folder);
    const auto clock = adapters::NewSystemClock();
    checker.ActionTable(*folder, MinuteCount(clock->Now()));
    checker.Signed(*folder, *adapters::NewCrypto(), clock->UtcSeconds());
    return checker.Errors() ? 1 : 0;
}

}  // namespace varnoke::tool
