// The document's command target and its print preview.
#include <richedit.h>

#include "PadTestSupport.h"
#include "TestContainer.h"

using namespace padtest;
using namespace vellixpad;
using fixture::Trace;
using fixture::TraceExec;

namespace {

DWORD Status(IOleCommandTarget* pct, ULONG nCmdId) {
    OLECMD cmd = {nCmdId, 0};
    EXPECT_EQ(S_OK, pct->QueryStatus(nullptr, 1, &cmd, nullptr));
    return cmd.cmdf;
}

const DWORD kEnabled = OLECMDF_SUPPORTED | OLECMDF_ENABLED;

class PadCommands : public PadTest {
protected:
    void Activate(const std::wstring& text) {
        m_container = CTestContainer::Create();
        m_obj = NewDocument(text);
        ASSERT_TRUE(m_obj);
        m_obj->SetClientSite(m_container.get());
        RECT rc = m_container->ClientRect();
        ASSERT_EQ(S_OK, m_obj->DoVerb(OLEIVERB_SHOW, nullptr, m_container.get(), -1, m_container->hwnd(), &rc));
        m_hwndEdit = FindEditWindow(m_container->hwnd());
        ASSERT_TRUE(m_hwndEdit);
    }
    void TearDown() override {
        if (m_obj) {
            m_obj->Close(OLECLOSE_NOSAVE);
            m_obj->SetClientSite(nullptr);
        }
        if (m_container) m_container->Disconnect();
        PadTest::TearDown();
    }

    fw::com_ptr<CTestContainer> m_container;
    fw::com_ptr<IOleObject> m_obj;
    HWND m_hwndEdit = nullptr;
};

TEST_F(PadCommands, StatusOfDocumentAndEditingCommands) {
    fw::com_ptr<IOleCommandTarget> ct = NewDocument(L"x").query<IOleCommandTarget>();
    ASSERT_TRUE(ct);
    for (ULONG id : {OLECMDID_SAVE, OLECMDID_PRINT, OLECMDID_PRINTPREVIEW, OLECMDID_PAGESETUP, OLECMDID_PROPERTIES})
        EXPECT_EQ(kEnabled, Status(ct.get(), id)) << id;
    for (ULONG id : {OLECMDID_OPEN, OLECMDID_NEW, OLECMDID_SAVEAS, OLECMDID_SAVECOPYAS, OLECMDID_SPELL})
        EXPECT_EQ(0u, Status(ct.get(), id)) << id;
    // Editing needs the view in place.
    EXPECT_EQ(static_cast<DWORD>(OLECMDF_SUPPORTED), Status(ct.get(), OLECMDID_SELECTALL));

    OLECMD cmds[] = {{OLECMDID_PRINT, 0}, {OLECMDID_SPELL, 0}};
    EXPECT_EQ(S_OK, ct->QueryStatus(&GUID_NULL, 2, cmds, nullptr));
    EXPECT_EQ(kEnabled, cmds[0].cmdf);
    EXPECT_EQ(0u, cmds[1].cmdf);
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, ct->QueryStatus(&CLSID_Document, 1, cmds, nullptr));
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, ct->Exec(&CLSID_Document, OLECMDID_PRINT, 0, nullptr, nullptr));
}

TEST_F(PadCommands, ExecRunsTheDocumentCommandsAndRecordsThem) {
    Activate(L"print me");
    fw::com_ptr<IOleCommandTarget> ct = m_obj.query<IOleCommandTarget>();
    EXPECT_EQ(S_OK, ct->Exec(nullptr, OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr));
    EXPECT_EQ(S_OK, ct->Exec(nullptr, OLECMDID_PAGESETUP, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr));
    EXPECT_EQ(S_OK, ct->Exec(&GUID_NULL, OLECMDID_PROPERTIES, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr));
    EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED, ct->Exec(nullptr, OLECMDID_SPELL, 0, nullptr, nullptr));
    EXPECT_EQ(OLECMDERR_E_NOHELP, ct->Exec(nullptr, OLECMDID_PRINT, OLECMDEXECOPT_SHOWHELP, nullptr, nullptr));
    EXPECT_EQ(1u, TraceExec(OLECMDID_PRINT));
    EXPECT_EQ(1u, TraceExec(OLECMDID_PAGESETUP));
    EXPECT_EQ(1u, TraceExec(OLECMDID_PROPERTIES));
    EXPECT_EQ(0u, TraceExec(OLECMDID_SPELL));

    // Embedded, saving asks the container.
    EXPECT_EQ(S_OK, ct->Exec(nullptr, OLECMDID_SAVE, 0, nullptr, nullptr));
    EXPECT_EQ(1, m_container->nSaveObject);

    // Editing commands act on the rich edit.
    EXPECT_EQ(kEnabled, Status(ct.get(), OLECMDID_CLEARSELECTION));
    EXPECT_EQ(S_OK, ct->Exec(nullptr, OLECMDID_SELECTALL, 0, nullptr, nullptr));
    EXPECT_EQ(S_OK, ct->Exec(nullptr, OLECMDID_CLEARSELECTION, 0, nullptr, nullptr));
    EXPECT_EQ(L"", WindowText(m_hwndEdit));
}

