#include "control/Office.h"
#include "diag/Format.h"
#include "diag/Trace.h"

#include <cstdarg>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "diag/Log.h"
#include "fw/HandleUint.h"
#include "platform/ByRefVariant.h"

namespace {

const wchar_t kLogSiteLockRefused[] = L"站点锁定拒绝\t成员:%s\t页面:%s";
const wchar_t kErrSiteLockRefused[] = L"站点锁定: 页面不允许调用%s: %s";
// A box kept back in silence, as it follows the failure's description.
const wchar_t kKeptBackOpen[] = L" (";
const wchar_t kKeptBackClose[] = L")";

}  // namespace

const LPCWSTR COffice::kClassCursor = IDC_ARROW;

COffice::COffice() {
    // The control never goes windowless.
    m_bWindowOnly = true;
    RegisterConnectionPoint(&m_cpEvents);
    m_notifier.SetLog(&m_log, fw::g_module.GetModuleInstance());
}

COffice::~COffice() = default;

void COffice::FinalRelease() {
    // Nobody is told of the closing that tearing down does.
    UnadviseAllConnectionPoints();
    // OnDestroy must run while the whole object still exists.
    DestroyControlWindow();
    // A site someone else still holds reaches nothing from here on.
    if (m_spRelay) m_spRelay->Disconnect();
}

HRESULT COffice::OpenLog() { return OpenLogFile(m_log, fw::g_module.GetModuleInstance()); }

HRESULT COffice::Fail(HRESULT hr, LPCWSTR pszFormat, ...) {
    if (SUCCEEDED(hr)) return hr;
    va_list args;
    va_start(args, pszFormat);
    const std::wstring text = diag::FormatV(pszFormat, args);
    va_end(args);
    return ReportFailure(hr, text.c_str());
}

HRESULT COffice::ReportFailure(HRESULT hr, LPCWSTR pszText) {
    if (SUCCEEDED(hr)) return hr;
    std::wstring text = pszText ? pszText : L"";
    const std::wstring keptBack = m_notifier.TakeKeptBack();
    if (!keptBack.empty()) text += kKeptBackOpen + keptBack + kKeptBackClose;
    return fw::ReportError(hr, CLSID_Office, IID_IOffice, text.c_str());
}

// Looked up at every call, so that a page the browser navigated to is
// decided afresh.
HRESULT COffice::CheckSiteLock(LPCWSTR pszMember) {
    m_siteLock.Update(m_spClientSite.get(), m_spObjectSite.get());
    HRESULT hr = m_siteLock.Check();
    if (FAILED(hr)) {
        const wchar_t* pszName = pszMember ? pszMember : L"";
        // The page's URL may carry a user name, password or session query.
        const std::wstring page = web::LoggableUrl(m_siteLock.PageUrl());
        m_log.Write(kLogSiteLockRefused, pszName, page.c_str());
        return Fail(hr, kErrSiteLockRefused, pszName, page.c_str());
    }
    return hr;
}

bool COffice::IsPageRefused() {
    m_siteLock.Update(m_spClientSite.get(), m_spObjectSite.get());
    return FAILED(m_siteLock.Check());
}

