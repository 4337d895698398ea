// The control in a container: its window from the client site on, the
// document rectangle, persistence, command status, painting, the menu bar
// and the frame-window hook, with a document-site double in place of a
// real document.
#include <gtest/gtest.h>

#include <docobj.h>

#include <string>
#include <vector>

#include "FakeDocObject.h"
#include "Pixels.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "control/Office.h"
#include "fw/Raii.h"
#include "module/ClassTable.h"

using namespace testsupport;
using fw::com_ptr;

bool operator==(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != 0; }
std::ostream& operator<<(std::ostream& os, const RECT& r) {
    return os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace {

// The control with its document slot and bar reachable by the test.
class CTestOffice : public COffice {
public:
    void SetSite(IDocObject* p) { m_session.Adopt(p); }
    CMenuBar& Bar() { return m_menuBar; }
    LONG Border() const { return m_nBorder; }
    BOOL Activated() const { return m_bActivated; }
    RECT DocRect() {
        RECT rc;
        GetDocRect(&rc);
        return rc;
    }
};

CTestOffice* NewControl(com_ptr<IUnknown>& unk) {
    EXPECT_EQ(S_OK, fw::CObject<CTestOffice>::CreateInstance(IID_IUnknown, unk.put_void()));
    com_ptr<IOffice> office;
    unk.query(office.put());
    // IOffice is the first base: the identity is the object.
    return static_cast<CTestOffice*>(office.get());
}

HWND ControlWindow(IUnknown* unk) {
    com_ptr<IOffice> office;
    unk->QueryInterface(IID_IOffice, office.put_void());
    UINT h = 0;
    office->get_HWnd(&h);
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(h));
}

std::vector<UINT> g_serverSeen;

// A document server's window that records what reaches it.
LRESULT CALLBACK ServerWndProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_COMMAND || m == WM_INITMENU || m == WM_INITMENUPOPUP)
        g_serverSeen.push_back(m == WM_COMMAND ? LOWORD(w) : m);
    return DefWindowProcW(h, m, w, l);
}

// The control drawn through IViewObject into a 32-bit picture.
class Rendering : public Pixels {
public:
    Rendering(IUnknown* unk, int cx, int cy) : Pixels(cx, cy) {
        Fill(RGB(255, 255, 255));
        com_ptr<IViewObject> view;
        unk->QueryInterface(IID_IViewObject, view.put_void());
        RECTL bounds = {0, 0, cx, cy};
        m_hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc(), &bounds, nullptr, nullptr, 0);
    }
    HRESULT result() const { return m_hr; }

private:
    HRESULT m_hr = E_FAIL;
};

const COLORREF kGrey = RGB(128, 128, 128);
const COLORREF kBar = RGB(212, 208, 200);

class ControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitModule(GetModuleHandleW(nullptr)); }
    static void TearDownTestSuite() { TermModule(); }

    OleSession m_ole;
    DialogWatcher m_boxes;  // none is expected

    void TearDown() override { EXPECT_EQ(0u, m_boxes.count()) << "unexpected message box"; }
};

