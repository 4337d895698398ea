// COffice: the Office control, the object behind every IOffice call.
#pragma once

#include "fw/Dispatch.h"
#include "fw/Object.h"
#include "module/VellixIdl.h"
#include "platform/HelperLibrary.h"

class COffice : public fw::CObjectRoot, public fw::IDispatchImpl<IOffice> {
public:
    COffice();
    ~COffice() override;

    FW_BEGIN_INTERFACE_MAP(COffice)
    FW_INTERFACE_ENTRY(IOffice)
    FW_INTERFACE_ENTRY2(IDispatch, IOffice)
    FW_END_INTERFACE_MAP()

    // Opens m_log on the shared log file beside the DLL.
    HRESULT OpenLog();

    // IOffice
    STDMETHODIMP New(BSTR ProgIdOrTemplate) override;
    STDMETHODIMP Close() override;
    STDMETHODIMP Save(VARIANT vFile, VARIANT vAppendExtFileName) override;
    STDMETHODIMP Open(VARIANT vFile, VARIANT vReadOnly) override;
    STDMETHODIMP get_ExtObject(IDispatch** pVal) override;
    STDMETHODIMP ShowMenuBar() override;
    STDMETHODIMP DeleteFile(BSTR bstrFileName) override;
    STDMETHODIMP GetFileName(BSTR* bstrFileName) override;
    STDMETHODIMP EnableWindow(VARIANT_BOOL bEnable) override;
    STDMETHODIMP get_OleObject(IDispatch** pVal) override;
    STDMETHODIMP GetWindow(BSTR bstrWinType, IDispatch** ppDisp) override;
    STDMETHODIMP ShowFileDialog(VARIANT_BOOL bOpenFileDialog, VARIANT vDefExt, VARIANT vFileName,
                                VARIANT vFlags, VARIANT vFilter, BSTR* pVal) override;
    STDMETHODIMP EncryptPDF(BSTR bstrSrcFile, BSTR bstrEncryptFile, IDispatch* pCertificates) override;
    STDMETHODIMP get_Version(BSTR* pVal) override;
    STDMETHODIMP AddWatermark(BSTR bstrFile, VARIANT jsObject, VARIANT* pVal) override;
    STDMETHODIMP GetFileSystemObject(IDispatch** ppDisp) override;
    STDMETHODIMP PrintPreview() override;
    STDMETHODIMP ShellExecute(BSTR bstrFile, VARIANT vArgs) override;
    STDMETHODIMP GetShellIcon(BSTR bstrFile, VARIANT vBgColor, BSTR* bstrIconFile) override;
    STDMETHODIMP get_Saved(VARIANT_BOOL* pVal) override;
    STDMETHODIMP Print() override;
    STDMETHODIMP get_HWnd(UINT* pVal) override;
    STDMETHODIMP SetUpdateInfo(BSTR bstrIP, BSTR bstrPort, BSTR bstrUpdateFile) override;
    STDMETHODIMP put_AutoUpdate(VARIANT_BOOL newVal) override;
    STDMETHODIMP SetServerInfo(BSTR bstrProtocol, BSTR bstrHost, BSTR bstrPort) override;
    STDMETHODIMP put_AutoUpdateFile(BSTR newVal) override;
    STDMETHODIMP CreateBarCode(BSTR bstrBarCode, VARIANT* pVal) override;
    STDMETHODIMP BrowserForFolder(BSTR* pVal) override;
    STDMETHODIMP get_ActiveDocument(IDispatch** pVal) override;

protected:
    CLoger m_log;
};