std::wstring COffice::PathForPage(const std::wstring& path) {
    if (path.empty() || !IsPageRefused()) return path;
    const size_t slash = path.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

fw::com_ptr<IUnknown> COffice::Identity() {
    fw::com_ptr<IUnknown> unk;
    ControllingUnknown()->QueryInterface(IID_IUnknown, unk.put_void());
    return unk;
}

// ---- what the document session is given -------------------------------------

IOleCommandTarget* COffice::SiteCommandTarget() {
    if (!m_spRelay) m_spRelay.attach(new (std::nothrow) CCommandRelay(static_cast<IOleCommandTarget*>(this)));
    return m_spRelay.get();
}

void COffice::ShowDocumentMenus(IDocObject* pSite) {
    UINT hMenu = 0;
    pSite->GetActiveMenu(&hMenu);
    m_menuBar.AddMenu(fw::UintToHandle<HMENU>(hMenu));
}

void COffice::RemoveDocumentMenus() {
    m_menuBar.RemoveDocumentMenus();
    m_menuBar.Invalidate();
}

HRESULT COffice::AskFileName(BOOL bOpen, std::wstring* pName) {
    std::vector<std::wstring> names;
    if (RunFileDialog(names, bOpen, nullptr, nullptr, kFileDialogFlags, kAllFilesFilter) != S_OK ||
        names.empty())
        return S_FALSE;
    *pName = names.front();
    return S_OK;
}

// ---- activation and the client site ------------------------------------

STDMETHODIMP COffice::SetClientSite(IOleClientSite* pClientSite) {
    VX_TRACE_CALL(L"COffice::SetClientSite", pClientSite);
    m_siteLock.Reset();
    if (pClientSite) {
        m_siteLock.Update(pClientSite, m_spObjectSite.get());
        // The window exists from here on, hidden, so that a script can open
        // a document before the container activates the control.
        HWND hwndParent = nullptr;
        fw::com_ptr<IOleInPlaceSite> spSite;
        if (SUCCEEDED(pClientSite->QueryInterface(IID_IOleInPlaceSite, spSite.put_void())) && spSite)
            spSite->GetWindow(&hwndParent);
        if (!hwndParent) hwndParent = GetDesktopWindow();
        if (!m_hWnd) {
            RECT rc = {0, 0, 0, 0};
            Create(hwndParent, rc);
        }
        if (m_hWnd) ShowWindow(m_hWnd, SW_HIDE);
    } else {
        Close();
    }
    VX_TRACE_RETURN(CControlBase::SetClientSite(pClientSite));
}

STDMETHODIMP COffice::SetSite(IUnknown* pUnkSite) {
    VX_TRACE_CALL(L"COffice::SetSite", pUnkSite);
    // A control made by script may never get a window, which opens the log;
    // its refusals are logged all the same.
    if (pUnkSite && !m_hWnd) OpenLog();
    m_spObjectSite.reset();
    if (pUnkSite) pUnkSite->QueryInterface(IID_IUnknown, m_spObjectSite.put_void());
    m_siteLock.Reset();
    m_siteLock.Update(m_spClientSite.get(), m_spObjectSite.get());
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP COffice::GetSite(REFIID riid, void** ppvSite) {
    VX_TRACE_CALL(L"COffice::GetSite", riid, ppvSite);
    if (!ppvSite) VX_TRACE_RETURN(E_POINTER);
    *ppvSite = nullptr;
    if (!m_spObjectSite) VX_TRACE_RETURN(E_FAIL);
    VX_TRACE_RETURN(m_spObjectSite->QueryInterface(riid, ppvSite));
}

HRESULT COffice::InPlaceActivate(LONG iVerb, const RECT* prcPosRect) {
    fw::com_ptr<IOleInPlaceSite> spSite;
    HWND hwndSite = nullptr;
    if (m_spClientSite && SUCCEEDED(m_spClientSite.query(spSite.put())) &&
        SUCCEEDED(spSite->GetWindow(&hwndSite)) && hwndSite && m_hWnd && IsWindow(m_hWnd) &&
        GetParent(m_hWnd) != hwndSite) {
        SetParent(m_hWnd, hwndSite);
        ShowWindow(m_hWnd, SW_SHOW);
    }
    spSite.reset();
    return CControlBase::InPlaceActivate(iVerb, prcPosRect);
}

// ---- geometry and drawing -----------------------------------------------

void COffice::GetDocRect(RECT* lprect) {
    SIZEL px = {};
    fw::HiMetricToPixels(&m_sizeExtent, &px);
    RECT rc = {0, 0, px.cx, px.cy};
    if (m_menuBar.IsShown()) rc.top += kMenuBarHeight;
    if (m_nBorder != 0) {
        // The top moves by the border alone; the bar's strip already keeps
        // the document off the inner frame there.
        rc.top += m_nBorder;
        rc.left += m_nBorder + 1;
        rc.right -= m_nBorder + 1;
        rc.bottom -= m_nBorder + 1;
    }
    *lprect = rc;
}

HRESULT COffice::OnDraw(fw::DrawInfo& di) {
    RECT rcBounds = {di.prcBounds->left, di.prcBounds->top, di.prcBounds->right, di.prcBounds->bottom};
    m_menuBar.Draw(di.hdcDraw);
    m_versionLabel.Draw(di.hdcDraw);
    DrawBorder(di.hdcDraw, rcBounds);
    return S_OK;
}

void COffice::DrawBorder(HDC hdc, const RECT& rcBounds) {
    RECT rc = rcBounds;
    fw::unique_hbrush brush(CreateSolidBrush(RGB(128, 128, 128)));
    FrameRect(hdc, &rc, brush.get());
    InflateRect(&rc, -m_nBorder, -m_nBorder);
    FrameRect(hdc, &rc, brush.get());
}

void COffice::NotifySiteOfDocRect() {
    if (!m_session.HasDocument()) return;
    RECT rc;
    GetDocRect(&rc);
    VARIANT v = ByRefVariant(&rc);
    m_session.Site()->OnNotifySizeChange(&v);
}

// ---- window messages ----------------------------------------------------

LRESULT COffice::OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
    // Logging never changes what the control does: without a log the bar,
    // the label and the hook are set up all the same.
    OpenLog();
    m_menuBar.Create(m_hWnd);
    m_versionLabel.Init(fw::g_module.GetModuleInstance());
    if (!m_pWndHook) {
        fw::com_ptr<IUnknown> self = Identity();
        m_pWndHook = CFrameWndHook::Attach(m_hWnd, self.get());
        if (m_pWndHook) m_pWndHook->SetActive(self.get());
    }
    return 0;
}

LRESULT COffice::OnSize(UINT, WPARAM, LPARAM, BOOL&) {
    NotifySiteOfDocRect();
    PostMessageW(m_hWnd, WM_MENUBARLAYOUT, 0, 0);
    return 0;
}

LRESULT COffice::OnMouseMove(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&) {
    m_menuBar.OnMouseMove(uMsg, wParam, lParam);
    return 0;
}

void COffice::ActivateFromClick() {
    if (m_pWndHook) {
        fw::com_ptr<IUnknown> self = Identity();
        m_pWndHook->SetActive(self.get());
    }
    if (m_session.HasDocument()) m_session.Site()->OnNotifyAppActivate(VARIANT_TRUE);
}

LRESULT COffice::OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&) {
    ActivateFromClick();
    // The popup's modal loop may run a script that lets go of the control;
    // the window procedure holds the control until this returns.
    m_menuBar.OnLButtonDown(uMsg, wParam, lParam);
    return 0;
}

