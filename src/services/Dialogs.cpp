#include "control/Office.h"

// File dialogs and shell utilities; stubs until they land.
STDMETHODIMP COffice::ShowFileDialog(VARIANT_BOOL, VARIANT, VARIANT, VARIANT, VARIANT, BSTR*) { return E_NOTIMPL; }
STDMETHODIMP COffice::BrowserForFolder(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP COffice::ShellExecute(BSTR, VARIANT) { return E_NOTIMPL; }
STDMETHODIMP COffice::DeleteFile(BSTR) { return E_NOTIMPL; }

// Until the dialogs land, every dialog counts as cancelled.
int COffice::RunFileDialog(std::vector<std::wstring>&, BOOL, LPCWSTR, LPCWSTR, DWORD, LPCWSTR) { return 1; }
