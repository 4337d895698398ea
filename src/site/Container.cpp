// The container interfaces the document server calls, and in-place
// activation of its view inside the site window.
#include <cwchar>

#include "diag/Trace.h"
#include "site/DocObject.h"
#include "site/SiteHelpers.h"
#include "site/SiteMessages.h"
#include "site/SiteTexts.h"

using fw::com_ptr;

namespace {

// A rejecting server is asked again at most this often, waiting
// kRetryStepMs longer before each attempt.
constexpr int kMaxRetries = 10;
constexpr DWORD kRetryStepMs = 200;

// The step between retries. A test process sets VELLIX_RETRY_STEP_MS to
// shorten it, so that its runs spend no time sleeping.
DWORD RetryStepMs() {
    wchar_t sz[12] = {};
    const DWORD cch = GetEnvironmentVariableW(L"VELLIX_RETRY_STEP_MS", sz, 12);
    if (cch == 0 || cch >= 12) return kRetryStepMs;
    wchar_t* end = nullptr;
    const unsigned long step = wcstoul(sz, &end, 10);
    return (*end || step > kRetryStepMs) ? kRetryStepMs : static_cast<DWORD>(step);
}

template <class T>
HRESULT SetOut(T* p, T value) {
    if (p) *p = value;
    return S_OK;
}

}  // namespace

CDocObject* CSiteClientSite::Site() { return static_cast<CDocObject*>(this); }
CDocObject* CSiteCommandTarget::Site() { return static_cast<CDocObject*>(this); }
CDocObject* CSiteDocumentSite::Site() { return static_cast<CDocObject*>(this); }
CDocObject* CSiteInPlaceFrame::Site() { return static_cast<CDocObject*>(this); }
CDocObject* CSiteInPlaceSite::Site() { return static_cast<CDocObject*>(this); }
CDocObject* CSitePreviewCallback::Site() { return static_cast<CDocObject*>(this); }

// ---- IOleClientSite ----------------------------------------------------

// The server's request to save goes to the control as its save command.
STDMETHODIMP CSiteClientSite::SaveObject() {
    VX_TRACE_CALL(L"CSiteClientSite::SaveObject");
    if (auto pct = Site()->Self<IOleCommandTarget>())
        pct->Exec(&GUID_NULL, OLECMDID_SAVE, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteClientSite::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
    VX_TRACE_CALL(L"CSiteClientSite::GetMoniker", ppmk);
    SetOut<IMoniker*>(ppmk, nullptr);
    VX_TRACE_RETURN(E_NOTIMPL);
}

STDMETHODIMP CSiteClientSite::GetContainer(IOleContainer** ppContainer) {
    VX_TRACE_CALL(L"CSiteClientSite::GetContainer", ppContainer);
    SetOut<IOleContainer*>(ppContainer, nullptr);
    VX_TRACE_RETURN(E_NOINTERFACE);
}

STDMETHODIMP CSiteClientSite::ShowObject() {
    VX_TRACE_CALL(L"CSiteClientSite::ShowObject");
    VX_TRACE_RETURN(S_OK);
}
STDMETHODIMP CSiteClientSite::OnShowWindow(BOOL) {
    VX_TRACE_CALL(L"CSiteClientSite::OnShowWindow");
    VX_TRACE_RETURN(S_OK);
}
STDMETHODIMP CSiteClientSite::RequestNewObjectLayout() {
    VX_TRACE_CALL(L"CSiteClientSite::RequestNewObjectLayout");
    VX_TRACE_RETURN(E_NOTIMPL);
}

// ---- IOleCommandTarget: everything goes on to the control ---------------

STDMETHODIMP CSiteCommandTarget::QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[],
                                             OLECMDTEXT* pCmdText) {
    VX_TRACE_CALL(L"CSiteCommandTarget::QueryStatus", pguidCmdGroup, cCmds, prgCmds, pCmdText);
    if (!Site()->m_pcmdCtl) VX_TRACE_RETURN(OLECMDERR_E_UNKNOWNGROUP);
    VX_TRACE_RETURN(Site()->m_pcmdCtl->QueryStatus(pguidCmdGroup, cCmds, prgCmds, pCmdText));
}

STDMETHODIMP CSiteCommandTarget::Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt,
                                      VARIANT* pvaIn, VARIANT* pvaOut) {
    VX_TRACE_CALL(L"CSiteCommandTarget::Exec", pguidCmdGroup, nCmdID, nCmdexecopt, pvaIn, pvaOut);
    if (!Site()->m_pcmdCtl) VX_TRACE_RETURN(OLECMDERR_E_NOTSUPPORTED);
    VX_TRACE_RETURN(Site()->m_pcmdCtl->Exec(pguidCmdGroup, nCmdID, nCmdexecopt, pvaIn, pvaOut));
}

