// varnoke status: how the component is installed, and what it would load.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "actions/data_file_update.h"
#include "actions/manifest.h"
#include "adapters/platform.h"
#include "core/civil_date.h"
#include "core/data_paths.h"
#include "recognizer/st_recognizer.h"
#include "standins/recording_shell.h"
#include "tool/common.h"
#include "core/web_address.h"

namespace varnoke::tool {
namespace {

#if defined(_WIN32)
// The classes as component/varnoke.idl declares them.
struct ClassKeys {
    const wchar_t* progId;
    const wchar_t* clsid;
    const wchar_t* enrolment;  // the host's list the class enrols in
};
constexpr ClassKeys kClasses[] = {
    {L"VarnokeST.STRecognizer", L"{1648DD46-CF9C-466B-9179-871133C2A747}", L"Recognizers"},
    {L"VarnokeST.STAction", L"{2AF9659D-545C-460B-8F55-CFCB34662697}", L"Actions"},
};

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, REGSAM view) {
    HKEY opened;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return std::nullopt;
    wchar_t value[1024];
    DWORD size = sizeof value;
    const LONG rc = RegGetValueW(opened, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, value, &size);
    RegCloseKey(opened);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    return std::wstring(value);
}

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view) {
    HKEY opened;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

std::string Narrow(const std::wstring& w) { return Utf16ToUtf8(std::u16string(w.begin(), w.end())); }

// The machine type in a PE file's header.
std::string Bitness(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "file missing";
    unsigned char header[4096];
    DWORD read = 0;
    ReadFile(file, header, sizeof header, &read, nullptr);
    CloseHandle(file);
    if (read < 0x40 || header[0] != 'M' || header[1] != 'Z') return "not a DLL";
    const DWORD pe = header[0x3C] | header[0x3D] << 8 | header[0x3E] << 16 | static_cast<DWORD>(header[0x3F]) << 24;
    if (pe + 6 > read) return "not a DLL";
    const unsigned machine = header[pe + 4] | header[pe + 5] << 8;
    return machine == 0x8664 ? "64-bit" : machine == 0x14C ? "32-bit" : "unknown machine";
}

void PrintRegistration(std::ostream& out) {
    // Both registry views: a 32-bit host reads the 32-bit one.
    const std::pair<REGSAM, const char*> views[] = {{KEY_WOW64_64KEY, "64-bit view"}, {KEY_WOW64_32KEY, "32-bit view"}};
    const std::pair<HKEY, const char*> scopes[] = {{HKEY_CURRENT_USER, "user"}, {HKEY_LOCAL_MACHINE, "machine"}};
    for (const auto& [view, viewName] : views)
        for (const ClassKeys& c : kClasses) {
            for (const auto& [root, scope] : scopes) {
                const std::wstring classKey = std::wstring(L"Software\\Classes\\CLSID\\") + c.clsid;
                const auto server = ReadString(root, classKey + L"\\InprocServer32", view);
                const auto progId =
                    ReadString(root, std::wstring(L"Software\\Classes\\") + c.progId + L"\\CLSID", view);
                out << "registration (" << scope << ", " << viewName << "): " << Narrow(c.progId) << ' '
                    << Narrow(c.clsid) << ": ";
                if (!server)
                    out << "not registered";
                else
                    out << "server " << Narrow(*server) << " (" << Bitness(*server) << ")"
                        << (progId && *progId == c.clsid ? "" : ", ProgID missing or names another class");
                out << '\n';
                const std::wstring enrolKey =
                    std::wstring(L"Software\\Microsoft\\Office\\Common\\Smart Tag\\") + c.enrolment + L"\\" + c.clsid;
                out << "enrolment (" << scope << ", " << viewName << "): " << Narrow(c.progId) << ": "
                    << (KeyExists(root, enrolKey, view) ? "enrolled" : "not enrolled") << '\n';
            }
        }
}
#else
void PrintRegistration(std::ostream& out) {
    out << "registration: none here (the COM component exists on Windows only)\n";
}
#endif

// Minutes since 1970 in local time, as the refresh fields count them, as a date.
std::string MinutesText(int64_t minutes) {
    const int64_t days = FloorDiv(minutes, 1440);
    const int64_t inDay = minutes - days * 1440;
    const auto [year, month, day] = CivilFromDays(days);
    char text[128];  // room for any 64-bit field
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(inDay / 60),
                  static_cast<long long>(inDay % 60));
    return text;
}

