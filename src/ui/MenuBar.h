// The control's drawn menu bar: the File item with the control's own file
// commands, one item per top-level menu of the document server, and the
// version label at the right end. Elements are drawn, not child windows.
#pragma once

#include <docobj.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "fw/Raii.h"

// Fixed geometry, in client pixels.
constexpr int kMenuBarHeight = 21;
constexpr int kMenuItemWidth = 60;
constexpr int kMenuItemInset = 2;  // items stand this far inside the bar's top and bottom
constexpr int kVersionLabelWidth = 150;

// Drawing states; an element always holds exactly one of them.
constexpr int kBarStateNormal = 1;
constexpr int kBarStatePressed = 2;  // its menu is open
constexpr int kBarStateHot = 4;      // under the mouse

// Commands of the File menu. The identifiers do not follow menu order.
constexpr UINT ID_FILE_NEW = 40001;
constexpr UINT ID_FILE_OPEN = 40002;
constexpr UINT ID_FILE_CLOSE = 40003;
constexpr UINT ID_FILE_SAVE = 40004;
constexpr UINT ID_FILE_SAVEAS = 40005;
constexpr UINT ID_FILE_PAGESETUP = 40006;
constexpr UINT ID_FILE_PRINT = 40007;
constexpr UINT ID_FILE_PROPERTIES = 40008;
constexpr UINT ID_FILE_PRINTPREVIEW = 40009;
constexpr UINT ID_FILE_FIRST = ID_FILE_NEW;
constexpr UINT ID_FILE_LAST = ID_FILE_PRINTPREVIEW;

// One entry of the File menu, in menu order. nId 0 is a separator.
struct FileMenuEntry {
    UINT nId;
    const wchar_t* pszCaption;
    WORD wMaskBit;        // its bit in the control's command mask
    bool bNeedsDocument;  // enabled only while a document is open
    DWORD dwOleCmd;       // what OnDocCommand runs; 0 for Close, which is IOffice::Close
};

inline constexpr FileMenuEntry kFileMenu[] = {
    {ID_FILE_NEW, L"新建(&N)...\tCtrl+N", 0x0001, false, OLECMDID_NEW},
    {ID_FILE_OPEN, L"打开(&O)...\tCtrl+O", 0x0002, false, OLECMDID_OPEN},
    {ID_FILE_CLOSE, L"关闭(&X)", 0x0004, true, 0},
    {0, nullptr, 0, false, 0},
    {ID_FILE_SAVE, L"保存(&S)\tCtrl+S", 0x0008, true, OLECMDID_SAVE},
    {ID_FILE_SAVEAS, L"另存为(&A)...", 0x0010, true, OLECMDID_SAVEAS},
    {0, nullptr, 0, false, 0},
    {ID_FILE_PAGESETUP, L"页面设置(&U)...", 0x0040, true, OLECMDID_PAGESETUP},
    {ID_FILE_PRINTPREVIEW, L"打印预览(&V)", 0x0100, true, OLECMDID_PRINTPREVIEW},
    {ID_FILE_PRINT, L"打印(&P)...", 0x0020, true, OLECMDID_PRINT},
    {0, nullptr, 0, false, 0},
    {ID_FILE_PROPERTIES, L"属性(&I)", 0x0080, true, OLECMDID_PROPERTIES},
};

// The File entry with this command identifier; null for any other.
const FileMenuEntry* FindFileCommand(UINT nId);
// The File entry that runs this OLE command; null for commands the File
// menu does not carry (Close has no OLE command).
const FileMenuEntry* FindFileCommandByOleCmd(DWORD dwOleCmd);
// Whether a File command may run: its mask bit is set and, where it needs
// one, a document is open.
bool IsFileCommandEnabled(const FileMenuEntry& entry, WORD wCommandMask, bool bHasDocument);
// Enables or greys every command of the File popup, in menu order.
void EnableFileMenuItems(HMENU hFileMenu, WORD wCommandMask, bool bHasDocument);

// Rectangles of the bar area in a client area cxClient pixels wide.
RECT MenuBarRect(int cxClient, int nBorder);
RECT VersionLabelRect(int cxClient, int nBorder);

