// What regsvr32 registered for VellixPad, and the Word/Excel look-alike
// classes that tests install for themselves.
#include "PadTestSupport.h"

using namespace padtest;
using namespace testsupport;
using vellixpad::fixture::ScopedTestClasses;

namespace {

const wchar_t kClsid[] = L"{44947E65-6633-4EE2-AF5A-F24E2F4F2E5D}";
const wchar_t kWordLikeClsid[] = L"{01DE3089-063B-4008-84B3-EE1DD3F20035}";
const wchar_t kLibId[] = L"{54C44460-F666-4044-9867-C25097780457}";

std::wstring ClsidKey(const wchar_t* clsid, const wchar_t* sub = nullptr) {
    std::wstring k = std::wstring(L"CLSID\\") + clsid;
    if (sub) k += std::wstring(L"\\") + sub;
    return k;
}

std::wstring LongPath(const std::wstring& path) {
    wchar_t sz[MAX_PATH] = {};
    DWORD n = GetLongPathNameW(path.c_str(), sz, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(sz) : path;
}

std::wstring ProgIdOf(const CLSID& clsid) {
    fw::unique_cotaskmem progId;
    if (FAILED(ProgIDFromCLSID(clsid, reinterpret_cast<LPOLESTR*>(progId.put())))) return L"";
    return static_cast<const wchar_t*>(progId.get());
}

class PadRegistration : public PadTest {};

TEST_F(PadRegistration, ServerIsAnInsertableDocObjectFoundByProgIdAndExtension) {
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"VellixPad.Document", &clsid));
    EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_Document, clsid));
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"VellixPad.Document.1", &clsid));
    EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_Document, clsid));
    EXPECT_EQ(L"VellixPad.Document.1", ProgIdOf(vellixpad::CLSID_Document));
    EXPECT_EQ(L"VellixPad.Document.1", RegString(HKEY_CLASSES_ROOT, L".vxp"));

    EXPECT_EQ(LongPath(vellixpad::fixture::ServerPath()),
              LongPath(RegString(HKEY_CLASSES_ROOT, ClsidKey(kClsid, L"InprocServer32"))));
    EXPECT_EQ(L"Apartment", RegString(HKEY_CLASSES_ROOT, ClsidKey(kClsid, L"InprocServer32"), L"ThreadingModel"));
    for (const wchar_t* key : {L"DocObject", L"Insertable", L"Programmable", L"Verb\\0"})
        EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, ClsidKey(kClsid, key))) << key;
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"VellixPad.Document.1\\Insertable"));
    EXPECT_EQ(kLibId, RegString(HKEY_CLASSES_ROOT, ClsidKey(kClsid, L"TypeLib")));
    // Nothing that would make a container convert or redirect the class.
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClsidKey(kClsid, L"AutoConvertTo")));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClsidKey(kClsid, L"TreatAs")));
    CLSID conv = GUID_NULL;
    EXPECT_TRUE(FAILED(OleGetAutoConvert(vellixpad::CLSID_Document, &conv)));

    fw::com_ptr<ITypeLib> tl;
    GUID libid = GUID_NULL;
    CLSIDFromString(const_cast<LPOLESTR>(kLibId), &libid);
    EXPECT_EQ(S_OK, LoadRegTypeLib(libid, 1, 0, LOCALE_NEUTRAL, tl.put()));

    // The verb a container lists, from the registration.
    fw::com_ptr<IOleObject> obj = CreatePad();
    fw::com_ptr<IEnumOLEVERB> verbs;
    ASSERT_EQ(S_OK, obj->EnumVerbs(verbs.put()));
    OLEVERB verb = {};
    ASSERT_EQ(S_OK, verbs->Next(1, &verb, nullptr));
    EXPECT_EQ(0, verb.lVerb);
    CoTaskMemFree(verb.lpszVerbName);
}

