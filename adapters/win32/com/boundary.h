// Where the portable core meets COM: statuses and exceptions become HRESULTs
// in exactly one place.
#pragma once

#include <windows.h>

#include <exception>
#include <new>

#include "core/status.h"

namespace varnoke::com {

// The explicit table, one row per status. `noXmlDocument` is the code for
// Status::no_xml_document where the caller knows why the XML component could
// not be created.
constexpr HRESULT HResultFromStatus(Status s, HRESULT noXmlDocument = REGDB_E_CLASSNOTREG) noexcept {
    switch (s) {
        case Status::ok: return S_OK;
        case Status::no_such_string: return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
        case Status::out_of_range: return DISP_E_BADINDEX;
        case Status::overflow: return DISP_E_OVERFLOW;
        case Status::no_xml_document: return noXmlDocument;
        case Status::out_of_memory: return E_OUTOFMEMORY;
    }
    return E_UNEXPECTED;
}

// ERROR_UNHANDLED_EXCEPTION, which not every SDK header set declares.
inline constexpr DWORD kErrorUnhandledException = 574;

// Runs a member's body; an exception never crosses the COM boundary.
// bad_alloc -> E_OUTOFMEMORY, any other std::exception -> the unhandled-
// exception code, anything else -> E_UNEXPECTED.
template <class F>
HRESULT Boundary(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception&) {
        return HRESULT_FROM_WIN32(kErrorUnhandledException);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace varnoke::com