TEST_F(ControlTest, TheWindowExistsFromTheClientSiteOnAndFollowsActivation) {
    TestContainer host;
    com_ptr<IUnknown> unk;
    NewControl(unk);
    ASSERT_EQ(S_OK, host.Host(unk.get(), false));

    // Not yet activated: a hidden child of the container's window.
    HWND hwnd = ControlWindow(unk.get());
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(host.frame(), GetParent(hwnd));
    EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS),
              GetWindowLongW(hwnd, GWL_STYLE) & ~WS_VISIBLE & ~WS_DISABLED);
    WNDCLASSEXW wc = {sizeof(wc)};
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), cls, &wc));
    EXPECT_EQ(static_cast<UINT>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS), wc.style);
    // The log is open from window creation on.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((ExeDir() + L"\\log\\office.log").c_str()));

    // Activation shows and places the same window.
    ASSERT_EQ(S_OK, host.Activate());
    EXPECT_EQ(hwnd, ControlWindow(unk.get()));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(1, host.counters().onInPlaceActivate);
    RECT rc;
    GetClientRect(hwnd, &rc);
    EXPECT_EQ(400, rc.right);
    EXPECT_EQ(300, rc.bottom);

    // Deactivation destroys it; the next activation makes a new one.
    com_ptr<IOleInPlaceObject> ipo;
    unk.query(ipo.put());
    ASSERT_EQ(S_OK, ipo->InPlaceDeactivate());
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(0, static_cast<int>(reinterpret_cast<UINT_PTR>(ControlWindow(unk.get()))));
    ASSERT_EQ(S_OK, host.Activate());
    HWND again = ControlWindow(unk.get());
    EXPECT_TRUE(IsWindow(again));
    EXPECT_TRUE(IsWindowVisible(again));
    EXPECT_EQ(host.frame(), GetParent(again));

    // The stock answers a container relies on.
    com_ptr<IOleObject> obj;
    unk.query(obj.put());
    DWORD misc = 0;
    ASSERT_EQ(S_OK, obj->GetMiscStatus(DVASPECT_CONTENT, &misc));
    EXPECT_EQ(131473u, misc);
    com_ptr<IViewObjectEx> vx;
    unk.query(vx.put());
    DWORD status = 0;
    ASSERT_EQ(S_OK, vx->GetViewStatus(&status));
    EXPECT_EQ(static_cast<DWORD>(VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND), status);
}

TEST_F(ControlTest, TheDocumentRectangleFollowsTheExtentBarAndBorder) {
    TestContainer host(500, 400);
    com_ptr<IUnknown> unk;
    CTestOffice* office = NewControl(unk);
    ASSERT_EQ(S_OK, host.Host(unk.get()));
    ASSERT_EQ(S_OK, host.Place(0, 0, 400, 300));
    CFakeDocObject* site = new CFakeDocObject;
    office->SetSite(site);
    HWND hwnd = ControlWindow(unk.get());

    SendMessageW(hwnd, WM_SIZE, 0, MAKELPARAM(400, 300));
    ASSERT_FALSE(site->sizeChanges.empty());
    EXPECT_EQ((RECT{4, 24, 396, 296}), site->sizeChanges.back());

    // A WM_SIZE of another size still sends the extent's rectangle.
    SendMessageW(hwnd, WM_SIZE, 0, MAKELPARAM(123, 45));
    EXPECT_EQ((RECT{4, 24, 396, 296}), site->sizeChanges.back());

    office->Bar().SetShow(FALSE);
    EXPECT_EQ((RECT{4, 3, 396, 296}), office->DocRect());

    // BorderWidth 0 and no bar: the whole extent.
    com_ptr<IPersistStreamInit> psi;
    unk.query(psi.put());
    com_ptr<IStream> stm;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stm.put()));
    ASSERT_EQ(S_OK, psi->Save(stm.get(), TRUE));
    // Rewrite the stored border (the third value) to 0 and load it back.
    HGLOBAL hg = nullptr;
    GetHGlobalFromStream(stm.get(), &hg);
    LONG* values = static_cast<LONG*>(GlobalLock(hg));
    values[2 + 2] = 0;
    GlobalUnlock(hg);
    LARGE_INTEGER zero = {};
    stm->Seek(zero, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(S_OK, psi->Load(stm.get()));
    EXPECT_EQ(0, office->Border());
    EXPECT_EQ((RECT{0, 0, 400, 300}), office->DocRect());

    office->SetSite(nullptr);
    site->Release();
}

