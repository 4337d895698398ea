// The automation object: the document's text and its saved state.
#include <richedit.h>

#include "PadDocument.h"

namespace {

const DISPID kDispidSaved = 2;
const wchar_t kSavedName[] = L"Saved";

}  // namespace

STDMETHODIMP CPadDocument::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                         DISPID* rgDispId) {
    if (m_switches.bNoSavedProperty && cNames > 0 && rgszNames && rgDispId &&
        lstrcmpiW(rgszNames[0], kSavedName) == 0) {
        for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    return IDispatchImpl::GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
}

STDMETHODIMP CPadDocument::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                  DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                  UINT* puArgErr) {
    if (m_switches.bNoSavedProperty && dispIdMember == kDispidSaved) return DISP_E_MEMBERNOTFOUND;
    return IDispatchImpl::Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
}

STDMETHODIMP CPadDocument::get_Text(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    std::wstring text = GetText();
    *pVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CPadDocument::put_Text(BSTR newVal) {
    SetText(std::wstring(newVal ? newVal : L"", SysStringLen(newVal)));
    SetModified(true);
    return S_OK;
}

STDMETHODIMP CPadDocument::get_Saved(VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = IsModified() ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
}

STDMETHODIMP CPadDocument::put_Saved(VARIANT_BOOL newVal) {
    SetModified(newVal == VARIANT_FALSE);
    return S_OK;
}

STDMETHODIMP CPadDocument::get_FullName(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = SysAllocString(m_strFileName.c_str());
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CPadDocument::AppendText(BSTR bstrText) {
    std::wstring tail(bstrText ? bstrText : L"", SysStringLen(bstrText));
    if (m_hwndEdit) {
        CHARRANGE end = {-1, -1};
        SendMessageW(m_hwndEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
        SendMessageW(m_hwndEdit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(tail.c_str()));
    } else {
        m_strText += tail;
    }
    SetModified(true);
    return S_OK;
}

STDMETHODIMP CPadDocument::get_InPreview(VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = m_bPreview ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}
