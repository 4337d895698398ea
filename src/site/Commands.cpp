// Commands run in the document, its print preview, and the queries the
// control routes menus and script through.
#include <utility>

#include "diag/Trace.h"
#include "site/DocObject.h"
#include "site/FaultGuard.h"
#include "site/SiteHelpers.h"

using fw::com_ptr;

namespace {

// The document server does not offer the command (or preview) now.
constexpr HRESULT kErrCommandNotAvailable = static_cast<HRESULT>(0x80041104);

// Flags of IDocPreviewServer::Begin, and the events with which the server
// reports that its preview ended.
constexpr DWORD kPreviewBeginFlags = 7;
constexpr DWORD kPreviewBeginValue = 1;
constexpr DWORD kPreviewEventEnded[] = {0x01, 0x20, 0x80};

// The cursor of the thread, put back on scope exit.
class CWaitCursor {
public:
    CWaitCursor() : m_hcurPrevious(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    ~CWaitCursor() { SetCursor(m_hcurPrevious); }

private:
    HCURSOR m_hcurPrevious;
};

// IDocPreviewServer::End as a call the fault guard can run.
struct EndPreviewCall {
    IDocPreviewServer* pServer;
    DWORD fForce;
    HRESULT hr;

    static void Run(void* pContext) {
        auto* pCall = static_cast<EndPreviewCall*>(pContext);
        pCall->hr = pCall->pServer->End(pCall->fForce);
    }
};

}  // namespace

STDMETHODIMP CDocObject::DoOleCommand(UINT dwOleCmdId, UINT dwOptions, VARIANT* vInParam,
                                      VARIANT* vInOutParam) {
    VX_TRACE_CALL(L"CDocObject::DoOleCommand", dwOleCmdId, dwOptions, vInParam, vInOutParam);
    // An [out] value: empty before anything can fail.
    if (vInOutParam) VariantInit(vInOutParam);
    if (!m_pcmdt) VX_TRACE_RETURN(kErrCommandNotAvailable);
    OLECMD cmd = {dwOleCmdId, 0};
    HRESULT hr = m_pcmdt->QueryStatus(nullptr, 1, &cmd, nullptr);
    const DWORD kAvailable = OLECMDF_SUPPORTED | OLECMDF_ENABLED;
    if (FAILED(hr) || (cmd.cmdf & kAvailable) != kAvailable) VX_TRACE_RETURN(kErrCommandNotAvailable);

    hr = m_pcmdt->Exec(nullptr, dwOleCmdId, dwOptions, vInParam, vInOutParam);
    // The user cancelled the command's own dialog.
    if (dwOptions == OLECMDEXECOPT_PROMPTUSER && hr == OLECMDERR_E_CANCELED) hr = S_FALSE;
    VX_TRACE_RETURN(hr);
}

STDMETHODIMP CDocObject::PrintPreview() {
    VX_TRACE_CALL(L"CDocObject::PrintPreview");
    if (m_pprtprv || !m_pole) VX_TRACE_RETURN(S_FALSE);
    com_ptr<IDocPreviewServer> pprtprv;
    HRESULT hr = m_pole.query(pprtprv.put());
    if (SUCCEEDED(hr)) {
        CWaitCursor wait;
        hr = pprtprv->QueryReady();
        if (SUCCEEDED(hr))
            hr = pprtprv->Begin(kPreviewBeginFlags, nullptr, Self<IDocPreviewCallback>().get(),
                                kPreviewBeginValue);
        if (SUCCEEDED(hr)) m_pprtprv = pprtprv.get();
    }
    if (hr == E_NOINTERFACE) hr = kErrCommandNotAvailable;
    VX_TRACE_RETURN(hr);
}

STDMETHODIMP CDocObject::ExitPrintPreview(VARIANT_BOOL fForceExit) {
    VX_TRACE_CALL(L"CDocObject::ExitPrintPreview", fForceExit);
    HRESULT hr = S_OK;
    if (!m_pprtprv) VX_TRACE_RETURN(hr);
    // Taken out first: the server's End may notify the end of the preview,
    // which comes back here.
    com_ptr<IDocPreviewServer> pprtprv = std::move(m_pprtprv);
    // A server that faults while it ends its preview must not take the host
    // with it; its preview counts as ended.
    EndPreviewCall call = {pprtprv.get(), static_cast<DWORD>(fForceExit), S_OK};
    if (CallFaultGuarded(&EndPreviewCall::Run, &call)) hr = call.hr;
    VX_TRACE_RETURN(hr);
}

STDMETHODIMP CSitePreviewCallback::Notify(DWORD dwEvent, DWORD, DWORD) {
    VX_TRACE_CALL(L"CSitePreviewCallback::Notify", dwEvent);
    for (DWORD dwEnded : kPreviewEventEnded)
        if (dwEvent == dwEnded) VX_TRACE_RETURN(Site()->ExitPrintPreview(VARIANT_FALSE));
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::GetActiveWindow(UINT* pHwnd) {
    VX_TRACE_CALL(L"CDocObject::GetActiveWindow", pHwnd);
    if (pHwnd) *pHwnd = 0;
    if (!pHwnd || !m_hwndActiveObj) VX_TRACE_RETURN(S_FALSE);
    *pHwnd = site_detail::HandleToUint(m_hwndActiveObj);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::GetActiveObject(IDispatch** ppDisp) {
    VX_TRACE_CALL(L"CDocObject::GetActiveObject", ppDisp);
    if (ppDisp) *ppDisp = nullptr;
    if (!ppDisp || !m_pipactive) VX_TRACE_RETURN(S_FALSE);
    VX_TRACE_RETURN(m_pipactive->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppDisp)));
}

STDMETHODIMP CDocObject::GetOleObject(IDispatch** ppDisp) {
    VX_TRACE_CALL(L"CDocObject::GetOleObject", ppDisp);
    if (ppDisp) *ppDisp = nullptr;
    if (!ppDisp || !m_pole) VX_TRACE_RETURN(S_FALSE);
    VX_TRACE_RETURN(m_pole->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppDisp)));
}

STDMETHODIMP CDocObject::GetActiveMenu(UINT* pHmenu) {
    VX_TRACE_CALL(L"CDocObject::GetActiveMenu", pHmenu);
    if (pHmenu) *pHmenu = 0;
    if (!pHmenu || !m_hmenuShared) VX_TRACE_RETURN(S_FALSE);
    *pHmenu = site_detail::HandleToUint(m_hmenuShared);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::GetMenuHWND(UINT* pHwnd) {
    VX_TRACE_CALL(L"CDocObject::GetMenuHWND", pHwnd);
    if (pHwnd) *pHwnd = 0;
    if (!pHwnd || !m_hwndMenuObj) VX_TRACE_RETURN(S_FALSE);
    *pHwnd = site_detail::HandleToUint(m_hwndMenuObj);
    VX_TRACE_RETURN(S_OK);
}
