// In-place activation of the sample server's view inside the site window,
// the container interfaces the server calls, and the site's log entries.
#include <gtest/gtest.h>

#include <algorithm>

#include "LogTail.h"
#include "VellixPadFixture.h"
#include "SiteTestSupport.h"

using namespace sitetest;
using namespace testsupport;
using namespace vellixpad::fixture;

namespace {

const wchar_t kLogEnter[] = L"进入: CDocObject::IPActivateView()";
const wchar_t kLogExistingView[] = L"else if(m_pdocv) 里面\t ";

// The two entries LogResultName writes for hr.
std::vector<std::wstring> ResultEntries(HRESULT hr, const wchar_t* pszName) {
    return {L"hr值\thr=" + std::to_wstring(static_cast<long>(hr)) + L"\t ",
            L"\thr=" + std::to_wstring(static_cast<long>(hr)) + L"\t常量为:" + pszName};
}

std::vector<std::wstring> Concat(std::initializer_list<std::vector<std::wstring>> parts) {
    std::vector<std::wstring> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

RECT WindowRectIn(HWND hwnd, HWND hwndParent) {
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    MapWindowPoints(nullptr, hwndParent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& rc) {
    return "{" + std::to_string(rc.left) + "," + std::to_string(rc.top) + "," + std::to_string(rc.right) +
           "," + std::to_string(rc.bottom) + "}";
}

class ActivationTest : public ::testing::Test {
protected:
    // A new document of the sample server in a site of m_ctl.
    void NewDocument(Site& site, IUnknown* pcmd = nullptr) {
        ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd(), {0, 0, 400, 300}, L"SiteTests", pcmd));
        CLSID clsid = vellixpad::CLSID_Document;
        ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsid)));
    }
    // The server's view window inside the site window.
    static HWND ViewWindow(const Site& site) { return GetWindow(site.window(), GW_CHILD); }

    void SetUp() override { ResetTrace(); }
    void TearDown() override { ResetTrace(); }

    OleSession m_ole;
    ScopedSwitches m_pad;
    CControlWindow m_ctl;
};

TEST_F(ActivationTest, ActivationShowsTheViewPostsTheMenuAndFillsTheQueries) {
    Site site;
    NewDocument(site);
    // Before activation nothing is there: each query gives zero.
    UINT value = 0xfeed;
    EXPECT_EQ(S_FALSE, site.doc->GetActiveMenu(&value));
    EXPECT_EQ(S_FALSE, site.doc->GetMenuHWND(&value));
    EXPECT_EQ(S_FALSE, site.doc->GetActiveWindow(&value));
    EXPECT_EQ(0u, value);
    com_ptr<IDispatch> active;
    EXPECT_EQ(S_FALSE, site.doc->GetActiveObject(active.put()));
    EXPECT_FALSE(active);

    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    EXPECT_EQ(1u, Trace(vellixpad::kTraceDoVerb));
    EXPECT_EQ(static_cast<DWORD>(OLEIVERB_INPLACEACTIVATE), Trace(vellixpad::kTraceLastVerb));
    HWND hwndView = ViewWindow(site);
    ASSERT_TRUE(IsWindow(hwndView));
    EXPECT_TRUE(IsWindowVisible(hwndView));
    HWND hwndFocus = GetFocus();
    EXPECT_TRUE(hwndFocus == hwndView || IsChild(hwndView, hwndFocus)) << "the focus goes to the document";

    UINT hmenu = 0, hwndMenu = 0, hwndActive = 0;
    ASSERT_EQ(S_OK, site.doc->GetActiveMenu(&hmenu));
    EXPECT_TRUE(IsMenu(reinterpret_cast<HMENU>(static_cast<UINT_PTR>(hmenu))));
    ASSERT_EQ(S_OK, site.doc->GetMenuHWND(&hwndMenu));
    EXPECT_EQ(hwndView, UintToHwnd(hwndMenu));
    ASSERT_EQ(S_OK, site.doc->GetActiveWindow(&hwndActive));
    EXPECT_EQ(hwndView, UintToHwnd(hwndActive));
    std::vector<WPARAM> layouts = m_ctl.TakeMenuLayouts();
    EXPECT_NE(layouts.end(), std::find(layouts.begin(), layouts.end(), static_cast<WPARAM>(hmenu)))
        << "the control is told to show the server's menu";

    // The active object and the document are the same automation object here.
    ASSERT_EQ(S_OK, site.doc->GetActiveObject(active.put()));
    com_ptr<IUnknown> a, b;
    active->QueryInterface(IID_IUnknown, a.put_void());
    site.OleObject()->QueryInterface(IID_IUnknown, b.put_void());
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(S_FALSE, site.doc->GetActiveMenu(nullptr));
    EXPECT_EQ(S_FALSE, site.doc->GetActiveObject(nullptr));
}

