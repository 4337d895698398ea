// The site object: its interface table, initialisation, creation of the
// document object with its storage and running lock, Close and the window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogTail.h"
#include "VellixPadFixture.h"
#include "SiteTestSupport.h"
#include "module/VellixIdl.h"
#include "platform/DocPreview.h"

using namespace sitetest;
using namespace testsupport;
using namespace vellixpad::fixture;

namespace {

// A class no server implements.
const CLSID CLSID_Unserved = {0x5a1e0c11, 0x7d1b, 0x4f6e, {0x9a, 0x3b, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};

class SiteObjectTest : public ::testing::Test {
protected:
    void SetUp() override { ResetTrace(); }
    void TearDown() override { ResetTrace(); }

    OleSession m_ole;
    ScopedSwitches m_pad;
    CControlWindow m_ctl;
};

// HKCR\CLSID\{from}\AutoConvertTo = {to} for the life of the object.
class CAutoConvertEntry {
public:
    CAutoConvertEntry(const CLSID& from, const CLSID& to) {
        wchar_t szFrom[40], szTo[40];
        StringFromGUID2(from, szFrom, 40);
        StringFromGUID2(to, szTo, 40);
        m_key = std::wstring(L"CLSID\\") + szFrom;
        fw::unique_hkey key;
        RegCreateKeyExW(HKEY_CLASSES_ROOT, (m_key + L"\\AutoConvertTo").c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, key.put(), nullptr);
        RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(szTo),
                       static_cast<DWORD>((lstrlenW(szTo) + 1) * sizeof(wchar_t)));
    }
    ~CAutoConvertEntry() { RegDeleteTreeW(HKEY_CLASSES_ROOT, m_key.c_str()); }

private:
    std::wstring m_key;
};

TEST_F(SiteObjectTest, AnswersItsEightInterfacesWithOneIdentityAndNothingElse) {
    Site site;
    ASSERT_TRUE(site.doc);
    com_ptr<IUnknown> identity;
    ASSERT_EQ(S_OK, site.doc->QueryInterface(IID_IUnknown, identity.put_void()));
    EXPECT_EQ(static_cast<IUnknown*>(site.doc.get()), identity.get()) << "IDocObject is the identity";

    const IID* answered[] = {
        &IID_IDocObject,       &IID_IDispatch,        &IID_IOleClientSite,  &IID_IOleCommandTarget,
        &IID_IOleDocumentSite, &IID_IOleInPlaceFrame, &IID_IOleInPlaceSite, &__uuidof(IDocPreviewCallback)};
    for (const IID* piid : answered) {
        com_ptr<IUnknown> itf, back;
        ASSERT_EQ(S_OK, site.doc->QueryInterface(*piid, itf.put_void()));
        ASSERT_EQ(S_OK, itf->QueryInterface(IID_IUnknown, back.put_void()));
        EXPECT_EQ(identity.get(), back.get());
    }
    // In particular not the base of the frame and the in-place site, which
    // would leave a caller guessing which of the two it got.
    const IID* refused[] = {&IID_IOleWindow,  &IID_IOleInPlaceUIWindow,    &IID_IOleContainer,
                            &IID_IOleObject,  &IID_IOleInPlaceSiteEx,      &IID_IServiceProvider,
                            &IID_IAdviseSink, &__uuidof(IDocPreviewServer)};
    for (const IID* piid : refused) {
        com_ptr<IUnknown> itf;
        EXPECT_EQ(E_NOINTERFACE, site.doc->QueryInterface(*piid, itf.put_void()));
    }
}

TEST_F(SiteObjectTest, InitializeNewInstanceChecksItsArgumentsClampsTheRectangleAndRunsOnce) {
    Site site;
    UINT hwnd = 0xdead;
    ASSERT_EQ(S_OK, site.doc->GetDocWindow(&hwnd));
    EXPECT_EQ(0u, hwnd) << "no window before initialisation";

    RECT rc = {10, 50, 210, 20};  // top below bottom
    VARIANT vrc = ByRefVariant(&rc);
    EXPECT_EQ(E_UNEXPECTED, site.doc->InitializeNewInstance(0, vrc, nullptr, nullptr));
    EXPECT_EQ(E_UNEXPECTED, site.doc->InitializeNewInstance(0x7ff0, vrc, nullptr, nullptr));
    VARIANT vbad;
    VariantInit(&vbad);
    V_VT(&vbad) = VT_I4;
    V_I4(&vbad) = 42;
    EXPECT_EQ(STG_E_INVALIDPARAMETER,
              site.doc->InitializeNewInstance(HandleToUint(m_ctl.hwnd()), vbad, nullptr, nullptr));

    ASSERT_EQ(S_OK, site.doc->InitializeNewInstance(HandleToUint(m_ctl.hwnd()), vrc, nullptr, nullptr));
    HWND hwndSite = site.window();
    ASSERT_TRUE(IsWindow(hwndSite));
    EXPECT_EQ(m_ctl.hwnd(), GetParent(hwndSite));
    wchar_t szClass[64] = {};
    GetClassNameW(hwndSite, szClass, 64);
    EXPECT_STREQ(L"VellixControl", szClass);
    EXPECT_EQ(WS_CHILD | WS_VISIBLE,
              GetWindowLongW(hwndSite, GWL_STYLE) & (WS_CHILD | WS_VISIBLE | WS_POPUP));
    RECT rcWnd = {};
    GetWindowRect(hwndSite, &rcWnd);
    MapWindowPoints(nullptr, m_ctl.hwnd(), reinterpret_cast<POINT*>(&rcWnd), 2);
    EXPECT_EQ(10, rcWnd.left);
    EXPECT_EQ(0, rcWnd.top);
    EXPECT_EQ(200, rcWnd.right - rcWnd.left);
    EXPECT_EQ(0, rcWnd.bottom - rcWnd.top);
    RECT rcPlace = site.PlaceRect();
    EXPECT_EQ(0, rcPlace.top);
    EXPECT_EQ(0, rcPlace.bottom);

    // A second call keeps the first window and storage.
    RECT rcOther = {0, 0, 100, 100};
    EXPECT_EQ(E_FAIL, site.Init(m_ctl.hwnd(), rcOther));
    EXPECT_EQ(hwndSite, site.window());

    // Left beyond right: both edges go to 0.
    Site other;
    ASSERT_EQ(S_OK, other.Init(m_ctl.hwnd(), {300, 10, 100, 60}));
    RECT rcOtherPlace = other.PlaceRect();
    EXPECT_EQ(0, rcOtherPlace.left);
    EXPECT_EQ(0, rcOtherPlace.right);
    EXPECT_EQ(10, rcOtherPlace.top);
    EXPECT_EQ(60, rcOtherPlace.bottom);
}

TEST_F(SiteObjectTest, ReportsItsHostNameOrItsOwnNameToTheServer) {
    CLSID clsid = vellixpad::CLSID_Document;
    {
        Site site;
        ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd(), {0, 0, 400, 300}, nullptr));
        ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsid)));
        EXPECT_EQ(L"Vellix控件站点", TraceString(vellixpad::kTraceContainerApp));
        EXPECT_EQ(L"Vellix控件站点", TraceString(vellixpad::kTraceContainerObj));
    }
    Site named;
    ASSERT_EQ(S_OK, named.Init(m_ctl.hwnd(), {0, 0, 400, 300}, L"网页宿主"));
    ASSERT_EQ(S_OK, named.doc->CreateDocObject(ByRefVariant(&clsid)));
    EXPECT_EQ(L"网页宿主", TraceString(vellixpad::kTraceContainerApp));
    EXPECT_EQ(L"网页宿主", TraceString(vellixpad::kTraceContainerObj));
}