// ---- IOleDocumentSite --------------------------------------------------

STDMETHODIMP CSiteDocumentSite::ActivateMe(IOleDocumentView* pViewToActivate) {
    VX_TRACE_CALL(L"CSiteDocumentSite::ActivateMe", pViewToActivate);
    CDocObject* site = Site();
    auto pips = site->Self<IOleInPlaceSite>();
    com_ptr<IOleDocumentView> pview(pViewToActivate);
    if (pview) {
        pview->SetInPlaceSite(pips.get());
        if (site->m_pstmView) pview->ApplyViewState(site->m_pstmView.get());
    } else {
        auto pdoc = site->m_pole.query<IOleDocument>();
        if (!pdoc) VX_TRACE_RETURN(E_FAIL);
        HRESULT hr = pdoc->CreateView(pips.get(), site->m_pstmView.get(), 0, pview.put());
        if (SUCCEEDED(hr) && site->m_pstmView) hr = pview->ApplyViewState(site->m_pstmView.get());
        if (FAILED(hr)) VX_TRACE_RETURN(hr);
    }

    site->m_pdocv = pview.get();
    if (!site->m_pcmdt) pview->QueryInterface(IID_IOleCommandTarget, site->m_pcmdt.put_void());

    HRESULT hr = pview->UIActivate(TRUE);
    if (SUCCEEDED(hr)) {
        pview->SetRect(&site->m_rcPlace);
        pview->Show(TRUE);
        site->m_fViewActive = 1;
        site->m_fFullBorder = 1;
    }
    VX_TRACE_RETURN(hr);
}

// ---- IOleInPlaceSite ---------------------------------------------------

