// Each test switch makes a new document object misbehave as it says, and
// only objects created while it is set.
#include "PadTestSupport.h"
#include "TestContainer.h"

using namespace padtest;
using namespace vellixpad;
using fixture::Trace;

namespace {

class PadSwitches : public PadTest {};

template <class Itf>
bool Has(IUnknown* punk) {
    fw::com_ptr<Itf> sp;
    return SUCCEEDED(punk->QueryInterface(__uuidof(Itf), sp.put_void()));
}

TEST_F(PadSwitches, InterfacesCanBeWithheld) {
    fw::com_ptr<IOleObject> plain = CreatePad();
    EXPECT_TRUE(Has<IPersistMoniker>(plain.get()));
    EXPECT_TRUE(Has<IPersistFile>(plain.get()));
    EXPECT_TRUE(Has<IDocPreviewServer>(plain.get()));

    ScopedSwitches switches;
    switches.On(kNoPersistMoniker).On(kNoPersistFile).On(kNoPreview);
    fw::com_ptr<IOleObject> lacking = CreatePad();
    EXPECT_FALSE(Has<IPersistMoniker>(lacking.get()));
    EXPECT_FALSE(Has<IPersistFile>(lacking.get()));
    EXPECT_FALSE(Has<IDocPreviewServer>(lacking.get()));
    for (bool has : {Has<IPersistStorage>(lacking.get()), Has<IOleDocument>(lacking.get()),
                     Has<IOleCommandTarget>(lacking.get()), Has<IDispatch>(lacking.get())})
        EXPECT_TRUE(has);
    // Switches are read at creation: the earlier object is unchanged.
    EXPECT_TRUE(Has<IPersistFile>(plain.get()));
}

TEST_F(PadSwitches, EachSaveWayFailsWithTheChosenCode) {
    testsupport::TempDir dir(L"vxpad");
    ScopedSwitches switches;
    switches.On(kFailStorageSave).Set(kFailFileSave, static_cast<DWORD>(E_ACCESSDENIED)).On(kFailMonikerSave);
    fw::com_ptr<IStorage> stg;
    fw::com_ptr<IOleObject> obj = NewDocument(L"unsaved", &stg);
    EXPECT_EQ(E_FAIL, obj.query<IPersistStorage>()->Save(stg.get(), TRUE));
    EXPECT_EQ(S_OK, obj.query<IPersistStorage>()->IsDirty());

    const std::wstring path = dir.file(L"never.vxp");
    EXPECT_EQ(E_ACCESSDENIED, obj.query<IPersistFile>()->Save(path.c_str(), TRUE));
    fw::com_ptr<IMoniker> mk;
    ASSERT_EQ(S_OK, CreateFileMoniker(path.c_str(), mk.put()));
    EXPECT_EQ(E_FAIL, obj.query<IPersistMoniker>()->Save(mk.get(), nullptr, FALSE));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
    EXPECT_EQ(1u, Trace(kTraceSaveStorage));
    EXPECT_EQ(1u, Trace(kTraceSaveFile));
    EXPECT_EQ(1u, Trace(kTraceSaveMoniker));
}

TEST_F(PadSwitches, DoVerbRejectsTheFirstCallsOrFailsWithAnotherCode) {
    fw::com_ptr<CTestContainer> container = CTestContainer::Create();
    RECT rc = container->ClientRect();
    {
        ScopedSwitches switches;
        switches.Set(kDoVerbFailCount, 3);
        fw::com_ptr<IOleObject> obj = NewDocument(L"");
        obj->SetClientSite(container.get());
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(RPC_E_CALL_REJECTED,
                      obj->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, container.get(), -1, container->hwnd(), &rc));
        EXPECT_EQ(0, container->nActivateMe);
        EXPECT_EQ(S_OK, obj->DoVerb(OLEIVERB_SHOW, nullptr, container.get(), -1, container->hwnd(), &rc));
        EXPECT_EQ(1, container->nActivateMe);
        EXPECT_EQ(4u, Trace(kTraceDoVerb));
        EXPECT_EQ(static_cast<DWORD>(OLEIVERB_SHOW), Trace(kTraceLastVerb));
        obj->Close(OLECLOSE_NOSAVE);
        obj->SetClientSite(nullptr);
        container->Disconnect();
    }
    {
        ScopedSwitches switches;
        switches.Set(kDoVerbFailCount, 0xFFFFFFFF).Set(kDoVerbFailCode, 1);
        fw::com_ptr<IOleObject> obj = NewDocument(L"");
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(E_FAIL, obj->DoVerb(OLEIVERB_SHOW, nullptr, container.get(), -1, container->hwnd(), &rc));
        EXPECT_EQ(16u, Trace(kTraceDoVerb));
    }
}

