// The control's document members: each is the site lock's check where the
// script names a class, a path or a URL, then one call into the document
// session.
#include "control/Office.h"
#include "diag/Trace.h"
#include "fw/HandleUint.h"

// A class or path the script names is the site lock's to allow; dialogs and
// the document's own file are the user's.
STDMETHODIMP COffice::New(BSTR ProgIdOrTemplate) {
    VX_TRACE_CALL(L"COffice::New", ProgIdOrTemplate);
    if (HRESULT hr = PassSiteLock(security::DISPID_OFFICE_NEW); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(m_session.NewDocument(ProgIdOrTemplate));
}

STDMETHODIMP COffice::Open(VARIANT vFile, VARIANT vReadOnly) {
    VX_TRACE_CALL(L"COffice::Open", vFile, vReadOnly);
    if (HRESULT hr = PassSiteLock(security::DISPID_OFFICE_OPEN, &vFile); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(m_session.OpenDocument(vFile, vReadOnly));
}

STDMETHODIMP COffice::Save(VARIANT vFile, VARIANT vAppendExtFileName) {
    VX_TRACE_CALL(L"COffice::Save", vFile, vAppendExtFileName);
    if (HRESULT hr = PassSiteLock(security::DISPID_OFFICE_SAVE, &vFile); FAILED(hr)) VX_TRACE_RETURN(hr);
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
    if (HRESULT hr = PassSiteLock(security::DISPID_OFFICE_OPENFROMURL); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(m_session.OpenFromURL(url, readOnly, progId));
}

STDMETHODIMP COffice::SaveToURL(BSTR url, VARIANT fieldName, VARIANT fileName, VARIANT formFields, VARIANT method,
                                BSTR* response) {
    VX_TRACE_CALL(L"COffice::SaveToURL", url, fieldName, fileName, formFields, method, response);
    // Set before anything can fail, as COM asks of every out-parameter.
    if (response) *response = nullptr;
    fw::com_ptr<IUnknown> self = Identity();
    if (HRESULT hr = PassSiteLock(security::DISPID_OFFICE_SAVETOURL); FAILED(hr)) VX_TRACE_RETURN(hr);
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

// Shared documents on a WebDAV server: the URL is the site lock's, as for
// OpenFromURL; a check-in and an undo go only to the URL checked out.
STDMETHODIMP COffice::CheckOut(BSTR url, VARIANT owner, VARIANT progId) {
    VX_TRACE_CALL(L"COffice::CheckOut", url, owner, progId);
    fw::com_ptr<IUnknown> self = Identity();
    if (HRESULT hr = PassSiteLock(security::DISPID_OFFICE_CHECKOUT); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(m_session.CheckOut(url, owner, progId));
}

STDMETHODIMP COffice::CheckIn(VARIANT keepCheckedOut) {
    VX_TRACE_CALL(L"COffice::CheckIn", keepCheckedOut);
    fw::com_ptr<IUnknown> self = Identity();
    VX_TRACE_RETURN(m_session.CheckIn(keepCheckedOut));
}

STDMETHODIMP COffice::UndoCheckOut() {
    VX_TRACE_CALL(L"COffice::UndoCheckOut");
    fw::com_ptr<IUnknown> self = Identity();
    VX_TRACE_RETURN(m_session.UndoCheckOut());
}

STDMETHODIMP COffice::get_CheckedOut(VARIANT_BOOL* pVal) {
    VX_TRACE_CALL(L"COffice::get_CheckedOut", pVal);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *pVal = m_session.IsCheckedOut() ? VARIANT_TRUE : VARIANT_FALSE;
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP COffice::get_LockOwner(BSTR* pVal) {
    VX_TRACE_CALL(L"COffice::get_LockOwner", pVal);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *pVal = SysAllocString(m_session.LockOwner().c_str());
    VX_TRACE_RETURN(*pVal ? S_OK : Fail(E_OUTOFMEMORY, kErrNoMemory));
}

STDMETHODIMP COffice::OverwriteURL(BSTR url, BSTR* response) {
    VX_TRACE_CALL(L"COffice::OverwriteURL", url, response);
    if (response) *response = nullptr;
    fw::com_ptr<IUnknown> self = Identity();
    if (HRESULT hr = PassSiteLock(security::DISPID_OFFICE_OVERWRITEURL); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(m_session.OverwriteURL(url, response));
}
