#include "SiteTestSupport.h"

#include "PadTestHooks.h"


using namespace testsupport;

namespace sitetest {

namespace {

const wchar_t kControlClass[] = L"SiteTestsControl";

}  // namespace

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// ---- control window ----------------------------------------------------------

namespace {

// One visible top-level window for the whole run, standing in for the
// host's page: mapping and unmapping top-level windows costs Wine a second
// or more each, a child window next to nothing.
HWND HostFrame() {
    static HWND s_hwnd = [] {
        HWND hwnd =
            CreateWindowExW(0, L"STATIC", L"site tests", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE,
                            20, 20, 700, 540, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        PumpMessages();
        return hwnd;
    }();
    return s_hwnd;
}

}  // namespace

CControlWindow::CControlWindow() {
    WNDCLASSW wc = {};
    if (!GetClassInfoW(GetModuleHandleW(nullptr), kControlClass, &wc)) {
        wc.lpfnWndProc = WndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kControlClass;
        RegisterClassW(&wc);
    }
    m_hwnd = CreateWindowExW(0, kControlClass, nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 640,
                             480, HostFrame(), nullptr, GetModuleHandleW(nullptr), this);
    PumpMessages();
}

CControlWindow::~CControlWindow() {
    if (IsWindow(m_hwnd)) DestroyWindow(m_hwnd);
    PumpMessages();
}

std::vector<WPARAM> CControlWindow::TakeMenuLayouts() {
    PumpMessages();
    std::vector<WPARAM> out;
    out.swap(m_layouts);
    return out;
}

LRESULT CALLBACK CControlWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* pcs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pcs->lpCreateParams));
    }
    auto* self = reinterpret_cast<CControlWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        if (self->onMessage) self->onMessage(msg, wParam, lParam);
        if (msg == kMsgMenuBarLayout) {
            self->m_layouts.push_back(lParam == 0 ? wParam : ~WPARAM(0));
            return 0;
        }
        if (msg == kMsgSiteEnableModeless) self->modeless.emplace_back(wParam, lParam);
        if (msg == WM_NCDESTROY) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->m_hwnd = nullptr;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// ---- command target double ---------------------------------------------------

STDMETHODIMP CCommandTargetDouble::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IOleCommandTarget)) return E_NOINTERFACE;
    *ppv = static_cast<IOleCommandTarget*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CCommandTargetDouble::QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[],
                                               OLECMDTEXT*) {
    calls.push_back({true, pguidCmdGroup != nullptr, pguidCmdGroup ? *pguidCmdGroup : GUID_NULL,
                     cCmds && prgCmds ? prgCmds[0].cmdID : 0, 0, nullptr, nullptr});
    return hrQueryStatus;
}

STDMETHODIMP CCommandTargetDouble::Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt,
                                        VARIANT* pvaIn, VARIANT* pvaOut) {
    calls.push_back({false, pguidCmdGroup != nullptr, pguidCmdGroup ? *pguidCmdGroup : GUID_NULL, nCmdID,
                     nCmdexecopt, pvaIn, pvaOut});
    return hrExec;
}

// ---- the site ------------------------------------------------------------------

Site::Site() { doc.create(CLSID_DocObject); }

HRESULT Site::Init(HWND hwndCtl, RECT rc, const wchar_t* pszHost, IUnknown* pcmdCtl) {
    VARIANT v = ByRefVariant(&rc);
    fw::unique_bstr host(pszHost);
    return doc->InitializeNewInstance(HandleToUint(hwndCtl), v, host.get(), pcmdCtl);
}

HWND Site::window() const {
    UINT h = 0;
    doc->GetDocWindow(&h);
    return UintToHwnd(h);
}

CLSID Site::Clsid() const {
    VARIANT v;
    VariantInit(&v);
    if (FAILED(doc->GetClsid(&v)) || V_VT(&v) != (VT_BYREF | VT_UI1) || !V_UI1REF(&v)) return CLSID_NULL;
    return *reinterpret_cast<const CLSID*>(V_UI1REF(&v));
}

RECT Site::PlaceRect() const {
    RECT rcPos = {-1, -1, -1, -1}, rcClip = {};
    OLEINPLACEFRAMEINFO info = {sizeof(info)};
    com_ptr<IOleInPlaceFrame> frame;
    com_ptr<IOleInPlaceUIWindow> uiwin;
    as<IOleInPlaceSite>()->GetWindowContext(frame.put(), uiwin.put(), &rcPos, &rcClip, &info);
    return rcPos;
}

com_ptr<IDispatch> Site::OleObject() const {
    com_ptr<IDispatch> disp;
    doc->GetOleObject(disp.put());
    return disp;
}

// ---- the sample server ---------------------------------------------------------

namespace {

HRESULT Invoke(IDispatch* pDisp, const wchar_t* pszName, WORD wFlags, VARIANT* pArg, VARIANT* pResult) {
    if (!pDisp) return E_POINTER;
    DISPID dispid = 0;
    LPOLESTR name = const_cast<LPOLESTR>(pszName);
    HRESULT hr = pDisp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr)) return hr;
    DISPID dispidPut = DISPID_PROPERTYPUT;
    DISPPARAMS params = {pArg, nullptr, pArg ? 1u : 0u, 0};
    if (wFlags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &dispidPut;
        params.cNamedArgs = 1;
    }
    return pDisp->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params, pResult, nullptr, nullptr);
}

}  // namespace

std::wstring DocumentText(IDispatch* pDoc) {
    fw::unique_variant result;
    if (FAILED(Invoke(pDoc, L"Text", DISPATCH_PROPERTYGET, nullptr, result.put())) ||
        V_VT(result.get()) != VT_BSTR)
        return L"<no text>";
    return V_BSTR(result.get()) ? V_BSTR(result.get()) : L"";
}

HRESULT SetDocumentText(IDispatch* pDoc, const wchar_t* pszText) {
    fw::unique_variant arg;
    V_VT(arg.get()) = VT_BSTR;
    V_BSTR(arg.get()) = SysAllocString(pszText);
    return Invoke(pDoc, L"Text", DISPATCH_PROPERTYPUT, arg.get(), nullptr);
}

bool DocumentInPreview(IDispatch* pDoc) {
    fw::unique_variant result;
    if (FAILED(Invoke(pDoc, L"InPreview", DISPATCH_PROPERTYGET, nullptr, result.put())) ||
        V_VT(result.get()) != VT_BOOL)
        return false;
    return V_BOOL(result.get()) != VARIANT_FALSE;
}

bool WritePadDocument(HWND hwndCtl, const std::wstring& path, const wchar_t* pszText) {
    Site site;
    CLSID clsid = vellixpad::CLSID_Document;
    if (FAILED(site.Init(hwndCtl)) || FAILED(site.doc->CreateDocObject(ByRefVariant(&clsid)))) return false;
    if (FAILED(SetDocumentText(site.OleObject().get(), pszText))) return false;
    fw::unique_bstr name(path.c_str());
    HRESULT hr = site.doc->SaveStorageToFile(name.get());
    site.doc->Close();
    return hr == S_OK;
}

std::wstring OfficeLogPath() { return ExeDir() + L"\\log\\office.log"; }

}  // namespace sitetest