TEST_F(PadSwitches, ClientSiteFirstIsAskedForInMiscStatus) {
    fw::com_ptr<CTestContainer> container = CTestContainer::Create();
    DWORD dwStatus = 0;
    fw::com_ptr<IOleObject> plain = CreatePad();
    EXPECT_EQ(S_OK, plain->GetMiscStatus(DVASPECT_CONTENT, &dwStatus));
    EXPECT_EQ(0u, dwStatus & OLEMISC_SETCLIENTSITEFIRST);

    ScopedSwitches switches;
    switches.On(kClientSiteFirst);
    fw::com_ptr<IOleObject> obj = CreatePad();
    EXPECT_EQ(S_OK, obj->GetMiscStatus(DVASPECT_CONTENT, &dwStatus));
    EXPECT_EQ(static_cast<DWORD>(OLEMISC_SETCLIENTSITEFIRST), dwStatus & OLEMISC_SETCLIENTSITEFIRST);
    // The trace tells a container's test whether it obeyed.
    obj->SetClientSite(container.get());
    ASSERT_EQ(S_OK, obj.query<IPersistStorage>()->InitNew(NewMemoryStorage().get()));
    EXPECT_EQ(1u, Trace(kTraceSiteBeforeInit));
    ASSERT_EQ(S_OK, plain.query<IPersistStorage>()->InitNew(NewMemoryStorage().get()));
    EXPECT_EQ(0u, Trace(kTraceSiteBeforeInit));
    obj->SetClientSite(nullptr);

    // Host names are traced as well.
    EXPECT_EQ(S_OK, obj->SetHostNames(L"Vellix控件站点", L"对象"));
    EXPECT_EQ(L"Vellix控件站点", fixture::TraceString(kTraceContainerApp));
    EXPECT_EQ(L"对象", fixture::TraceString(kTraceContainerObj));
}

TEST_F(PadSwitches, CommandsCanBeDisabledOrCancelled) {
    ScopedSwitches switches;
    switches.DisableCommands({OLECMDID_PRINT, OLECMDID_PROPERTIES}).On(kCancelPrompt);
    fw::com_ptr<IOleCommandTarget> ct = NewDocument(L"").query<IOleCommandTarget>();
    OLECMD cmds[] = {{OLECMDID_PRINT, 0}, {OLECMDID_PROPERTIES, 0}, {OLECMDID_PAGESETUP, 0}};
    ASSERT_EQ(S_OK, ct->QueryStatus(nullptr, 3, cmds, nullptr));
    EXPECT_EQ(static_cast<DWORD>(OLECMDF_SUPPORTED), cmds[0].cmdf);
    EXPECT_EQ(static_cast<DWORD>(OLECMDF_SUPPORTED), cmds[1].cmdf);
    EXPECT_EQ(static_cast<DWORD>(OLECMDF_SUPPORTED | OLECMDF_ENABLED), cmds[2].cmdf);
    EXPECT_EQ(OLECMDERR_E_DISABLED, ct->Exec(nullptr, OLECMDID_PRINT, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr));
    EXPECT_EQ(0u, fixture::TraceExec(OLECMDID_PRINT));

    // The user "cancels" the dialog of a prompted command only.
    EXPECT_EQ(OLECMDERR_E_CANCELED,
              ct->Exec(nullptr, OLECMDID_PAGESETUP, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr));
    EXPECT_EQ(0u, fixture::TraceExec(OLECMDID_PAGESETUP));
    EXPECT_EQ(S_OK, ct->Exec(nullptr, OLECMDID_PAGESETUP, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, nullptr));
    EXPECT_EQ(1u, fixture::TraceExec(OLECMDID_PAGESETUP));
}

TEST_F(PadSwitches, SavedPropertyCanBeMissingFromLateBinding) {
    ScopedSwitches switches;
    switches.On(kNoSavedProperty);
    fw::com_ptr<IOleObject> obj = NewDocument(L"still here");
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, DispId(obj.get(), L"Saved", &id));
    EXPECT_EQ(DISPID_UNKNOWN, id);
    fw::com_ptr<IDispatch> disp = obj.query<IDispatch>();
    DISPPARAMS none = {};
    fw::unique_variant result;
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              disp->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result.put(), nullptr,
                           nullptr));
    EXPECT_EQ(L"still here", Text(obj.get()));
}

TEST_F(PadSwitches, FaultInPreviewEndBringsDownAnUnguardedCaller) {
    const std::wstring probe = testsupport::ExeDir() + L"\\PadFaultProbe.exe";
    std::string out;
    EXPECT_EQ(0, testsupport::RunProcess(L"\"" + probe + L"\"", &out)) << out;
    ScopedSwitches switches;
    switches.On(kFaultInPreviewEnd);
    EXPECT_EQ(static_cast<int>(EXCEPTION_ACCESS_VIOLATION), testsupport::RunProcess(L"\"" + probe + L"\"", &out))
        << out;
}

}  // namespace
