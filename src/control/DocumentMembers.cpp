// The control's document members: each is the site lock's check where the
// script names a class, a path or a URL, then one call into the document
// session.
#include "control/Office.h"
#include "diag/Trace.h"
#include "fw/HandleUint.h"

namespace {

bool IsNonEmptyString(const VARIANT& v) { return v.vt == VT_BSTR && v.bstrVal && v.bstrVal[0]; }

}  // namespace

// A class or path the script names is the site lock's to allow; dialogs and
// the document's own file are the user's.
STDMETHODIMP COffice::New(BSTR ProgIdOrTemplate) {
    VX_TRACE_CALL(L"COffice::New", ProgIdOrTemplate);
    if (HRESULT hr = CheckSiteLock(L"New"); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(m_session.NewDocument(ProgIdOrTemplate));
}

STDMETHODIMP COffice::Open(VARIANT vFile, VARIANT vReadOnly) {
    VX_TRACE_CALL(L"COffice::Open", vFile, vReadOnly);
    if (IsNonEmptyString(vFile))
        if (HRESULT hr = CheckSiteLock(L"Open"); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(m_session.OpenDocument(vFile, vReadOnly));
}

STDMETHODIMP COffice::Save(VARIANT vFile, VARIANT vAppendExtFileName) {
    VX_TRACE_CALL(L"COffice::Save", vFile, vAppendExtFileName);
    if (m_session.ScriptChoosesSaveTarget(vFile))
        if (HRESULT hr = CheckSiteLock(L"Save"); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(m_session.SaveDocument(vFile, vAppendExtFileName));
}

STDMETHODIMP COffice::Close() {
    VX_TRACE_CALL(L"COffice::Close");
    VX_TRACE_RETURN(m_session.Close());
}

STDMETHODIMP COffice::GetFileName(BSTR* bstrFileName) {
    VX_TRACE_CALL(L"COffice::GetFileName", bstrFileName);
    VX_TRACE_RETURN(m_session.GetFileName(bstrFileName));
}

STDMETHODIMP COffice::get_OleObject(IDispatch** pVal) {
    VX_TRACE_CALL(L"COffice::get_OleObject", pVal);
    VX_TRACE_RETURN(m_session.GetOleObject(pVal));
}

STDMETHODIMP COffice::get_ActiveDocument(IDispatch** pVal) {
    VX_TRACE_CALL(L"COffice::get_ActiveDocument", pVal);
    VX_TRACE_RETURN(m_session.GetActiveDocument(pVal));
}

STDMETHODIMP COffice::get_Saved(VARIANT_BOOL* pVal) {
    VX_TRACE_CALL(L"COffice::get_Saved", pVal);
    VX_TRACE_RETURN(m_session.GetSaved(pVal));
}

STDMETHODIMP COffice::get_HWnd(UINT* pVal) {
    VX_TRACE_CALL(L"COffice::get_HWnd", pVal);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *pVal = fw::HandleToUint(m_hWnd);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP COffice::Print() {
    VX_TRACE_CALL(L"COffice::Print");
    VX_TRACE_RETURN(Exec(&GUID_NULL, OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr));
}

// A handler of a transfer's events may drop the page's last reference: the
// control is held until the failure is described too.
STDMETHODIMP COffice::OpenFromURL(BSTR url, VARIANT readOnly, VARIANT progId) {
    VX_TRACE_CALL(L"COffice::OpenFromURL", url, readOnly, progId);
    fw::com_ptr<IUnknown> self = Identity();
    if (HRESULT hr = CheckSiteLock(L"OpenFromURL"); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(m_session.OpenFromURL(url, readOnly, progId));
}

STDMETHODIMP COffice::SaveToURL(BSTR url, VARIANT fieldName, VARIANT fileName, VARIANT formFields, VARIANT method,
                                BSTR* response) {
    VX_TRACE_CALL(L"COffice::SaveToURL", url, fieldName, fileName, formFields, method, response);
    // Set before anything can fail, as COM asks of every out-parameter.
    if (response) *response = nullptr;
    fw::com_ptr<IUnknown> self = Identity();
    if (HRESULT hr = CheckSiteLock(L"SaveToURL"); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(m_session.SaveToURL(url, fieldName, fileName, formFields, method, response));
}

STDMETHODIMP COffice::get_DocumentURL(BSTR* pVal) {
    VX_TRACE_CALL(L"COffice::get_DocumentURL", pVal);
    if (!pVal) VX_TRACE_RETURN(E_POINTER);
    *pVal = SysAllocString(m_session.DocumentURL().c_str());
    VX_TRACE_RETURN(*pVal ? S_OK : E_OUTOFMEMORY);
}

STDMETHODIMP COffice::get_LastHTTPStatus(long* pVal) {
    VX_TRACE_CALL(L"COffice::get_LastHTTPStatus", pVal);
    if (!pVal) VX_TRACE_RETURN(E_POINTER);
    *pVal = m_session.LastHTTPStatus();
    VX_TRACE_RETURN(S_OK);
}
