// Entry points of Vellix.DLL.
#include <windows.h>

#include "fw/Module.h"
#include "module/ClassTable.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        InitModule(hInstance);
        DisableThreadLibraryCalls(hInstance);
    } else if (dwReason == DLL_PROCESS_DETACH) {
        TermModule();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return fw::g_module.CanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return fw::g_module.GetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer() { return fw::g_module.RegisterServer(); }

STDAPI DllUnregisterServer() { return fw::g_module.UnregisterServer(); }

}  // extern "C"
