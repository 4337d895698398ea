#include "control/Office.h"

// Registry settings and the version; stubs until the settings land.
STDMETHODIMP COffice::get_Version(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP COffice::SetUpdateInfo(BSTR, BSTR, BSTR) { return E_NOTIMPL; }
STDMETHODIMP COffice::put_AutoUpdate(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP COffice::SetServerInfo(BSTR, BSTR, BSTR) { return E_NOTIMPL; }
STDMETHODIMP COffice::put_AutoUpdateFile(BSTR) { return E_NOTIMPL; }