TEST_F(PadRegistration, UnregistrationRemovesClassProgIdsAndExtension) {
    HMODULE hmod = LoadLibraryW(vellixpad::fixture::ServerPath().c_str());
    ASSERT_TRUE(hmod);
    using RegFn = HRESULT(WINAPI*)();
    auto pfnUnregister = reinterpret_cast<RegFn>(reinterpret_cast<void*>(GetProcAddress(hmod, "DllUnregisterServer")));
    auto pfnRegister = reinterpret_cast<RegFn>(reinterpret_cast<void*>(GetProcAddress(hmod, "DllRegisterServer")));
    ASSERT_TRUE(pfnUnregister && pfnRegister);
    EXPECT_EQ(S_OK, pfnUnregister());
    for (const wchar_t* key : {L"VellixPad.Document", L"VellixPad.Document.1", L".vxp"})
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClsidKey(kClsid)));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kLibId));
    // Put back for the tests that follow.
    EXPECT_EQ(S_OK, pfnRegister());
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, ClsidKey(kClsid, L"InprocServer32")));
    FreeLibrary(hmod);
}

TEST_F(PadRegistration, TestClassesAnswerForWordAndExcelOnlyWhileInstalled) {
    CLSID clsid = GUID_NULL;
    {
        ScopedTestClasses classes;
        ASSERT_EQ(S_OK, classes.result());

        EXPECT_EQ(S_OK, CLSIDFromProgID(L"Word.Document", &clsid));
        EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_WordLike, clsid));
        EXPECT_EQ(S_OK, CLSIDFromProgID(vellixpad::kWordLikeProgId, &clsid));
        EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_WordLike, clsid));
        EXPECT_EQ(S_OK, CLSIDFromProgID(L"Excel.Sheet", &clsid));
        EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_ExcelLike, clsid));
        EXPECT_EQ(0u, ProgIdOf(vellixpad::CLSID_WordLike).rfind(L"Word.Document", 0));
        EXPECT_EQ(0u, ProgIdOf(vellixpad::CLSID_ExcelLike).rfind(L"Excel.Sheet", 0));

        // A container that honours AutoConvertTo/TreatAs keeps the class.
        CLSID conv = GUID_NULL;
        EXPECT_TRUE(FAILED(OleGetAutoConvert(vellixpad::CLSID_WordLike, &conv)));
        EXPECT_EQ(S_FALSE, CoGetTreatAsClass(vellixpad::CLSID_ExcelLike, &conv));

        // The object is the same server under its own identity, down to the
        // class it writes into its storage.
        fw::com_ptr<IStorage> stg;
        fw::com_ptr<IOleObject> obj = NewDocument(L"word-like", &stg, vellixpad::CLSID_WordLike);
        ASSERT_TRUE(obj);
        EXPECT_EQ(S_OK, obj->GetUserClassID(&clsid));
        EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_WordLike, clsid));
        fw::com_ptr<IPersistStorage> ps = obj.query<IPersistStorage>();
        ASSERT_EQ(S_OK, ps->Save(stg.get(), TRUE));
        ASSERT_EQ(S_OK, ps->SaveCompleted(nullptr));
        EXPECT_EQ(S_OK, ReadClassStg(stg.get(), &clsid));
        EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_WordLike, clsid));
    }
    EXPECT_TRUE(FAILED(CLSIDFromProgID(L"Word.Document", &clsid)));
    EXPECT_TRUE(FAILED(CLSIDFromProgID(L"Excel.Sheet.Vellix", &clsid)));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClsidKey(kWordLikeClsid)));
}

TEST_F(PadRegistration, TestClassesNeverReplaceAnotherServersProgId) {
    const wchar_t kForeign[] = L"{00020906-0000-0000-C000-000000000046}";
    HKEY hkey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Word.Document\\CLSID", 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &hkey, nullptr));
    RegSetValueExW(hkey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kForeign), sizeof(kForeign));
    RegCloseKey(hkey);
    {
        ScopedTestClasses classes;
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), classes.result());
    }
    EXPECT_EQ(kForeign, RegString(HKEY_CLASSES_ROOT, L"Word.Document\\CLSID"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"Excel.Sheet"));
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Word.Document");
}

}  // namespace
