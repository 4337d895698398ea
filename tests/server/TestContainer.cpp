#include "TestContainer.h"

namespace {

const wchar_t kContainerClass[] = L"VellixPadTestContainer";
const wchar_t kContainerFileMenu[] = L"文件(&F)";

void RegisterContainerClass() {
    WNDCLASSW wc = {};
    if (GetClassInfoW(GetModuleHandleW(nullptr), kContainerClass, &wc)) return;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kContainerClass;
    RegisterClassW(&wc);
}

// One visible top-level window for the whole test process: under Wine
// without a window manager, hiding or destroying a visible top-level window
// waits two seconds for X, so each container is a child of this one.
HWND HostWindow() {
    static HWND s_hwnd = CreateWindowExW(0, kContainerClass, L"VellixPad tests", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                                         40, 680, 540, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    return s_hwnd;
}

}  // namespace

fw::com_ptr<CTestContainer> CTestContainer::Create(bool bDocumentSite) {
    return fw::com_ptr<CTestContainer>(new CTestContainer(bDocumentSite));
}

CTestContainer::CTestContainer(bool bDocumentSite) : m_bDocumentSite(bDocumentSite) {
    RegisterContainerClass();
    m_hwnd = CreateWindowExW(0, kContainerClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 640, 480,
                             HostWindow(), nullptr, GetModuleHandleW(nullptr), nullptr);
    m_hmenuFile.reset(CreatePopupMenu());
    AppendMenuW(m_hmenuFile.get(), MF_STRING, 1, L"关闭(&C)");
}

CTestContainer::~CTestContainer() {
    if (m_hwnd) DestroyWindow(m_hwnd);
}

void CTestContainer::Disconnect() {
    spActiveObject.reset();
    spView.reset();
}

RECT CTestContainer::ClientRect() const {
    RECT rc = {};
    GetClientRect(m_hwnd, &rc);
    return rc;
}

STDMETHODIMP CTestContainer::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
        *ppv = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IOleDocumentSite) && m_bDocumentSite)
        *ppv = static_cast<IOleDocumentSite*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceSite) || IsEqualIID(riid, IID_IOleWindow))
        *ppv = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceFrame) || IsEqualIID(riid, IID_IOleInPlaceUIWindow))
        *ppv = static_cast<IOleInPlaceFrame*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CTestContainer::Release() {
    ULONG c = --m_cRef;
    if (c == 0) delete this;
    return c;
}

STDMETHODIMP CTestContainer::SaveObject() {
    ++nSaveObject;
    return S_OK;
}

STDMETHODIMP CTestContainer::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CTestContainer::GetContainer(IOleContainer** ppContainer) {
    if (ppContainer) *ppContainer = nullptr;
    return E_NOINTERFACE;
}

// What a document site does: take the view, let it UI-activate, size it
// to the whole client area and show it.
STDMETHODIMP CTestContainer::ActivateMe(IOleDocumentView* pViewToActivate) {
    ++nActivateMe;
    if (!pViewToActivate) return E_INVALIDARG;
    spView = pViewToActivate;
    HRESULT hr = spView->SetInPlaceSite(this);
    if (FAILED(hr)) return hr;
    hr = spView->UIActivate(TRUE);
    if (FAILED(hr)) return hr;
    RECT rc = ClientRect();
    spView->SetRect(&rc);
    return spView->Show(TRUE);
}

STDMETHODIMP CTestContainer::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = m_hwnd;
    return S_OK;
}

STDMETHODIMP CTestContainer::OnInPlaceActivate() {
    ++nOnInPlaceActivate;
    return S_OK;
}

STDMETHODIMP CTestContainer::OnUIActivate() {
    ++nOnUIActivate;
    return S_OK;
}

STDMETHODIMP CTestContainer::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                              LPRECT lprcPosRect, LPRECT lprcClipRect,
                                              LPOLEINPLACEFRAMEINFO lpFrameInfo) {
    if (ppFrame) {
        *ppFrame = this;
        AddRef();
    }
    if (ppDoc) *ppDoc = nullptr;
    RECT rc = ClientRect();
    if (lprcPosRect) *lprcPosRect = rc;
    if (lprcClipRect) *lprcClipRect = rc;
    if (lpFrameInfo) {
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = m_hwnd;
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP CTestContainer::OnUIDeactivate(BOOL) {
    ++nOnUIDeactivate;
    SetMenu(nullptr, nullptr, nullptr);
    return S_OK;
}

STDMETHODIMP CTestContainer::OnInPlaceDeactivate() {
    ++nOnInPlaceDeactivate;
    return S_OK;
}

STDMETHODIMP CTestContainer::GetBorder(LPRECT lprectBorder) {
    if (!lprectBorder) return E_POINTER;
    *lprectBorder = ClientRect();
    return S_OK;
}

// As a document site: the view gets the whole client area, less the
// border the object asked for.
STDMETHODIMP CTestContainer::SetBorderSpace(LPCBORDERWIDTHS pborderwidths) {
    ++nSetBorderSpace;
    RECT rc = ClientRect();
    if (pborderwidths) {
        rc.left += pborderwidths->left;
        rc.top += pborderwidths->top;
        rc.right -= pborderwidths->right;
        rc.bottom -= pborderwidths->bottom;
    }
    if (spView) spView->SetRect(&rc);
    return S_OK;
}

STDMETHODIMP CTestContainer::SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) {
    spActiveObject = pActiveObject;
    return S_OK;
}

STDMETHODIMP CTestContainer::InsertMenus(HMENU hmenuShared, LPOLEMENUGROUPWIDTHS lpMenuWidths) {
    ++nInsertMenus;
    InsertMenuW(hmenuShared, 0, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(m_hmenuFile.get()),
                kContainerFileMenu);
    lpMenuWidths->width[0] = 1;
    lpMenuWidths->width[2] = 0;
    lpMenuWidths->width[4] = 0;
    return S_OK;
}

STDMETHODIMP CTestContainer::SetMenu(HMENU hmenu, HOLEMENU hole, HWND hwndActiveObject) {
    if (hmenu) ++nSetMenu;
    hmenuShared = hmenu;
    holemenu = hole;
    hwndMenuObj = hwndActiveObject;
    return S_OK;
}

STDMETHODIMP CTestContainer::RemoveMenus(HMENU hmenu) {
    ++nRemoveMenus;
    for (int i = GetMenuItemCount(hmenu) - 1; i >= 0; --i)
        if (GetSubMenu(hmenu, i) == m_hmenuFile.get()) RemoveMenu(hmenu, i, MF_BYPOSITION);
    return S_OK;
}

STDMETHODIMP CPreviewCallback::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, __uuidof(IDocPreviewCallback))) return E_NOINTERFACE;
    *ppv = static_cast<IDocPreviewCallback*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CPreviewCallback::Release() {
    ULONG c = --m_cRef;
    if (c == 0) delete this;
    return c;
}
