#include "site/DocObject.h"

#include "diag/Log.h"

CDocObject::CDocObject() = default;
CDocObject::~CDocObject() = default;

HRESULT CDocObject::OpenLog() { return OpenLogFile(m_log, fw::g_module.GetModuleInstance()); }

HRESULT CDocObject::LogResultName(HRESULT hr) { return WriteResultName(m_log, hr); }

// Document creation, storage and activation come with the site's window;
// until then every member answers E_NOTIMPL.
STDMETHODIMP CDocObject::GetActiveWindow(UINT*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::GetActiveObject(IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::GetOleObject(IDispatch**) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::GetActiveMenu(UINT*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::GetMenuHWND(UINT*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::Close() { return E_NOTIMPL; }
STDMETHODIMP CDocObject::IPDeactivateView() { return E_NOTIMPL; }
STDMETHODIMP CDocObject::IsStorageDirty(VARIANT_BOOL*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::SaveObjectStorage() { return E_NOTIMPL; }
STDMETHODIMP CDocObject::InitializeNewInstance(UINT, VARIANT, BSTR, IUnknown*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::CreateDocObject(VARIANT) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::IPActivateView() { return E_NOTIMPL; }
STDMETHODIMP CDocObject::UIActivateView(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::CreateObjectStorage(VARIANT) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::EnsureDocObjectRunning(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::FreeRunningLock() { return E_NOTIMPL; }
STDMETHODIMP CDocObject::SaveStorageToFile(BSTR) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::IsReadOnly(VARIANT_BOOL*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::LoadStorageFromFile(BSTR, VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::DoOleCommand(UINT, UINT, VARIANT*, VARIANT*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::PrintPreview() { return E_NOTIMPL; }
STDMETHODIMP CDocObject::ExitPrintPreview(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::OnNotifySizeChange(VARIANT*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::OnNotifyAppActivate(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::GetDocWindow(UINT*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::GetClsid(VARIANT*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::get_FileName(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::put_FileName(BSTR) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::get_ExtFileName(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP CDocObject::put_ExtFileName(BSTR) { return E_NOTIMPL; }