TEST_F(ActivationTest, SecondActivationShowsTheExistingViewAndLogsIt) {
    Site site;
    NewDocument(site);
    LogTail log(OfficeLogPath());
    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    ASSERT_EQ(S_OK, site.doc->UIActivateView(VARIANT_FALSE));
    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    EXPECT_EQ(1u, Trace(vellixpad::kTraceDoVerb)) << "no second DoVerb";
    UINT hmenu = 0;
    EXPECT_EQ(S_OK, site.doc->GetActiveMenu(&hmenu)) << "UI active again";

    EXPECT_EQ(Concat({{kLogEnter},
                      ResultEntries(S_OK, L"S_OK"),
                      ResultEntries(S_OK, L"S_OK"),
                      {kLogEnter, kLogExistingView},
                      ResultEntries(S_OK, L"S_OK")}),
              log.entries());
}

TEST_F(ActivationTest, FailedFirstVerbIsRetriedOnceAtOnceWithShow) {
    {
        m_pad.Set(vellixpad::kDoVerbFailCount, 1).Set(vellixpad::kDoVerbFailCode, 1);
        Site site;
        NewDocument(site);
        LogTail log(OfficeLogPath());
        EXPECT_EQ(S_OK, site.doc->IPActivateView());
        EXPECT_EQ(2u, Trace(vellixpad::kTraceDoVerb));
        EXPECT_EQ(static_cast<DWORD>(OLEIVERB_SHOW), Trace(vellixpad::kTraceLastVerb));
        EXPECT_EQ(Concat({{kLogEnter},
                          ResultEntries(E_FAIL, L"其它"),
                          ResultEntries(S_OK, L"S_OK"),
                          ResultEntries(S_OK, L"S_OK")}),
                  log.entries());
    }
    ResetTrace();
    // A retry failing with anything but a rejection is the last one.
    m_pad.Set(vellixpad::kDoVerbFailCount, 2).Set(vellixpad::kDoVerbFailCode, OLE_E_CLASSDIFF);
    Site site;
    NewDocument(site);
    LogTail log(OfficeLogPath());
    EXPECT_EQ(OLE_E_CLASSDIFF, site.doc->IPActivateView());
    EXPECT_EQ(2u, Trace(vellixpad::kTraceDoVerb));
    EXPECT_EQ(Concat({{kLogEnter},
                      ResultEntries(OLE_E_CLASSDIFF, L"OLE_E_CLASSDIFF"),
                      ResultEntries(OLE_E_CLASSDIFF, L"OLE_E_CLASSDIFF"),
                      ResultEntries(OLE_E_CLASSDIFF, L"OLE_E_CLASSDIFF")}),
              log.entries());
    UINT hmenu = 0;
    EXPECT_EQ(S_FALSE, site.doc->GetActiveMenu(&hmenu));
}

TEST_F(ActivationTest, RejectingServerIsTriedElevenTimesWithGrowingWaits) {
    m_pad.Set(vellixpad::kDoVerbFailCount, 0xFFFFFFFF);  // RPC_E_CALL_REJECTED every time
    // Steps of 2 ms instead of 200: growing waits add up to 90 ms, even
    // ones to 20 ms.
    SetEnvironmentVariableW(L"VELLIX_RETRY_STEP_MS", L"2");
    Site site;
    NewDocument(site);
    LogTail log(OfficeLogPath());
    DWORD dwStart = GetTickCount();
    EXPECT_EQ(RPC_E_CALL_REJECTED, site.doc->IPActivateView());
    DWORD dwElapsed = GetTickCount() - dwStart;
    SetEnvironmentVariableW(L"VELLIX_RETRY_STEP_MS", nullptr);
    EXPECT_EQ(11u, Trace(vellixpad::kTraceDoVerb));
    EXPECT_EQ(static_cast<DWORD>(OLEIVERB_SHOW), Trace(vellixpad::kTraceLastVerb));
    EXPECT_GE(dwElapsed, 90u);

    std::vector<std::wstring> entries = log.entries();
    ASSERT_EQ(1u + 11 * 2 + 2, entries.size());
    EXPECT_EQ(kLogEnter, entries.front());
    EXPECT_EQ(ResultEntries(RPC_E_CALL_REJECTED, L"其它")[1], entries.back());
    EXPECT_EQ(L"hr值\thr=-2147418111\t ", entries[1]);
}