LRESULT COffice::OnParentNotify(UINT, WPARAM wParam, LPARAM, BOOL&) {
    WORD event = LOWORD(wParam);
    if (m_session.HasDocument() && (event == WM_LBUTTONDOWN || event == WM_RBUTTONDOWN || event == WM_MBUTTONDOWN))
        ActivateFromClick();
    return 0;
}

LRESULT COffice::OnDestroy(UINT, WPARAM, LPARAM, BOOL&) {
    Close();
    if (m_pWndHook) {
        // The identity as registered, neither counted nor queried: in the
        // final release an aggregating outer may be half destroyed.
        m_pWndHook->Detach(ControllingUnknown());
        m_pWndHook = nullptr;
    }
    return 0;
}

LRESULT COffice::OnMenuBarLayout(UINT, WPARAM, LPARAM, BOOL&) {
    m_menuBar.Clear();
    m_menuBar.Create(m_hWnd);
    RECT rcClient;
    GetClientRect(m_hWnd, &rcClient);
    RECT rcBar = MenuBarRect(rcClient.right, m_nBorder);
    m_menuBar.SetRect(&rcBar);
    RECT rcLabel = VersionLabelRect(rcClient.right, m_nBorder);
    m_versionLabel.SetRect(&rcLabel);
    if (m_session.HasDocument()) {
        UINT hMenu = 0;
        if (m_session.Site()->GetActiveMenu(&hMenu) == S_OK && hMenu)
            m_menuBar.AddMenu(fw::UintToHandle<HMENU>(hMenu));
    }
    m_menuBar.Invalidate();
    return 0;
}

