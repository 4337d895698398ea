// The document's one view: in-place activation in a window of our own that
// holds a rich edit control, the shared menu, and the menu commands.
#include <richedit.h>

#include "PadDocument.h"
#include "PadStrings.h"
#include "PadTestHooks.h"

using namespace vellixpad;

namespace {

const UINT kEditId = 1;
// The rich edit default of 32K characters is far too small for a document.
const LPARAM kMaxTextLength = 16 * 1024 * 1024;
const DWORD kViewStateVersion = 1;
const WORD kTextMargin = 6;  // pixels between the text and the window's edges

struct MenuItem {
    UINT nId;  // 0: separator
    const wchar_t* pszText;
};

const MenuItem kEditMenu[] = {
    {kCmdUndo, padtext::kCmdUndo},
    {0, nullptr},
    {kCmdCut, padtext::kCmdCut},
    {kCmdCopy, padtext::kCmdCopy},
    {kCmdPaste, padtext::kCmdPaste},
    {kCmdDelete, padtext::kCmdDelete},
    {0, nullptr},
    {kCmdSelectAll, padtext::kCmdSelectAll},
    {kCmdInsertTime, padtext::kCmdInsertTime},
};

const MenuItem kFormatMenu[] = {
    {kCmdUpperCase, padtext::kCmdUpperCase},
    {kCmdLowerCase, padtext::kCmdLowerCase},
    {0, nullptr},
    {kCmdWordWrap, padtext::kCmdWordWrap},
    {0, nullptr},
    {kCmdClosePreview, padtext::kCmdClosePreview},
};

// Commands that change the text: refused while the document is previewed.
bool IsEditingCommand(UINT nId) {
    switch (nId) {
    case kCmdUndo:
    case kCmdCut:
    case kCmdPaste:
    case kCmdDelete:
    case kCmdInsertTime:
    case kCmdUpperCase:
    case kCmdLowerCase:
        return true;
    default:
        return false;
    }
}

template <size_t N>
fw::unique_hmenu MakePopup(const MenuItem (&items)[N]) {
    fw::unique_hmenu menu(CreatePopupMenu());
    for (const MenuItem& item : items) {
        if (item.nId)
            AppendMenuW(menu.get(), MF_STRING, item.nId, item.pszText);
        else
            AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    }
    return menu;
}

int Width(const RECT& rc) { return rc.right - rc.left; }
int Height(const RECT& rc) { return rc.bottom - rc.top; }

}  // namespace

// ---- text -----------------------------------------------------------------------

std::wstring CPadDocument::GetText() const {
    if (!m_hwndEdit) return m_strText;
    GETTEXTLENGTHEX gtl = {GTL_USECRLF | GTL_PRECISE | GTL_NUMCHARS, 1200};
    LRESULT cch = SendMessageW(m_hwndEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&gtl), 0);
    if (cch <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(cch) + 1, L'\0');
    GETTEXTEX gt = {};
    gt.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    gt.flags = GT_USECRLF;
    gt.codepage = 1200;
    LRESULT got = SendMessageW(m_hwndEdit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&gt),
                               reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void CPadDocument::SetText(const std::wstring& text) {
    m_strText = text;
    m_selection = {0, 0};
    if (m_hwndEdit) SetWindowTextW(m_hwndEdit, text.c_str());
}

bool CPadDocument::IsModified() const {
    return m_bDirty || (m_hwndEdit && SendMessageW(m_hwndEdit, EM_GETMODIFY, 0, 0));
}

void CPadDocument::SetModified(bool bModified) {
    m_bDirty = bModified;
    if (m_hwndEdit) SendMessageW(m_hwndEdit, EM_SETMODIFY, bModified, 0);
}

// ---- window -------------------------------------------------------------------

void CPadDocument::UnregisterViewClass() {
    UnregisterClassW(kViewWindowClass, fw::g_module.GetModuleInstance());
}

