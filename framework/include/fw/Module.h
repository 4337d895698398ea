// The module: the class table, the lock count, cached class objects and
// self-registration through the system registrar.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace fw {

using CreatorFn = HRESULT(WINAPI*)(IUnknown* pOuter, REFIID riid, void** ppv);

struct ClassEntry {
    const CLSID* pclsid;
    CreatorFn pfnCreate;
    UINT nRegistryResource;     // "REGISTRY" resource with the class's registrar script
    const GUID* pCategories;    // CATIDs the class implements, may be null
    ULONG cCategories;
    IUnknown* pClassObject;     // cached on first request, owned by the module
};

class CModule {
public:
    // pEntries ends with an entry whose pclsid is null. Runs under the loader
    // lock: no COM work here.
    void Init(ClassEntry* pEntries, HINSTANCE hInstance, const GUID* plibid);
    // Releases the cached class objects.
    void Term();

    HINSTANCE GetModuleInstance() const { return m_hInstance; }
    const GUID& GetLibId() const { return *m_plibid; }

    LONG Lock();
    LONG Unlock();
    LONG GetLockCount() const { return m_nLockCnt; }

    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
    HRESULT CanUnloadNow() const { return m_nLockCnt == 0 ? S_OK : S_FALSE; }

    // Every class's script and categories in table order, then the type
    // library embedded as "TYPELIB" 1. Stops at the first failure.
    HRESULT RegisterServer();
    // Goes through everything and returns S_OK.
    HRESULT UnregisterServer();

    // Runs a registrar script resource with %MODULE% bound to this DLL's
    // short path.
    HRESULT UpdateRegistryFromResource(UINT nResId, bool bRegister);
    HRESULT RegisterTypeLib();
    HRESULT UnregisterTypeLib();

    // Type information of an interface of the module's own type library,
    // loaded from the "TYPELIB" resource once and cached until Term.
    HRESULT GetTypeInfo(REFIID riid, ITypeInfo** ppTI);

    // Full path of this module (GetModuleFileNameW).
    HRESULT GetModulePath(wchar_t* pszPath, DWORD cch) const;

private:
    HRESULT UpdateCategories(const ClassEntry& e, bool bRegister);

    HINSTANCE m_hInstance = nullptr;
    const GUID* m_plibid = nullptr;
    ClassEntry* m_pEntries = nullptr;
    static const int kTypeInfoCache = 8;
    ITypeLib* m_pTypeLib = nullptr;
    IID m_cachedIids[kTypeInfoCache] = {};
    ITypeInfo* m_cachedInfos[kTypeInfoCache] = {};
    int m_cCached = 0;
    volatile LONG m_nLockCnt = 0;
    CRITICAL_SECTION m_csObjMap;
    bool m_bInit = false;
};

// The one module object of the DLL; defined by the DLL that uses the framework.
extern CModule g_module;

}  // namespace fw
