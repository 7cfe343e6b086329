// The refresh's checks of what a server sends: any pair of remote documents
// either leaves both local files as they were, or replaces them with a
// stock list that recognizes something and an action table that can refresh
// again. The input is the remote action table, a 0xFF byte, then the remote
// stock list.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>

#include "actions/data_file_update.h"
#include "actions/st_action.h"
#include "adapters/platform.h"
#include "fuzz/fuzz_support.h"
#include "recognizer/st_recognizer.h"
#include "standins/recording_shell.h"

using namespace varnoke;

namespace {

constexpr std::u16string_view kRemote = u"http://fuzz.invalid/data/";

// Serves the two remote addresses from files; everything else as it is.
class ServedXml final : public hostapi::IXmlDocumentFactory {
public:
    std::unique_ptr<hostapi::IXmlDocument> NewDocument() override {
        return std::make_unique<Document>(inner_->NewDocument());
    }

private:
    class Document final : public hostapi::IXmlDocument {
    public:
        explicit Document(std::unique_ptr<hostapi::IXmlDocument> d) : d_(std::move(d)) {}
        void SetAsync(bool a) override { d_->SetAsync(a); }
        bool Load(std::u16string_view at) override {
            if (at.starts_with(kRemote))
                return d_->Load(fuzz::Utf16Path(fuzz::ScratchFolder() / "remote" / Utf16ToUtf8(at.substr(kRemote.size()))));
            return d_->Load(at);
        }
        void SetFetchDeadline(std::chrono::steady_clock::time_point at) override { d_->SetFetchDeadline(at); }
        hostapi::XmlNode DocumentElement() override { return d_->DocumentElement(); }
        std::optional<std::vector<hostapi::XmlNode>> ElementsByTagName(std::u16string_view n) override {
            return d_->ElementsByTagName(n);
        }
        bool HasChildNodes(hostapi::XmlNode n) override { return d_->HasChildNodes(n); }
        bool HasChildElement(hostapi::XmlNode n) override { return d_->HasChildElement(n); }
        hostapi::XmlNode SelectSingleNode(hostapi::XmlNode n, std::u16string_view name) override {
            return d_->SelectSingleNode(n, name);
        }
        std::optional<hostapi::XmlRecords> ReadRecords(std::u16string_view entry,
                                                       std::span<const std::u16string_view> fields) override {
            return d_->ReadRecords(entry, fields);
        }
        std::optional<std::u16string> TypedValue(hostapi::XmlNode n) override { return d_->TypedValue(n); }
        std::optional<std::u16string> Text(hostapi::XmlNode n) override { return d_->Text(n); }
        bool SetText(hostapi::XmlNode n, std::u16string_view t) override { return d_->SetText(n, t); }
        bool Save(std::u16string_view path) override { return d_->Save(path); }

    private:
        std::unique_ptr<hostapi::IXmlDocument> d_;
    };
    std::unique_ptr<hostapi::IXmlDocumentFactory> inner_ = adapters::NewXmlDocumentFactory();
};

class LateClock final : public hostapi::IClock {
public:
    hostapi::LocalDateTime Now() override { return {2030, 1, 1, 0, 0, 0}; }
};

constexpr std::string_view kLocalTable =
    "<r><ActionUrl><ActionName>q</ActionName><URL>http://example.com/q?</URL></ActionUrl>"
    "<lastcheckpoint>1</lastcheckpoint><lastupdate>0</lastupdate><updatefrequency>0</updatefrequency>"
    "<updateurl>http://fuzz.invalid/data/acturl.xml</updateurl></r>";
constexpr std::string_view kLocalList =
    "<r><KestriaStockList><StockName>峻磐</StockName><StockID>1101</StockID></KestriaStockList></r>";

std::string Read(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::filesystem::path& p, std::string_view bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ServedXml xml;
    static LateClock clock;
    static const auto files = adapters::NewFiles();
    const auto folder = fuzz::ScratchFolder() / "local";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(fuzz::ScratchFolder() / "remote");
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find('\xFF');
    Write(fuzz::ScratchFolder() / "remote" / "acturl.xml", input.substr(0, split));
    Write(fuzz::ScratchFolder() / "remote" / "varnokeL.xml",
          split == std::string_view::npos ? std::string_view() : input.substr(split + 1));
    Write(folder / "acturl.xml", kLocalTable);
    Write(folder / "varnokeL.xml", kLocalList);

    standins::RecordingShell shell;
    DataFileUpdate update(xml, clock, *files);
    STAction action({xml, shell, nullptr, &update});
    action.Construct(fuzz::Utf16Path(folder));
    update.Run(action);

    const std::string table = Read(folder / "acturl.xml"), list = Read(folder / "varnokeL.xml");
    if (table == kLocalTable && list == kLocalList) return 0;
    // Something was replaced: both files must serve the next objects.
    STRecognizer recognizer(xml);
    recognizer.Construct(fuzz::Utf16Path(folder));
    bool usable = false;
    for (const auto& entry : recognizer.StockList()) usable |= !entry.strStockName.empty() && !entry.strStockID.empty();
    if (recognizer.ListState() != 0 || !usable) fuzz::Finding("a refresh installed a stock list with no usable entry");
    STAction next({xml, shell});
    next.Construct(fuzz::Utf16Path(folder));
    if (!next.UpdateInfoValid()) fuzz::Finding("a refresh installed an action table that cannot refresh again");
    return 0;
}
