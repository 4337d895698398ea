#include "control/Office.h"

// The extension object and script helpers; stubs until they land.
STDMETHODIMP COffice::get_ExtObject(IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP COffice::GetFileSystemObject(IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP COffice::GetWindow(BSTR, IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP COffice::EncryptPDF(BSTR, BSTR, IDispatch*) { return E_NOTIMPL; }
STDMETHODIMP COffice::AddWatermark(BSTR, VARIANT, VARIANT*) { return E_NOTIMPL; }