TEST_F(SiteObjectTest, GetClsidPointsAtTheSitesOwnClassField) {
    Site site, other;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    VARIANT first, second, elsewhere;
    VariantInit(&first);
    VariantInit(&second);
    VariantInit(&elsewhere);
    ASSERT_EQ(S_OK, site.doc->GetClsid(&first));
    ASSERT_EQ(VT_BYREF | VT_UI1, V_VT(&first));
    const CLSID* pField = reinterpret_cast<const CLSID*>(V_UI1REF(&first));
    EXPECT_TRUE(IsEqualCLSID(GUID_NULL, *pField)) << "no document object yet";
    ASSERT_EQ(S_OK, site.doc->GetClsid(&second));
    EXPECT_EQ(V_UI1REF(&first), V_UI1REF(&second));
    ASSERT_EQ(S_OK, other.doc->GetClsid(&elsewhere));
    EXPECT_NE(V_UI1REF(&first), V_UI1REF(&elsewhere));

    // The pointer handed out earlier now reads the document's class.
    CLSID clsid = vellixpad::CLSID_Document;
    ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsid)));
    EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_Document, *pField));
}

TEST_F(SiteObjectTest, NewDocumentIsInitialisedSavedOnceAndHeldRunning) {
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    CLSID clsid = vellixpad::CLSID_Document;
    ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsid)));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceInitNew));
    EXPECT_EQ(0u, Trace(vellixpad::kTraceLoadStorage));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceSaveStorage))
        << "a new document is dirty and saved into its storage";
    VARIANT_BOOL bDirty = VARIANT_TRUE;
    ASSERT_EQ(S_OK, site.doc->IsStorageDirty(&bDirty));
    EXPECT_EQ(VARIANT_FALSE, bDirty);
    EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_Document, site.Clsid()));

    // A second document object is refused; the first stays.
    com_ptr<IDispatch> first = site.OleObject();
    ASSERT_TRUE(first);
    EXPECT_EQ(E_UNEXPECTED, site.doc->CreateDocObject(ByRefVariant(&clsid)));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceInitNew));
    EXPECT_EQ(first.get(), site.OleObject().get());

    // The running lock taken at creation keeps the object running until it
    // is given back (once); this server then closes itself.
    com_ptr<IRunnableObject> runnable;
    first->QueryInterface(IID_IRunnableObject, runnable.put_void());
    ASSERT_TRUE(runnable);
    EXPECT_TRUE(runnable->IsRunning());
    EXPECT_EQ(S_OK, site.doc->FreeRunningLock());
    EXPECT_FALSE(runnable->IsRunning());
    EXPECT_EQ(S_FALSE, site.doc->FreeRunningLock());

    // Not running: run it, without a lock unless asked for.
    EXPECT_EQ(S_OK, site.doc->EnsureDocObjectRunning(VARIANT_FALSE));
    EXPECT_TRUE(runnable->IsRunning());
    EXPECT_EQ(S_FALSE, site.doc->FreeRunningLock());
    // Running already: nothing to run, but the lock is taken.
    EXPECT_EQ(S_FALSE, site.doc->EnsureDocObjectRunning(VARIANT_TRUE));
    EXPECT_EQ(S_OK, site.doc->FreeRunningLock());
    EXPECT_FALSE(runnable->IsRunning());
}