HRESULT CPadDocument::CreateViewWindow(HWND hwndParent, const RECT& rcPos) {
    if (m_hwndView) return S_OK;
    // Loaded once and kept: the rich edit class must outlive every view.
    static const bool s_bRichEdit = LoadLibraryW(L"riched20.dll") != nullptr;
    if (!s_bRichEdit) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    HINSTANCE hinst = fw::g_module.GetModuleInstance();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    if (!GetClassInfoExW(hinst, kViewWindowClass, &wc)) {
        wc = {};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = ViewWndProc;
        wc.hInstance = hinst;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kViewWindowClass;
        if (!RegisterClassExW(&wc)) return HRESULT_FROM_WIN32(GetLastError());
    }
    m_rcView = rcPos;
    HWND hwnd = CreateWindowExW(0, kViewWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, rcPos.left,
                                rcPos.top, Width(rcPos), Height(rcPos), hwndParent, nullptr, hinst, this);
    if (!hwnd) return HRESULT_FROM_WIN32(GetLastError());
    m_hwndEdit = CreateWindowExW(0, RICHEDIT_CLASSW, L"",
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN |
                                     ES_NOHIDESEL,
                                 0, 0, Width(rcPos), Height(rcPos), hwnd, reinterpret_cast<HMENU>(kEditId), hinst,
                                 nullptr);
    if (!m_hwndEdit) {
        HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        DestroyWindow(hwnd);
        return FAILED(hr) ? hr : E_FAIL;
    }
    // Plain text: the document keeps no formatting, so pasting must not add any.
    SendMessageW(m_hwndEdit, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO, 0);
    SendMessageW(m_hwndEdit, EM_EXLIMITTEXT, 0, kMaxTextLength);
    CHARFORMAT2W cf = {};
    cf.cbSize = sizeof(cf);
    cf.dwMask = CFM_FACE | CFM_SIZE | CFM_CHARSET;
    cf.yHeight = 210;  // 10.5 pt
    cf.bCharSet = DEFAULT_CHARSET;
    lstrcpynW(cf.szFaceName, padtext::kFontFace, LF_FACESIZE);
    SendMessageW(m_hwndEdit, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
    SendMessageW(m_hwndEdit, EM_SETTARGETDEVICE, 0, m_bWordWrap ? 0 : 1);
    SendMessageW(m_hwndEdit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(kTextMargin, kTextMargin));
    SetWindowTextW(m_hwndEdit, m_strText.c_str());
    SendMessageW(m_hwndEdit, EM_SETMODIFY, m_bDirty, 0);
    SendMessageW(m_hwndEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&m_selection));
    SendMessageW(m_hwndEdit, EM_SETEVENTMASK, 0, ENM_KEYEVENTS);
    SendMessageW(m_hwndEdit, EM_EMPTYUNDOBUFFER, 0, 0);
    if (m_bPreview) ApplyPreviewLook();
    if (!m_bShown) ShowWindow(hwnd, SW_HIDE);
    return S_OK;
}

void CPadDocument::DestroyViewWindow() {
    // WM_DESTROY takes the text back out of the rich edit.
    if (m_hwndView) DestroyWindow(m_hwndView);
}

void CPadDocument::MoveViewWindow(const RECT& rc) {
    if (m_hwndView)
        SetWindowPos(m_hwndView, nullptr, rc.left, rc.top, Width(rc), Height(rc), SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK CPadDocument::ViewWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* pcs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pcs->lpCreateParams));
        static_cast<CPadDocument*>(pcs->lpCreateParams)->m_hwndView = hwnd;
    }
    auto* pThis = reinterpret_cast<CPadDocument*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!pThis) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        pThis->m_hwndView = nullptr;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    // A command may lead the container to drop its last reference to us.
    fw::com_ptr<IUnknown> self(pThis->Identity());
    return pThis->OnViewMessage(hwnd, msg, wParam, lParam);
}

LRESULT CPadDocument::OnViewMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SIZE:
        if (m_hwndEdit) MoveWindow(m_hwndEdit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        if (m_hwndEdit) SetFocus(m_hwndEdit);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the rich edit covers the whole window
    case WM_COMMAND:
        if (lParam == 0) OnCommand(LOWORD(wParam));  // a menu or accelerator, not a control notification
        return 0;
    case WM_NOTIFY: {
        auto* pnm = reinterpret_cast<NMHDR*>(lParam);
        if (pnm->hwndFrom == m_hwndEdit && pnm->code == EN_MSGFILTER) {
            auto* pmf = reinterpret_cast<MSGFILTER*>(lParam);
            if (m_bPreview && pmf->msg == WM_KEYDOWN && pmf->wParam == VK_ESCAPE) {
                PostMessageW(hwnd, WM_COMMAND, kCmdClosePreview, 0);
                return 1;
            }
        }
        return 0;
    }
    case WM_DESTROY:
        if (m_hwndEdit) {
            m_strText = GetText();
            m_bDirty = IsModified();
            SendMessageW(m_hwndEdit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&m_selection));
            m_hwndEdit = nullptr;
        }
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// ---- menus and commands -------------------------------------------------------

