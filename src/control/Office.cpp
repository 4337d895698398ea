#include "control/Office.h"

#include "diag/Log.h"

COffice::COffice() = default;
COffice::~COffice() = default;

HRESULT COffice::OpenLog() { return OpenLogFile(m_log, fw::g_module.GetModuleInstance()); }

// The document commands and services arrive with the control's window; until
// then every member answers E_NOTIMPL.
STDMETHODIMP COffice::ShowMenuBar() { return E_NOTIMPL; }
STDMETHODIMP COffice::EnableWindow(VARIANT_BOOL) { return E_NOTIMPL; }