STDMETHODIMP CSiteInPlaceSite::GetWindow(HWND* phwnd) {
    VX_TRACE_CALL(L"CSiteInPlaceSite::GetWindow", phwnd);
    VX_TRACE_RETURN(SetOut(phwnd, Site()->m_hwnd));
}
STDMETHODIMP CSiteInPlaceSite::ContextSensitiveHelp(BOOL) {
    VX_TRACE_CALL(L"CSiteInPlaceSite::ContextSensitiveHelp");
    VX_TRACE_RETURN(S_OK);
}
STDMETHODIMP CSiteInPlaceSite::CanInPlaceActivate() {
    VX_TRACE_CALL(L"CSiteInPlaceSite::CanInPlaceActivate");
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceSite::OnInPlaceActivate() {
    VX_TRACE_CALL(L"CSiteInPlaceSite::OnInPlaceActivate");
    CDocObject* site = Site();
    if (!site->m_pole) VX_TRACE_RETURN(E_UNEXPECTED);
    if (FAILED(site->m_pole.query(site->m_pipobj.put()))) VX_TRACE_RETURN(E_UNEXPECTED);
    site->m_fInPlaceActive = 1;
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceSite::OnUIActivate() {
    VX_TRACE_CALL(L"CSiteInPlaceSite::OnUIActivate");
    CDocObject* site = Site();
    site->m_fUIActive = 1;
    if (site->m_pipobj) site->m_pipobj->GetWindow(&site->m_hwndIPObject);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                                LPRECT lprcPosRect, LPRECT lprcClipRect,
                                                LPOLEINPLACEFRAMEINFO lpFrameInfo) {
    VX_TRACE_CALL(L"CSiteInPlaceSite::GetWindowContext", ppFrame, ppDoc, lprcPosRect, lprcClipRect, lpFrameInfo);
    CDocObject* site = Site();
    if (ppFrame) *ppFrame = site->Self<IOleInPlaceFrame>().detach();
    SetOut<IOleInPlaceUIWindow*>(ppDoc, nullptr);
    SetOut(lprcPosRect, site->m_rcPlace);
    SetOut(lprcClipRect, site->m_rcPlace);
    if (lpFrameInfo) {
        *lpFrameInfo = {};
        lpFrameInfo->cb = sizeof(OLEINPLACEFRAMEINFO);
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = site->m_hwnd;
    }
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceSite::Scroll(SIZE) {
    VX_TRACE_CALL(L"CSiteInPlaceSite::Scroll");
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceSite::OnUIDeactivate(BOOL) {
    VX_TRACE_CALL(L"CSiteInPlaceSite::OnUIDeactivate");
    CDocObject* site = Site();
    site->m_fUIActive = 0;
    if (auto pframe = site->Self<IOleInPlaceFrame>()) pframe->SetMenu(nullptr, nullptr, nullptr);
    // Closed through its window, the site has none: the host keeps its focus.
    if (site->m_hwnd) SetFocus(site->m_hwnd);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceSite::OnInPlaceDeactivate() {
    VX_TRACE_CALL(L"CSiteInPlaceSite::OnInPlaceDeactivate");
    CDocObject* site = Site();
    site->m_fInPlaceActive = 0;
    site->m_hwndIPObject = nullptr;
    site->m_pipobj.reset();
    site->m_fViewActive = 0;
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceSite::DiscardUndoState() {
    VX_TRACE_CALL(L"CSiteInPlaceSite::DiscardUndoState");
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceSite::DeactivateAndUndo() {
    VX_TRACE_CALL(L"CSiteInPlaceSite::DeactivateAndUndo");
    if (auto pipobj = Site()->m_pipobj) pipobj->InPlaceDeactivate();
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceSite::OnPosRectChange(LPCRECT) {
    VX_TRACE_CALL(L"CSiteInPlaceSite::OnPosRectChange");
    VX_TRACE_RETURN(S_OK);
}

// ---- IOleInPlaceFrame: the site window is the frame ----------------------

STDMETHODIMP CSiteInPlaceFrame::GetWindow(HWND* phwnd) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::GetWindow", phwnd);
    VX_TRACE_RETURN(SetOut(phwnd, Site()->m_hwnd));
}

STDMETHODIMP CSiteInPlaceFrame::ContextSensitiveHelp(BOOL fEnterMode) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::ContextSensitiveHelp", fEnterMode);
    auto pips = Site()->Self<IOleInPlaceSite>();
    VX_TRACE_RETURN(pips ? pips->ContextSensitiveHelp(fEnterMode) : S_FALSE);
}

STDMETHODIMP CSiteInPlaceFrame::GetBorder(LPRECT lprectBorder) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::GetBorder", lprectBorder);
    if (!lprectBorder) VX_TRACE_RETURN(E_POINTER);
    GetClientRect(Site()->m_hwnd, lprectBorder);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceFrame::RequestBorderSpace(LPCBORDERWIDTHS) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::RequestBorderSpace");
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceFrame::SetBorderSpace(LPCBORDERWIDTHS pborderwidths) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::SetBorderSpace", pborderwidths);
    CDocObject* site = Site();
    RECT rc = {};
    GetClientRect(site->m_hwnd, &rc);
    site->m_rcBorder = {};
    if (pborderwidths) {
        site->m_rcBorder = *pborderwidths;
        rc.left += pborderwidths->left;
        rc.top += pborderwidths->top;
        rc.right -= pborderwidths->right;
        rc.bottom -= pborderwidths->bottom;
    }
    site->m_rcPlace = rc;
    if (auto pdocv = site->m_pdocv) pdocv->SetRect(&site->m_rcPlace);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceFrame::SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::SetActiveObject", pActiveObject);
    CDocObject* site = Site();
    site->m_pipactive.reset();
    site->m_hwndActiveObj = nullptr;
    if (pActiveObject) {
        site->m_pipactive = pActiveObject;
        pActiveObject->GetWindow(&site->m_hwndActiveObj);
    }
    VX_TRACE_RETURN(S_OK);
}

// No container menus: the server's shared menu is shown by the control's
// own menu bar.
STDMETHODIMP CSiteInPlaceFrame::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::InsertMenus");
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceFrame::SetMenu(HMENU hmenuShared, HOLEMENU holemenu, HWND hwndActiveObject) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::SetMenu", hmenuShared, holemenu, hwndActiveObject);
    CDocObject* site = Site();
    if (!hmenuShared) {
        site->m_hmenuShared = nullptr;
        site->m_holemenu = nullptr;
        site->m_hwndMenuObj = nullptr;
        VX_TRACE_RETURN(S_OK);
    }
    site->m_hmenuShared = hmenuShared;
    site->m_holemenu = holemenu;
    site->m_hwndMenuObj = hwndActiveObject;
    if (!site->m_fClosing && site->m_hwndCtl)
        PostMessageW(site->m_hwndCtl, WM_MENUBARLAYOUT, reinterpret_cast<WPARAM>(hmenuShared), 0);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceFrame::RemoveMenus(HMENU) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::RemoveMenus");
    VX_TRACE_RETURN(E_NOTIMPL);
}
STDMETHODIMP CSiteInPlaceFrame::SetStatusText(LPCOLESTR) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::SetStatusText");
    VX_TRACE_RETURN(E_NOTIMPL);
}

STDMETHODIMP CSiteInPlaceFrame::EnableModeless(BOOL fEnable) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::EnableModeless", fEnable);
    CDocObject* site = Site();
    site->m_fModal = !fEnable;
    if (site->m_hwndCtl) SendMessageW(site->m_hwndCtl, WM_SITEENABLEMODELESS, 1, fEnable);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CSiteInPlaceFrame::TranslateAccelerator(LPMSG, WORD) {
    VX_TRACE_CALL(L"CSiteInPlaceFrame::TranslateAccelerator");
    VX_TRACE_RETURN(E_NOTIMPL);
}

// ---- activation driven by the control ------------------------------------

HRESULT CDocObject::DoActivationVerb(LONG iVerb) {
    RECT rc = {};
    GetClientRect(m_hwnd, &rc);
    return m_pole->DoVerb(iVerb, nullptr, Self<IOleClientSite>().get(), -1, m_hwnd, &rc);
}

STDMETHODIMP CDocObject::IPActivateView() {
    VX_TRACE_CALL(L"CDocObject::IPActivateView");
    OpenLog();
    HRESULT hr = E_UNEXPECTED;
    m_log.Write(site_text::kLogEnterIPActivateView);

    if (m_pole && !m_pdocv) {
        hr = DoActivationVerb(OLEIVERB_INPLACEACTIVATE);
        LogResultName(hr);
        // Once at once with the plain show verb; then again, waiting longer
        // each time, only while the server rejects the call.
        if (FAILED(hr)) {
            const DWORD dwStepMs = RetryStepMs();
            int n = 0;
            do {
                Sleep(n * dwStepMs);
                ++n;
                hr = DoActivationVerb(OLEIVERB_SHOW);
                LogResultName(hr);
            } while (hr == RPC_E_CALL_REJECTED && n < kMaxRetries);
        }
    } else if (m_pdocv) {
        m_log.Write(site_text::kLogExistingView);
        hr = m_pdocv->Show(TRUE);
        if (SUCCEEDED(hr)) m_pdocv->UIActivate(TRUE);
    }

    LogResultName(hr);
    if (SUCCEEDED(hr) && m_hwndIPObject) SetFocus(m_hwndIPObject);
    VX_TRACE_RETURN(hr);
}

STDMETHODIMP CDocObject::UIActivateView(VARIANT_BOOL fFocus) {
    VX_TRACE_CALL(L"CDocObject::UIActivateView", fFocus);
    if (!m_pdocv) VX_TRACE_RETURN(S_FALSE);
    VX_TRACE_RETURN(m_pdocv->UIActivate(fFocus));
}

STDMETHODIMP CDocObject::IPDeactivateView() {
    VX_TRACE_CALL(L"CDocObject::IPDeactivateView");
    HRESULT hr = S_OK;
    if (m_pipactive) UIActivateView(VARIANT_FALSE);
    // Each step can call back into the site and clear fields: hold what is
    // used across the call.
    if (auto pdocv = m_pdocv) pdocv->Show(FALSE);
    if (auto pipobj = m_pipobj) pipobj->InPlaceDeactivate();
    if (auto pdocv = m_pdocv) {
        hr = pdocv->CloseView(0);
        pdocv->SetInPlaceSite(nullptr);
    }
    m_pcmdt.reset();
    m_pdocv.reset();
    m_pipobj.reset();
    VX_TRACE_RETURN(hr);
}

STDMETHODIMP CDocObject::OnNotifySizeChange(VARIANT* lprect) {
    VX_TRACE_CALL(L"CDocObject::OnNotifySizeChange", lprect);
    const RECT* prc = site_detail::ByRefStruct<RECT>(lprect);
    if (!prc) VX_TRACE_RETURN(E_INVALIDARG);
    m_rcPlace = *prc;
    const LONG cx = m_rcPlace.right - m_rcPlace.left;
    const LONG cy = m_rcPlace.bottom - m_rcPlace.top;

    if (m_hwnd) {
        SetWindowPos(m_hwnd, nullptr, m_rcPlace.left, m_rcPlace.top, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
        UpdateWindow(m_hwnd);
    }
    if (m_fUIActive && m_pipactive) {
        RECT rcBorder = {0, 0, cx, cy};
        m_pipactive->ResizeBorder(&rcBorder, nullptr, TRUE);
    } else if (m_fInPlaceActive && m_pdocv) {
        RECT rcView = {m_rcBorder.left, m_rcBorder.top, cx - m_rcBorder.right, cy - m_rcBorder.bottom};
        m_pdocv->SetRect(&rcView);
    }
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::OnNotifyAppActivate(VARIANT_BOOL bActive) {
    VX_TRACE_CALL(L"CDocObject::OnNotifyAppActivate", bActive);
    if (auto pipactive = m_pipactive) pipactive->OnFrameWindowActivate(bActive);
    m_fAppActive = bActive & 1;
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::GetDocWindow(UINT* HWnd) {
    VX_TRACE_CALL(L"CDocObject::GetDocWindow", HWnd);
    if (!HWnd) VX_TRACE_RETURN(E_POINTER);
    *HWnd = site_detail::HandleToUint(m_hwnd);
    VX_TRACE_RETURN(S_OK);
}