TEST_F(SiteObjectTest, ServerAskingForItsClientSiteFirstGetsItBeforeInitialisation) {
    CLSID clsid = vellixpad::CLSID_Document;
    {
        Site site;
        ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
        ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsid)));
        EXPECT_EQ(0u, Trace(vellixpad::kTraceSiteBeforeInit));
        com_ptr<IOleObject> ole;
        ASSERT_TRUE(site.OleObject());
        site.OleObject()->QueryInterface(IID_IOleObject, ole.put_void());
        com_ptr<IOleClientSite> given;
        ASSERT_EQ(S_OK, ole->GetClientSite(given.put()));
        EXPECT_EQ(site.as<IOleClientSite>().get(), given.get()) << "set once it runs";
    }
    m_pad.Set(vellixpad::kClientSiteFirst, 1);
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsid)));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceSiteBeforeInit));
}

TEST_F(SiteObjectTest, NewDocumentsAreAutoConvertedLoadedOnesAreNot) {
    CLSID clsidOld = CLSID_Unserved;
    {
        Site site;
        ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
        EXPECT_EQ(REGDB_E_CLASSNOTREG, site.doc->CreateDocObject(ByRefVariant(&clsidOld)));
        EXPECT_FALSE(site.OleObject());
    }
    CAutoConvertEntry convert(CLSID_Unserved, vellixpad::CLSID_Document);
    {
        // The conversion reads the class from the new sub-storage: it only
        // happens when the storage carries the class asked for.
        Site site;
        ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
        ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsidOld)));
        EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_Document, site.Clsid()));
        EXPECT_EQ(1u, Trace(vellixpad::kTraceInitNew));
    }
    // A file of the old class is loaded as it is, and finds no server.
    TempDir dir;
    const std::wstring path = dir.file(L"old.vxp");
    {
        com_ptr<IStorage> stg;
        ASSERT_EQ(S_OK, StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                         stg.put()));
        ASSERT_EQ(S_OK, WriteClassStg(stg.get(), CLSID_Unserved));
        ASSERT_EQ(S_OK, stg->Commit(STGC_DEFAULT));
    }
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    fw::unique_bstr name(path.c_str());
    EXPECT_EQ(REGDB_E_CLASSNOTREG, site.doc->LoadStorageFromFile(name.get(), VARIANT_FALSE));
}