// Base of everything drawn in the bar area.
class CBarElement {
public:
    CBarElement();
    // A null pszText is an empty caption; a null prc leaves the rectangle zero.
    explicit CBarElement(const wchar_t* pszText, const RECT* prc = nullptr);
    virtual ~CBarElement();

    virtual void SetRect(const RECT* prc);
    virtual BOOL HitTest(const POINT* ppt);
    virtual LRESULT Draw(HDC hdc);
    virtual LRESULT OnMouseMove(UINT uMsg, WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam);

    int GetState() const { return m_nState; }
    void SetState(int nState) { m_nState = nState; }
    const RECT& GetRect() const { return m_rect; }
    const std::wstring& GetText() const { return m_text; }

protected:
    // DrawTextW of the caption in the element's rectangle.
    void DrawCaption(HDC hdc, UINT uFormat);

    RECT m_rect;
    std::wstring m_text;
    int m_nState;
};

// One clickable entry of the bar.
class CMenuBarItem : public CBarElement {
public:
    // Only the File item owns its menu; the server's menus are never destroyed.
    CMenuBarItem(HMENU hMenu, const wchar_t* pszText, const RECT* prc, BOOL bOwnsMenu);
    ~CMenuBarItem() override;
    CMenuBarItem(const CMenuBarItem&) = delete;
    CMenuBarItem& operator=(const CMenuBarItem&) = delete;

    LRESULT Draw(HDC hdc) override;
    // Both answer whether the point of lParam lies on the item.
    LRESULT OnMouseMove(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    // Drops the menu down below the item; returns when it closes.
    void ShowMenu(HWND hwndOwner);
    HMENU GetMenu() const { return m_hMenu; }

private:
    HMENU m_hMenu;
    BOOL m_bOwnsMenu;
};

// The bar: its items, its font, hot tracking and popup tracking.
class CMenuBar : public CBarElement {
public:
    CMenuBar();
    ~CMenuBar() override;
    CMenuBar(const CMenuBar&) = delete;
    CMenuBar& operator=(const CMenuBar&) = delete;

    // Builds the File menu and item and the font. FALSE when the menu or
    // the font could not be created.
    BOOL Create(HWND hWnd);
    // Deletes every item and the font, zeroes the rectangle, releases capture.
    void Clear();
    void SetRect(const RECT* prc) override;
    // Replaces the server's items by the top-level entries of hMenu.
    void AddMenu(HMENU hMenu);
    void RemoveDocumentMenus();
    LRESULT Draw(HDC hdc) override;
    LRESULT OnMouseMove(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void Invalidate();
    // The popup of item nIndex; null when there is no such item.
    HMENU GetItemMenu(int nIndex) const;
    BOOL IsShown() const { return m_bShow; }
    void SetShow(BOOL bShow) { m_bShow = bShow; }

    int GetItemCount() const { return static_cast<int>(m_menuItems.size()); }
    // Null when there is no such item.
    CMenuBarItem* GetItem(int nIndex) const;
    HFONT GetFont() const { return m_hFont.get(); }

private:
    RECT ItemRect(size_t nIndex) const;

    HWND m_hWnd = nullptr;
    // Shared so that an item whose menu is open outlives a rebuild of the
    // bar that runs inside the menu's modal loop.
    std::vector<std::shared_ptr<CMenuBarItem>> m_menuItems;
    fw::unique_hfont m_hFont;
    BOOL m_bCapture = FALSE;
    BOOL m_bShow = TRUE;
};

// The product version of the DLL, right-aligned at the end of the bar.
class CVersionLabel : public CBarElement {
public:
    CVersionLabel();
    ~CVersionLabel() override;
    CVersionLabel(const CVersionLabel&) = delete;
    CVersionLabel& operator=(const CVersionLabel&) = delete;

    // Creates the font and reads the product version of hModule; the text
    // stays empty when the version cannot be read.
    void Init(HMODULE hModule);
    LRESULT Draw(HDC hdc) override;
    HFONT GetFont() const { return m_hFont.get(); }

private:
    fw::unique_hfont m_hFont;
};
