// The frame-window hook on a real top-level window with child "control"
// windows and small IFrameHookClient doubles that log every call.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "UiTestSupport.h"
#include "fw/Module.h"
#include "fw/Raii.h"
#include "ui/FrameWndHook.h"

using namespace uitest;

namespace {

const wchar_t kProperty[] = L"FrameWndHook";
using Log = std::vector<std::string>;

// A control as the hook sees it. bAnswersClient FALSE: a component that
// does not implement IFrameHookClient.
class FakeClient : public IFrameHookClient {
public:
    FakeClient(const char* pszName, Log& log, bool bAnswersClient = true)
        : m_name(pszName), m_log(log), m_bAnswersClient(bAnswersClient) {}

    IUnknown* identity() { return static_cast<IUnknown*>(this); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || (m_bAnswersClient && riid == __uuidof(IFrameHookClient)))
            *ppv = static_cast<IFrameHookClient*>(this);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG c = --m_cRef;
        if (c == 0) delete this;
        return c;
    }
    STDMETHODIMP Activate(short fActive) override {
        m_log.push_back(m_name + ".Activate(" + std::to_string(fActive) + ")");
        if (onActivate) onActivate(fActive);
        return S_OK;
    }
    STDMETHODIMP OnAppActivate(short fActive) override {
        m_log.push_back(m_name + ".OnAppActivate(" + std::to_string(fActive) + ")");
        if (onAppActivate) onAppActivate(fActive);
        return S_OK;
    }
    STDMETHODIMP OnFocusChange(short fGotFocus, HWND hwnd) override {
        m_log.push_back(m_name + ".OnFocusChange(" + std::to_string(fGotFocus) + ")");
        focusWindow = hwnd;
        if (onFocusChange) onFocusChange(fGotFocus);
        return S_OK;
    }

    std::function<void(short)> onActivate, onAppActivate, onFocusChange;
    HWND focusWindow = nullptr;
    ULONG refs() const { return m_cRef; }

private:
    ~FakeClient() override = default;

    std::string m_name;
    Log& m_log;
    bool m_bAnswersClient;
    ULONG m_cRef = 1;
};

using ClientPtr = fw::com_ptr<FakeClient>;
ClientPtr MakeClient(const char* pszName, Log& log, bool bAnswersClient = true) {
    ClientPtr p;
    p.attach(new FakeClient(pszName, log, bAnswersClient));
    return p;
}

WNDPROC CurrentProc(HWND hwnd) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
}
bool Hooked(HWND hwnd) { return GetPropW(hwnd, kProperty) != nullptr; }

// A top-level window owned by a thread of its own until hQuit is set.
struct ForeignFrame {
    HANDLE hReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE hQuit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND hwnd = nullptr;
    WNDPROC proc = nullptr;

    static DWORD WINAPI Run(void* pv) {
        auto* self = static_cast<ForeignFrame*>(pv);
        TestWindow window;
        self->hwnd = window.hwnd();
        self->proc = CurrentProc(window.hwnd());
        SetEvent(self->hReady);
        WaitForSingleObject(self->hQuit, 60000);
        return 0;
    }
};

}  // namespace