TEST_F(SiteObjectTest, StorageAndObjectNeedAnInitialisedSite) {
    CLSID clsid = vellixpad::CLSID_Document;
    Site bare;
    EXPECT_EQ(E_UNEXPECTED, bare.doc->CreateObjectStorage(ByRefVariant(&clsid)));
    EXPECT_EQ(E_FAIL, bare.doc->CreateDocObject(ByRefVariant(&clsid)));
    EXPECT_EQ(0u, Trace(vellixpad::kTraceInitNew));
    EXPECT_EQ(S_FALSE, bare.doc->EnsureDocObjectRunning(VARIANT_TRUE));
    EXPECT_EQ(S_FALSE, bare.doc->FreeRunningLock());

    // A CLSID must come by pointer; anything else is refused before use.
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    VARIANT vnum;
    VariantInit(&vnum);
    V_VT(&vnum) = VT_I4;
    V_I4(&vnum) = 0x1234;
    EXPECT_EQ(E_INVALIDARG, site.doc->CreateObjectStorage(vnum));
    EXPECT_EQ(E_INVALIDARG, site.doc->CreateDocObject(vnum));
}

TEST_F(SiteObjectTest, DocumentInAnExistingObjectStorageIsLoadedFromIt) {
    // An object storage made beforehand makes the document a loaded one: an
    // empty storage holds no text, so the server refuses to load it.
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    CLSID clsid = vellixpad::CLSID_Document;
    ASSERT_EQ(S_OK, site.doc->CreateObjectStorage(ByRefVariant(&clsid)));
    HRESULT hr = site.doc->CreateDocObject(ByRefVariant(&clsid));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceLoadStorage));
    EXPECT_EQ(0u, Trace(vellixpad::kTraceInitNew));
    EXPECT_TRUE(FAILED(hr));
    EXPECT_FALSE(site.OleObject()) << "a failed load leaves no object";
}

TEST_F(SiteObjectTest, CloseReleasesTheDocumentAndIsHarmlessAgainOrWithout) {
    Site empty;
    ASSERT_EQ(S_OK, empty.Init(m_ctl.hwnd()));
    HWND hwndEmpty = empty.window();
    EXPECT_EQ(S_OK, empty.doc->Close());
    EXPECT_FALSE(IsWindow(hwndEmpty));
    EXPECT_EQ(nullptr, empty.window());
    EXPECT_EQ(S_OK, empty.doc->Close());

    TempDir dir;
    const std::wstring path = dir.file(L"doc.vxp");
    ASSERT_TRUE(WritePadDocument(m_ctl.hwnd(), path, L"closing"));
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    fw::unique_bstr name(path.c_str()), ext(L".vxp");
    ASSERT_EQ(S_OK, site.doc->LoadStorageFromFile(name.get(), VARIANT_FALSE));
    site.doc->put_ExtFileName(ext.get());
    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    com_ptr<IOleObject> ole;
    site.OleObject()->QueryInterface(IID_IOleObject, ole.put_void());
    ASSERT_TRUE(ole);

    EXPECT_EQ(S_OK, site.doc->Close());
    com_ptr<IOleClientSite> clientSite;
    ole->GetClientSite(clientSite.put());
    EXPECT_FALSE(clientSite) << "the site took itself away";
    EXPECT_EQ(1, LiveObjects());
    ole.reset();
    EXPECT_EQ(0, LiveObjects()) << "the site holds no reference any more";
    EXPECT_FALSE(site.OleObject());
    fw::unique_bstr got;
    EXPECT_EQ(S_OK, site.doc->get_FileName(got.put()));
    EXPECT_STREQ(L"", got.c_str());
    EXPECT_EQ(S_OK, site.doc->get_ExtFileName(got.put()));
    EXPECT_STREQ(L".vxp", got.c_str()) << "kept across Close";
    EXPECT_EQ(S_OK, site.doc->Close());
}

TEST_F(SiteObjectTest, DestroyingTheControlWindowClosesTheDocument) {
    CControlWindow ctl;
    Site site;
    ASSERT_EQ(S_OK, site.Init(ctl.hwnd()));
    CLSID clsid = vellixpad::CLSID_Document;
    ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsid)));
    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    com_ptr<IOleObject> ole;
    site.OleObject()->QueryInterface(IID_IOleObject, ole.put_void());
    HWND hwndSite = site.window();

    DestroyWindow(ctl.hwnd());
    EXPECT_FALSE(IsWindow(hwndSite));
    EXPECT_EQ(nullptr, site.window());
    EXPECT_FALSE(site.OleObject());
    com_ptr<IOleClientSite> clientSite;
    ole->GetClientSite(clientSite.put());
    EXPECT_FALSE(clientSite);
    EXPECT_EQ(S_OK, site.doc->Close());
}

