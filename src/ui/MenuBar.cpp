#include "ui/MenuBar.h"

#include <cwchar>

#include "services/ModuleVersion.h"

namespace {

const wchar_t kFileItemCaption[] = L"文件(F)";
const wchar_t kBarFontFace[] = L"宋体";

const COLORREF kBarBackground = RGB(212, 208, 200);

struct ItemColours {
    COLORREF fill;
    COLORREF outline;
};
const ItemColours kHotColours = {RGB(182, 189, 210), RGB(10, 36, 106)};
const ItemColours kPressedColours = {RGB(236, 236, 236), RGB(128, 128, 128)};

// Captions of the server's menus are read into a buffer of this size.
const int kMaxServerCaption = 256;

HFONT CreateBarFont() {
    LOGFONTW lf = {};
    lf.lfHeight = -12;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = ANSI_CHARSET;
    lf.lfPitchAndFamily = FF_SWISS;  // 32
    wcsncpy(lf.lfFaceName, kBarFontFace, LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

POINT PointOf(LPARAM lParam) {
    // Unsigned, as the bar has always read them.
    POINT pt = {static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
    return pt;
}

// Restores the DC's background mode on scope exit.
class bk_mode {
public:
    bk_mode(HDC hdc, int nMode) : m_hdc(hdc), m_nOld(SetBkMode(hdc, nMode)) {}
    bk_mode(const bk_mode&) = delete;
    bk_mode& operator=(const bk_mode&) = delete;
    ~bk_mode() {
        if (m_nOld) SetBkMode(m_hdc, m_nOld);
    }

private:
    HDC m_hdc;
    int m_nOld;
};

}  // namespace

// ---- File menu table ----

const FileMenuEntry* FindFileCommand(UINT nId) {
    if (nId == 0) return nullptr;
    for (const FileMenuEntry& e : kFileMenu)
        if (e.nId == nId) return &e;
    return nullptr;
}

const FileMenuEntry* FindFileCommandByOleCmd(DWORD dwOleCmd) {
    if (dwOleCmd == 0) return nullptr;
    for (const FileMenuEntry& e : kFileMenu)
        if (e.nId != 0 && e.dwOleCmd == dwOleCmd) return &e;
    return nullptr;
}

bool IsFileCommandEnabled(const FileMenuEntry& entry, WORD wCommandMask, bool bHasDocument) {
    return (wCommandMask & entry.wMaskBit) != 0 && (!entry.bNeedsDocument || bHasDocument);
}

void EnableFileMenuItems(HMENU hFileMenu, WORD wCommandMask, bool bHasDocument) {
    for (const FileMenuEntry& e : kFileMenu) {
        if (e.nId == 0) continue;
        UINT uEnable = IsFileCommandEnabled(e, wCommandMask, bHasDocument)
                           ? MF_BYCOMMAND | MF_ENABLED
                           : MF_BYCOMMAND | MF_GRAYED | MF_DISABLED;
        EnableMenuItem(hFileMenu, e.nId, uEnable);
    }
}

RECT MenuBarRect(int cxClient, int nBorder) {
    RECT rc = {nBorder, nBorder, cxClient - nBorder, nBorder + kMenuBarHeight};
    return rc;
}

RECT VersionLabelRect(int cxClient, int nBorder) {
    RECT rc = {cxClient - 2 * nBorder - kVersionLabelWidth, nBorder, cxClient - 2 * nBorder,
               nBorder + kMenuBarHeight};
    return rc;
}

// ---- CBarElement ----

CBarElement::CBarElement() : m_rect(), m_nState(kBarStateNormal) {}

CBarElement::CBarElement(const wchar_t* pszText, const RECT* prc)
    : m_rect(), m_text(pszText ? pszText : L""), m_nState(kBarStateNormal) {
    if (prc) m_rect = *prc;
}

CBarElement::~CBarElement() = default;

void CBarElement::SetRect(const RECT* prc) {
    if (prc) m_rect = *prc;
}

BOOL CBarElement::HitTest(const POINT* ppt) { return ppt && PtInRect(&m_rect, *ppt); }

LRESULT CBarElement::Draw(HDC hdc) {
    Rectangle(hdc, m_rect.left, m_rect.top, m_rect.right, m_rect.bottom);
    DrawCaption(hdc, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    return 0;
}

LRESULT CBarElement::OnMouseMove(UINT, WPARAM, LPARAM) { return 0; }

LRESULT CBarElement::OnLButtonDown(UINT, WPARAM, LPARAM) { return 0; }

void CBarElement::DrawCaption(HDC hdc, UINT uFormat) {
    if (m_text.empty()) return;
    RECT rc = m_rect;
    DrawTextW(hdc, m_text.c_str(), static_cast<int>(m_text.size()), &rc, uFormat);
}

// ---- CMenuBarItem ----

CMenuBarItem::CMenuBarItem(HMENU hMenu, const wchar_t* pszText, const RECT* prc, BOOL bOwnsMenu)
    : CBarElement(pszText, prc), m_hMenu(hMenu), m_bOwnsMenu(bOwnsMenu) {}

CMenuBarItem::~CMenuBarItem() {
    if (m_bOwnsMenu && m_hMenu) DestroyMenu(m_hMenu);
}

LRESULT CMenuBarItem::Draw(HDC hdc) {
    const ItemColours* pColours = (m_nState & kBarStateHot)       ? &kHotColours
                                  : (m_nState & kBarStatePressed) ? &kPressedColours
                                                                  : nullptr;
    if (pColours) {
        fw::unique_hbrush brush(CreateSolidBrush(pColours->fill));
        fw::unique_hpen pen(CreatePen(PS_SOLID, 1, pColours->outline));
        fw::select_object selBrush(hdc, brush.get());
        fw::select_object selPen(hdc, pen.get());
        Rectangle(hdc, m_rect.left, m_rect.top, m_rect.right, m_rect.bottom);
    }
    DrawCaption(hdc, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    return 0;
}

LRESULT CMenuBarItem::OnMouseMove(UINT, WPARAM, LPARAM lParam) {
    POINT pt = PointOf(lParam);
    return HitTest(&pt);
}

LRESULT CMenuBarItem::OnLButtonDown(UINT, WPARAM, LPARAM lParam) {
    POINT pt = PointOf(lParam);
    return HitTest(&pt);
}

void CMenuBarItem::ShowMenu(HWND hwndOwner) {
    if (!m_hMenu) return;
    POINT pt = {m_rect.left, m_rect.bottom};
    ClientToScreen(hwndOwner, &pt);
    TrackPopupMenu(m_hMenu, TPM_LEFTBUTTON, pt.x, pt.y, 0, hwndOwner, nullptr);
}

// ---- CMenuBar ----

CMenuBar::CMenuBar() = default;

CMenuBar::~CMenuBar() { Clear(); }

BOOL CMenuBar::Create(HWND hWnd) {
    m_hWnd = hWnd;

    fw::unique_hmenu fileMenu(CreatePopupMenu());
    if (!fileMenu) return FALSE;
    for (const FileMenuEntry& e : kFileMenu) {
        if (e.nId == 0)
            AppendMenuW(fileMenu.get(), MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(fileMenu.get(), MF_STRING, e.nId, e.pszCaption);
    }
    m_menuItems.push_back(
        std::make_shared<CMenuBarItem>(fileMenu.get(), kFileItemCaption, nullptr, TRUE));
    fileMenu.detach();  // the File item owns it now

    m_hFont.reset(CreateBarFont());
    return m_hFont ? TRUE : FALSE;
}

void CMenuBar::Clear() {
    m_menuItems.clear();
    m_hFont.reset();
    SetRectEmpty(&m_rect);
    if (m_bCapture) {
        ReleaseCapture();
        m_bCapture = FALSE;
    }
}

RECT CMenuBar::ItemRect(size_t nIndex) const {
    const LONG left = m_rect.left + kMenuItemWidth * static_cast<LONG>(nIndex);
    RECT rc = {left, m_rect.top + kMenuItemInset, left + kMenuItemWidth,
               m_rect.bottom - kMenuItemInset};
    return rc;
}

void CMenuBar::SetRect(const RECT* prc) {
    CBarElement::SetRect(prc);
    for (size_t i = 0; i < m_menuItems.size(); ++i) {
        RECT rc = ItemRect(i);
        m_menuItems[i]->SetRect(&rc);
    }
}

void CMenuBar::AddMenu(HMENU hMenu) {
    RemoveDocumentMenus();
    const int nCount = GetMenuItemCount(hMenu);
    for (int p = 0; p < nCount; ++p) {
        RECT rc = ItemRect(m_menuItems.size());
        wchar_t szCaption[kMaxServerCaption] = {};
        GetMenuStringW(hMenu, p, szCaption, kMaxServerCaption, MF_BYPOSITION);
        m_menuItems.push_back(
            std::make_shared<CMenuBarItem>(GetSubMenu(hMenu, p), szCaption, &rc, FALSE));
    }
}

void CMenuBar::RemoveDocumentMenus() {
    if (m_menuItems.size() > 1) m_menuItems.resize(1);
}

LRESULT CMenuBar::Draw(HDC hdc) {
    if (!m_bShow) return 0;

    // The bitmap spans from the client origin so items draw at their own
    // coordinates; only the bar's rectangle is copied out.
    const int cx = m_rect.right;
    const int cy = m_rect.bottom;
    if (cx <= 0 || cy <= 0) return 0;
    fw::unique_hdc memDC(CreateCompatibleDC(hdc));
    fw::unique_hbitmap bitmap(CreateCompatibleBitmap(hdc, cx, cy));
    if (!memDC || !bitmap) return 0;
    fw::select_object selBitmap(memDC.get(), bitmap.get());

    RECT rcAll = {0, 0, cx, cy};
    {
        fw::unique_hbrush background(CreateSolidBrush(kBarBackground));
        FillRect(memDC.get(), &rcAll, background.get());
    }
    {
        bk_mode transparent(memDC.get(), TRANSPARENT);
        // Without a font (its creation failed) the DC's default one stays.
        fw::select_object selFont(memDC.get(), m_hFont.get());
        for (const auto& item : m_menuItems) item->Draw(memDC.get());
    }
    BitBlt(hdc, m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top,
           memDC.get(), m_rect.left, m_rect.top, SRCCOPY);
    return 0;
}

LRESULT CMenuBar::OnMouseMove(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    bool bStillOnHot = false;
    bool bNewHot = false;
    for (const auto& item : m_menuItems) {
        if (!item->OnMouseMove(uMsg, wParam, lParam)) {
            item->SetState(kBarStateNormal);
        } else if (item->GetState() & kBarStateHot) {
            bStillOnHot = true;
        } else {
            item->SetState(kBarStateHot);
            bNewHot = true;
            // Capture keeps the moves coming once the pointer leaves the
            // window, so the hot box goes when the pointer does.
            if (!m_bCapture && m_hWnd) {
                m_bCapture = TRUE;
                SetCapture(m_hWnd);
            }
        }
    }
    if (bNewHot) {
        Invalidate();
    } else if (m_bCapture && !bStillOnHot) {
        m_bCapture = FALSE;
        ReleaseCapture();
        Invalidate();
    }
    return 0;
}

LRESULT CMenuBar::OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<CMenuBarItem> hit;
    for (const auto& item : m_menuItems) {
        if (item->OnLButtonDown(uMsg, wParam, lParam)) hit = item;
        item->SetState(kBarStateNormal);
    }
    if (!hit) return 0;

    hit->SetState(kBarStatePressed);
    Invalidate();
    // A modal loop: posted work, a relayout of this bar included, runs
    // inside it. The local reference keeps the item and its menu alive.
    hit->ShowMenu(m_hWnd);
    hit->SetState(kBarStateNormal);
    // The menu took the capture away; take it again on the next hot item.
    if (m_bCapture && GetCapture() != m_hWnd) m_bCapture = FALSE;
    Invalidate();
    return 0;
}

void CMenuBar::Invalidate() {
    if (m_hWnd) InvalidateRect(m_hWnd, &m_rect, FALSE);
}

HMENU CMenuBar::GetItemMenu(int nIndex) const {
    const CMenuBarItem* pItem = GetItem(nIndex);
    return pItem ? pItem->GetMenu() : nullptr;
}

CMenuBarItem* CMenuBar::GetItem(int nIndex) const {
    if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_menuItems.size()) return nullptr;
    return m_menuItems[nIndex].get();
}

// ---- CVersionLabel ----

CVersionLabel::CVersionLabel() = default;

CVersionLabel::~CVersionLabel() = default;

void CVersionLabel::Init(HMODULE hModule) {
    m_hFont.reset(CreateBarFont());

    m_text = ModuleProductVersion(hModule);
}

LRESULT CVersionLabel::Draw(HDC hdc) {
    if (m_text.empty()) return 0;
    bk_mode transparent(hdc, TRANSPARENT);
    fw::select_object selFont(hdc, m_hFont.get());
    DrawCaption(hdc, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    return 0;
}