TEST_F(ActivationTest, DeactivationDropsTheViewAndTheNextActivationStartsAgain) {
    Site site;
    NewDocument(site);
    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    HWND hwndView = ViewWindow(site);
    EXPECT_EQ(S_OK, site.doc->IPDeactivateView());
    EXPECT_FALSE(IsWindow(hwndView));
    UINT value = 0;
    EXPECT_EQ(S_FALSE, site.doc->GetActiveMenu(&value));
    EXPECT_EQ(S_FALSE, site.doc->GetActiveWindow(&value));
    EXPECT_EQ(S_FALSE, site.doc->UIActivateView(VARIANT_TRUE)) << "no view any more";
    EXPECT_EQ(kErrCommandNotAvailable, site.doc->DoOleCommand(OLECMDID_PRINT, 0, nullptr, nullptr));
    HWND hwndFocus = GetFocus();
    EXPECT_EQ(site.window(), hwndFocus) << "the focus went back to the site window";

    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    EXPECT_EQ(2u, Trace(vellixpad::kTraceDoVerb));
    EXPECT_TRUE(IsWindow(ViewWindow(site)));
}

TEST_F(ActivationTest, WithoutADocumentThereIsNothingToActivate) {
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    LogTail log(OfficeLogPath());
    EXPECT_EQ(E_UNEXPECTED, site.doc->IPActivateView());
    EXPECT_EQ(Concat({{kLogEnter}, ResultEntries(E_UNEXPECTED, L"其它")}), log.entries());
    EXPECT_EQ(S_FALSE, site.doc->UIActivateView(VARIANT_TRUE));
    EXPECT_EQ(S_OK, site.doc->IPDeactivateView());
    EXPECT_EQ(E_UNEXPECTED, site.as<IOleInPlaceSite>()->OnInPlaceActivate());
}

TEST_F(ActivationTest, SetMenuPostsTheServersMenuUnlessNullOrClosing) {
    HMENU hmenu = CreateMenu();
    HMENU hmenuClosing = CreateMenu();
    {
        // No control window: stored, and posted nowhere (not to the thread).
        Site bare;
        ASSERT_EQ(S_OK, bare.as<IOleInPlaceFrame>()->SetMenu(hmenu, nullptr, m_ctl.hwnd()));
        UINT got = 0;
        EXPECT_EQ(S_OK, bare.doc->GetActiveMenu(&got));
        EXPECT_EQ(HandleToUint(hmenu), got);
        MSG msg;
        EXPECT_FALSE(
            PeekMessageW(&msg, reinterpret_cast<HWND>(-1), kMsgMenuBarLayout, kMsgMenuBarLayout, PM_REMOVE));
    }
    Site site;
    NewDocument(site);
    com_ptr<IOleInPlaceFrame> frame = site.as<IOleInPlaceFrame>();
    m_ctl.TakeMenuLayouts();
    ASSERT_EQ(S_OK, frame->SetMenu(hmenu, reinterpret_cast<HOLEMENU>(0x1234), m_ctl.hwnd()));
    EXPECT_EQ(std::vector<WPARAM>{reinterpret_cast<WPARAM>(hmenu)}, m_ctl.TakeMenuLayouts());
    UINT got = 0;
    EXPECT_EQ(S_OK, site.doc->GetMenuHWND(&got));
    EXPECT_EQ(HandleToUint(m_ctl.hwnd()), got);
    ASSERT_EQ(S_OK, frame->SetMenu(nullptr, reinterpret_cast<HOLEMENU>(0x1234), m_ctl.hwnd()));
    EXPECT_TRUE(m_ctl.TakeMenuLayouts().empty());
    EXPECT_EQ(S_FALSE, site.doc->GetActiveMenu(&got));
    EXPECT_EQ(S_FALSE, site.doc->GetMenuHWND(&got));

    // The server's UI deactivation hands the focus back to the site window;
    // a menu set from there while the site closes is kept but not shown.
    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    bool bSetWhileClosing = false;
    HWND hwndSite = site.window();
    struct Hook {
        static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
            auto* pThis = reinterpret_cast<Hook*>(GetPropW(hwnd, L"SiteTestsHook"));
            if (msg == WM_SETFOCUS && pThis->frame) {
                pThis->frame->SetMenu(pThis->hmenu, nullptr, hwnd);
                *pThis->pbDone = true;
            }
            return CallWindowProcW(pThis->prev, hwnd, msg, wParam, lParam);
        }
        IOleInPlaceFrame* frame;
        HMENU hmenu;
        bool* pbDone;
        WNDPROC prev;
    } hook = {frame.get(), hmenuClosing, &bSetWhileClosing, nullptr};
    SetPropW(hwndSite, L"SiteTestsHook", &hook);
    hook.prev = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwndSite, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Hook::Proc)));
    m_ctl.TakeMenuLayouts();
    ASSERT_EQ(S_OK, site.doc->Close());
    EXPECT_TRUE(bSetWhileClosing);
    std::vector<WPARAM> layouts = m_ctl.TakeMenuLayouts();
    EXPECT_EQ(layouts.end(),
              std::find(layouts.begin(), layouts.end(), reinterpret_cast<WPARAM>(hmenuClosing)));

    DestroyMenu(hmenu);
    DestroyMenu(hmenuClosing);
}

