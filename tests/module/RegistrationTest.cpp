// Self-registration through the system registrar: the keys both classes
// write, what unregistration removes, and a DLL folder with a quote.
#include <gtest/gtest.h>

#include <comcat.h>

#include "ModuleTestSupport.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

const wchar_t kOfficeClsid[] = L"{75C26878-A562-4422-97B9-3CF46CB24845}";
const wchar_t kDocObjectClsid[] = L"{73269588-FA84-4D9A-B91C-A24613211C58}";
const wchar_t kLibId[] = L"{9F23813F-F1F9-4A06-ADA7-17EA4732A9C4}";
const wchar_t kSafeForScripting[] = L"{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
const wchar_t kSafeForInitializing[] = L"{7DD95802-9882-11CF-9FA9-00AA006C42C4}";

std::wstring Clsid(const wchar_t* clsid, const wchar_t* sub = nullptr) {
    std::wstring k = std::wstring(L"CLSID\\") + clsid;
    if (sub) k += std::wstring(L"\\") + sub;
    return k;
}

std::wstring ShortPath(const std::wstring& path) {
    wchar_t sz[MAX_PATH] = {};
    DWORD n = GetShortPathNameW(path.c_str(), sz, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(sz) : path;
}

void ExpectRegisteredAt(const std::wstring& dllPath) {
    const std::wstring shortPath = ShortPath(dllPath);
    // ProgIDs.
    EXPECT_EQ(L"Office Class", RegString(HKEY_CLASSES_ROOT, L"Vellix.Office.1"));
    EXPECT_EQ(kOfficeClsid, RegString(HKEY_CLASSES_ROOT, L"Vellix.Office.1\\CLSID"));
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"Vellix.Office.1\\Insertable"));
    EXPECT_EQ(L"Office Class", RegString(HKEY_CLASSES_ROOT, L"Vellix.Office"));
    EXPECT_EQ(kOfficeClsid, RegString(HKEY_CLASSES_ROOT, L"Vellix.Office\\CLSID"));
    EXPECT_EQ(L"Vellix.Office.1", RegString(HKEY_CLASSES_ROOT, L"Vellix.Office\\CurVer"));
    EXPECT_EQ(L"DocObject Class", RegString(HKEY_CLASSES_ROOT, L"Vellix.DocObject.1"));
    EXPECT_EQ(kDocObjectClsid, RegString(HKEY_CLASSES_ROOT, L"Vellix.DocObject.1\\CLSID"));
    EXPECT_EQ(L"Vellix.DocObject.1", RegString(HKEY_CLASSES_ROOT, L"Vellix.DocObject\\CurVer"));

    // The control's class key.
    EXPECT_EQ(L"Office Class", RegString(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid)));
    EXPECT_EQ(L"Vellix.Office.1", RegString(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid, L"ProgID")));
    EXPECT_EQ(L"Vellix.Office", RegString(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid, L"VersionIndependentProgID")));
    for (const wchar_t* key : {L"Programmable", L"Control", L"Insertable"})
        EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid, key))) << key;
    EXPECT_EQ(shortPath, RegString(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid, L"InprocServer32")));
    EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid, L"InprocServer32"), L"ThreadingModel"));
    EXPECT_EQ(shortPath + L", 101", RegString(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid, L"ToolboxBitmap32")));
    EXPECT_EQ(L"0", RegString(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid, L"MiscStatus")));
    EXPECT_EQ(L"131473", RegString(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid, L"MiscStatus\\1")));
    EXPECT_EQ(kLibId, RegString(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid, L"TypeLib")));
    EXPECT_EQ(L"1.0", RegString(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid, L"Version")));
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT,
                             Clsid(kOfficeClsid, L"Implemented Categories\\") + kSafeForScripting));
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT,
                             Clsid(kOfficeClsid, L"Implemented Categories\\") + kSafeForInitializing));

    // The site's class key: the same shape, less the control's entries.
    EXPECT_EQ(L"DocObject Class", RegString(HKEY_CLASSES_ROOT, Clsid(kDocObjectClsid)));
    EXPECT_EQ(L"Vellix.DocObject.1", RegString(HKEY_CLASSES_ROOT, Clsid(kDocObjectClsid, L"ProgID")));
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kDocObjectClsid, L"Programmable")));
    EXPECT_EQ(shortPath, RegString(HKEY_CLASSES_ROOT, Clsid(kDocObjectClsid, L"InprocServer32")));
    EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, Clsid(kDocObjectClsid, L"InprocServer32"), L"ThreadingModel"));
    EXPECT_EQ(kLibId, RegString(HKEY_CLASSES_ROOT, Clsid(kDocObjectClsid, L"TypeLib")));
    for (const wchar_t* key : {L"Control", L"Insertable", L"ToolboxBitmap32", L"MiscStatus", L"Version",
                               L"Implemented Categories"})
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kDocObjectClsid, key))) << key;

    // The type library, registered from the DLL itself.
    EXPECT_EQ(L"Vellix 1.0 Type Library",
              RegString(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kLibId + L"\\1.0"));
    const wchar_t* platform = sizeof(void*) == 8 ? L"\\1.0\\409\\win64" : L"\\1.0\\409\\win32";
    EXPECT_EQ(dllPath, RegString(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kLibId + platform));
}

