// How the session's web members read their script arguments.
#pragma once

#include <oaidl.h>

#include <string>

#include "fw/Raii.h"
#include "web/WebSession.h"

namespace session {

// Left out, or passed as null/undefined by script.
inline bool IsMissing(const VARIANT& v) {
    return v.vt == VT_EMPTY || v.vt == VT_NULL || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

// An optional argument as text: pszDefault when missing, E_INVALIDARG when
// it cannot be text.
inline HRESULT OptionalString(const VARIANT& v, const wchar_t* pszDefault, std::wstring* pOut) {
    if (IsMissing(v)) {
        *pOut = pszDefault;
        return S_OK;
    }
    fw::unique_variant text;
    if (FAILED(VariantChangeType(text.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR))) return E_INVALIDARG;
    // Whole, NULs included: a NUL must be refused, not end the text early.
    pOut->assign(text->bstrVal ? text->bstrVal : L"", SysStringLen(text->bstrVal));
    return S_OK;
}

// A URL from script, whole: a NUL inside it is refused, not cut at.
inline std::wstring WholeUrl(BSTR url) { return std::wstring(url ? url : L"", SysStringLen(url)); }
inline bool IsRequestableUrl(BSTR url) { return web::IsHttpUrl(url) && !web::HasControlChar(WholeUrl(url)); }

}  // namespace session