TEST(FrameWndHook, FirstAttachHooksTheTopLevelWindowAndLastDetachRestoresIt) {
    Log log;
    TestWindow frame;
    TestWindow page(frame.hwnd());
    TestWindow control(page.hwnd());
    ClientPtr a = MakeClient("A", log);

    CFrameWndHook* hook = CFrameWndHook::Attach(control.hwnd(), a->identity());
    ASSERT_NE(nullptr, hook);
    EXPECT_EQ(frame.hwnd(), hook->GetFrame());
    EXPECT_EQ(hook, GetPropW(frame.hwnd(), kProperty));
    EXPECT_FALSE(Hooked(page.hwnd()));
    EXPECT_NE(TestWindow::ClassProc(), CurrentProc(frame.hwnd()));
    EXPECT_EQ(a->identity(), hook->GetActive());
    EXPECT_EQ(1u, hook->GetCount());
    EXPECT_EQ(1u, a->refs());  // not counted by the record

    // The first component is active from the start: SetActive calls nothing.
    EXPECT_EQ(S_OK, hook->SetActive(a->identity()));
    EXPECT_TRUE(log.empty());

    // Every message still reaches the frame's own procedure.
    frame.clear();
    SendMessageW(frame.hwnd(), WM_USER + 7, 1, 2);
    SendMessageW(frame.hwnd(), WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ(1u, frame.count(WM_USER + 7));
    EXPECT_EQ(1u, frame.count(WM_ACTIVATEAPP));

    EXPECT_EQ(S_OK, hook->Detach(a->identity()));
    EXPECT_FALSE(Hooked(frame.hwnd()));
    EXPECT_EQ(TestWindow::ClassProc(), CurrentProc(frame.hwnd()));

    // A later control in the same frame starts a new record.
    CFrameWndHook* again = CFrameWndHook::Attach(frame.hwnd(), a->identity());
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(again, GetPropW(frame.hwnd(), kProperty));
    EXPECT_EQ(S_OK, again->Detach(a->identity()));
    EXPECT_EQ(TestWindow::ClassProc(), CurrentProc(frame.hwnd()));
}

// Another component that subclasses the frame after the hook, by hand or
// with the system's helpers, and counts what reaches it.
struct OtherSubclasser {
    static constexpr UINT kProbe = WM_USER + 9;
    static UINT seen;
    static WNDPROC next;
    static LRESULT CALLBACK ByHand(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
        if (uMsg == kProbe) ++seen;
        return CallWindowProcW(next, hwnd, uMsg, wParam, lParam);
    }
    static LRESULT CALLBACK WithHelpers(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
        if (uMsg == kProbe) ++seen;
        return DefSubclassProc(hwnd, uMsg, wParam, lParam);
    }
    void Hook() {
        if (bHelpers) SetWindowSubclass(hwnd, WithHelpers, 7, 0);
        else next = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ByHand)));
    }
    void Unhook() {
        if (bHelpers) RemoveWindowSubclass(hwnd, WithHelpers, 7);
        else SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next));
    }
    bool bHelpers;
    HWND hwnd;
};
UINT OtherSubclasser::seen = 0;
WNDPROC OtherSubclasser::next = nullptr;

TEST(FrameWndHook, AComponentSubclassingAfterTheHookStaysInTheChainInEveryOrder) {
    struct Case {
        const char* name;
        bool bHelpers;
        bool bOursFirst;
    };
    for (const Case& c : {Case{"by hand, the hook leaves first", false, true},
                          Case{"by hand, the other leaves first", false, false},
                          Case{"helpers, the hook leaves first", true, true},
                          Case{"helpers, the other leaves first", true, false}}) {
        SCOPED_TRACE(c.name);
        FreedMemoryQuarantine quarantine;
        Log log;
        CFrameWndHook* hook = nullptr;
        const LONG nLocks = fw::g_module.GetLockCount();
        {
            TestWindow frame;
            ClientPtr a = MakeClient("A", log);
            hook = CFrameWndHook::Attach(frame.hwnd(), a->identity());
            ASSERT_NE(nullptr, hook);
            OtherSubclasser other{c.bHelpers, frame.hwnd()};
            other.Hook();
            // Whether the probe reached the other component (n times) and
            // the frame's own procedure, and the hook passed activation on.
            auto reaches = [&](UINT n, size_t nHook) {
                OtherSubclasser::seen = 0;
                frame.clear();
                log.clear();
                SendMessageW(frame.hwnd(), OtherSubclasser::kProbe, 0, 0);
                SendMessageW(frame.hwnd(), WM_ACTIVATEAPP, TRUE, 0);
                return OtherSubclasser::seen == n && frame.count(OtherSubclasser::kProbe) == 1 &&
                       frame.count(WM_ACTIVATEAPP) == 1 && log.size() == nHook;
            };
            EXPECT_TRUE(reaches(1, 1));
            if (c.bOursFirst) {
                EXPECT_EQ(S_OK, hook->Detach(a->identity()));
                EXPECT_TRUE(reaches(1, 0)) << "the other component was cut out";
                other.Unhook();
            } else {
                other.Unhook();
                EXPECT_TRUE(reaches(0, 1));
                EXPECT_EQ(S_OK, hook->Detach(a->identity()));
            }
            EXPECT_TRUE(reaches(0, 0));
            // A hand-made subclass put back what it found, the hook's: that
            // stays until the frame goes, and holds the module loaded.
            const bool bRestored = c.bHelpers || !c.bOursFirst;
            EXPECT_EQ(bRestored, CurrentProc(frame.hwnd()) == TestWindow::ClassProc());
            EXPECT_EQ(nLocks + (bRestored ? 0 : 1), fw::g_module.GetLockCount());
        }
        EXPECT_EQ(nLocks, fw::g_module.GetLockCount());
        EXPECT_TRUE(FreedMemoryQuarantine::WasFreed(hook));
    }
}

