// This platform's adapters, for the programs that link the core directly
// (the command-line tool, the tests) and for the component's class shells.
// Each platform's folder implements these factories once.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "actions/data_file_update.h"
#include "actions/st_action.h"
#include "hostapi/clock.h"
#include "hostapi/fetch.h"
#include "hostapi/crypto.h"
#include "hostapi/files.h"
#include "hostapi/shell.h"
#include "hostapi/xml.h"

namespace varnoke::adapters {

std::unique_ptr<hostapi::IXmlDocumentFactory> NewXmlDocumentFactory();
// Opens addresses in the desktop's browser.
std::unique_ptr<hostapi::IShell> NewDesktopShell();
// The system's local date and time.
std::unique_ptr<hostapi::IClock> NewSystemClock();
// The file system, replacing files in one step.
std::unique_ptr<hostapi::IFiles> NewFiles();
// http and https fetches within the bounds.
std::unique_ptr<hostapi::IFetch> NewFetch(const hostapi::FetchLimits& limits = {});
// SHA-256 and P-256 signature checks by the system's cryptography library.
std::unique_ptr<hostapi::ICrypto> NewCrypto();

// The whole content of a regular file. Nothing for anything else (a folder,
// a pipe, a device), which is opened in a way that cannot block and is
// never read.
std::optional<std::string> ReadRegularFile(std::u16string_view path);

// The system's decoding of the Chinese code pages 950 and 936, as the XML
// port decodes data files: UTF-16, or nothing when a code is not valid.
std::optional<std::u16string> DecodeCodePage(unsigned codePage, std::string_view bytes);

// An action object's platform ports wired once: the XML component, the
// desktop shell, and the data-file refresh over the clock and the files.
struct ActionPlatform {
    std::unique_ptr<hostapi::IXmlDocumentFactory> xml = NewXmlDocumentFactory();
    std::unique_ptr<hostapi::IShell> shell = NewDesktopShell();
    std::unique_ptr<hostapi::IClock> clock = NewSystemClock();
    std::unique_ptr<hostapi::IFiles> files = NewFiles();
    std::unique_ptr<hostapi::IFetch> fetch = NewFetch();
    std::unique_ptr<hostapi::ICrypto> crypto = NewCrypto();
    DataFileUpdate update{{*xml, *clock, *files, *fetch, *crypto}};

    // The ports of an action object that refreshes its data files; verb 4
    // inserts through `webQuery` where the host has a spreadsheet.
    ActionPorts Ports(IWebQueryInsertion* webQuery = nullptr) { return {*xml, *shell, webQuery, &update}; }
};

}  // namespace varnoke::adapters