LRESULT COffice::OnMenuMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&) {
    if (uMsg == WM_COMMAND) {
        if (const FileMenuEntry* e = FindFileCommand(LOWORD(wParam))) {
            if (e->dwOleCmd == 0) {
                Close();
            } else {
                BOOL handled = TRUE;
                OnDocCommand(WM_DOCCOMMAND, e->dwOleCmd, lParam, handled);
            }
            return 0;
        }
    }
    if (uMsg == WM_INITMENUPOPUP && wParam && reinterpret_cast<HMENU>(wParam) == m_menuBar.GetItemMenu(0)) {
        EnableFileMenuItems(reinterpret_cast<HMENU>(wParam), m_commandMask, m_session.HasDocument());
        return 0;
    }
    // Everything else belongs to the document server's menus.
    UINT hwndMenu = 0;
    if (m_session.HasDocument() && m_session.Site()->GetMenuHWND(&hwndMenu) == S_OK && hwndMenu) {
        HWND hwndServer = fw::UintToHandle<HWND>(hwndMenu);
        if (uMsg == WM_COMMAND)
            PostMessageW(hwndServer, uMsg, wParam, lParam);
        else
            SendMessageW(hwndServer, uMsg, wParam, lParam);
    }
    return 0;
}

// ---- IOleCommandTarget --------------------------------------------------

STDMETHODIMP COffice::QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[],
                                  OLECMDTEXT* pCmdText) {
    if (pguidCmdGroup) return OLECMDERR_E_UNKNOWNGROUP;
    if (!prgCmds) return E_INVALIDARG;
    for (ULONG i = 0; i < cCmds; ++i) {
        const FileMenuEntry* e = FindFileCommandByOleCmd(prgCmds[i].cmdID);
        prgCmds[i].cmdf = !e ? 0
                          : (m_commandMask & e->wMaskBit) ? OLECMDF_SUPPORTED | OLECMDF_ENABLED
                                                          : OLECMDF_SUPPORTED;
    }
    if (pCmdText) {
        pCmdText->cmdtextf = OLECMDTEXTF_NONE;
        pCmdText->cwActual = 0;
    }
    return S_OK;
}

STDMETHODIMP COffice::Exec(const GUID*, DWORD nCmdID, DWORD nCmdexecopt, VARIANT*, VARIANT*) {
    if (nCmdexecopt == OLECMDEXECOPT_SHOWHELP) return OLECMDERR_E_NOHELP;
    switch (nCmdID) {
    case OLECMDID_OPEN:
    case OLECMDID_NEW:
    case OLECMDID_SAVE:
    case OLECMDID_SAVEAS:
    case OLECMDID_PRINT:
    case OLECMDID_PRINTPREVIEW:
    case OLECMDID_PAGESETUP:
    case OLECMDID_PROPERTIES:
        // Runs later, outside the caller (often the document server itself).
        PostMessageW(m_hWnd, WM_DOCCOMMAND, nCmdID, nCmdexecopt);
        return S_OK;
    default:
        return OLECMDERR_E_NOTSUPPORTED;
    }
}

// ---- the frame-window hook's client --------------------------------------

HRESULT COffice::ActivateControl() {
    if (!m_bActivated && m_pWndHook) {
        fw::com_ptr<IUnknown> self = Identity();
        m_pWndHook->SetActive(self.get());
    }
    SetFocus(m_hWnd);
    if (m_session.HasDocument()) {
        UINT hwnd = 0;
        m_session.Site()->GetActiveWindow(&hwnd);
        SetFocus(fw::UintToHandle<HWND>(hwnd));
    }
    m_bActivated = TRUE;
    return S_OK;
}

