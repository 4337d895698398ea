#include "control/Office.h"

#include "diag/Log.h"

COffice::COffice() = default;
COffice::~COffice() = default;

HRESULT COffice::OpenLog() { return OpenLogFile(m_log, fw::g_module.GetModuleInstance()); }

// The document commands and services arrive with the control's window; until
// then every member answers E_NOTIMPL.
STDMETHODIMP COffice::New(BSTR) { return E_NOTIMPL; }
STDMETHODIMP COffice::Close() { return E_NOTIMPL; }
STDMETHODIMP COffice::Save(VARIANT, VARIANT) { return E_NOTIMPL; }
STDMETHODIMP COffice::Open(VARIANT, VARIANT) { return E_NOTIMPL; }
STDMETHODIMP COffice::get_ExtObject(IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP COffice::ShowMenuBar() { return E_NOTIMPL; }
STDMETHODIMP COffice::DeleteFile(BSTR) { return E_NOTIMPL; }
STDMETHODIMP COffice::GetFileName(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP COffice::EnableWindow(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP COffice::get_OleObject(IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP COffice::GetWindow(BSTR, IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP COffice::ShowFileDialog(VARIANT_BOOL, VARIANT, VARIANT, VARIANT, VARIANT, BSTR*) { return E_NOTIMPL; }
STDMETHODIMP COffice::EncryptPDF(BSTR, BSTR, IDispatch*) { return E_NOTIMPL; }
STDMETHODIMP COffice::get_Version(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP COffice::AddWatermark(BSTR, VARIANT, VARIANT*) { return E_NOTIMPL; }
STDMETHODIMP COffice::GetFileSystemObject(IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP COffice::PrintPreview() { return E_NOTIMPL; }
STDMETHODIMP COffice::ShellExecute(BSTR, VARIANT) { return E_NOTIMPL; }
STDMETHODIMP COffice::GetShellIcon(BSTR, VARIANT, BSTR*) { return E_NOTIMPL; }
STDMETHODIMP COffice::get_Saved(VARIANT_BOOL*) { return E_NOTIMPL; }
STDMETHODIMP COffice::Print() { return E_NOTIMPL; }
STDMETHODIMP COffice::get_HWnd(UINT*) { return E_NOTIMPL; }
STDMETHODIMP COffice::SetUpdateInfo(BSTR, BSTR, BSTR) { return E_NOTIMPL; }
STDMETHODIMP COffice::put_AutoUpdate(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP COffice::SetServerInfo(BSTR, BSTR, BSTR) { return E_NOTIMPL; }
STDMETHODIMP COffice::put_AutoUpdateFile(BSTR) { return E_NOTIMPL; }
STDMETHODIMP COffice::CreateBarCode(BSTR, VARIANT*) { return E_NOTIMPL; }
STDMETHODIMP COffice::BrowserForFolder(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP COffice::get_ActiveDocument(IDispatch**) { return E_NOTIMPL; }