void CPadDocument::BuildMenus() {
    if (!m_hmenuEdit) m_hmenuEdit = MakePopup(kEditMenu);
    if (!m_hmenuFormat) m_hmenuFormat = MakePopup(kFormatMenu);
    UpdateMenuStates();
}

void CPadDocument::UpdateMenuStates() {
    if (m_hmenuFormat) {
        CheckMenuItem(m_hmenuFormat.get(), kCmdWordWrap, MF_BYCOMMAND | (m_bWordWrap ? MF_CHECKED : MF_UNCHECKED));
        EnableMenuItem(m_hmenuFormat.get(), kCmdClosePreview, MF_BYCOMMAND | (m_bPreview ? MF_ENABLED : MF_GRAYED));
    }
    for (HMENU hmenu : {m_hmenuEdit.get(), m_hmenuFormat.get()}) {
        if (!hmenu) continue;
        for (int i = 0, n = GetMenuItemCount(hmenu); i < n; ++i) {
            UINT nId = GetMenuItemID(hmenu, i);
            if (IsEditingCommand(nId))
                EnableMenuItem(hmenu, nId, MF_BYCOMMAND | (m_bPreview ? MF_GRAYED : MF_ENABLED));
        }
    }
}

// The standard negotiation: the container fills its groups (File,
// Container, Window), ours go into the Edit group (1) and the Object
// group (3), and the descriptor tells OLE which items are ours.
void CPadDocument::MergeMenus() {
    if (!m_spFrame || m_hmenuShared) return;
    BuildMenus();
    m_hmenuShared = CreateMenu();
    if (!m_hmenuShared) return;
    OLEMENUGROUPWIDTHS widths = {};
    if (FAILED(m_spFrame->InsertMenus(m_hmenuShared, &widths))) widths = {};
    LONG posEdit = widths.width[0];
    InsertMenuW(m_hmenuShared, posEdit, MF_BYPOSITION | MF_POPUP | MF_STRING,
                reinterpret_cast<UINT_PTR>(m_hmenuEdit.get()), padtext::kMenuEdit);
    widths.width[1] = 1;
    LONG posFormat = posEdit + 1 + widths.width[2];
    InsertMenuW(m_hmenuShared, posFormat, MF_BYPOSITION | MF_POPUP | MF_STRING,
                reinterpret_cast<UINT_PTR>(m_hmenuFormat.get()), padtext::kMenuFormat);
    widths.width[3] = 1;
    widths.width[5] = 0;
    m_holemenu = OleCreateMenuDescriptor(m_hmenuShared, &widths);
    m_spFrame->SetMenu(m_hmenuShared, m_holemenu, m_hwndView);
}

void CPadDocument::UnmergeMenus() {
    if (!m_hmenuShared) return;
    if (m_spFrame) m_spFrame->RemoveMenus(m_hmenuShared);
    // Take every item out, ours and any the container left, so that
    // destroying the bar destroys no popup.
    while (GetMenuItemCount(m_hmenuShared) > 0) RemoveMenu(m_hmenuShared, 0, MF_BYPOSITION);
    DestroyMenu(m_hmenuShared);
    m_hmenuShared = nullptr;
    if (m_holemenu) OleDestroyMenuDescriptor(m_holemenu);
    m_holemenu = nullptr;
}