TEST_F(ControlTest, BorderWidthFromAPropertyBagMovesTheDocumentAndTheInnerFrame) {
    TestContainer host;
    com_ptr<IUnknown> unk;
    CTestOffice* office = NewControl(unk);
    SIZEL ext = PixelsToHiMetric(400, 300);
    std::wstring bag = L"BorderWidth=10;_cx=" + std::to_wstring(ext.cx) + L";_cy=" + std::to_wstring(ext.cy);
    ASSERT_EQ(S_OK, host.Host(unk.get(), true, bag.c_str()));
    EXPECT_EQ(10, office->Border());
    RECT rc = office->DocRect();
    EXPECT_EQ(11, rc.left);
    EXPECT_EQ(10 + 21, rc.top);

    Rendering r(unk.get(), 400, 300);
    ASSERT_EQ(S_OK, r.result());
    EXPECT_EQ(kGrey, r.at(0, 0));
    EXPECT_EQ(kGrey, r.at(399, 299));
    EXPECT_EQ(kGrey, r.at(10, 150)) << "inner frame 10 pixels in";
    EXPECT_EQ(kGrey, r.at(200, 289));
    EXPECT_NE(kGrey, r.at(5, 150));
}

TEST_F(ControlTest, PersistenceRoundTripsThroughStreamStorageAndPropertyBag) {
    com_ptr<IUnknown> a;
    NewControl(a);
    com_ptr<IOleObject> obj;
    a.query(obj.put());
    SIZEL ext = {12345, 6789};
    ASSERT_EQ(S_OK, obj->SetExtent(DVASPECT_CONTENT, &ext));
    com_ptr<IPersistStreamInit> psi;
    a.query(psi.put());
    EXPECT_EQ(S_OK, psi->IsDirty());
    {
        TestContainer host;
        ASSERT_EQ(S_OK, host.Host(a.get(), false, L"BorderWidth=7"));
    }
    obj->SetExtent(DVASPECT_CONTENT, &ext);

    // Stream.
    com_ptr<IStream> stm;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stm.put()));
    ASSERT_EQ(S_OK, psi->Save(stm.get(), TRUE));
    EXPECT_EQ(S_FALSE, psi->IsDirty());
    com_ptr<IUnknown> b;
    CTestOffice* pb = NewControl(b);
    com_ptr<IPersistStreamInit> psiB;
    b.query(psiB.put());
    LARGE_INTEGER zero = {};
    stm->Seek(zero, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(S_OK, psiB->Load(stm.get()));
    SIZEL got = {};
    com_ptr<IOleObject> objB;
    b.query(objB.put());
    objB->GetExtent(DVASPECT_CONTENT, &got);
    EXPECT_EQ(12345, got.cx);
    EXPECT_EQ(6789, got.cy);
    EXPECT_EQ(7, pb->Border());

    // A damaged stream changes nothing.
    com_ptr<IStream> bad;
    CreateStreamOnHGlobal(nullptr, TRUE, bad.put());
    bad->Write("junk", 4, nullptr);
    bad->Seek(zero, STREAM_SEEK_SET, nullptr);
    EXPECT_TRUE(FAILED(psiB->Load(bad.get())));
    EXPECT_EQ(7, pb->Border());

    // Storage.
    com_ptr<IStorage> stg;
    ASSERT_EQ(S_OK, StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE,
                                     0, stg.put()));
    com_ptr<IPersistStorage> ps;
    b.query(ps.put());
    ASSERT_EQ(S_OK, ps->Save(stg.get(), FALSE));
    com_ptr<IUnknown> c;
    CTestOffice* pc = NewControl(c);
    com_ptr<IPersistStorage> psC;
    c.query(psC.put());
    ASSERT_EQ(S_OK, psC->Load(stg.get()));
    EXPECT_EQ(7, pc->Border());
    com_ptr<IOleObject> objC;
    c.query(objC.put());
    objC->GetExtent(DVASPECT_CONTENT, &got);
    EXPECT_EQ(12345, got.cx);

    // Property bag: written as VT_UI4 under the three names.
    class CBag final : public IPropertyBag {
    public:
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
            *ppv = (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyBag)) ? this : nullptr;
            return *ppv ? S_OK : E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 2; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
        STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
            for (auto& e : entries)
                if (e.first == name) return VariantChangeType(v, &e.second, 0, v->vt == VT_EMPTY ? e.second.vt : v->vt);
            return E_INVALIDARG;
        }
        STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override {
            entries.emplace_back(name, *v);
            return S_OK;
        }
        std::vector<std::pair<std::wstring, VARIANT>> entries;
    } bag;
    com_ptr<IPersistPropertyBag> ppb;
    c.query(ppb.put());
    ASSERT_EQ(S_OK, ppb->Save(&bag, TRUE, TRUE));
    ASSERT_EQ(3u, bag.entries.size());
    EXPECT_EQ(L"_cx", bag.entries[0].first);
    EXPECT_EQ(L"_cy", bag.entries[1].first);
    EXPECT_EQ(L"BorderWidth", bag.entries[2].first);
    for (auto& e : bag.entries) EXPECT_EQ(VT_UI4, e.second.vt);
    EXPECT_EQ(7u, bag.entries[2].second.ulVal);
    com_ptr<IUnknown> d;
    CTestOffice* pd = NewControl(d);
    com_ptr<IPersistPropertyBag> ppbD;
    d.query(ppbD.put());
    ASSERT_EQ(S_OK, ppbD->Load(&bag, nullptr));
    EXPECT_EQ(7, pd->Border());
}

