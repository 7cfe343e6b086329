#include "actions/data_file_update.h"

#include <algorithm>
#include <limits>
#include <new>
#include <random>

#include "actions/st_action.h"
#include "core/data_paths.h"
#include "core/decimal.h"
#include "core/web_address.h"
#include "hostapi/files.h"
#include "hostapi/shell.h"
#include "recognizer/st_recognizer.h"

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

constexpr std::u16string_view kTemporaryMarker = u".update-";

// Written beside the file it replaces: the move must not cross file systems.
std::u16string TemporaryBeside(const std::u16string& target) {
    std::random_device random;
    return target + std::u16string(kTemporaryMarker) + DecimalText(random() & 0x7FFFFFFF);
}

// The folder part of a data file's path, separator excluded.
std::u16string FolderOf(std::u16string_view path) {
    const auto at = path.find_last_of(u"/\\");
    if (at == std::u16string_view::npos) return u".";
    return std::u16string(path.substr(0, at == 0 ? 1 : at));
}

// The loaders only read; they never open anything.
class NoShell final : public hostapi::IShell {
public:
    bool Open(std::u16string_view) override { return false; }
};

// A data file replaced through a temporary written beside its real target.
class Replacement {
public:
    Replacement(hostapi::IFiles& files, const std::u16string& path)
        : files_(files), target_(files.ResolveLinks(path)) {}
    ~Replacement() {
        if (!temporary_.empty()) files_.RemoveFile(temporary_);
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    // A fresh name, created exclusively, so nothing planted there is written through.
    bool Write(hostapi::IXmlDocument& doc) {
        for (int attempt = 0; attempt < 8 && temporary_.empty(); ++attempt) {
            std::u16string name = TemporaryBeside(target_);
            if (files_.CreateExclusive(name, target_)) temporary_ = std::move(name);
        }
        return !temporary_.empty() && doc.Save(temporary_);
    }
    const std::u16string& Temporary() const { return temporary_; }
    bool MoveOver() {
        if (!files_.ReplaceFileAtomically(temporary_, target_)) return false;
        temporary_.clear();
        return true;
    }

private:
    hostapi::IFiles& files_;
    const std::u16string target_;
    std::u16string temporary_;
};

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
        case UpdateOutcome::not_web_address: return "updateurl is not an http or https address";
        case UpdateOutcome::lock_busy: return "another refresh of the data files did not finish in time";
        case UpdateOutcome::list_invalid: return "the remote stock list has no usable entry";
        case UpdateOutcome::table_invalid: return "the remote action table lacks its verbs or refresh elements";
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

    // Only web addresses are fetched: the remote table chooses updateurl,
    // and as a path it would read local folders, devices and pipes.
    const std::u16string base = BaseLocation(action.UpdateURL());
    const std::u16string tableAddress = base + std::u16string(kActionFileName);
    const std::u16string listAddress = base + std::u16string(kStockFileName);
    if (!IsWebAddress(tableAddress) || !IsWebAddress(listAddress)) return UpdateOutcome::not_web_address;

    // One budget for everything that can wait on others: the second fetch
    // gets what the first left.
    const auto deadline = std::chrono::steady_clock::now() + budget_;
    auto table = xml_.NewDocument();
    if (!table) return UpdateOutcome::table_unreachable;
    table->SetAsync(false);
    table->SetFetchDeadline(deadline);
    table->Load(tableAddress);
    const hostapi::XmlNode root = table->DocumentElement();
    if (!root) return UpdateOutcome::table_unreachable;
    const hostapi::XmlNode checkpoint = table->SelectSingleNode(root, u"lastcheckpoint");
    if (!checkpoint) return UpdateOutcome::no_checkpoint;
    const int32_t remote = ParseInt32(table->TypedValue(checkpoint).value_or(u"")).value_or(0);
    if (remote <= action.LastCheckpoint()) return UpdateOutcome::not_newer;
    const hostapi::XmlNode lastupdate = table->SelectSingleNode(root, u"lastupdate");
    if (!lastupdate) return UpdateOutcome::no_lastupdate;
    table->SetText(lastupdate, DecimalText(now));

    // Both documents in hand before any local file changes.
    auto list = xml_.NewDocument();
    if (!list) return UpdateOutcome::list_unreachable;
    list->SetAsync(false);
    list->SetFetchDeadline(deadline);
    list->Load(listAddress);
    if (!list->DocumentElement()) return UpdateOutcome::list_unreachable;
    return Replace(*list, *table, remote, action.LastCheckpoint(), deadline, action);
}

UpdateOutcome DataFileUpdate::Replace(hostapi::IXmlDocument& list, hostapi::IXmlDocument& table, int32_t remote,
                                      int32_t known, std::chrono::steady_clock::time_point deadline,
                                      STAction& action) {
    // One refresh at a time per data folder: two at once could leave one's
    // list beside the other's newer checkpoint, which no refresh repairs.
    const auto lock = files_.LockFolder(FolderOf(strActionXMLPath()), deadline);
    if (!lock) return UpdateOutcome::lock_busy;
    NoShell noShell;
    {
        // A refresh that finished while we fetched makes ours not newer.
        STAction onDisk(ActionPorts{xml_, noShell});
        onDisk.LoadActionURLFromXMLFile(strActionXMLPath());
        if (onDisk.UpdateInfoValid()) known = std::max(known, onDisk.LastCheckpoint());
        if (remote <= known) return UpdateOutcome::not_newer;
    }

    // Temporaries of refreshes killed before their move; no one else writes
    // them while we hold the lock.
    for (const std::u16string* path : {&strStockXMLPath(), &strActionXMLPath()}) {
        files_.RemoveFilesStartingWith(*path + std::u16string(kTemporaryMarker));
        files_.RemoveFilesStartingWith(files_.ResolveLinks(*path) + std::u16string(kTemporaryMarker));
    }

    Replacement newList(files_, strStockXMLPath()), newTable(files_, strActionXMLPath());
    if (!newList.Write(list) || !newTable.Write(table)) {
        action.MarkUpdateDone();
        return UpdateOutcome::save_failed;
    }
    // What later objects will read is exactly what is checked here: each
    // written file through its own loader on a fresh object.
    STRecognizer stocks(xml_);
    if (stocks.LoadStockSymbolFromXMLFile(newList.Temporary()) != Status::ok || stocks.ListState() != 0 ||
        std::none_of(stocks.StockList().begin(), stocks.StockList().end(),
                     [](const stockInfo& s) { return !s.strStockName.empty() && !s.strStockID.empty(); }))
        return UpdateOutcome::list_invalid;
    STAction actions(ActionPorts{xml_, noShell});
    actions.LoadActionURLFromXMLFile(newTable.Temporary());
    if (!actions.UpdateInfoValid()) return UpdateOutcome::table_invalid;

    // The list first: until the table with its new checkpoint lands, the
    // next refresh simply fetches both again.
    action.MarkUpdateDone();
    if (!newList.MoveOver()) return UpdateOutcome::save_failed;
    if (!newTable.MoveOver()) return UpdateOutcome::save_failed;
    return UpdateOutcome::refreshed;
}

}  // namespace varnoke