TEST_F(PadCommands, SaveWithoutContainerWritesTheDocumentsOwnFile) {
    testsupport::TempDir dir(L"vxpad");
    fw::com_ptr<IOleObject> obj = NewDocument(L"own file");
    fw::com_ptr<IOleCommandTarget> ct = obj.query<IOleCommandTarget>();
    EXPECT_EQ(STG_E_INVALIDNAME, ct->Exec(nullptr, OLECMDID_SAVE, 0, nullptr, nullptr));
    const std::wstring path = dir.file(L"own.txt");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "old"));
    fw::com_ptr<IPersistFile> pf = CreatePad<IPersistFile>();
    ASSERT_EQ(S_OK, pf->Load(path.c_str(), STGM_READWRITE));
    SetText(pf.get(), L"new");
    EXPECT_EQ(S_OK, pf.query<IOleCommandTarget>()->Exec(nullptr, OLECMDID_SAVE, 0, nullptr, nullptr));
    std::string bytes;
    ASSERT_TRUE(testsupport::ReadFileBytes(path, &bytes));
    EXPECT_EQ("\xEF\xBB\xBFnew", bytes);
    EXPECT_TRUE(Saved(pf.get()));
}

TEST_F(PadCommands, PreviewBeginsAndEndsAtTheContainersRequest) {
    Activate(L"preview me");
    fw::com_ptr<IDocPreviewServer> preview = m_obj.query<IDocPreviewServer>();
    ASSERT_TRUE(preview);
    fw::com_ptr<CPreviewCallback> callback(new CPreviewCallback);
    fw::com_ptr<IOleCommandTarget> ct = m_obj.query<IOleCommandTarget>();
    EXPECT_EQ(S_FALSE, preview->End(FALSE));

    EXPECT_EQ(S_OK, preview->QueryReady());
    ASSERT_EQ(S_OK, preview->Begin(7, nullptr, callback.get(), 1));
    EXPECT_EQ(E_UNEXPECTED, preview->Begin(7, nullptr, callback.get(), 1));
    EXPECT_TRUE(GetWindowLongW(m_hwndEdit, GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(kEnabled | OLECMDF_LATCHED, Status(ct.get(), OLECMDID_PRINTPREVIEW));
    fw::unique_variant inPreview;
    EXPECT_EQ(S_OK, Invoke(m_obj.get(), L"InPreview", DISPATCH_PROPERTYGET, nullptr, inPreview.put()));
    EXPECT_EQ(VARIANT_TRUE, inPreview->boolVal);
    EXPECT_EQ(2u, RefCount(callback.get()));

    // Editing is refused while previewing; the close command is offered.
    HMENU hmenuFormat = GetSubMenu(m_container->hmenuShared, 2);
    EXPECT_EQ(0u, GetMenuState(hmenuFormat, kCmdClosePreview, MF_BYCOMMAND) & MF_GRAYED);
    SendMessageW(m_container->hwndMenuObj, WM_COMMAND, kCmdSelectAll, 0);
    SendMessageW(m_container->hwndMenuObj, WM_COMMAND, kCmdUpperCase, 0);
    EXPECT_EQ(L"preview me", Text(m_obj.get()));
    EXPECT_EQ(static_cast<DWORD>(OLECMDF_SUPPORTED), Status(ct.get(), OLECMDID_CLEARSELECTION));

    EXPECT_EQ(S_OK, preview->End(TRUE));
    EXPECT_EQ(0, callback->nNotify);  // the container ended it: nothing to tell
    EXPECT_EQ(1u, RefCount(callback.get()));
    EXPECT_FALSE(GetWindowLongW(m_hwndEdit, GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(1u, Trace(kTracePreviewBegin));
    EXPECT_EQ(1u, Trace(kTracePreviewEnd));

    // The command target's own preview has no callback.
    EXPECT_EQ(S_OK, ct->Exec(nullptr, OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr));
    EXPECT_EQ(S_OK, preview->End(FALSE));
}

TEST_F(PadCommands, ClosingThePreviewInTheViewNotifiesTheContainer) {
    Activate(L"preview me");
    fw::com_ptr<IDocPreviewServer> preview = m_obj.query<IDocPreviewServer>();
    fw::com_ptr<CPreviewCallback> callback(new CPreviewCallback);
    ASSERT_EQ(S_OK, preview->Begin(7, nullptr, callback.get(), 1));
    PostMessageW(m_container->hwndMenuObj, WM_COMMAND, kCmdClosePreview, 0);
    EXPECT_TRUE(PumpUntil([&] { return callback->nNotify > 0; }));
    EXPECT_EQ(1, callback->nNotify);
    EXPECT_EQ(kPreviewNotifyClosed, callback->dwLastEvent);
    EXPECT_EQ(1u, RefCount(callback.get()));
    EXPECT_EQ(S_FALSE, preview->End(FALSE));

    // Escape in the view closes it too; a container that ends the preview
    // from the notification finds it still running.
    ASSERT_EQ(S_OK, preview->Begin(7, nullptr, callback.get(), 1));
    callback->spEndOnNotify = preview;
    SendMessageW(m_hwndEdit, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(PumpUntil([&] { return callback->nNotify > 1; }));
    EXPECT_EQ(S_OK, callback->hrEnd);
    EXPECT_EQ(1u, Trace(kTracePreviewEnd));
    EXPECT_EQ(S_FALSE, preview->End(FALSE));
}

}  // namespace
