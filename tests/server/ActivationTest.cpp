// In-place activation in a container of the test's own: the view in a rich
// edit showing the text, the shared menu and its commands, deactivation,
// verbs, the running state and the object count.
#include <richedit.h>

#include "PadTestSupport.h"
#include "TestContainer.h"

using namespace padtest;
using namespace vellixpad;

namespace {

const std::wstring kText = L"你好, VellixPad";

class PadActivation : public PadTest {
protected:
    // A document with the text, embedded in the container and activated by
    // the verb.
    HRESULT Embed(CTestContainer* pContainer, LONG iVerb, const std::wstring& text = kText) {
        m_obj = NewDocument(text);
        if (!m_obj) return E_FAIL;
        m_obj->SetClientSite(pContainer);
        RECT rc = pContainer->ClientRect();
        return m_obj->DoVerb(iVerb, nullptr, pContainer, -1, pContainer->hwnd(), &rc);
    }
    HWND InPlaceWindow() {
        HWND hwnd = nullptr;
        m_obj.query<IOleInPlaceObject>()->GetWindow(&hwnd);
        return hwnd;
    }
    void CloseDocument(CTestContainer* pContainer) {
        m_obj->Close(OLECLOSE_NOSAVE);
        m_obj->SetClientSite(nullptr);
        pContainer->Disconnect();
    }

