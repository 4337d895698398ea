#include "fw/Window.h"

#include <cwchar>

#include "fw/Module.h"

namespace fw {

namespace {

// Registers the class on first use; a generated name carries the info's
// address so two classes of one process never collide.
bool EnsureRegistered(WindowClassInfo& wc) {
    if (wc.atom) return true;
    if (wc.name)
        lstrcpynW(wc.szName, wc.name, 40);
    else
        swprintf(wc.szName, 40, L"Fw:%p", static_cast<void*>(&wc));
    WNDCLASSEXW cls = {};
    cls.cbSize = sizeof(cls);
    cls.style = wc.style;
    cls.lpfnWndProc = CWindowImplRoot::ClassWindowProc;
    cls.hInstance = g_module.GetModuleInstance();
    cls.hCursor = LoadCursorW(nullptr, wc.cursor);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(wc.background));
    cls.lpszClassName = wc.szName;
    wc.atom = RegisterClassExW(&cls);
    if (!wc.atom && GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
        // Still registered from windows whose class could not go yet.
        WNDCLASSEXW existing = {sizeof(existing)};
        wc.atom = static_cast<ATOM>(GetClassInfoExW(cls.hInstance, wc.szName, &existing));
    }
    return wc.atom != 0;
}

}  // namespace

CWindowImplRoot::~CWindowImplRoot() {
    if (!m_hWnd) return;
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
    if (m_pClassInfo) --m_pClassInfo->cWindows;
}

// The object travels to the first message through the creation parameter
// and lives in GWLP_USERDATA afterwards.
HWND CWindowImplRoot::CreateImpl(WindowClassInfo& wc, HWND hWndParent, const RECT& rc,
                                 DWORD dwStyle, DWORD dwExStyle, LPCWSTR pszTitle) {
    if (m_hWnd || !EnsureRegistered(wc)) return nullptr;
    m_pClassInfo = &wc;
    ++wc.cWindows;
    HWND hWnd = CreateWindowExW(dwExStyle, wc.szName, pszTitle ? pszTitle : L"", dwStyle, rc.left,
                                rc.top, rc.right - rc.left, rc.bottom - rc.top, hWndParent, nullptr,
                                g_module.GetModuleInstance(), this);
    if (!hWnd && !m_hWnd) {
        // WM_NCCREATE never came: nothing will undo the count.
        --wc.cWindows;
        m_pClassInfo = nullptr;
        UnregisterIfUnused(wc);
    }
    return hWnd;
}

// A class cannot go while a window of it exists, not even from inside its
// last WM_NCDESTROY: owners call this once the window is really gone.
void CWindowImplRoot::UnregisterIfUnused(WindowClassInfo& wc) {
    if (wc.cWindows == 0 && wc.atom && UnregisterClassW(wc.szName, g_module.GetModuleInstance()))
        wc.atom = 0;
}

LRESULT CALLBACK CWindowImplRoot::ClassWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CWindowImplRoot*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!self && uMsg == WM_NCCREATE) {
        self = static_cast<CWindowImplRoot*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = hWnd;
    }
    if (!self) return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    LRESULT lResult = 0;
    if (uMsg == WM_NCDESTROY) {
        // Not held: the owner may be in its own teardown, and nothing that
        // waits in a modal loop runs from here.
        BOOL bHandled = self->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
        if (!bHandled) lResult = DefWindowProcW(hWnd, uMsg, wParam, lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        if (WindowClassInfo* wc = self->m_pClassInfo) {
            self->m_pClassInfo = nullptr;
            --wc->cWindows;
        }
        self->OnFinalMessage(hWnd);
        return lResult;
    }
    self->AddRefForMessage();
    BOOL bHandled = self->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
    if (!bHandled) lResult = DefWindowProcW(hWnd, uMsg, wParam, lParam);
    // Last: dropping the hold may release the owner, and its window with it.
    self->ReleaseForMessage();
    return lResult;
}

}  // namespace fw
