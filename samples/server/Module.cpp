// Entry points of VellixPad.dll, its class table and registration.
#include <windows.h>

#include <string>

#include "PadDocument.h"
#include "PadTestHooks.h"
#include "fw/Module.h"
#include "resource.h"

namespace fw {
CModule g_module;
}

namespace {

// One C++ class serves three CLSIDs; the look-alikes of Word and Excel are
// registered only on request (DllInstall), for tests.
fw::ClassEntry g_classes[] = {
    {&vellixpad::CLSID_Document, &fw::Creator<CPadDocumentOf<vellixpad::CLSID_Document>>::CreateInstance,
     IDR_VELLIXPAD, nullptr, 0, nullptr},
    {&vellixpad::CLSID_WordLike, &fw::Creator<CPadDocumentOf<vellixpad::CLSID_WordLike>>::CreateInstance,
     IDR_TESTCLASSES, nullptr, 0, nullptr},
    {&vellixpad::CLSID_ExcelLike, &fw::Creator<CPadDocumentOf<vellixpad::CLSID_ExcelLike>>::CreateInstance,
     IDR_TESTCLASSES, nullptr, 0, nullptr},
    {nullptr, nullptr, 0, nullptr, 0, nullptr},
};

std::wstring ClsidKey(const CLSID& clsid) {
    wchar_t sz[40] = {};
    StringFromGUID2(clsid, sz, 40);
    return std::wstring(L"CLSID\\") + sz;
}

// A ProgID that some other server (a real Office) has registered.
bool IsForeignProgId(const wchar_t* pszProgId, const CLSID& ours) {
    CLSID clsid = GUID_NULL;
    if (FAILED(CLSIDFromProgID(pszProgId, &clsid))) return false;
    return !IsEqualCLSID(clsid, ours);
}

HRESULT UpdateTestClasses(bool bRegister) {
    // Never take over, nor remove, the names of an installed Office.
    if (IsForeignProgId(L"Word.Document", vellixpad::CLSID_WordLike) ||
        IsForeignProgId(L"Excel.Sheet", vellixpad::CLSID_ExcelLike))
        return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    HRESULT hr = fw::g_module.UpdateRegistryFromResource(IDR_TESTCLASSES, bRegister);
    if (!bRegister) {
        // Wine's registrar leaves keys with subkeys behind.
        RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKey(vellixpad::CLSID_WordLike).c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKey(vellixpad::CLSID_ExcelLike).c_str());
        return S_OK;
    }
    return hr;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        fw::g_module.Init(g_classes, hInstance, &LIBID_VellixPadLib);
        DisableThreadLibraryCalls(hInstance);
    } else if (dwReason == DLL_PROCESS_DETACH) {
        // Unloaded while the process goes on: a later load at another
        // address must be able to register the view class afresh.
        if (!lpReserved) CPadDocument::UnregisterViewClass();
        fw::g_module.Term();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return fw::g_module.CanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return fw::g_module.GetClassObject(rclsid, riid, ppv);
}

// Only the VellixPad class itself; the test classes come from DllInstall.
STDAPI DllRegisterServer() {
    HRESULT hr = fw::g_module.UpdateRegistryFromResource(IDR_VELLIXPAD, true);
    if (FAILED(hr)) return hr;
    return fw::g_module.RegisterTypeLib();
}

STDAPI DllUnregisterServer() {
    fw::g_module.UpdateRegistryFromResource(IDR_VELLIXPAD, false);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKey(vellixpad::CLSID_Document).c_str());
    fw::g_module.UnregisterTypeLib();
    return S_OK;
}

// regsvr32 /n /i:TestClasses VellixPad.dll registers the Word and Excel
// look-alikes; with /u it removes them.
STDAPI DllInstall(BOOL bInstall, LPCWSTR pszCmdLine) {
    if (!pszCmdLine || lstrcmpiW(pszCmdLine, vellixpad::kTestClassesInstallArg) != 0) return E_INVALIDARG;
    return UpdateTestClasses(bInstall != FALSE);
}

LONG WINAPI VellixPadLiveObjects() { return CPadDocument::LiveObjects(); }

}  // extern "C"
