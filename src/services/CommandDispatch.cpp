#include "control/Office.h"

// Command dispatch and print preview; stubs until they land.
STDMETHODIMP COffice::PrintPreview() { return E_NOTIMPL; }
