// STRecognizer, the COM class: a shell around the portable recognizer.
// Layout: the XML adapter, then the core object that uses it.
#include "adapters/win32/com/boundary.h"
#include "adapters/win32/com/com_object.h"
#include "adapters/win32/com/out_params.h"
#include "adapters/win32/host_objects.h"
#include "adapters/win32/msxml_document.h"
#include "component/classes.h"
#include "hostapi/module.h"
#include "recognizer/st_recognizer.h"
#include "varnoke.h"

namespace varnoke::com {
namespace {

class STRecognizerObject final
    : public ComObject<STRecognizerObject, Dual<::_STRecognizer>, Dual<::ISmartTagRecognizer>> {
public:
    HRESULT FinalConstruct() {
        return Boundary(
            [&] { return HResultFromStatus(core_.Construct(hostapi::ComponentFolder()), xml_.LastError()); });
    }

    // _STRecognizer
    STDMETHODIMP LoadStockSymbolFromXMLFile(VARIANT* sXMLPathIn, VARIANT* result) override {
        if (result) VariantInit(result);
        return Boundary([&] {
            return HResultFromStatus(core_.LoadStockSymbolFromXMLFile(PathFromVariant(sXMLPathIn)), xml_.LastError());
        });
    }
    STDMETHODIMP ISmartTagRecognizer_Recognize(BSTR Text, IF_TYPE DataType, LONG LocaleID,
                                               ::ISmartTagRecognizerSite* RecognizerSite) override {
        return Boundary([&] {
            adapters::win32::HostRecognizerSite site(RecognizerSite);
            return HResultFromStatus(core_.ISmartTagRecognizer_Recognize(View(Text), DataType, LocaleID, site));
        });
    }

    // ISmartTagRecognizer
    STDMETHODIMP get_ProgId(BSTR* ProgId) override {
        return OutString(ProgId, [&] { return core_.ISmartTagRecognizer_ProgId(); });
    }
    STDMETHODIMP get_Name(int LocaleID, BSTR* Name) override {
        return OutStringWithStatus(Name,
                                   [&](std::u16string& r) { return core_.ISmartTagRecognizer_Name(LocaleID, r); });
    }
    STDMETHODIMP get_Desc(int LocaleID, BSTR* Desc) override {
        return OutString(Desc, [&] { return core_.ISmartTagRecognizer_Desc(LocaleID); });
    }
    STDMETHODIMP get_SmartTagCount(int* Count) override {
        if (!Count) return E_POINTER;
        *Count = core_.ISmartTagRecognizer_SmartTagCount();
        return S_OK;
    }
    STDMETHODIMP get_SmartTagName(int SmartTagID, BSTR* Name) override {
        return OutString(Name, [&] { return core_.ISmartTagRecognizer_SmartTagName(SmartTagID); });
    }
    STDMETHODIMP get_SmartTagDownloadURL(int SmartTagID, BSTR* DownloadURL) override {
        return OutString(DownloadURL, [&] { return core_.ISmartTagRecognizer_SmartTagDownloadURL(SmartTagID); });
    }
    STDMETHODIMP Recognize(BSTR Text, IF_TYPE DataType, int LocaleID,
                           ::ISmartTagRecognizerSite* RecognizerSite) override {
        return ISmartTagRecognizer_Recognize(Text, DataType, LocaleID, RecognizerSite);
    }

private:
    adapters::win32::MsxmlDocumentFactory xml_;
    STRecognizer core_{xml_};
};

}  // namespace

HRESULT CreateSTRecognizer(REFIID riid, void** object) noexcept {
    return STRecognizerObject::CreateInstance(riid, object);
}

}  // namespace varnoke::com