TEST(FrameWndHook, AppActivationAndFrameFocusReachOnlyTheActiveComponent) {
    Log log;
    TestWindow frame;
    TestWindow controlA(frame.hwnd());
    TestWindow controlB(frame.hwnd());
    ClientPtr a = MakeClient("A", log);
    ClientPtr b = MakeClient("B", log);
    CFrameWndHook* hook = CFrameWndHook::Attach(controlA.hwnd(), a->identity());
    ASSERT_NE(nullptr, hook);
    ASSERT_EQ(hook, CFrameWndHook::Attach(controlB.hwnd(), b->identity()));
    EXPECT_EQ(a->identity(), hook->GetActive());

    SendMessageW(frame.hwnd(), WM_ACTIVATEAPP, TRUE, 0);
    SendMessageW(frame.hwnd(), WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_EQ((Log{"A.OnAppActivate(1)", "A.OnAppActivate(0)"}), log);

    // A click in the second control: the first is told it lost activity.
    log.clear();
    EXPECT_EQ(S_OK, hook->SetActive(b->identity()));
    EXPECT_EQ((Log{"A.Activate(0)", "B.Activate(1)"}), log);
    EXPECT_EQ(b->identity(), hook->GetActive());

    log.clear();
    frame.clear();
    SendMessageW(frame.hwnd(), WM_ACTIVATEAPP, TRUE, 0);
    SendMessageW(frame.hwnd(), WM_SETFOCUS, 0, 0);
    EXPECT_EQ((Log{"B.OnAppActivate(1)", "B.OnFocusChange(1)"}), log);
    EXPECT_EQ(frame.hwnd(), b->focusWindow);
    EXPECT_EQ(1u, frame.count(WM_ACTIVATEAPP));
    EXPECT_EQ(1u, frame.count(WM_SETFOCUS));

    // Real focus (which may activate the application on the way).
    log.clear();
    b->focusWindow = nullptr;
    SetFocus(frame.hwnd());
    ASSERT_EQ(frame.hwnd(), GetFocus());
    EXPECT_EQ(1, std::count(log.begin(), log.end(), "B.OnFocusChange(1)"));
    EXPECT_EQ(frame.hwnd(), b->focusWindow);
    for (const std::string& call : log) EXPECT_EQ('B', call[0]) << call;

    EXPECT_EQ(S_OK, hook->Detach(a->identity()));
    EXPECT_EQ(S_OK, hook->Detach(b->identity()));
    EXPECT_FALSE(Hooked(frame.hwnd()));
}

TEST(FrameWndHook, DetachingBeforeTheActiveOneHandsActivityToTheNextInLine) {
    Log log;
    TestWindow frame;
    ClientPtr a = MakeClient("A", log), b = MakeClient("B", log), c = MakeClient("C", log);
    CFrameWndHook* hook = CFrameWndHook::Attach(frame.hwnd(), a->identity());
    ASSERT_NE(nullptr, hook);
    CFrameWndHook::Attach(frame.hwnd(), b->identity());
    CFrameWndHook::Attach(frame.hwnd(), c->identity());
    hook->SetActive(b->identity());
    log.clear();

    // The active index stays 1: C, now there, is activated; B hears nothing.
    EXPECT_EQ(S_OK, hook->Detach(a->identity()));
    EXPECT_EQ((Log{"C.Activate(1)"}), log);
    EXPECT_EQ(c->identity(), hook->GetActive());
    EXPECT_EQ(2u, hook->GetCount());

    // B is at index 0 now.
    log.clear();
    EXPECT_EQ(S_OK, hook->SetActive(b->identity()));
    EXPECT_EQ((Log{"C.Activate(0)", "B.Activate(1)"}), log);

    // Detaching the active last entry clamps the index back onto the other.
    hook->SetActive(c->identity());
    log.clear();
    EXPECT_EQ(S_OK, hook->Detach(c->identity()));
    EXPECT_EQ((Log{"B.Activate(1)"}), log);
    EXPECT_EQ(b->identity(), hook->GetActive());
    EXPECT_EQ(S_OK, hook->Detach(b->identity()));
    EXPECT_FALSE(Hooked(frame.hwnd()));
}

TEST(FrameWndHook, UnknownComponentsAreRefusedAndATwentyFirstRunsUnhooked) {
    Log log;
    TestWindow frame;
    std::vector<ClientPtr> clients;
    CFrameWndHook* hook = nullptr;
    for (int i = 0; i < 20; ++i) {
        clients.push_back(MakeClient(("C" + std::to_string(i)).c_str(), log));
        CFrameWndHook* p = CFrameWndHook::Attach(frame.hwnd(), clients.back()->identity());
        ASSERT_NE(nullptr, p) << i;
        if (!hook) hook = p;
        EXPECT_EQ(hook, p);
    }
    ClientPtr extra = MakeClient("X", log);
    EXPECT_EQ(nullptr, CFrameWndHook::Attach(frame.hwnd(), extra->identity()));
    EXPECT_EQ(20u, hook->GetCount());
    EXPECT_EQ(hook, GetPropW(frame.hwnd(), kProperty));

    EXPECT_EQ(E_INVALIDARG, hook->Detach(extra->identity()));
    EXPECT_EQ(E_INVALIDARG, hook->SetActive(extra->identity()));
    EXPECT_EQ(E_INVALIDARG, hook->Detach(nullptr));
    EXPECT_EQ(20u, hook->GetCount());
    EXPECT_EQ(clients[0]->identity(), hook->GetActive());
    EXPECT_TRUE(log.empty());

    for (auto& c : clients) EXPECT_EQ(S_OK, hook->Detach(c->identity()));
    EXPECT_FALSE(Hooked(frame.hwnd()));
    EXPECT_EQ(TestWindow::ClassProc(), CurrentProc(frame.hwnd()));
}

TEST(FrameWndHook, WindowsThatCannotBeHookedGiveNoRecord) {
    Log log;
    ClientPtr a = MakeClient("A", log);
    EXPECT_EQ(nullptr, CFrameWndHook::Attach(nullptr, a->identity()));
    EXPECT_EQ(nullptr, CFrameWndHook::Attach(reinterpret_cast<HWND>(0x1234), a->identity()));
    TestWindow frame;
    EXPECT_EQ(nullptr, CFrameWndHook::Attach(frame.hwnd(), nullptr));
    EXPECT_FALSE(Hooked(frame.hwnd()));

    // A frame of another thread.
    ForeignFrame foreign;
    HANDLE hThread = CreateThread(nullptr, 0, &ForeignFrame::Run, &foreign, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(foreign.hReady, 60000));
    EXPECT_EQ(nullptr, CFrameWndHook::Attach(foreign.hwnd, a->identity()));
    EXPECT_FALSE(Hooked(foreign.hwnd));
    EXPECT_EQ(foreign.proc, CurrentProc(foreign.hwnd));
    SetEvent(foreign.hQuit);
    WaitForSingleObject(hThread, 60000);
    CloseHandle(hThread);
    CloseHandle(foreign.hReady);
    CloseHandle(foreign.hQuit);
}

TEST(FrameWndHook, ComponentWithoutTheClientInterfaceStaysListedButIsNeverCalled) {
    Log log;
    TestWindow frame;
    ClientPtr plain = MakeClient("P", log, false);
    ClientPtr b = MakeClient("B", log);
    CFrameWndHook* hook = CFrameWndHook::Attach(frame.hwnd(), plain->identity());
    ASSERT_NE(nullptr, hook);
    CFrameWndHook::Attach(frame.hwnd(), b->identity());
    SendMessageW(frame.hwnd(), WM_ACTIVATEAPP, TRUE, 0);
    SendMessageW(frame.hwnd(), WM_SETFOCUS, 0, 0);
    EXPECT_TRUE(log.empty());

    EXPECT_EQ(S_OK, hook->SetActive(b->identity()));
    EXPECT_EQ((Log{"B.Activate(1)"}), log);
    log.clear();
    EXPECT_EQ(S_OK, hook->SetActive(plain->identity()));
    EXPECT_EQ((Log{"B.Activate(0)"}), log);
    EXPECT_EQ(S_OK, hook->Detach(b->identity()));
    EXPECT_EQ(S_OK, hook->Detach(plain->identity()));
    EXPECT_FALSE(Hooked(frame.hwnd()));
}

// Calls into a component can end in Detach of the last one (the control's
// window destroyed by what it does with the message): the record must stay
// valid until the call through it that was running returns. Freed blocks are
// poisoned meanwhile, so reading a freed record would go wrong visibly.
TEST(FrameWndHookReentrancy, LastComponentDetachingInsideAForwardedMessage) {
    FreedMemoryQuarantine quarantine;
    Log log;
    TestWindow frame;
    TestWindow control(frame.hwnd());
    ClientPtr a = MakeClient("A", log);
    CFrameWndHook* hook = CFrameWndHook::Attach(control.hwnd(), a->identity());
    ASSERT_NE(nullptr, hook);

    bool bFreedInside = true;
    HRESULT hrAgain = S_OK;
    a->onAppActivate = [&](short) {
        EXPECT_EQ(S_OK, hook->Detach(a->identity()));
        bFreedInside = FreedMemoryQuarantine::WasFreed(hook);
        hrAgain = hook->Detach(a->identity());
    };
    frame.clear();
    SendMessageW(frame.hwnd(), WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_FALSE(bFreedInside);
    EXPECT_EQ(E_FAIL, hrAgain);  // an empty record
    EXPECT_TRUE(FreedMemoryQuarantine::WasFreed(hook));
    EXPECT_EQ(1u, frame.count(WM_ACTIVATEAPP));  // the old procedure still ran
    EXPECT_FALSE(Hooked(frame.hwnd()));
    EXPECT_EQ(TestWindow::ClassProc(), CurrentProc(frame.hwnd()));
    EXPECT_EQ(1u, a->refs());
}

TEST(FrameWndHookReentrancy, ControlDestroyedFromFocusForwardedToIt) {
    FreedMemoryQuarantine quarantine;
    Log log;
    TestWindow frame;
    TestWindow control(frame.hwnd());
    ClientPtr a = MakeClient("A", log);
    CFrameWndHook* hook = CFrameWndHook::Attach(control.hwnd(), a->identity());
    ASSERT_NE(nullptr, hook);
    // The control's WM_DESTROY detaches, as the control's own does.
    control.onMessage = [&](UINT uMsg, WPARAM, LPARAM) {
        if (uMsg == WM_DESTROY) hook->Detach(a->identity());
    };
    a->onFocusChange = [&](short) { DestroyWindow(control.hwnd()); };

    frame.clear();
    SetFocus(frame.hwnd());
    EXPECT_EQ(1, std::count(log.begin(), log.end(), "A.OnFocusChange(1)"));
    EXPECT_EQ(nullptr, control.hwnd());
    EXPECT_TRUE(FreedMemoryQuarantine::WasFreed(hook));
    EXPECT_EQ(1u, frame.count(WM_SETFOCUS));
    EXPECT_FALSE(Hooked(frame.hwnd()));
    EXPECT_EQ(TestWindow::ClassProc(), CurrentProc(frame.hwnd()));
}

TEST(FrameWndHookReentrancy, ComponentsDetachingFromInsideActivate) {
    FreedMemoryQuarantine quarantine;
    Log log;
    TestWindow frame;
    ClientPtr a = MakeClient("A", log), b = MakeClient("B", log);

    // Detach(A) activates B, which detaches itself: the last one, nested.
    CFrameWndHook* hook = CFrameWndHook::Attach(frame.hwnd(), a->identity());
    ASSERT_NE(nullptr, hook);
    CFrameWndHook::Attach(frame.hwnd(), b->identity());
    bool bFreedInside = true;
    b->onActivate = [&](short f) {
        if (!f) return;
        EXPECT_EQ(S_OK, hook->Detach(b->identity()));
        bFreedInside = FreedMemoryQuarantine::WasFreed(hook);
    };
    EXPECT_EQ(S_OK, hook->Detach(a->identity()));
    EXPECT_FALSE(bFreedInside);
    EXPECT_TRUE(FreedMemoryQuarantine::WasFreed(hook));
    EXPECT_FALSE(Hooked(frame.hwnd()));
    EXPECT_EQ(TestWindow::ClassProc(), CurrentProc(frame.hwnd()));

    // SetActive(B) deactivates A, which detaches itself: B moves to index 0
    // and is activated once, by that Detach.
    log.clear();
    b->onActivate = nullptr;
    hook = CFrameWndHook::Attach(frame.hwnd(), a->identity());
    ASSERT_NE(nullptr, hook);
    CFrameWndHook::Attach(frame.hwnd(), b->identity());
    a->onActivate = [&](short f) {
        if (!f) {
            EXPECT_EQ(S_OK, hook->Detach(a->identity()));
        }
    };
    EXPECT_EQ(S_OK, hook->SetActive(b->identity()));
    EXPECT_EQ((Log{"A.Activate(0)", "B.Activate(1)"}), log);
    EXPECT_EQ(b->identity(), hook->GetActive());
    EXPECT_EQ(1u, hook->GetCount());
    EXPECT_EQ(S_OK, hook->Detach(b->identity()));
    EXPECT_FALSE(Hooked(frame.hwnd()));
}
