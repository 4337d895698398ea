#include "control/Office.h"

// Barcode and shell-icon bitmaps; stubs until they land.
STDMETHODIMP COffice::CreateBarCode(BSTR, VARIANT*) { return E_NOTIMPL; }
STDMETHODIMP COffice::GetShellIcon(BSTR, VARIANT, BSTR*) { return E_NOTIMPL; }
