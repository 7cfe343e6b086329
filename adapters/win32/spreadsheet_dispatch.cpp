#include "adapters/win32/spreadsheet_dispatch.h"

#include <new>
#include <span>
#include <type_traits>
#include <variant>

#include "adapters/win32/com/com_ptr.h"
#include "adapters/win32/host_objects.h"

namespace varnoke::adapters::win32 {

using namespace hostapi;  // the ports this file implements
namespace {

using com::com_ptr;
using com::unique_bstr;
using com::unique_variant;

// The host's interfaces share one GUID pattern, differing in the first field.
constexpr IID HostIid(unsigned long first) {
    return IID{first, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}
constexpr IID kRangeIid = HostIid(0x00020846);
constexpr IID kApplicationIid = HostIid(0x000208D5);
constexpr IID kLanguageSettingsIid = HostIid(0x000C0353);
constexpr IID kSheetsIid = HostIid(0x000208D7);
constexpr IID kWorksheetIid = HostIid(0x000208D8);
constexpr IID kQueryTableIid = HostIid(0x00024428);
constexpr IID kQueryTablesIid = HostIid(0x00024429);

constexpr DISPID kRangeAddress = 236;
constexpr DISPID kRangeApplication = 148;
constexpr DISPID kAddressRowAbsolute = 0;
constexpr DISPID kAddressColumnAbsolute = 1;
constexpr DISPID kApplicationLanguageSettings = 0x709;
constexpr DISPID kLanguageSettingsLanguageID = 0x1;
constexpr LONG kUserInterfaceLanguage = 2;  // LanguageID's selector for the host's UI language
constexpr DISPID kApplicationActiveSheet = 0x133;
constexpr DISPID kApplicationWorksheets = 0x1EE;
constexpr DISPID kSheetsAdd = 0xB5;
constexpr DISPID kWorksheetCells = 0xEE;
constexpr DISPID kWorksheetQueryTables = 0x59A;
constexpr DISPID kQueryTablesAdd = 181;
constexpr DISPID kQueryTablesAddConnection = 0;
constexpr DISPID kQueryTablesAddDestination = 1;
constexpr DISPID kQueryTableRefresh = 1417;

constexpr std::pair<QueryTableSetting, DISPID> kSettingMembers[] = {
    {QueryTableSetting::FieldNames, 1584},           {QueryTableSetting::RowNumbers, 1585},
    {QueryTableSetting::FillAdjacentFormulas, 1586}, {QueryTableSetting::PreserveFormatting, 1500},
    {QueryTableSetting::RefreshOnFileOpen, 1479},    {QueryTableSetting::BackgroundQuery, 1427},
    {QueryTableSetting::RefreshStyle, 1590},
};

constexpr LCID kLocale = LOCALE_USER_DEFAULT;
constexpr LCID kAddSheetLocale = 1033;

// One call. `args` is in rgvarg order: named arguments first, matching
// `names` one for one, then the positional ones last to first. The host's
// exception texts are released unread: failures end silently.
HRESULT Invoke(IDispatch* object, DISPID member, WORD flags, std::span<VARIANTARG> args, std::span<DISPID> names,
               VARIANT* result, LCID locale = kLocale) {
    DISPPARAMS params{args.empty() ? nullptr : args.data(), names.empty() ? nullptr : names.data(),
                      static_cast<UINT>(args.size()), static_cast<UINT>(names.size())};
    EXCEPINFO exception{};
    UINT argumentError = 0;
    const HRESULT hr = object->Invoke(member, IID_NULL, locale, flags, &params, result, &exception, &argumentError);
    const unique_bstr source(exception.bstrSource), description(exception.bstrDescription),
        helpFile(exception.bstrHelpFile);
    return hr;
}

// A failed QueryInterface is as much a failure as a failed call.
com_ptr<IDispatch> Cast(IDispatch* object, const IID& iid) {
    com_ptr<IDispatch> cast;
    if (!object || FAILED(object->QueryInterface(iid, cast.put_void()))) return {};
    return cast;
}

// An object result; any other type is a failure.
com_ptr<IDispatch> ObjectResult(const unique_variant& result) {
    if (result.get()->vt != VT_DISPATCH) return {};
    return com_ptr<IDispatch>(result.get()->pdispVal);
}

com_ptr<IDispatch> GetObjectProperty(IDispatch* object, DISPID member) {
    unique_variant result;
    if (FAILED(Invoke(object, member, DISPATCH_PROPERTYGET, {}, {}, result.put()))) return {};
    return ObjectResult(result);
}

// The port's calls throw nothing: running out of memory is one more failure.
template <class F>
auto Guarded(F&& body) noexcept -> std::invoke_result_t<F> {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

class DispatchRange final : public IRange {
public:
    explicit DispatchRange(com_ptr<IDispatch> range) : range_(std::move(range)) {}
    std::optional<std::u16string> Address() override;
    std::unique_ptr<ISpreadsheetApplication> Application() override;
    IDispatch* get() const { return range_.get(); }

private:
    com_ptr<IDispatch> range_;
};

class DispatchQueryTable final : public IQueryTable {
public:
    explicit DispatchQueryTable(com_ptr<IDispatch> table) : table_(std::move(table)) {}

    bool Put(QueryTableSetting setting, SettingValue value) override {
        for (const auto& [known, member] : kSettingMembers) {
            if (known != setting) continue;
            VARIANTARG arg = std::visit(
                [](auto v) {
                    if constexpr (std::is_same_v<decltype(v), bool>)
                        return com::BoolArg(v);
                    else
                        return com::LongArg(v);
                },
                value);
            DISPID named = DISPID_PROPERTYPUT;
            return SUCCEEDED(Invoke(table_.get(), member, DISPATCH_PROPERTYPUT, {&arg, 1}, {&named, 1}, nullptr));
        }
        return false;
    }

    bool Refresh() override {
        unique_variant result;  // the host's answer carries nothing the insertion uses
        return SUCCEEDED(Invoke(table_.get(), kQueryTableRefresh, DISPATCH_METHOD, {}, {}, result.put()));
    }

private:
    com_ptr<IDispatch> table_;
};

class DispatchWorksheet final : public IWorksheet {
public:
    explicit DispatchWorksheet(com_ptr<IDispatch> sheet) : sheet_(std::move(sheet)) {}

    std::unique_ptr<IRange> Cell(std::u16string_view row, std::u16string_view column) override {
        return Guarded([&]() -> std::unique_ptr<IRange> {
            const unique_bstr rowText = com::MakeBstr(row), columnText = com::MakeBstr(column);
            VARIANTARG args[] = {com::StringArg(columnText.get()), com::StringArg(rowText.get())};
            return CellAt(args);
        });
    }

    std::unique_ptr<IRange> Cell(int16_t row, int16_t column) override {
        return Guarded([&]() -> std::unique_ptr<IRange> {
            VARIANTARG args[] = {com::ShortArg(column), com::ShortArg(row)};
            return CellAt(args);
        });
    }

    std::unique_ptr<IQueryTable> AddQueryTable(std::u16string_view connection, IRange& destination) override {
        return Guarded([&]() -> std::unique_ptr<IQueryTable> {
            // Only this adapter's ranges can be handed back to the host.
            const auto* cell = dynamic_cast<const DispatchRange*>(&destination);
            if (!cell) return nullptr;
            const auto tables = Cast(GetObjectProperty(sheet_.get(), kWorksheetQueryTables).get(), kQueryTablesIid);
            if (!tables) return nullptr;
            const unique_bstr connectionText = com::MakeBstr(connection);
            // By reference the callee may replace the variable's object, so
            // the variable holds its own reference, and whatever it holds
            // afterwards is released.
            IDispatch* variable = com_ptr<IDispatch>(cell->get()).detach();
            VARIANTARG args[2];
            VariantInit(&args[0]);
            args[0].vt = VT_DISPATCH | VT_BYREF;
            args[0].ppdispVal = &variable;
            args[1] = com::StringArg(connectionText.get());
            DISPID names[] = {kQueryTablesAddDestination, kQueryTablesAddConnection};
            unique_variant result;
            const HRESULT hr = Invoke(tables.get(), kQueryTablesAdd, DISPATCH_METHOD, args, names, result.put());
            com_ptr<IDispatch> afterwards;
            afterwards.attach(variable);
            if (FAILED(hr)) return nullptr;
            auto table = Cast(ObjectResult(result).get(), kQueryTableIid);
            if (!table) return nullptr;
            return std::make_unique<DispatchQueryTable>(std::move(table));
        });
    }

private:
    // The cell the worksheet's Cells collection gives for two positional
    // arguments, already in rgvarg order (column, then row).
    std::unique_ptr<IRange> CellAt(std::span<VARIANTARG, 2> args) {
        const auto cells = GetObjectProperty(sheet_.get(), kWorksheetCells);  // all cells, used as given
        if (!cells) return nullptr;
        unique_variant result;
        if (FAILED(Invoke(cells.get(), DISPID_VALUE, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, {}, result.put())))
            return nullptr;
        auto range = Cast(ObjectResult(result).get(), kRangeIid);
        if (!range) return nullptr;
        return std::make_unique<DispatchRange>(std::move(range));
    }

    com_ptr<IDispatch> sheet_;
};

class DispatchApplication final : public ISpreadsheetApplication {
public:
    explicit DispatchApplication(com_ptr<IDispatch> application) : application_(std::move(application)) {}

    std::optional<int32_t> UserInterfaceLanguage() override {
        const auto settings =
            Cast(GetObjectProperty(application_.get(), kApplicationLanguageSettings).get(), kLanguageSettingsIid);
        if (!settings) return std::nullopt;
        VARIANTARG which = com::LongArg(kUserInterfaceLanguage);
        unique_variant result;
        if (FAILED(Invoke(settings.get(), kLanguageSettingsLanguageID, DISPATCH_PROPERTYGET, {&which, 1}, {},
                          result.put())))
            return std::nullopt;
        unique_variant language;
        if (FAILED(VariantChangeType(language.get(), result.get(), 0, VT_I4))) return std::nullopt;
        return static_cast<int32_t>(language->lVal);
    }

    std::unique_ptr<IWorksheet> ActiveSheet() override {
        return Guarded([&]() -> std::unique_ptr<IWorksheet> {
            auto sheet = Cast(GetObjectProperty(application_.get(), kApplicationActiveSheet).get(), kWorksheetIid);
            if (!sheet) return nullptr;
            return std::make_unique<DispatchWorksheet>(std::move(sheet));
        });
    }

    std::unique_ptr<IWorksheet> AddWorksheet() override {
        return Guarded([&]() -> std::unique_ptr<IWorksheet> {
            const auto sheets = Cast(GetObjectProperty(application_.get(), kApplicationWorksheets).get(), kSheetsIid);
            if (!sheets) return nullptr;
            unique_variant result;
            if (FAILED(Invoke(sheets.get(), kSheetsAdd, DISPATCH_METHOD, {}, {}, result.put(), kAddSheetLocale)))
                return nullptr;
            auto sheet = Cast(ObjectResult(result).get(), kWorksheetIid);
            if (!sheet) return nullptr;
            return std::make_unique<DispatchWorksheet>(std::move(sheet));
        });
    }

private:
    com_ptr<IDispatch> application_;
};

std::optional<std::u16string> DispatchRange::Address() {
    return Guarded([&]() -> std::optional<std::u16string> {
        VARIANTARG args[] = {com::BoolArg(false), com::BoolArg(false)};
        DISPID names[] = {kAddressColumnAbsolute, kAddressRowAbsolute};
        unique_variant result;
        if (FAILED(Invoke(range_.get(), kRangeAddress, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, names,
                          result.put())) ||
            result->vt != VT_BSTR)
            return std::nullopt;
        return std::u16string(com::View(result->bstrVal));
    });
}

std::unique_ptr<ISpreadsheetApplication> DispatchRange::Application() {
    return Guarded([&]() -> std::unique_ptr<ISpreadsheetApplication> {
        auto application = Cast(GetObjectProperty(range_.get(), kRangeApplication).get(), kApplicationIid);
        if (!application) return nullptr;
        return std::make_unique<DispatchApplication>(std::move(application));
    });
}

}  // namespace

std::unique_ptr<hostapi::IRange> DispatchSpreadsheetHost::AsRange(hostapi::IHostObject* target) {
    return Guarded([&]() -> std::unique_ptr<hostapi::IRange> {
        const auto* object = dynamic_cast<const HostObject*>(target);
        if (!object) return nullptr;
        auto range = Cast(object->get(), kRangeIid);
        if (!range) return nullptr;
        return std::make_unique<DispatchRange>(std::move(range));
    });
}

}  // namespace varnoke::adapters::win32
