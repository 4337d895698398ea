// The frame-window hook: one record per top-level window, hung on it as the
// property "FrameWndHook", subclasses that window and tells the active one of
// the controls under it when the application is (de)activated and when the
// frame gets the focus.
#pragma once

#include <ole2.h>
#include <windows.h>
#include <commctrl.h>

// What the hook calls on a control. The booleans are 16-bit; the hook
// passes 1 and 0.
struct IFrameHookClient : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Activate(short fActive) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnAppActivate(short fActive) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnFocusChange(short fGotFocus, HWND hwnd) = 0;
    virtual ~IFrameHookClient() {}
};
__CRT_UUID_DECL(IFrameHookClient, 0x048F8BC5, 0x6A60, 0x4960, 0xA0, 0x51, 0x77, 0xEA, 0x93, 0x56,
                0x2E, 0x9E)

class CFrameWndHook {
public:
    static constexpr UINT kMaxComponents = 20;

    // Registers pUnk (a control's identity) with the record of the top-level
    // window above hwnd, creating the record and hooking the window first.
    // Null when that window is not one of this thread's or cannot be hooked,
    // or already holds kMaxComponents.
    static CFrameWndHook* Attach(HWND hwnd, IUnknown* pUnk);

    // Removes pUnk; the last one unhooks the window and frees the record.
    // When another component subclassed the frame after the hook without the
    // system's subclass helpers, unhooking would cut it out of the chain:
    // the empty record then stays, passing messages on, until the frame is
    // destroyed or a control attaches again.
    // S_OK, E_FAIL when nothing is registered, E_INVALIDARG when pUnk is not.
    HRESULT Detach(IUnknown* pUnk);
    // Makes pUnk the active component. S_OK, or E_INVALIDARG.
    virtual HRESULT SetActive(IUnknown* pUnk);
    IUnknown* GetActive() const { return m_rgComponents[m_nActive]; }

    HWND GetFrame() const { return m_hwndFrame; }
    UINT GetCount() const { return m_nCount; }

protected:
    CFrameWndHook();
    // Only the record frees itself, once no call through it is running.
    virtual ~CFrameWndHook();

private:
    CFrameWndHook(const CFrameWndHook&) = delete;
    CFrameWndHook& operator=(const CFrameWndHook&) = delete;

    class CallScope;

    static LRESULT CALLBACK HookWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR uId,
                                        DWORD_PTR dwRefData);
    // Takes the hook off the frame, or leaves it passing messages on when
    // that would cut out a procedure installed after it.
    void Unhook(bool bFrameGoing);
    // Index of pUnk, or kMaxComponents when it is not registered.
    UINT Find(IUnknown* pUnk) const;

    CRITICAL_SECTION m_cs;
    HWND m_hwndFrame = nullptr;
    WNDPROC m_pfnOldProc = nullptr;  // the frame's procedure before the hook
    UINT m_nActive = 0;
    UINT m_nCount = 0;
    IUnknown* m_rgComponents[kMaxComponents] = {};  // identities, not counted
    // Calls into components can reach Detach and free the record while a
    // caller further down still uses it: deletion waits for the outermost.
    UINT m_nCallDepth = 0;
    bool m_bUnhooked = false;
    // The frame's procedure right after hooking: another one there later
    // means someone subclassed the frame after the hook.
    WNDPROC m_pfnHookedProc = nullptr;
};