void CPadDocument::OnCommand(UINT nId) {
    if (!m_hwndEdit) return;
    if (m_bPreview && IsEditingCommand(nId)) return;
    switch (nId) {
    case kCmdUndo:
        SendMessageW(m_hwndEdit, EM_UNDO, 0, 0);
        break;
    case kCmdCut:
        SendMessageW(m_hwndEdit, WM_CUT, 0, 0);
        break;
    case kCmdCopy:
        SendMessageW(m_hwndEdit, WM_COPY, 0, 0);
        break;
    case kCmdPaste:
        SendMessageW(m_hwndEdit, WM_PASTE, 0, 0);
        break;
    case kCmdDelete:
        SendMessageW(m_hwndEdit, WM_CLEAR, 0, 0);
        break;
    case kCmdSelectAll:
        SendMessageW(m_hwndEdit, EM_SETSEL, 0, -1);
        break;
    case kCmdInsertTime: {
        wchar_t szDate[64] = {}, szTime[64] = {};
        GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, szDate, 64);
        GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, szTime, 64);
        std::wstring stamp = std::wstring(szDate) + L" " + szTime;
        SendMessageW(m_hwndEdit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(stamp.c_str()));
        break;
    }
    case kCmdUpperCase:
    case kCmdLowerCase:
        TransformSelection(nId == kCmdUpperCase);
        break;
    case kCmdWordWrap:
        m_bWordWrap = !m_bWordWrap;
        SendMessageW(m_hwndEdit, EM_SETTARGETDEVICE, 0, m_bWordWrap ? 0 : 1);
        UpdateMenuStates();
        break;
    case kCmdClosePreview:
        if (m_bPreview) {
            // The container ends a preview it started (End); tell it first,
            // and end it here only if it did not.
            fw::com_ptr<IDocPreviewCallback> spCallback = m_spPreviewCallback;
            if (spCallback) spCallback->Notify(kPreviewNotifyClosed, 0, 0);
            LeavePreview();
        }
        break;
    default:
        break;
    }
}

void CPadDocument::TransformSelection(bool bUpper) {
    CHARRANGE cr = {};
    SendMessageW(m_hwndEdit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&cr));
    if (cr.cpMax <= cr.cpMin) return;
    std::wstring sel(static_cast<size_t>(cr.cpMax - cr.cpMin) + 1, L'\0');
    LRESULT cch = SendMessageW(m_hwndEdit, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(&sel[0]));
    sel.resize(cch > 0 ? static_cast<size_t>(cch) : 0);
    if (sel.empty()) return;
    if (bUpper)
        CharUpperBuffW(&sel[0], static_cast<DWORD>(sel.size()));
    else
        CharLowerBuffW(&sel[0], static_cast<DWORD>(sel.size()));
    SendMessageW(m_hwndEdit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(sel.c_str()));
    SendMessageW(m_hwndEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cr));
}

// ---- activation -----------------------------------------------------------------

HRESULT CPadDocument::ActivateInPlace() {
    if (m_bInPlaceActive) return S_OK;
    if (!m_spIPSite) return E_UNEXPECTED;
    HRESULT hr = m_spIPSite->CanInPlaceActivate();
    if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
    hr = m_spIPSite->OnInPlaceActivate();
    if (FAILED(hr)) return hr;
    m_bInPlaceActive = true;

    HWND hwndParent = nullptr;
    hr = m_spIPSite->GetWindow(&hwndParent);
    RECT rcPos = {}, rcClip = {};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof(frameInfo);
    if (SUCCEEDED(hr))
        hr = m_spIPSite->GetWindowContext(m_spFrame.put(), m_spUIWindow.put(), &rcPos, &rcClip, &frameInfo);
    if (SUCCEEDED(hr)) hr = CreateViewWindow(hwndParent, rcPos);
    if (FAILED(hr)) {
        DeactivateInPlace();
        return hr;
    }
    return S_OK;
}

HRESULT CPadDocument::ActivateUI() {
    HRESULT hr = ActivateInPlace();
    if (FAILED(hr)) return hr;
    if (m_bUIActive) {
        SetFocus(m_hwndEdit);
        return S_OK;
    }
    m_bUIActive = true;
    m_spIPSite->OnUIActivate();
    if (m_hwndEdit) SetFocus(m_hwndEdit);
    auto* pActive = static_cast<IOleInPlaceActiveObject*>(this);
    if (m_spFrame) m_spFrame->SetActiveObject(pActive, padtext::kUserTypeFull);
    if (m_spUIWindow) m_spUIWindow->SetActiveObject(pActive, padtext::kUserTypeFull);
    MergeMenus();
    // No toolbars: the container may keep all its space.
    if (m_spFrame) m_spFrame->SetBorderSpace(nullptr);
    return S_OK;
}