TEST_F(ActivationTest, EnableModelessIsSentToTheControlAtOnce) {
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    com_ptr<IOleInPlaceFrame> frame = site.as<IOleInPlaceFrame>();
    ASSERT_EQ(S_OK, frame->EnableModeless(FALSE));
    ASSERT_EQ(1u, m_ctl.modeless.size()) << "sent, not posted";
    EXPECT_EQ(1u, m_ctl.modeless[0].first);
    EXPECT_EQ(0, m_ctl.modeless[0].second);
    ASSERT_EQ(S_OK, frame->EnableModeless(TRUE));
    ASSERT_EQ(2u, m_ctl.modeless.size());
    EXPECT_EQ(1, m_ctl.modeless[1].second);
}

TEST_F(ActivationTest, FrameOffersItsWholeClientAreaAndPlacesTheViewInsideTheBorders) {
    Site site;
    NewDocument(site);
    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    com_ptr<IOleInPlaceFrame> frame = site.as<IOleInPlaceFrame>();
    RECT rcBorder = {};
    ASSERT_EQ(S_OK, frame->GetBorder(&rcBorder));
    RECT rcClient = {};
    GetClientRect(site.window(), &rcClient);
    EXPECT_TRUE(SameRect(rcClient, rcBorder)) << Describe(rcBorder);
    BORDERWIDTHS huge = {1000, 1000, 1000, 1000};
    EXPECT_EQ(S_OK, frame->RequestBorderSpace(&huge));

    BORDERWIDTHS widths = {5, 6, 7, 8};
    ASSERT_EQ(S_OK, frame->SetBorderSpace(&widths));
    RECT rcInside = {5, 6, 400 - 7, 300 - 8};
    EXPECT_TRUE(SameRect(rcInside, site.PlaceRect())) << Describe(site.PlaceRect());
    EXPECT_TRUE(SameRect(rcInside, WindowRectIn(ViewWindow(site), site.window())));
    ASSERT_EQ(S_OK, frame->SetBorderSpace(nullptr));
    EXPECT_TRUE(SameRect(rcClient, site.PlaceRect()));
    EXPECT_TRUE(SameRect(rcClient, WindowRectIn(ViewWindow(site), site.window())));
}

TEST_F(ActivationTest, SizeChangeResizesTheBordersWhenUIActiveAndTheViewWhenOnlyInPlace) {
    Site site;
    NewDocument(site);
    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    com_ptr<IOleInPlaceFrame> frame = site.as<IOleInPlaceFrame>();
    BORDERWIDTHS widths = {10, 10, 10, 10};

    // UI active: the site window moves and the active object renegotiates
    // its borders; this server wants none, so its view fills the window.
    ASSERT_EQ(S_OK, frame->SetBorderSpace(&widths));
    RECT rcNew = {20, 30, 520, 380};
    VARIANT v = ByRefVariant(&rcNew);
    ASSERT_EQ(S_OK, site.doc->OnNotifySizeChange(&v));
    EXPECT_TRUE(SameRect(rcNew, WindowRectIn(site.window(), m_ctl.hwnd())));
    RECT rcFull = {0, 0, 500, 350};
    EXPECT_TRUE(SameRect(rcFull, WindowRectIn(ViewWindow(site), site.window())))
        << Describe(WindowRectIn(ViewWindow(site), site.window()));

    // In place only: the site itself gives the view the new size less the
    // border widths it stored.
    ASSERT_EQ(S_OK, site.doc->UIActivateView(VARIANT_FALSE));
    ASSERT_EQ(S_OK, frame->SetBorderSpace(&widths));
    RECT rcSmaller = {0, 0, 300, 200};
    v = ByRefVariant(&rcSmaller);
    ASSERT_EQ(S_OK, site.doc->OnNotifySizeChange(&v));
    EXPECT_TRUE(SameRect(rcSmaller, WindowRectIn(site.window(), m_ctl.hwnd())));
    RECT rcExpected = {10, 10, 290, 190};
    EXPECT_TRUE(SameRect(rcExpected, WindowRectIn(ViewWindow(site), site.window())))
        << Describe(WindowRectIn(ViewWindow(site), site.window()));

    // A rectangle must come by pointer.
    VARIANT vnum;
    VariantInit(&vnum);
    V_VT(&vnum) = VT_I4;
    V_I4(&vnum) = 12;
    EXPECT_EQ(E_INVALIDARG, site.doc->OnNotifySizeChange(&vnum));
    EXPECT_EQ(E_INVALIDARG, site.doc->OnNotifySizeChange(nullptr));
}