    fw::com_ptr<IOleObject> m_obj;
};

TEST_F(PadActivation, DocumentSiteGetsTheViewShownInARichEditWithTheText) {
    fw::com_ptr<CTestContainer> container = CTestContainer::Create();
    ASSERT_EQ(S_OK, Embed(container.get(), OLEIVERB_INPLACEACTIVATE));
    EXPECT_EQ(1, container->nActivateMe);
    EXPECT_EQ(1, container->nOnInPlaceActivate);
    EXPECT_EQ(1, container->nOnUIActivate);
    ASSERT_TRUE(container->spView);
    EXPECT_TRUE(container->spActiveObject);

    HWND hwndView = InPlaceWindow();
    ASSERT_TRUE(IsWindow(hwndView));
    EXPECT_EQ(container->hwnd(), GetParent(hwndView));
    HWND hwndEdit = FindEditWindow(container->hwnd());
    ASSERT_TRUE(hwndEdit);
    EXPECT_EQ(hwndView, GetParent(hwndEdit));
    EXPECT_EQ(RICHEDIT_CLASSW, ClassName(hwndEdit));
    EXPECT_TRUE(IsWindowVisible(hwndEdit));
    EXPECT_EQ(kText, WindowText(hwndEdit));
    EXPECT_EQ(hwndEdit, GetFocus());
    RECT rcEdit = {}, rcClient = container->ClientRect();
    GetClientRect(hwndEdit, &rcEdit);
    EXPECT_LE(rcClient.right - 30, rcEdit.right);  // less the scroll bar
    EXPECT_EQ(rcClient.bottom, rcEdit.bottom);

    // Resizing through the view moves the window.
    RECT rcSmall = {10, 20, 210, 120};
    EXPECT_EQ(S_OK, container->spView->SetRect(&rcSmall));
    RECT rcView = {};
    GetWindowRect(hwndView, &rcView);
    MapWindowPoints(nullptr, container->hwnd(), reinterpret_cast<POINT*>(&rcView), 2);
    EXPECT_EQ(10, rcView.left);
    EXPECT_EQ(120, rcView.bottom);

    // A frame that changed size tells the active object, which renegotiates
    // its border space; the container then sizes the view anew.
    int nBefore = container->nSetBorderSpace;
    MoveWindow(container->hwnd(), 0, 0, 400, 300, TRUE);
    rcClient = container->ClientRect();
    EXPECT_EQ(S_OK, container->spActiveObject->ResizeBorder(&rcClient, nullptr, TRUE));
    EXPECT_EQ(nBefore + 1, container->nSetBorderSpace);
    GetClientRect(hwndView, &rcView);
    EXPECT_EQ(rcClient.right, rcView.right);
    EXPECT_EQ(rcClient.bottom, rcView.bottom);

    CloseDocument(container.get());
    EXPECT_FALSE(IsWindow(hwndView));
    EXPECT_EQ(1, container->nOnInPlaceDeactivate);
}

TEST_F(PadActivation, SharedMenuIsNegotiatedAndItsCommandsWork) {
    fw::com_ptr<CTestContainer> container = CTestContainer::Create();
    ASSERT_EQ(S_OK, Embed(container.get(), OLEIVERB_SHOW, L"make me loud"));
    EXPECT_EQ(1, container->nInsertMenus);
    EXPECT_EQ(1, container->nSetMenu);
    ASSERT_TRUE(container->hmenuShared);
    EXPECT_TRUE(container->holemenu);
    EXPECT_EQ(InPlaceWindow(), container->hwndMenuObj);
    HMENU hmenuShared = container->hmenuShared;
    EXPECT_EQ((std::vector<std::wstring>{L"文件(&F)", L"编辑(&E)", L"格式(&O)"}), TopLevelMenuTexts(hmenuShared));
    HMENU hmenuEdit = GetSubMenu(hmenuShared, 1);
    HMENU hmenuFormat = GetSubMenu(hmenuShared, 2);
    EXPECT_EQ(kCmdSelectAll, GetMenuItemID(hmenuEdit, 7));
    EXPECT_EQ(MF_CHECKED, GetMenuState(hmenuFormat, kCmdWordWrap, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(MF_GRAYED, GetMenuState(hmenuFormat, kCmdClosePreview, MF_BYCOMMAND) & MF_GRAYED);

    // Commands posted to the window named with the menu, as a menu bar does.
    SetSaved(m_obj.get(), true);
    PostMessageW(container->hwndMenuObj, WM_COMMAND, kCmdSelectAll, 0);
    PostMessageW(container->hwndMenuObj, WM_COMMAND, kCmdUpperCase, 0);
    EXPECT_TRUE(PumpUntil([&] { return Text(m_obj.get()) == L"MAKE ME LOUD"; }));
    EXPECT_FALSE(Saved(m_obj.get()));
    PostMessageW(container->hwndMenuObj, WM_COMMAND, kCmdLowerCase, 0);
    PostMessageW(container->hwndMenuObj, WM_COMMAND, kCmdWordWrap, 0);
    EXPECT_TRUE(PumpUntil([&] { return Text(m_obj.get()) == L"make me loud"; }));
    EXPECT_EQ(0u, GetMenuState(hmenuFormat, kCmdWordWrap, MF_BYCOMMAND) & MF_CHECKED);
    PostMessageW(container->hwndMenuObj, WM_COMMAND, kCmdDelete, 0);
    EXPECT_TRUE(PumpUntil([&] { return Text(m_obj.get()).empty(); }));

    // UI deactivation hands the menu back: the container's File menu was
    // taken out by RemoveMenus and survives, our popups live on for the next
    // activation, the shared bar is gone.
    ASSERT_EQ(S_OK, container->spView->UIActivate(FALSE));
    EXPECT_EQ(1, container->nOnUIDeactivate);
    EXPECT_EQ(1, container->nRemoveMenus);
    EXPECT_FALSE(container->hmenuShared);
    EXPECT_FALSE(container->spActiveObject);
    EXPECT_FALSE(IsMenu(hmenuShared));
    EXPECT_TRUE(IsMenu(container->FileMenu()));
    EXPECT_TRUE(IsMenu(hmenuEdit));
    EXPECT_TRUE(IsWindow(InPlaceWindow()));

    ASSERT_EQ(S_OK, container->spView->UIActivate(TRUE));
    EXPECT_EQ(2, container->nSetMenu);
    EXPECT_EQ(hmenuEdit, GetSubMenu(container->hmenuShared, 1));
    CloseDocument(container.get());
    m_obj.reset();
    EXPECT_FALSE(IsMenu(hmenuEdit));
}

TEST_F(PadActivation, PlainInPlaceContainerWithoutDocumentSite) {
    fw::com_ptr<CTestContainer> container = CTestContainer::Create(false);
    ASSERT_EQ(S_OK, Embed(container.get(), OLEIVERB_INPLACEACTIVATE));
    EXPECT_EQ(0, container->nActivateMe);
    EXPECT_EQ(1, container->nOnInPlaceActivate);
    EXPECT_EQ(0, container->nOnUIActivate);
    EXPECT_EQ(0, container->nSetMenu);
    HWND hwndEdit = FindEditWindow(container->hwnd());
    ASSERT_TRUE(hwndEdit);
    EXPECT_EQ(kText, WindowText(hwndEdit));

    RECT rc = container->ClientRect();
    EXPECT_EQ(S_OK, m_obj->DoVerb(OLEIVERB_UIACTIVATE, nullptr, container.get(), -1, container->hwnd(), &rc));
    EXPECT_EQ(1, container->nOnUIActivate);
    EXPECT_EQ(1, container->nSetMenu);

    // Hidden: UI-deactivated and invisible, still in place.
    EXPECT_EQ(S_OK, m_obj->DoVerb(OLEIVERB_HIDE, nullptr, container.get(), -1, container->hwnd(), &rc));
    EXPECT_EQ(1, container->nOnUIDeactivate);
    EXPECT_FALSE(IsWindowVisible(hwndEdit));
    EXPECT_EQ(S_OK, m_obj.query<IOleInPlaceObject>()->InPlaceDeactivate());
    EXPECT_EQ(1, container->nOnInPlaceDeactivate);
    EXPECT_FALSE(IsWindow(hwndEdit));
    EXPECT_EQ(kText, Text(m_obj.get()));
    CloseDocument(container.get());
}

TEST_F(PadActivation, VerbsBeyondActivation) {
    fw::com_ptr<CTestContainer> container = CTestContainer::Create();
    m_obj = NewDocument(kText);
    m_obj->SetClientSite(container.get());
    RECT rc = container->ClientRect();
    EXPECT_EQ(E_NOTIMPL, m_obj->DoVerb(OLEIVERB_OPEN, nullptr, container.get(), -1, container->hwnd(), &rc));
    EXPECT_EQ(OLEOBJ_S_INVALIDVERB, m_obj->DoVerb(-42, nullptr, container.get(), -1, container->hwnd(), &rc));
    EXPECT_EQ(0, container->nActivateMe);
    // An unknown positive verb runs the primary one.
    EXPECT_EQ(OLEOBJ_S_INVALIDVERB, m_obj->DoVerb(7, nullptr, container.get(), -1, container->hwnd(), &rc));
    EXPECT_EQ(1, container->nActivateMe);
    EXPECT_EQ(S_OK, m_obj->DoVerb(OLEIVERB_PRIMARY, nullptr, container.get(), -1, container->hwnd(), &rc));
    EXPECT_EQ(2, container->nActivateMe);
    EXPECT_EQ(1, container->nOnInPlaceActivate);
    EXPECT_EQ(4u, fixture::Trace(kTraceDoVerb));
    EXPECT_EQ(static_cast<DWORD>(OLEIVERB_PRIMARY), fixture::Trace(kTraceLastVerb));
    CloseDocument(container.get());
}

TEST_F(PadActivation, ViewStateCarriesSelectionAndWordWrap) {
    fw::com_ptr<CTestContainer> container = CTestContainer::Create();
    ASSERT_EQ(S_OK, Embed(container.get(), OLEIVERB_SHOW, L"0123456789"));
    HWND hwndEdit = FindEditWindow(container->hwnd());
    SendMessageW(hwndEdit, EM_SETSEL, 2, 5);
    PostMessageW(container->hwndMenuObj, WM_COMMAND, kCmdWordWrap, 0);
    PumpPending();
    fw::com_ptr<IStream> stm;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stm.put()));
    ASSERT_EQ(S_OK, container->spView->SaveViewState(stm.get()));
    CloseDocument(container.get());

    fw::com_ptr<CTestContainer> second = CTestContainer::Create();
    ASSERT_EQ(S_OK, Embed(second.get(), OLEIVERB_SHOW, L"0123456789"));
    LARGE_INTEGER zero = {};
    stm->Seek(zero, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(S_OK, second->spView->ApplyViewState(stm.get()));
    hwndEdit = FindEditWindow(second->hwnd());
    CHARRANGE cr = {};
    SendMessageW(hwndEdit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&cr));
    EXPECT_EQ(2, cr.cpMin);
    EXPECT_EQ(5, cr.cpMax);
    EXPECT_EQ(0u, GetMenuState(GetSubMenu(second->hmenuShared, 2), kCmdWordWrap, MF_BYCOMMAND) & MF_CHECKED);
    CloseDocument(second.get());
}

TEST_F(PadActivation, CloseDeactivatesAndSavesThroughTheSiteOnlyWhenAskedAndDirty) {
    fw::com_ptr<CTestContainer> container = CTestContainer::Create();
    ASSERT_EQ(S_OK, Embed(container.get(), OLEIVERB_SHOW));
    HWND hwndView = InPlaceWindow();
    EXPECT_EQ(S_OK, m_obj->Close(OLECLOSE_NOSAVE));
    EXPECT_FALSE(IsWindow(hwndView));
    EXPECT_EQ(1, container->nOnInPlaceDeactivate);
    EXPECT_EQ(0, container->nSaveObject);
    // A new document is dirty until saved.
    EXPECT_EQ(S_OK, m_obj->Close(OLECLOSE_SAVEIFDIRTY));
    EXPECT_EQ(1, container->nSaveObject);
    SetSaved(m_obj.get(), true);
    EXPECT_EQ(S_OK, m_obj->Close(OLECLOSE_PROMPTSAVE));
    EXPECT_EQ(1, container->nSaveObject);
    CloseDocument(container.get());
}

TEST_F(PadActivation, RunningLockAndObjectCount) {
    LONG nBefore = fixture::LiveObjects();
    fw::com_ptr<CTestContainer> container = CTestContainer::Create();
    m_obj = NewDocument(L"");
    EXPECT_EQ(nBefore + 1, fixture::LiveObjects());
    m_obj->SetClientSite(container.get());
    fw::com_ptr<IRunnableObject> run = m_obj.query<IRunnableObject>();
    EXPECT_FALSE(run->IsRunning());
    EXPECT_EQ(S_OK, run->Run(nullptr));
    EXPECT_TRUE(run->IsRunning());
    EXPECT_EQ(S_OK, run->LockRunning(TRUE, TRUE));
    EXPECT_EQ(S_OK, run->LockRunning(TRUE, TRUE));
    EXPECT_EQ(S_OK, run->LockRunning(FALSE, TRUE));
    EXPECT_TRUE(run->IsRunning());
    // The last unlock closes the object, saving it through its site first.
    EXPECT_EQ(S_OK, run->LockRunning(FALSE, TRUE));
    EXPECT_FALSE(run->IsRunning());
    EXPECT_EQ(1, container->nSaveObject);
    EXPECT_EQ(E_UNEXPECTED, run->LockRunning(FALSE, TRUE));

    // Activated and closed the way a site does it, nothing keeps it alive.
    RECT rc = container->ClientRect();
    ASSERT_EQ(S_OK, m_obj->DoVerb(OLEIVERB_SHOW, nullptr, container.get(), -1, container->hwnd(), &rc));
    container->spView->UIActivate(FALSE);
    container->spView->Show(FALSE);
    container->spView->CloseView(0);
    container->spView->SetInPlaceSite(nullptr);
    CloseDocument(container.get());
    run.reset();
    m_obj.reset();
    EXPECT_EQ(nBefore, fixture::LiveObjects());
    EXPECT_EQ(1u, RefCount(static_cast<IOleClientSite*>(container.get())));
}

}  // namespace