void ExpectUnregistered() {
    for (const wchar_t* key : {L"Vellix.Office", L"Vellix.Office.1", L"Vellix.DocObject", L"Vellix.DocObject.1"})
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kOfficeClsid)));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kDocObjectClsid)));
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kLibId + L"\\1.0"));

    // The category manager no longer lists the control.
    ICatInformation* info = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ICatInformation, reinterpret_cast<void**>(&info)));
    CLSID clsid;
    CLSIDFromString(kOfficeClsid, &clsid);
    CATID cat;
    CLSIDFromString(kSafeForScripting, &cat);
    EXPECT_NE(S_OK, info->IsClassOfCategories(clsid, 1, &cat, static_cast<ULONG>(-1), nullptr));
    info->Release();
}

class RegistrationTest : public ::testing::Test {
protected:
    OleSession m_ole;
};

TEST_F(RegistrationTest, RegisterWritesEveryKeyAndUnregisterRemovesThem) {
    VellixDll dll;
    ASSERT_TRUE(dll.loaded());
    ASSERT_EQ(S_OK, dll.Register());
    {
        SCOPED_TRACE("registered");
        ExpectRegisteredAt(dll.path());
    }
    // Registering again over an existing registration is fine.
    ASSERT_EQ(S_OK, dll.Register());

    ASSERT_EQ(S_OK, dll.Unregister());
    {
        SCOPED_TRACE("unregistered");
        ExpectUnregistered();
    }
    // Unregistering what is not there still succeeds.
    EXPECT_EQ(S_OK, dll.Unregister());

    ASSERT_EQ(S_OK, dll.Register());
    ExpectRegisteredAt(dll.path());
}

TEST_F(RegistrationTest, AFolderWithAQuoteRegisters) {
    TempDir dir;
    std::wstring folder = dir.file(L"a'b");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    for (const wchar_t* name : {L"Vellix.DLL", L"Plinth.dll"})
        ASSERT_TRUE(CopyFileW((ExeDir() + L"\\" + name).c_str(), (folder + L"\\" + name).c_str(), FALSE));
    {
        VellixDll copy(folder + L"\\Vellix.DLL");
        ASSERT_TRUE(copy.loaded());
        ASSERT_NE(std::wstring::npos, ShortPath(copy.path()).find(L'\'')) << "the short path keeps the quote";
        ASSERT_EQ(S_OK, copy.Register());
        ExpectRegisteredAt(copy.path());
        EXPECT_EQ(S_OK, copy.Unregister());
    }
    // Put the build's own registration back for the other tests.
    VellixDll dll;
    ASSERT_EQ(S_OK, dll.Register());
    ExpectRegisteredAt(dll.path());
}

}  // namespace