STDMETHODIMP COffice::Activate(short fActive) {
    VX_TRACE_CALL(L"COffice::Activate", fActive);
    if (fActive && !m_bActivated) {
        m_bActivated = TRUE;
        UINT hwndDoc = 0;
        if (m_session.HasDocument() && m_session.Site()->GetDocWindow(&hwndDoc) == S_OK && hwndDoc)
            ShowWindow(fw::UintToHandle<HWND>(hwndDoc), SW_SHOW);
        OnAppActivate(1);
    } else if (!fActive && m_bActivated) {
        OnAppActivate(0);
        m_bActivated = FALSE;
    }
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP COffice::OnAppActivate(short fActive) {
    VX_TRACE_CALL(L"COffice::OnAppActivate", fActive);
    if (m_session.HasDocument()) m_session.Site()->OnNotifyAppActivate(fActive ? VARIANT_TRUE : VARIANT_FALSE);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP COffice::OnFocusChange(short fGotFocus, HWND hwnd) {
    VX_TRACE_CALL(L"COffice::OnFocusChange", fGotFocus, hwnd);
    if (fGotFocus) {
        Activate(1);
        UINT hwndActive = 0;
        if (m_session.HasDocument() && m_session.Site()->GetActiveWindow(&hwndActive) == S_OK && hwndActive)
            SetFocus(fw::UintToHandle<HWND>(hwndActive));
        VX_TRACE_RETURN(S_OK);
    }
    for (HWND h = GetParent(hwnd); h; h = GetParent(h))
        if (h == m_hWnd) VX_TRACE_RETURN(S_FALSE);
    Activate(0);
    VX_TRACE_RETURN(S_OK);
}

// ---- IOffice members of the control ----------------------------------------

STDMETHODIMP COffice::EnableWindow(VARIANT_BOOL bEnable) {
    VX_TRACE_CALL(L"COffice::EnableWindow", bEnable);
    if (m_hWnd) ::EnableWindow(m_hWnd, static_cast<BOOL>(static_cast<SHORT>(bEnable)));
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP COffice::ShowMenuBar() {
    VX_TRACE_CALL(L"COffice::ShowMenuBar");
    if (!m_session.HasDocument()) VX_TRACE_RETURN(S_OK);
    m_menuBar.SetShow(!m_menuBar.IsShown());
    PostMessageW(m_hWnd, WM_SIZE, 0, 0);
    NotifySiteOfDocRect();
    VX_TRACE_RETURN(S_OK);
}

// ---- the script services ------------------------------------------------

STDMETHODIMP COffice::ShowFileDialog(VARIANT_BOOL bOpenFileDialog, VARIANT vDefExt, VARIANT vFileName,
                                     VARIANT vFlags, VARIANT vFilter, BSTR* pVal) {
    VX_TRACE_CALL(L"COffice::ShowFileDialog", bOpenFileDialog, vDefExt, vFileName, vFlags, vFilter, pVal);
    VX_TRACE_RETURN(m_dialogs.ShowFileDialog(bOpenFileDialog, vDefExt, vFileName, vFlags, vFilter, pVal));
}

STDMETHODIMP COffice::BrowserForFolder(BSTR* pVal) {
    VX_TRACE_CALL(L"COffice::BrowserForFolder", pVal);
    VX_TRACE_RETURN(m_dialogs.BrowserForFolder(pVal));
}

STDMETHODIMP COffice::ShellExecute(BSTR bstrFile, VARIANT vArgs) {
    VX_TRACE_CALL(L"COffice::ShellExecute", bstrFile, vArgs);
    VX_TRACE_RETURN(m_shell.ShellExecute(bstrFile, vArgs));
}

STDMETHODIMP COffice::DeleteFile(BSTR bstrFileName) {
    VX_TRACE_CALL(L"COffice::DeleteFile", bstrFileName);
    VX_TRACE_RETURN(m_shell.DeleteFile(bstrFileName));
}

STDMETHODIMP COffice::GetFileSystemObject(IDispatch** ppDisp) {
    VX_TRACE_CALL(L"COffice::GetFileSystemObject", ppDisp);
    VX_TRACE_RETURN(m_shell.GetFileSystemObject(ppDisp));
}

STDMETHODIMP COffice::GetWindow(BSTR bstrWinType, IDispatch** ppDisp) {
    VX_TRACE_CALL(L"COffice::GetWindow", bstrWinType, ppDisp);
    VX_TRACE_RETURN(m_shell.GetWindow(bstrWinType, ppDisp));
}

STDMETHODIMP COffice::EncryptPDF(BSTR, BSTR, IDispatch*) {
    VX_TRACE_CALL(L"COffice::EncryptPDF");
    VX_TRACE_RETURN(m_shell.EncryptPDF());
}

STDMETHODIMP COffice::AddWatermark(BSTR, VARIANT, VARIANT* pResult) {
    VX_TRACE_CALL(L"COffice::AddWatermark", pResult);
    if (pResult) VariantInit(pResult);
    VX_TRACE_RETURN(m_shell.AddWatermark());
}

STDMETHODIMP COffice::SetUpdateInfo(BSTR bstrIP, BSTR bstrPort, BSTR bstrUpdateFile) {
    VX_TRACE_CALL(L"COffice::SetUpdateInfo", bstrIP, bstrPort, bstrUpdateFile);
    VX_TRACE_RETURN(m_settings.SetUpdateInfo(bstrIP, bstrPort, bstrUpdateFile));
}

STDMETHODIMP COffice::SetServerInfo(BSTR bstrProtocol, BSTR bstrHost, BSTR bstrPort) {
    VX_TRACE_CALL(L"COffice::SetServerInfo", bstrProtocol, bstrHost, bstrPort);
    VX_TRACE_RETURN(m_settings.SetServerInfo(bstrProtocol, bstrHost, bstrPort));
}

STDMETHODIMP COffice::put_AutoUpdate(VARIANT_BOOL newVal) {
    VX_TRACE_CALL(L"COffice::put_AutoUpdate", newVal);
    VX_TRACE_RETURN(m_settings.PutAutoUpdate(newVal));
}

STDMETHODIMP COffice::put_AutoUpdateFile(BSTR newVal) {
    VX_TRACE_CALL(L"COffice::put_AutoUpdateFile", newVal);
    VX_TRACE_RETURN(m_settings.PutAutoUpdateFile(newVal));
}

STDMETHODIMP COffice::get_Version(BSTR* pVal) {
    VX_TRACE_CALL(L"COffice::get_Version", pVal);
    VX_TRACE_RETURN(m_settings.GetVersion(pVal));
}

STDMETHODIMP COffice::CreateBarCode(BSTR bstrBarCode, VARIANT* pVal) {
    VX_TRACE_CALL(L"COffice::CreateBarCode", bstrBarCode, pVal);
    VX_TRACE_RETURN(m_bitmaps.CreateBarCode(bstrBarCode, pVal));
}

STDMETHODIMP COffice::GetShellIcon(BSTR bstrFile, VARIANT vBgColor, BSTR* bstrIconFile) {
    VX_TRACE_CALL(L"COffice::GetShellIcon", bstrFile, vBgColor, bstrIconFile);
    VX_TRACE_RETURN(m_bitmaps.GetShellIcon(bstrFile, vBgColor, bstrIconFile));
}

HRESULT COffice::CreateExtObject(LPCWSTR pszProgId, fw::com_ptr<IDispatch>& object, IDocObject* pSite) {
    return m_extension.CreateExtObject(pszProgId, object, pSite, static_cast<IOffice*>(this));
}

STDMETHODIMP COffice::get_ExtObject(IDispatch** pVal) {
    VX_TRACE_CALL(L"COffice::get_ExtObject", pVal);
    VX_TRACE_RETURN(m_extension.GetExtObject(m_session.ExtObject(), pVal));
}

LRESULT COffice::OnDocCommand(UINT, WPARAM wParam, LPARAM, BOOL&) {
    m_commands.Dispatch(wParam, m_session.Site(), m_session.ExtObject().get());
    return 0;
}

STDMETHODIMP COffice::PrintPreview() {
    VX_TRACE_CALL(L"COffice::PrintPreview");
    VX_TRACE_RETURN(Exec(&GUID_NULL, OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr));
}

// ---- what the user is told ------------------------------------------------

STDMETHODIMP COffice::get_Silent(VARIANT_BOOL* pVal) {
    VX_TRACE_CALL(L"COffice::get_Silent", pVal);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *pVal = m_notifier.IsSilent() ? VARIANT_TRUE : VARIANT_FALSE;
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP COffice::put_Silent(VARIANT_BOOL newVal) {
    VX_TRACE_CALL(L"COffice::put_Silent", newVal);
    m_notifier.SetSilent(newVal ? diag::SilentChoice::On : diag::SilentChoice::Off);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP COffice::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                             VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    m_notifier.ForgetKeptBack();
    return IDispatchImpl<IOffice3>::Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo,
                                           puArgErr);
}