void CPadDocument::DeactivateUI() {
    if (!m_bUIActive) return;
    m_bUIActive = false;
    if (m_spFrame) m_spFrame->SetActiveObject(nullptr, nullptr);
    if (m_spUIWindow) m_spUIWindow->SetActiveObject(nullptr, nullptr);
    if (m_spIPSite) m_spIPSite->OnUIDeactivate(FALSE);
    UnmergeMenus();
}

void CPadDocument::DeactivateInPlace() {
    DeactivateUI();
    DestroyViewWindow();
    if (!m_bInPlaceActive) return;
    m_bInPlaceActive = false;
    m_spFrame.reset();
    m_spUIWindow.reset();
    if (m_spIPSite) m_spIPSite->OnInPlaceDeactivate();
}

// ---- IOleDocument ---------------------------------------------------------------

STDMETHODIMP CPadDocument::CreateView(IOleInPlaceSite* pIPSite, IStream* pstm, DWORD, IOleDocumentView** ppView) {
    if (!ppView) return E_POINTER;
    *ppView = nullptr;
    // One view only: it cannot serve a second site while it serves one.
    if (m_spIPSite && pIPSite && m_spIPSite.get() != pIPSite) return E_FAIL;
    if (pIPSite) SetInPlaceSite(pIPSite);
    if (pstm) {
        HRESULT hr = ApplyViewState(pstm);
        if (FAILED(hr)) return hr;
    }
    *ppView = static_cast<IOleDocumentView*>(this);
    (*ppView)->AddRef();
    return S_OK;
}

STDMETHODIMP CPadDocument::GetDocMiscStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = DOCMISC_CANTOPENEDIT;  // shown in place only
    return S_OK;
}

STDMETHODIMP CPadDocument::EnumViews(IEnumOleDocumentViews** ppEnum, IOleDocumentView** ppView) {
    if (!ppEnum || !ppView) return E_POINTER;
    *ppEnum = nullptr;
    *ppView = static_cast<IOleDocumentView*>(this);
    (*ppView)->AddRef();
    return S_OK;
}

// ---- IOleDocumentView -----------------------------------------------------------

STDMETHODIMP CPadDocument::SetInPlaceSite(IOleInPlaceSite* pIPSite) {
    if (m_spIPSite.get() == pIPSite) return S_OK;
    fw::com_ptr<IUnknown> self(Identity());
    DeactivateInPlace();
    m_spIPSite = pIPSite;
    return S_OK;
}

STDMETHODIMP CPadDocument::GetInPlaceSite(IOleInPlaceSite** ppIPSite) { return m_spIPSite.copy_to(ppIPSite); }

STDMETHODIMP CPadDocument::GetDocument(IUnknown** ppunk) {
    if (!ppunk) return E_POINTER;
    *ppunk = Identity();
    (*ppunk)->AddRef();
    return S_OK;
}

STDMETHODIMP CPadDocument::SetRect(LPRECT prcView) {
    if (!prcView) return E_POINTER;
    m_rcView = *prcView;
    MoveViewWindow(m_rcView);
    return S_OK;
}

STDMETHODIMP CPadDocument::GetRect(LPRECT prcView) {
    if (!prcView) return E_POINTER;
    *prcView = m_rcView;
    return S_OK;
}

STDMETHODIMP CPadDocument::SetRectComplex(LPRECT, LPRECT, LPRECT, LPRECT) { return E_NOTIMPL; }

STDMETHODIMP CPadDocument::Show(BOOL fShow) {
    fw::com_ptr<IUnknown> self(Identity());
    m_bShown = fShow != FALSE;
    if (!fShow) {
        DeactivateUI();
        if (m_hwndView) ShowWindow(m_hwndView, SW_HIDE);
        return S_OK;
    }
    HRESULT hr = ActivateInPlace();
    if (FAILED(hr)) return hr;
    ShowWindow(m_hwndView, SW_SHOW);
    return S_OK;
}