TEST_F(ControlTest, CommandStatusAndExecutionOfTheStandardCommands) {
    TestContainer host;
    com_ptr<IUnknown> unk;
    NewControl(unk);
    ASSERT_EQ(S_OK, host.Host(unk.get()));
    com_ptr<IOleCommandTarget> ct;
    ASSERT_EQ(S_OK, unk.query(ct.put()));

    OLECMD cmds[] = {{2, 99}, {5, 99}, {12, 99}, {1, 0}, {3, 0}, {4, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0}, {10, 0}, {0, 0}};
    OLECMDTEXT text = {};
    text.cmdtextf = OLECMDTEXTF_NAME;
    text.cwActual = 77;
    ASSERT_EQ(S_OK, ct->QueryStatus(nullptr, 12, cmds, &text));
    const DWORD expected[] = {3, 0, 0, 3, 3, 3, 3, 3, 3, 0, 3, 0};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(expected[i], cmds[i].cmdf) << "command " << cmds[i].cmdID;
    EXPECT_EQ(static_cast<DWORD>(OLECMDTEXTF_NONE), text.cmdtextf);
    EXPECT_EQ(0u, text.cwActual);
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, ct->QueryStatus(&GUID_NULL, 1, cmds, nullptr));
    EXPECT_EQ(E_INVALIDARG, ct->QueryStatus(nullptr, 1, nullptr, nullptr));

    // Exec posts the command to the control's window and returns at once.
    HWND hwnd = ControlWindow(unk.get());
    MSG msg;
    while (PeekMessageW(&msg, hwnd, WM_DOCCOMMAND, WM_DOCCOMMAND, PM_REMOVE)) {}
    EXPECT_EQ(OLECMDERR_E_NOHELP, ct->Exec(nullptr, OLECMDID_PRINT, OLECMDEXECOPT_SHOWHELP, nullptr, nullptr));
    EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED, ct->Exec(nullptr, OLECMDID_CUT, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr));
    EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED, ct->Exec(nullptr, 5, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr));
    EXPECT_FALSE(PeekMessageW(&msg, hwnd, WM_DOCCOMMAND, WM_DOCCOMMAND, PM_NOREMOVE));
    for (DWORD id : {1u, 2u, 3u, 4u, 6u, 7u, 8u, 10u}) {
        ASSERT_EQ(S_OK, ct->Exec(&GUID_NULL, id, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr));
        ASSERT_TRUE(PeekMessageW(&msg, hwnd, WM_DOCCOMMAND, WM_DOCCOMMAND, PM_REMOVE)) << id;
        EXPECT_EQ(id, msg.wParam);
        EXPECT_EQ(static_cast<LPARAM>(OLECMDEXECOPT_PROMPTUSER), msg.lParam);
    }
    // Print and PrintPreview of the script go the same way.
    com_ptr<IOffice> office;
    unk.query(office.put());
    ASSERT_EQ(S_OK, office->Print());
    ASSERT_TRUE(PeekMessageW(&msg, hwnd, WM_DOCCOMMAND, WM_DOCCOMMAND, PM_REMOVE));
    EXPECT_EQ(static_cast<WPARAM>(OLECMDID_PRINT), msg.wParam);
    ASSERT_EQ(S_OK, office->PrintPreview());
    ASSERT_TRUE(PeekMessageW(&msg, hwnd, WM_DOCCOMMAND, WM_DOCCOMMAND, PM_REMOVE));
    EXPECT_EQ(static_cast<WPARAM>(OLECMDID_PRINTPREVIEW), msg.wParam);
}