TEST_F(ActivationTest, SaveObjectReachesTheControlAsItsSaveCommand) {
    CCommandTargetDouble control;
    {
        Site site;
        ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd(), {0, 0, 400, 300}, L"SiteTests", &control));
        EXPECT_EQ(1u, control.refs()) << "the site holds the command target";
        ASSERT_EQ(S_OK, site.as<IOleClientSite>()->SaveObject());
        ASSERT_EQ(1u, control.calls.size());
        const auto& call = control.calls[0];
        EXPECT_FALSE(call.bQueryStatus);
        EXPECT_TRUE(call.bGroupGiven);
        EXPECT_TRUE(IsEqualGUID(GUID_NULL, call.group));
        EXPECT_EQ(static_cast<DWORD>(OLECMDID_SAVE), call.nCmdId);
        EXPECT_EQ(static_cast<DWORD>(OLECMDEXECOPT_DODEFAULT), call.nOption);
        EXPECT_EQ(nullptr, call.pvaIn);
        EXPECT_EQ(nullptr, call.pvaOut);

        // The site's command target is the control's, arguments and results
        // unchanged.
        control.hrExec = OLECMDERR_E_DISABLED;
        control.hrQueryStatus = E_ACCESSDENIED;
        com_ptr<IOleCommandTarget> target = site.as<IOleCommandTarget>();
        VARIANT vin, vout;
        VariantInit(&vin);
        VariantInit(&vout);
        const GUID group = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
        EXPECT_EQ(OLECMDERR_E_DISABLED, target->Exec(&group, 42, OLECMDEXECOPT_PROMPTUSER, &vin, &vout));
        EXPECT_TRUE(IsEqualGUID(group, control.calls.back().group));
        EXPECT_EQ(42u, control.calls.back().nCmdId);
        EXPECT_EQ(&vin, control.calls.back().pvaIn);
        EXPECT_EQ(&vout, control.calls.back().pvaOut);
        OLECMD cmd = {7, 0};
        EXPECT_EQ(E_ACCESSDENIED, target->QueryStatus(nullptr, 1, &cmd, nullptr));
        EXPECT_TRUE(control.calls.back().bQueryStatus);
        EXPECT_FALSE(control.calls.back().bGroupGiven);
        // A server's own save request, with the control refusing it, is
        // still answered S_OK.
        EXPECT_EQ(S_OK, site.as<IOleClientSite>()->SaveObject());
        EXPECT_EQ(S_OK, site.doc->Close());
        EXPECT_EQ(0u, control.refs()) << "let go in Close";
    }

    // The server's own save command, embedded, asks its client site to save.
    {
        CCommandTargetDouble host;
        Site site;
        NewDocument(site, &host);
        ASSERT_EQ(S_OK, site.doc->IPActivateView());
        host.calls.clear();
        EXPECT_EQ(S_OK, site.doc->DoOleCommand(OLECMDID_SAVE, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr));
        ASSERT_EQ(1u, host.calls.size());
        EXPECT_EQ(static_cast<DWORD>(OLECMDID_SAVE), host.calls[0].nCmdId);
        EXPECT_FALSE(host.calls[0].bQueryStatus);
    }

    // Without a command target the request is dropped.
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    EXPECT_EQ(S_OK, site.as<IOleClientSite>()->SaveObject());
    OLECMD cmd = {OLECMDID_SAVE, 0};
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, site.as<IOleCommandTarget>()->QueryStatus(nullptr, 1, &cmd, nullptr));
    EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED,
              site.as<IOleCommandTarget>()->Exec(nullptr, OLECMDID_SAVE, 0, nullptr, nullptr));
}

}  // namespace
