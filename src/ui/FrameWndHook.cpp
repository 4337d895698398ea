#include "ui/FrameWndHook.h"

#include <new>

#include "fw/Object.h"
#include "fw/Raii.h"

namespace {

const wchar_t kHookProperty[] = L"FrameWndHook";
const UINT kNotFound = ~0u;
const UINT_PTR kSubclassId = 1;

// Runs fn on pUnk's IFrameHookClient, if it answers one. The reference held
// keeps the component alive through the call even if it detaches itself.
template <class Fn>
void CallClient(IUnknown* pUnk, Fn fn) {
    if (!pUnk) return;
    fw::com_ptr<IFrameHookClient> client;
    if (SUCCEEDED(pUnk->QueryInterface(__uuidof(IFrameHookClient), client.put_void())) && client)
        fn(client.get());
}

}  // namespace

// Counts the calls running through the record; the outermost one to leave
// frees a record that its last component has detached from meanwhile.
class CFrameWndHook::CallScope {
public:
    explicit CallScope(CFrameWndHook& hook) : m_hook(hook) { ++m_hook.m_nCallDepth; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
    ~CallScope() {
        if (--m_hook.m_nCallDepth == 0 && m_hook.m_bUnhooked) delete &m_hook;
    }

private:
    CFrameWndHook& m_hook;
};

CFrameWndHook::CFrameWndHook() { InitializeCriticalSection(&m_cs); }

CFrameWndHook::~CFrameWndHook() { DeleteCriticalSection(&m_cs); }

CFrameWndHook* CFrameWndHook::Attach(HWND hwnd, IUnknown* pUnk) {
    if (!pUnk) return nullptr;
    HWND hwndFrame = hwnd;
    while (HWND hwndParent = GetParent(hwndFrame)) hwndFrame = hwndParent;
    if (!IsWindow(hwndFrame)) return nullptr;
    // A window procedure of another thread must not be replaced.
    if (GetWindowThreadProcessId(hwndFrame, nullptr) != GetCurrentThreadId()) return nullptr;

    auto* pHook = static_cast<CFrameWndHook*>(GetPropW(hwndFrame, kHookProperty));
    if (!pHook) {
        pHook = new (std::nothrow) CFrameWndHook;
        if (!pHook) return nullptr;
        pHook->m_hwndFrame = hwndFrame;
        if (!SetPropW(hwndFrame, kHookProperty, pHook)) {
            delete pHook;
            return nullptr;
        }
        // The system's subclass chain: whoever subclasses the frame after
        // the hook with it stays in the chain whatever order we unhook in.
        pHook->m_pfnOldProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwndFrame, GWLP_WNDPROC));
        if (!SetWindowSubclass(hwndFrame, &CFrameWndHook::HookWndProc, kSubclassId,
                               reinterpret_cast<DWORD_PTR>(pHook))) {
            RemovePropW(hwndFrame, kHookProperty);
            delete pHook;
            return nullptr;
        }
        pHook->m_pfnHookedProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwndFrame, GWLP_WNDPROC));
        // Our procedure is in the frame's chain from here until Unhook
        // takes it out, which may be long after the last control has gone
        // (another subclasser keeps it in): the module must stay loaded.
        fw::ModuleLock();
    }

    if (pHook->m_nCount >= kMaxComponents) return nullptr;
    pHook->m_rgComponents[pHook->m_nCount++] = pUnk;
    return pHook;
}

UINT CFrameWndHook::Find(IUnknown* pUnk) const {
    for (UINT i = 0; i < m_nCount; ++i)
        if (m_rgComponents[i] == pUnk) return i;
    return kNotFound;
}

HRESULT CFrameWndHook::Detach(IUnknown* pUnk) {
    if (m_nCount == 0) return E_FAIL;
    const UINT nIndex = Find(pUnk);
    if (nIndex == kNotFound) return E_INVALIDARG;

    CallScope scope(*this);
    fw::cs_lock lock(m_cs);
    for (UINT i = nIndex + 1; i < m_nCount; ++i) m_rgComponents[i - 1] = m_rgComponents[i];
    m_rgComponents[--m_nCount] = nullptr;

    if (m_nCount > 0) {
        // Clamped, not shifted: removing an entry before the active one
        // hands the activity to the next component.
        while (m_nActive >= m_nCount) --m_nActive;
        CallClient(m_rgComponents[m_nActive], [](IFrameHookClient* p) { p->Activate(1); });
        return S_OK;
    }

    Unhook(false);
    return S_OK;
}

void CFrameWndHook::Unhook(bool bFrameGoing) {
    // The last subclass removed through the helpers puts back the frame's
    // first procedure; one installed after the hook by hand would be lost.
    if (!bFrameGoing && reinterpret_cast<WNDPROC>(GetWindowLongPtrW(m_hwndFrame, GWLP_WNDPROC)) != m_pfnHookedProc)
        return;
    RemoveWindowSubclass(m_hwndFrame, &CFrameWndHook::HookWndProc, kSubclassId);
    RemovePropW(m_hwndFrame, kHookProperty);
    m_bUnhooked = true;
    fw::ModuleUnlock();
}

HRESULT CFrameWndHook::SetActive(IUnknown* pUnk) {
    UINT nIndex = Find(pUnk);
    if (nIndex == kNotFound) return E_INVALIDARG;
    if (nIndex == m_nActive) return S_OK;

    CallScope scope(*this);
    CallClient(m_rgComponents[m_nActive], [](IFrameHookClient* p) { p->Activate(0); });
    // The old component may have detached itself or others: look again.
    // Whoever a Detach left at the active index has been told already.
    nIndex = Find(pUnk);
    if (nIndex == kNotFound) return E_INVALIDARG;
    if (nIndex == m_nActive) return S_OK;
    m_nActive = nIndex;
    CallClient(m_rgComponents[m_nActive], [](IFrameHookClient* p) { p->Activate(1); });
    return S_OK;
}

LRESULT CALLBACK CFrameWndHook::HookWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR dwRefData) {
    auto* pHook = reinterpret_cast<CFrameWndHook*>(dwRefData);
    CallScope scope(*pHook);
    switch (uMsg) {
        case WM_ACTIVATEAPP: {
            const short fActive = LOWORD(wParam) ? 1 : 0;
            CallClient(pHook->GetActive(), [=](IFrameHookClient* p) { p->OnAppActivate(fActive); });
            break;
        }
        case WM_SETFOCUS: {
            const HWND hwndFrame = pHook->m_hwndFrame;
            CallClient(pHook->GetActive(),
                       [=](IFrameHookClient* p) { p->OnFocusChange(1, hwndFrame); });
            break;
        }
        case WM_NCDESTROY:
            // A record left passing messages on goes with its frame.
            if (pHook->m_nCount == 0 && !pHook->m_bUnhooked) pHook->Unhook(true);
            break;
    }
    // Still valid if the call detached everything: the scope frees it after.
    return DefSubclassProc(hwnd, uMsg, wParam, lParam);
}