TEST_F(ControlTest, ThePaintedControlHasTheFramesTheBarAndTheHotItem) {
    TestContainer host;
    com_ptr<IUnknown> unk;
    CTestOffice* office = NewControl(unk);
    ASSERT_EQ(S_OK, host.Host(unk.get()));
    HWND hwnd = ControlWindow(unk.get());
    TestContainer::Pump();  // the posted layout

    ASSERT_EQ(1, office->Bar().GetItemCount());
    EXPECT_EQ((RECT{3, 5, 63, 22}), office->Bar().GetItem(0)->GetRect());
    {
        Rendering r(unk.get(), 400, 300);
        ASSERT_EQ(S_OK, r.result());
        EXPECT_EQ(kGrey, r.at(0, 0));
        EXPECT_EQ(kGrey, r.at(399, 150));
        EXPECT_EQ(kGrey, r.at(3, 150)) << "inner frame";
        EXPECT_EQ(kGrey, r.at(200, 296));
        EXPECT_EQ(kBar, r.at(100, 10)) << "bar background";
        EXPECT_EQ(kBar, r.at(4, 4));
        // Caption text in the File item, no box around it.
        EXPECT_FALSE(r.anyIn(RECT{3, 5, 63, 22}, RGB(10, 36, 106)));
        EXPECT_FALSE(r.anyIn(RECT{200, 3, 240, 24}, RGB(0, 0, 0)));
    }

    // The pointer over the File item makes it hot and takes the capture.
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(30, 12));
    EXPECT_EQ(hwnd, GetCapture());
    {
        Rendering r(unk.get(), 400, 300);
        EXPECT_EQ(RGB(10, 36, 106), r.at(20, 5)) << "hot outline";
        EXPECT_EQ(RGB(10, 36, 106), r.at(62, 10));
        EXPECT_EQ(RGB(182, 189, 210), r.at(6, 8)) << "hot fill";
    }
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(200, 150));
    EXPECT_NE(hwnd, GetCapture());
    {
        Rendering r(unk.get(), 400, 300);
        EXPECT_EQ(kBar, r.at(6, 8));
    }
    // A click outside every item opens nothing (and returns at once).
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 150));
    EXPECT_EQ(kBarStateNormal, office->Bar().GetItem(0)->GetState());
}

