#include "control/Office.h"

// The document commands; stubs until they land.
STDMETHODIMP COffice::New(BSTR) { return E_NOTIMPL; }
STDMETHODIMP COffice::Save(VARIANT, VARIANT) { return E_NOTIMPL; }
STDMETHODIMP COffice::Open(VARIANT, VARIANT) { return E_NOTIMPL; }
STDMETHODIMP COffice::GetFileName(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP COffice::get_OleObject(IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP COffice::get_ActiveDocument(IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP COffice::get_Saved(VARIANT_BOOL*) { return E_NOTIMPL; }

STDMETHODIMP COffice::Close() {
    m_pExtObject.reset();
    if (!m_spDocObject) return S_OK;
    HRESULT hr = S_OK;
    try {
        m_spDocObject->Close();
    } catch (HRESULT thrown) {
        hr = thrown;
    }
    m_spDocObject.reset();
    m_menuBar.RemoveDocumentMenus();
    m_menuBar.Invalidate();
    return hr;
}

STDMETHODIMP COffice::get_HWnd(UINT* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = static_cast<UINT>(reinterpret_cast<UINT_PTR>(m_hWnd));
    return S_OK;
}

STDMETHODIMP COffice::Print() {
    return Exec(&GUID_NULL, OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr);
}
