// STAction, the COM class: a shell around the portable action component.
// Layout: the adapters of its ports, then the core object that uses them.
#include "actions/st_action.h"
#include "adapters/platform.h"
#include "adapters/win32/com/com_object.h"
#include "adapters/win32/com/out_params.h"
#include "adapters/win32/host_objects.h"
#include "adapters/win32/insert_at_view.h"
#include "adapters/win32/spreadsheet_dispatch.h"
#include "component/classes.h"
#include "hostapi/module.h"
#include "insertion/web_query.h"
#include "varnoke.h"

namespace varnoke::com {
namespace {

class STActionObject final : public ComObject<STActionObject, Dual<::_STAction>, Dual<::ISmartTagAction>> {
public:
    // The loader absorbs every failure: construction never fails for the XML
    // component or the action file.
    HRESULT FinalConstruct() {
        return Boundary([&] {
            core_.Construct(hostapi::ComponentFolder());
            return S_OK;
        });
    }

    // _STAction
    STDMETHODIMP LoadActionURLFromXMLFile(VARIANT* sXMLPathIn, VARIANT* result) override {
        if (result) VariantInit(result);
        return Boundary([&] {
            core_.LoadActionURLFromXMLFile(PathFromVariant(sXMLPathIn));
            return S_OK;
        });
    }
    STDMETHODIMP ISmartTagAction_InvokeVerb(LONG VerbID, BSTR ApplicationName, IDispatch* Target,
                                            ::ISmartTagProperties* Properties, BSTR Text, BSTR XML) override {
        // Whatever fails inside, the host is told success.
        Boundary([&] {
            adapters::win32::HostObject target(Target);
            adapters::win32::HostPropertyBag bag(Properties);
            core_.ISmartTagAction_InvokeVerb(VerbID, View(ApplicationName), Target ? &target : nullptr,
                                             Properties ? &bag : nullptr, View(Text), View(XML));
            return S_OK;
        });
        return S_OK;
    }

    // ISmartTagAction
    STDMETHODIMP get_ProgId(BSTR* ProgId) override {
        return OutString(ProgId, [&] { return core_.ISmartTagAction_ProgId(); });
    }
    STDMETHODIMP get_Name(int LocaleID, BSTR* Name) override {
        return OutString(Name, [&] { return core_.ISmartTagAction_Name(LocaleID); });
    }
    STDMETHODIMP get_Desc(int LocaleID, BSTR* Desc) override {
        return OutString(Desc, [&] { return core_.ISmartTagAction_Desc(LocaleID); });
    }
    STDMETHODIMP get_SmartTagCount(int* Count) override {
        if (!Count) return E_POINTER;
        *Count = core_.ISmartTagAction_SmartTagCount();
        return S_OK;
    }
    STDMETHODIMP get_SmartTagName(int SmartTagID, BSTR* Name) override {
        return OutString(Name, [&] { return core_.ISmartTagAction_SmartTagName(SmartTagID); });
    }
    STDMETHODIMP get_SmartTagCaption(int SmartTagID, int LocaleID, BSTR* Caption) override {
        return OutStringWithStatus(
            Caption, [&](std::u16string& r) { return core_.ISmartTagAction_SmartTagCaption(SmartTagID, LocaleID, r); });
    }
    STDMETHODIMP get_VerbCount(BSTR SmartTagName, int* Count) override {
        if (!Count) return E_POINTER;
        *Count = core_.ISmartTagAction_VerbCount(View(SmartTagName));
        return S_OK;
    }
    STDMETHODIMP get_VerbID(BSTR SmartTagName, int VerbIndex, int* VerbID) override {
        if (!VerbID) return E_POINTER;
        int32_t id = 0;
        const Status s = core_.ISmartTagAction_VerbID(View(SmartTagName), VerbIndex, id);
        *VerbID = id;
        return HResultFromStatus(s);
    }
    STDMETHODIMP get_VerbCaptionFromID(int VerbID, BSTR ApplicationName, int LocaleID, BSTR* Caption) override {
        return OutStringWithStatus(Caption, [&](std::u16string& r) {
            return core_.ISmartTagAction_VerbCaptionFromID(VerbID, View(ApplicationName), LocaleID, r);
        });
    }
    STDMETHODIMP get_VerbNameFromID(int VerbID, BSTR* Name) override {
        return OutStringWithStatus(Name,
                                   [&](std::u16string& r) { return core_.ISmartTagAction_VerbNameFromID(VerbID, r); });
    }
    STDMETHODIMP InvokeVerb(int VerbID, BSTR ApplicationName, IDispatch* Target, ::ISmartTagProperties* Properties,
                            BSTR Text, BSTR Xml) override {
        return ISmartTagAction_InvokeVerb(VerbID, ApplicationName, Target, Properties, Text, Xml);
    }

private:
    adapters::ActionPlatform platform_;
    adapters::win32::DispatchSpreadsheetHost spreadsheet_;
    adapters::win32::Win32InsertAtViewFactory dialogs_;
    WebQueryInsertion webQuery_{spreadsheet_, dialogs_};
    STAction core_{platform_.Ports(&webQuery_)};
};

}  // namespace

HRESULT CreateSTAction(REFIID riid, void** object) noexcept { return STActionObject::CreateInstance(riid, object); }

}  // namespace varnoke::com
