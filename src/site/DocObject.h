// CDocObject: the document site, the OLE container of one document.
#pragma once

#include "fw/Dispatch.h"
#include "fw/Object.h"
#include "module/VellixIdl.h"
#include "platform/HelperLibrary.h"

class CDocObject : public fw::CObjectRoot, public fw::IDispatchImpl<IDocObject> {
public:
    CDocObject();
    ~CDocObject();

    FW_BEGIN_INTERFACE_MAP(CDocObject)
    FW_INTERFACE_ENTRY(IDocObject)
    FW_INTERFACE_ENTRY2(IDispatch, IDocObject)
    FW_END_INTERFACE_MAP()

    // Opens m_log on the shared log file beside the DLL.
    HRESULT OpenLog();
    // Writes hr and its symbolic name (two entries). Always S_OK.
    HRESULT LogResultName(HRESULT hr);

    // IDocObject
    STDMETHODIMP GetActiveWindow(UINT* pHwnd) override;
    STDMETHODIMP GetActiveObject(IDispatch** ppDisp) override;
    STDMETHODIMP GetOleObject(IDispatch** ppDisp) override;
    STDMETHODIMP GetActiveMenu(UINT* pHmenu) override;
    STDMETHODIMP GetMenuHWND(UINT* pHwnd) override;
    STDMETHODIMP Close() override;
    STDMETHODIMP IPDeactivateView() override;
    STDMETHODIMP IsStorageDirty(VARIANT_BOOL* pbDirty) override;
    STDMETHODIMP SaveObjectStorage() override;
    STDMETHODIMP InitializeNewInstance(UINT hwndCtl, VARIANT rcPlace, BSTR bstrHostName,
                                       IUnknown* pcmdCtl) override;
    STDMETHODIMP CreateDocObject(VARIANT vclsid) override;
    STDMETHODIMP IPActivateView() override;
    STDMETHODIMP UIActivateView(VARIANT_BOOL fFocus) override;
    STDMETHODIMP CreateObjectStorage(VARIANT vclsid) override;
    STDMETHODIMP EnsureDocObjectRunning(VARIANT_BOOL fLockRunning) override;
    STDMETHODIMP FreeRunningLock() override;
    STDMETHODIMP SaveStorageToFile(BSTR bstrFileName) override;
    STDMETHODIMP IsReadOnly(VARIANT_BOOL* bReadOnly) override;
    STDMETHODIMP LoadStorageFromFile(BSTR bstrFileName, VARIANT_BOOL bReadOnly) override;
    STDMETHODIMP DoOleCommand(UINT dwOleCmdId, UINT dwOptions, VARIANT* vInParam,
                              VARIANT* vInOutParam) override;
    STDMETHODIMP PrintPreview() override;
    STDMETHODIMP ExitPrintPreview(VARIANT_BOOL fForceExit) override;
    STDMETHODIMP OnNotifySizeChange(VARIANT* lprect) override;
    STDMETHODIMP OnNotifyAppActivate(VARIANT_BOOL bActive) override;
    STDMETHODIMP GetDocWindow(UINT* HWnd) override;
    STDMETHODIMP GetClsid(VARIANT* clsid) override;
    STDMETHODIMP get_FileName(BSTR* pVal) override;
    STDMETHODIMP put_FileName(BSTR newVal) override;
    STDMETHODIMP get_ExtFileName(BSTR* pVal) override;
    STDMETHODIMP put_ExtFileName(BSTR newVal) override;

protected:
    CLoger m_log;
};
