#include "control/Office.h"

// Command dispatch and print preview; stubs until they land.
STDMETHODIMP COffice::PrintPreview() {
    return Exec(&GUID_NULL, OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr);
}

// The dispatcher of posted commands and of the File menu; until it lands
// every command does nothing.
LRESULT COffice::OnDocCommand(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