STDMETHODIMP CPadDocument::UIActivate(BOOL fUIActivate) {
    fw::com_ptr<IUnknown> self(Identity());
    if (fUIActivate) return ActivateUI();
    DeactivateUI();
    return S_OK;
}

STDMETHODIMP CPadDocument::Open() { return E_NOTIMPL; }

STDMETHODIMP CPadDocument::CloseView(DWORD) {
    fw::com_ptr<IUnknown> self(Identity());
    DeactivateInPlace();
    m_spIPSite.reset();
    return S_OK;
}

STDMETHODIMP CPadDocument::SaveViewState(LPSTREAM pstm) {
    if (!pstm) return E_POINTER;
    if (m_hwndEdit) SendMessageW(m_hwndEdit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&m_selection));
    const DWORD state[] = {kViewStateVersion, static_cast<DWORD>(m_selection.cpMin),
                           static_cast<DWORD>(m_selection.cpMax), m_bWordWrap ? 1u : 0u};
    return pstm->Write(state, sizeof(state), nullptr);
}

STDMETHODIMP CPadDocument::ApplyViewState(LPSTREAM pstm) {
    if (!pstm) return E_POINTER;
    DWORD state[4] = {};
    ULONG got = 0;
    HRESULT hr = pstm->Read(state, sizeof(state), &got);
    if (FAILED(hr)) return hr;
    if (got != sizeof(state) || state[0] != kViewStateVersion) return E_INVALIDARG;
    m_selection.cpMin = static_cast<LONG>(state[1]);
    m_selection.cpMax = static_cast<LONG>(state[2]);
    m_bWordWrap = state[3] != 0;
    if (m_hwndEdit) {
        SendMessageW(m_hwndEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&m_selection));
        SendMessageW(m_hwndEdit, EM_SETTARGETDEVICE, 0, m_bWordWrap ? 0 : 1);
    }
    UpdateMenuStates();
    return S_OK;
}

STDMETHODIMP CPadDocument::Clone(IOleInPlaceSite*, IOleDocumentView** ppViewNew) {
    if (ppViewNew) *ppViewNew = nullptr;
    return E_NOTIMPL;
}

// ---- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject ---------------------

STDMETHODIMP CPadDocument::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = m_hwndView;
    return m_hwndView ? S_OK : E_FAIL;
}

STDMETHODIMP CPadDocument::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP CPadDocument::InPlaceDeactivate() {
    fw::com_ptr<IUnknown> self(Identity());
    DeactivateInPlace();
    return S_OK;
}

STDMETHODIMP CPadDocument::UIDeactivate() {
    fw::com_ptr<IUnknown> self(Identity());
    DeactivateUI();
    return S_OK;
}

STDMETHODIMP CPadDocument::SetObjectRects(LPCRECT lprcPosRect, LPCRECT) {
    if (!lprcPosRect) return E_POINTER;
    m_rcView = *lprcPosRect;
    MoveViewWindow(m_rcView);
    return S_OK;
}

STDMETHODIMP CPadDocument::ReactivateAndUndo() { return INPLACE_E_NOTUNDOABLE; }

// The rich edit handles its own keys; we add no accelerators.
STDMETHODIMP CPadDocument::TranslateAccelerator(LPMSG) { return S_FALSE; }

STDMETHODIMP CPadDocument::OnFrameWindowActivate(BOOL) { return S_OK; }

STDMETHODIMP CPadDocument::OnDocWindowActivate(BOOL) { return S_OK; }

// The window whose border changed renegotiates our space: we still need
// none, and a container that sizes the view from its border (a document
// site does) moves the view as it answers.
STDMETHODIMP CPadDocument::ResizeBorder(LPCRECT, IOleInPlaceUIWindow* pUIWindow, BOOL fFrameWindow) {
    if (!m_bUIActive) return S_OK;
    fw::com_ptr<IUnknown> self(Identity());
    IOleInPlaceUIWindow* pWindow = fFrameWindow ? m_spFrame.get() : pUIWindow;
    if (pWindow) pWindow->SetBorderSpace(nullptr);
    return S_OK;
}

STDMETHODIMP CPadDocument::EnableModeless(BOOL) { return S_OK; }