TEST_F(ControlTest, TheFileMenuIsEnabledByTheDocumentAndServerMenusGoToTheServer) {
    TestContainer host;
    com_ptr<IUnknown> unk;
    CTestOffice* office = NewControl(unk);
    ASSERT_EQ(S_OK, host.Host(unk.get()));
    HWND hwnd = ControlWindow(unk.get());
    TestContainer::Pump();
    HMENU file = office->Bar().GetItemMenu(0);
    ASSERT_TRUE(IsMenu(file));

    auto enabled = [&](UINT id) { return !(GetMenuState(file, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)); };
    SendMessageW(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    EXPECT_TRUE(enabled(40001));
    EXPECT_TRUE(enabled(40002));
    for (UINT id = 40003; id <= 40009; ++id) EXPECT_FALSE(enabled(id)) << id;

    g_serverSeen.clear();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ServerWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VellixTestServerWindow";
    RegisterClassW(&wc);
    HWND server = CreateWindowW(wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);

    CFakeDocObject* site = new CFakeDocObject;
    HMENU shared = CreateMenu();
    HMENU edit = CreatePopupMenu();
    AppendMenuW(edit, MF_STRING, 123, L"Undo");
    AppendMenuW(shared, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), L"&Edit");
    AppendMenuW(shared, MF_STRING, 124, L"&Go");
    site->hActiveMenu = shared;
    site->hwndMenu = server;
    office->SetSite(site);

    SendMessageW(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    for (UINT id = 40001; id <= 40009; ++id) EXPECT_TRUE(enabled(id)) << id;

    // The relayout puts the server's menus after File.
    SendMessageW(hwnd, WM_MENUBARLAYOUT, 0, 0);
    ASSERT_EQ(3, office->Bar().GetItemCount());
    file = office->Bar().GetItemMenu(0);
    EXPECT_EQ(edit, office->Bar().GetItemMenu(1));
    EXPECT_EQ((RECT{63, 5, 123, 22}), office->Bar().GetItem(1)->GetRect());

    SendMessageW(hwnd, WM_COMMAND, 123, 0);  // posted on
    SendMessageW(hwnd, WM_INITMENU, reinterpret_cast<WPARAM>(shared), 0);  // sent on
    EXPECT_EQ((std::vector<UINT>{WM_INITMENU}), g_serverSeen);
    TestContainer::Pump();
    EXPECT_EQ((std::vector<UINT>{WM_INITMENU, 123}), g_serverSeen);

    // Close from the File menu: back to the File item alone.
    SendMessageW(hwnd, WM_COMMAND, 40003, 0);
    EXPECT_EQ(1, site->closes);
    EXPECT_EQ(1, office->Bar().GetItemCount());
    EXPECT_TRUE(IsMenu(edit)) << "the server's menu is never destroyed by the bar";

    site->Release();
    DestroyMenu(shared);
    DestroyWindow(server);
}

TEST_F(ControlTest, ShowMenuBarTogglesOnlyWithADocument) {
    TestContainer host;
    com_ptr<IUnknown> unk;
    CTestOffice* office = NewControl(unk);
    ASSERT_EQ(S_OK, host.Host(unk.get()));
    com_ptr<IOffice> api;
    unk.query(api.put());

    ASSERT_EQ(S_OK, api->ShowMenuBar());
    EXPECT_TRUE(office->Bar().IsShown());

    CFakeDocObject* site = new CFakeDocObject;
    office->SetSite(site);
    ASSERT_EQ(S_OK, api->ShowMenuBar());
    EXPECT_FALSE(office->Bar().IsShown());
    ASSERT_FALSE(site->sizeChanges.empty());
    EXPECT_EQ((RECT{4, 3, 396, 296}), site->sizeChanges.back()) << "the document moves up 21 pixels at once";
    ASSERT_EQ(S_OK, api->ShowMenuBar());
    EXPECT_TRUE(office->Bar().IsShown());
    EXPECT_EQ((RECT{4, 24, 396, 296}), site->sizeChanges.back());
    office->SetSite(nullptr);
    site->Release();
}

TEST_F(ControlTest, ClicksAndTheFrameTellTheActiveControlAndItsDocument) {
    TestContainer host(800, 300);
    com_ptr<IUnknown> unk1, unk2;
    CTestOffice* first = NewControl(unk1);
    CTestOffice* second = NewControl(unk2);
    ASSERT_EQ(S_OK, host.Host(unk1.get()));
    com_ptr<IOleObject> obj2;
    unk2.query(obj2.put());
    com_ptr<IOleClientSite> site1;
    // Reuse the first container's site: both controls live in one frame.
    com_ptr<IOleObject> obj1;
    unk1.query(obj1.put());
    ASSERT_EQ(S_OK, obj1->GetClientSite(site1.put()));
    ASSERT_EQ(S_OK, obj2->SetClientSite(site1.get()));
    HWND h1 = ControlWindow(unk1.get()), h2 = ControlWindow(unk2.get());
    ASSERT_EQ(GetParent(h1), GetParent(h2));

    CFakeDocObject* d1 = new CFakeDocObject;
    CFakeDocObject* d2 = new CFakeDocObject;
    HWND doc2 = CreateWindowW(L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, h2, nullptr, nullptr, nullptr);
    d2->hwndDoc = doc2;
    first->SetSite(d1);
    second->SetSite(d2);

    // The last control attached is the active one.
    EXPECT_TRUE(second->Activated());
    EXPECT_FALSE(first->Activated());

    // A click in it: no change of activity, the document hears the
    // application is active.
    SendMessageW(h2, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
    EXPECT_TRUE(second->Activated());
    EXPECT_EQ((std::vector<VARIANT_BOOL>{VARIANT_TRUE}), d2->appActivations);
    EXPECT_TRUE(d1->appActivations.empty()) << "the first was never active";

    // Application deactivation goes to the active control only.
    SendMessageW(host.frame(), WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_EQ(VARIANT_FALSE, d2->appActivations.back());
    EXPECT_TRUE(d1->appActivations.empty());

    // A click in the first's document window (WM_PARENTNOTIFY).
    d2->appActivations.clear();
    SendMessageW(h1, WM_PARENTNOTIFY, MAKEWPARAM(WM_LBUTTONDOWN, 0), MAKELPARAM(5, 5));
    EXPECT_EQ((std::vector<VARIANT_BOOL>{VARIANT_FALSE}), d2->appActivations);
    EXPECT_FALSE(second->Activated());
    EXPECT_TRUE(first->Activated());
    EXPECT_EQ((std::vector<VARIANT_BOOL>{VARIANT_TRUE, VARIANT_TRUE}), d1->appActivations);
    // Back to the second: it shows its document window again.
    ShowWindow(doc2, SW_HIDE);
    SendMessageW(h2, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
    EXPECT_TRUE(GetWindowLongW(doc2, GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(first->Activated());
    SendMessageW(h1, WM_PARENTNOTIFY, MAKEWPARAM(WM_LBUTTONDOWN, 0), MAKELPARAM(5, 5));
    // Other notifications do nothing.
    size_t before = d1->appActivations.size();
    SendMessageW(h1, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, 0), 0);
    EXPECT_EQ(before, d1->appActivations.size());

    // EnableWindow disables and enables the control's window.
    com_ptr<IOffice> api;
    unk1.query(api.put());
    EXPECT_EQ(S_OK, api->EnableWindow(VARIANT_FALSE));
    EXPECT_FALSE(IsWindowEnabled(h1));
    EXPECT_EQ(S_OK, api->EnableWindow(VARIANT_TRUE));
    EXPECT_TRUE(IsWindowEnabled(h1));

    first->SetSite(nullptr);
    second->SetSite(nullptr);
    d1->Release();
    d2->Release();
    obj2->Close(OLECLOSE_NOSAVE);
    obj2->SetClientSite(nullptr);
    // Destroying the windows detaches both; the frame is unhooked.
    com_ptr<IOleInPlaceObject> ipo;
    unk2.query(ipo.put());
    DestroyWindow(h2);
    EXPECT_TRUE(GetPropW(host.frame(), L"FrameWndHook") != nullptr);
    DestroyWindow(h1);
    EXPECT_TRUE(GetPropW(host.frame(), L"FrameWndHook") == nullptr);
}

TEST_F(ControlTest, ClosingTheContainerReleasesWindowClassMenusAndFonts) {
    HMENU file = nullptr;
    wchar_t cls[64] = {};
    LONG locks = fw::g_module.GetLockCount();
    {
        TestContainer host;
        com_ptr<IUnknown> unk;
        CTestOffice* office = NewControl(unk);
        ASSERT_EQ(S_OK, host.Host(unk.get()));
        CFakeDocObject* site = new CFakeDocObject;
        office->SetSite(site);
        file = office->Bar().GetItemMenu(0);
        GetClassNameW(ControlWindow(unk.get()), cls, 64);
        // SetClientSite(NULL) closes the document first.
        com_ptr<IOleObject> obj;
        unk.query(obj.put());
        obj->SetClientSite(nullptr);
        EXPECT_EQ(1, site->closes);
        EXPECT_EQ(1u, site->refs()) << "the control let go of its site";
        site->Release();
        host.Release();
    }
    EXPECT_EQ(locks, fw::g_module.GetLockCount());
    EXPECT_FALSE(IsMenu(file));
    WNDCLASSEXW wc = {sizeof(wc)};
    EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), cls, &wc)) << "class unregistered with its last window";
}

}  // namespace
