#include "control/Office.h"

// The document commands; stubs until they land.
STDMETHODIMP COffice::New(BSTR) { return E_NOTIMPL; }
STDMETHODIMP COffice::Close() { return E_NOTIMPL; }
STDMETHODIMP COffice::Save(VARIANT, VARIANT) { return E_NOTIMPL; }
STDMETHODIMP COffice::Open(VARIANT, VARIANT) { return E_NOTIMPL; }
STDMETHODIMP COffice::GetFileName(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP COffice::get_OleObject(IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP COffice::get_ActiveDocument(IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP COffice::get_Saved(VARIANT_BOOL*) { return E_NOTIMPL; }
STDMETHODIMP COffice::Print() { return E_NOTIMPL; }
STDMETHODIMP COffice::get_HWnd(UINT*) { return E_NOTIMPL; }
