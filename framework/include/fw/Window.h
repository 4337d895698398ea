// Windows with a message table.
//
// A class T derives from CWindowImpl<T>, declares its message table with
// FW_BEGIN_MSG_MAP ... FW_END_MSG_MAP (entries are tried in order; the first
// that handles a message ends the search) and creates its window with
// Create. The window class is registered on first use under a generated
// name, or the name T gives as kClassName where others look the window up
// by its class, and unregistered when its last window is gone.
#pragma once

#include <windows.h>

namespace fw {

struct WindowClassInfo {
    UINT style;
    LPCWSTR cursor;    // system cursor id (IDC_*)
    int background;    // system colour index + 1, or 0
    LPCWSTR name;      // null: a generated one
    // Filled in on registration.
    ATOM atom;
    LONG cWindows;
    wchar_t szName[40];
};

class CWindowImplRoot {
public:
    HWND m_hWnd = nullptr;
    // The class name trait: a derived class that needs a known name hides it.
    static constexpr LPCWSTR kClassName = nullptr;

    // The message table; returns TRUE when a handler took the message.
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                      LRESULT& lResult) = 0;
    // Runs after WM_NCDESTROY, once the window is gone.
    virtual void OnFinalMessage(HWND) {}
    // Hold and drop the owner for the length of one message: a handler may
    // run a modal loop (a dialog, a popup menu) in which the owner's last
    // outside reference goes. Owners that are reference counted override.
    virtual void AddRefForMessage() {}
    virtual void ReleaseForMessage() {}

protected:
    CWindowImplRoot() = default;
    // An owner that goes while its window is being destroyed (released from
    // inside the window's WM_DESTROY) leaves the window's last messages to
    // the default procedure.
    ~CWindowImplRoot();
    CWindowImplRoot(const CWindowImplRoot&) = delete;
    CWindowImplRoot& operator=(const CWindowImplRoot&) = delete;

    HWND CreateImpl(WindowClassInfo& wc, HWND hWndParent, const RECT& rc, DWORD dwStyle,
                    DWORD dwExStyle, LPCWSTR pszTitle);
    // Unregisters the class when none of its windows is left, so that an
    // unloaded DLL leaves no class whose procedure is gone.
    static void UnregisterIfUnused(WindowClassInfo& wc);

public:
    static LRESULT CALLBACK ClassWindowProc(HWND, UINT, WPARAM, LPARAM);

private:

    WindowClassInfo* m_pClassInfo = nullptr;
};

// Window traits: class styles, cursor and background of T's window class.
template <class T>
class CWindowImpl : public CWindowImplRoot {
public:
    static WindowClassInfo& GetWndClassInfo() {
        static WindowClassInfo wc = {T::kClassStyle, T::kClassCursor, T::kClassBackground, T::kClassName, 0, 0, {}};
        return wc;
    }
    HWND Create(HWND hWndParent, const RECT& rc, DWORD dwStyle, DWORD dwExStyle = 0,
                LPCWSTR pszTitle = nullptr) {
        return CreateImpl(GetWndClassInfo(), hWndParent, rc, dwStyle, dwExStyle, pszTitle);
    }
};

// Notifications a parent reflects back to its child control add this base.
const UINT kReflectionBase = WM_USER + 0x1c00;
inline bool IsReflectedMessage(UINT uMsg) {
    switch (uMsg - kReflectionBase) {
    case WM_COMMAND: case WM_NOTIFY: case WM_PARENTNOTIFY: case WM_DRAWITEM:
    case WM_MEASUREITEM: case WM_COMPAREITEM: case WM_DELETEITEM: case WM_VKEYTOITEM:
    case WM_CHARTOITEM: case WM_HSCROLL: case WM_VSCROLL: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
        return uMsg >= kReflectionBase;
    default:
        return false;
    }
}

}  // namespace fw

// Message table macros. Handlers have the form
//   LRESULT OnX(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
// bHandled arrives TRUE; a handler that clears it lets the search go on.
#define FW_BEGIN_MSG_MAP(Class)                                                      \
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,     \
                              LRESULT& lResult) override {                           \
        (void)hWnd;                                                                  \
        BOOL bHandled = TRUE;

#define FW_MESSAGE_HANDLER(msg, func)                        \
    if (uMsg == (msg)) {                                     \
        bHandled = TRUE;                                     \
        lResult = func(uMsg, wParam, lParam, bHandled);      \
        if (bHandled) return TRUE;                           \
    }

#define FW_MESSAGE_RANGE_HANDLER(msgFirst, msgLast, func)     \
    if (uMsg >= (msgFirst) && uMsg <= (msgLast)) {            \
        bHandled = TRUE;                                      \
        lResult = func(uMsg, wParam, lParam, bHandled);       \
        if (bHandled) return TRUE;                            \
    }

// Another class's table (a base's), tried at this point.
#define FW_CHAIN_MSG_MAP(Base)                                                    \
    if (Base::ProcessBaseMessage(hWnd, uMsg, wParam, lParam, lResult)) return TRUE;

// Reflected notifications (OCM__BASE + message) that nobody handled go to
// DefWindowProc as the original message.
#define FW_DEFAULT_REFLECTION_HANDLER()                                                 \
    if (::fw::IsReflectedMessage(uMsg)) {                                               \
        lResult = ::DefWindowProcW(hWnd, uMsg - ::fw::kReflectionBase, wParam, lParam); \
        return TRUE;                                                                    \
    }

#define FW_END_MSG_MAP() \
    (void)bHandled;      \
    return FALSE;        \
    }
