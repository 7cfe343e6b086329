// InsertWebQuery: verb 4 puts the tagged stock's price into the spreadsheet
// as a refreshable web query, at a place the user picks in the Insert-at
// dialog, shown in the language of the spreadsheet's user interface.
#pragma once

#include "hostapi/dialog.h"
#include "hostapi/spreadsheet.h"
#include "hostapi/web_query_port.h"

namespace varnoke {

class WebQueryInsertion final : public IWebQueryInsertion {
public:
    WebQueryInsertion(hostapi::ISpreadsheetHost& host, hostapi::IInsertAtViewFactory& dialogs)
        : host_(host), dialogs_(dialogs) {}

    // Only a web address (core/web_address.h) becomes a connection: any
    // other `url` ends it before the host or the user is asked anything.
    // Any failure ends the insertion at once and silently; what the host
    // already did stays (a sheet added, a query table without refresh).
    void InsertWebQuery(std::u16string_view url, hostapi::IHostObject* target) override;

private:
    hostapi::ISpreadsheetHost& host_;
    hostapi::IInsertAtViewFactory& dialogs_;
};

}  // namespace varnoke
