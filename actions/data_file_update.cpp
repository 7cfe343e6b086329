#include "actions/data_file_update.h"

#include <limits>
#include <new>
#include <random>

#include "actions/st_action.h"
#include "core/data_paths.h"
#include "core/decimal.h"
#include "hostapi/files.h"

namespace varnoke {
namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::u16string Decimal(int32_t value) {
    std::u16string text;
    for (char c : std::to_string(value)) text.push_back(static_cast<char16_t>(c));
    return text;
}

// Written beside the file it replaces: the move must not cross file systems.
std::u16string TemporaryBeside(const std::u16string& target) {
    std::random_device random;
    return target + u".update-" + Decimal(static_cast<int32_t>(random() & 0x7FFFFFFF));
}

bool SaveOver(hostapi::IXmlDocument& doc, const std::u16string& target, hostapi::IFiles& files) {
    const std::u16string temporary = TemporaryBeside(target);
    if (doc.Save(temporary) && files.ReplaceFileAtomically(temporary, target)) return true;
    files.RemoveFile(temporary);
    return false;
}

}  // namespace

const char* Describe(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::not_run: return "no refresh was attempted";
        case UpdateOutcome::already_done: return "the data files were refreshed before";
        case UpdateOutcome::no_update_info: return "the action table has no refresh elements";
        case UpdateOutcome::not_due: return "not due";
        case UpdateOutcome::table_unreachable: return "the remote action table could not be loaded";
        case UpdateOutcome::no_checkpoint: return "the remote action table has no lastcheckpoint";
        case UpdateOutcome::not_newer: return "no newer checkpoint";
        case UpdateOutcome::no_lastupdate: return "the remote action table has no lastupdate";
        case UpdateOutcome::list_unreachable: return "the remote stock list could not be loaded";
        case UpdateOutcome::save_failed: return "fetched, but the local files could not be replaced";
        case UpdateOutcome::refreshed: return "refreshed";
    }
    return "";
}

int32_t MinuteCount(const hostapi::LocalDateTime& t) {
    const int64_t minutes = DaysFromCivil(t.year, t.month, t.day) * 1440 + t.hour * 60 + t.minute;
    if (minutes < std::numeric_limits<int32_t>::min() || minutes > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(minutes);
}

std::u16string BaseLocation(std::u16string_view updateURL) {
    const auto slash = updateURL.rfind(u'/');
    return slash == std::u16string_view::npos ? std::u16string() : std::u16string(updateURL.substr(0, slash + 1));
}

void DataFileUpdate::Run(STAction& action) {
    try {
        last_ = Refresh(action);
    } catch (const std::bad_alloc&) {
        last_ = UpdateOutcome::save_failed;  // nothing was moved: the next invocation retries
    }
}

UpdateOutcome DataFileUpdate::Refresh(STAction& action) {
    if (action.UpdateDone()) return UpdateOutcome::already_done;
    if (!action.UpdateInfoValid()) return UpdateOutcome::no_update_info;

    // Due when more than updateFrequency minutes have passed; a difference
    // beyond 32 bits counts as due.
    const int32_t now = MinuteCount(clock_.Now());
    const int64_t elapsed = int64_t{now} - action.LastUpdate();
    const bool overflow = elapsed < std::numeric_limits<int32_t>::min() || elapsed > std::numeric_limits<int32_t>::max();
    if (!overflow && elapsed <= action.UpdateFrequency()) return UpdateOutcome::not_due;

    const std::u16string base = BaseLocation(action.UpdateURL());
    auto table = xml_.NewDocument();
    if (!table) return UpdateOutcome::table_unreachable;
    table->SetAsync(false);
    table->Load(base + std::u16string(kActionFileName));
    const hostapi::XmlNode root = table->DocumentElement();
    if (!root) return UpdateOutcome::table_unreachable;
    const hostapi::XmlNode checkpoint = table->SelectSingleNode(root, u"lastcheckpoint");
    if (!checkpoint) return UpdateOutcome::no_checkpoint;
    const int32_t remote = ParseInt32(table->TypedValue(checkpoint).value_or(u"")).value_or(0);
    if (remote <= action.LastCheckpoint()) return UpdateOutcome::not_newer;
    const hostapi::XmlNode lastupdate = table->SelectSingleNode(root, u"lastupdate");
    if (!lastupdate) return UpdateOutcome::no_lastupdate;
    table->SetText(lastupdate, Decimal(now));

    // Both documents in hand before any local file changes.
    auto list = xml_.NewDocument();
    if (!list) return UpdateOutcome::list_unreachable;
    list->SetAsync(false);
    list->Load(base + std::u16string(kStockFileName));
    if (!list->DocumentElement()) return UpdateOutcome::list_unreachable;

    // The list first: until the table with its new checkpoint lands, the
    // next refresh simply fetches both again.
    action.MarkUpdateDone();
    if (!SaveOver(*list, strStockXMLPath(), files_)) return UpdateOutcome::save_failed;
    if (!SaveOver(*table, strActionXMLPath(), files_)) return UpdateOutcome::save_failed;
    return UpdateOutcome::refreshed;
}

}  // namespace varnoke