// Whether a new file can be made in the folder, as a refresh makes its
// temporaries there.
bool Writable(const std::u16string& folder) {
    const std::filesystem::path probe =
        std::filesystem::path(folder) /
        ("varnoke-status-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".tmp");
    {
        std::ofstream out(probe, std::ios::binary);
        if (!out) return false;
    }
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
    return true;
}

}  // namespace

int StatusCommand(const Options& o) {
    if (!o.positional.empty()) return Fail("status takes no arguments");
    std::string error;
    const auto folder = DataFolder(o, error);
    if (!folder) return Fail(error);
    PrintRegistration(std::cout);

    std::cout << "data folder: " << Utf16ToUtf8(*folder) << '\n';
    auto xml = adapters::NewXmlDocumentFactory();
    STRecognizer recognizer(*xml);
    recognizer.Construct(*folder);
    std::cout << "stock list: " << Utf16ToUtf8(FormDataFilePath(*folder, kStockFileName)) << ": ";
    if (recognizer.ListState() == -1)
        std::cout << "does not load (missing or malformed; run varnoke check)\n";
    else
        std::cout << "loads, " << recognizer.StockCount() << " entries\n";

    standins::RecordingShell shell;
    STAction action(ActionPorts{*xml, shell});
    action.Construct(*folder);
    const int verbs = action.VerbsWithAddress();
    std::cout << "action table: " << Utf16ToUtf8(FormDataFilePath(*folder, kActionFileName)) << ": ";
    if (verbs == 0)
        std::cout << "does not load or has no verb (run varnoke check)\n";
    else
        std::cout << "loads, " << verbs << " of " << kVerbCount << " verbs with an address\n";

    std::cout << "folder writable: " << (Writable(*folder) ? "yes" : "no (a refresh cannot replace the files)") << '\n';
    if (!action.UpdateInfoValid()) {
        std::cout << "refresh: off (no lastcheckpoint, lastupdate and updateurl in the action table)\n";
        return 0;
    }
    const int32_t now = MinuteCount(adapters::NewSystemClock()->Now());
    const int64_t due = int64_t{action.LastUpdate()} + action.UpdateFrequency();
    std::cout << "refresh: lastupdate " << action.LastUpdate() << " (" << MinutesText(action.LastUpdate())
              << "), every " << action.UpdateFrequency() << " minutes, next due " << MinutesText(due + 1)
              << (due < now ? " (due now)" : "") << '\n'
              << "refresh: checkpoint " << action.LastCheckpoint() << ", updateurl " << Utf16ToUtf8(action.UpdateURL())
              << (IsWebAddress(BaseLocation(action.UpdateURL()) + std::u16string(kActionFileName))
                      ? ""
                      : " (not an http(s) address: never read)")
              << '\n';
    if (!action.Keyed()) {
        std::cout << "refresh: not keyed (no <publickey>): a newer remote pair is installed unsigned\n";
        return 0;
    }
    if (!DecodePublicKey(Utf16ToUtf8(action.PublicKey()))) {
        std::cout << "refresh: keyed, but <publickey> is no P-256 key in base64: every refresh is refused\n";
        return 0;
    }
    std::cout << "refresh: keyed: a remote pair is installed only under a signature by <publickey> "
              << Utf16ToUtf8(action.PublicKey().substr(0, 24)) << "...\n";
    const auto text = adapters::ReadRegularFile(FormDataFilePath(*folder, kManifestFileName));
    const auto manifest = text ? ParseManifest(*text) : std::nullopt;
    if (!text)
        std::cout << "manifest: none in the data folder\n";
    else if (!manifest)
        std::cout << "manifest: manifest.txt is malformed (run varnoke check)\n";
    else
        std::cout << "manifest (of the installed pair): checkpoint " << manifest->checkpoint << ", expires "
                  << UtcText(manifest->expires)
                  << (manifest->expires <= adapters::NewSystemClock()->UtcSeconds() ? " (expired)" : "") << '\n';
    return 0;
}

}  // namespace varnoke::tool