TEST_F(SiteObjectTest, SiteLeftOnlyToItsServerSurvivesItsWindowsDestruction) {
    // The server holds the client site; the control let go of the site.
    CControlWindow ctl;
    com_ptr<IOleObject> ole;
    {
        Site site;
        ASSERT_EQ(S_OK, site.Init(ctl.hwnd()));
        CLSID clsid = vellixpad::CLSID_Document;
        ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsid)));
        site.OleObject()->QueryInterface(IID_IOleObject, ole.put_void());
    }
    DestroyWindow(ctl.hwnd());
    PumpMessages();
    com_ptr<IOleClientSite> clientSite;
    ole->GetClientSite(clientSite.put());
    EXPECT_FALSE(clientSite);
}

}  // namespace

namespace {

// What a debugged child wrote through OutputDebugString, as one text, and
// its exit code.
std::wstring DebugOutputOf(std::wstring commandLine, DWORD* pdwExitCode) {
    *pdwExitCode = STILL_ACTIVE;
    STARTUPINFOW si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        nullptr, &si, &pi))
        return L"";
    std::wstring text;
    DEBUG_EVENT ev = {};
    // The guard only ends a child that hangs; the loop ends when it exits.
    for (bool bRunning = true; bRunning && WaitForDebugEvent(&ev, 120000);) {
        DWORD dwContinue = DBG_CONTINUE;
        switch (ev.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT: {
            const OUTPUT_DEBUG_STRING_INFO& s = ev.u.DebugString;
            std::vector<char> bytes(s.nDebugStringLength * (s.fUnicode ? 2 : 1) + 2, 0);
            SIZE_T got = 0;
            ReadProcessMemory(pi.hProcess, s.lpDebugStringData, bytes.data(), bytes.size() - 2, &got);
            text += s.fUnicode ? std::wstring(reinterpret_cast<wchar_t*>(bytes.data())) : Widen(bytes.data());
            break;
        }
        case EXCEPTION_DEBUG_EVENT:
            if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                dwContinue = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case CREATE_PROCESS_DEBUG_EVENT: CloseHandle(ev.u.CreateProcessInfo.hFile); break;
        case LOAD_DLL_DEBUG_EVENT: CloseHandle(ev.u.LoadDll.hFile); break;
        case EXIT_PROCESS_DEBUG_EVENT:
            *pdwExitCode = ev.u.ExitProcess.dwExitCode;
            bRunning = false;
            break;
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, dwContinue);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return text;
}

// Run by TheTraceWritesALinePerCallIntoTheSite in a child of its own.
TEST(SiteTraceChild, DISABLED_CallsTheSite) {
    OleSession ole;
    CControlWindow ctl;
    Site site;
    ASSERT_TRUE(site.doc);
    ASSERT_EQ(S_OK, site.Init(ctl.hwnd()));
    EXPECT_EQ(S_OK, site.doc->Close());
    // And the control's own members, in the registered DLL.
    fw::com_ptr<IOffice> office;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Office, nullptr, CLSCTX_INPROC_SERVER, IID_IOffice, office.put_void()));
    fw::unique_bstr version;
    EXPECT_EQ(S_OK, office->get_Version(version.put()));
}

// The switch is read once per process, so a child with VELLIX_TRACE=1 makes
// the calls, and this process reads what it wrote as its debugger.
TEST(SiteTraceTest, TheTraceWritesALinePerCallIntoTheSite) {
    wchar_t szExe[MAX_PATH] = {};
    ASSERT_LT(GetModuleFileNameW(nullptr, szExe, MAX_PATH), static_cast<DWORD>(MAX_PATH));
    const std::wstring cmd = std::wstring(L"\"") + szExe +
                             L"\" --gtest_also_run_disabled_tests --gtest_filter=SiteTraceChild.DISABLED_CallsTheSite";
    DWORD dwExit = 0;
    SetEnvironmentVariableW(L"VELLIX_TRACE", L"1");
    const std::wstring traced = DebugOutputOf(cmd, &dwExit);
    SetEnvironmentVariableW(L"VELLIX_TRACE", nullptr);
    EXPECT_EQ(0u, dwExit);
    for (const wchar_t* line : {L":trace:vellix:CDocObject::InitializeNewInstance(",
                                L":trace:vellix:CDocObject::Close() -> 0x00000000 (",
                                L":trace:vellix:COffice::get_Version("})
        EXPECT_NE(std::wstring::npos, traced.find(line)) << line << "\n" << traced;

    const std::wstring untraced = DebugOutputOf(cmd, &dwExit);
    EXPECT_EQ(0u, dwExit);
    EXPECT_EQ(std::wstring::npos, untraced.find(L":trace:vellix:")) << untraced;
}

}  // namespace
