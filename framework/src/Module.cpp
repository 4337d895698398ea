#include "fw/Module.h"

#include <comcat.h>
#include <oleauto.h>

#include <string>

#include "Registrar.h"
#include "fw/Object.h"
#include "fw/Raii.h"

namespace fw {

void ModuleLock() { g_module.Lock(); }
void ModuleUnlock() { g_module.Unlock(); }

void CModule::Init(ClassEntry* pEntries, HINSTANCE hInstance, const GUID* plibid) {
    m_pEntries = pEntries;
    m_hInstance = hInstance;
    m_plibid = plibid;
    m_nLockCnt = 0;
    InitializeCriticalSection(&m_csObjMap);
    m_bInit = true;
}

void CModule::Term() {
    if (!m_bInit) return;
    // At process detach COM may already be gone in the host; the class
    // objects and type information are our own in-process objects, so
    // releasing them is still safe.
    for (ClassEntry* e = m_pEntries; e && e->pclsid; ++e) {
        if (IUnknown* p = e->pClassObject) {
            e->pClassObject = nullptr;
            p->Release();
        }
    }
    for (int i = 0; i < m_cCached; ++i) m_cachedInfos[i]->Release();
    m_cCached = 0;
    if (m_pTypeLib) {
        m_pTypeLib->Release();
        m_pTypeLib = nullptr;
    }
    DeleteCriticalSection(&m_csObjMap);
    m_bInit = false;
}

LONG CModule::Lock() { return InterlockedIncrement(&m_nLockCnt); }
LONG CModule::Unlock() { return InterlockedDecrement(&m_nLockCnt); }

// The stock class object: creates instances through the class table's
// creator and counts LockServer against the module.
class CClassFactory final : public IClassFactory {
public:
    explicit CClassFactory(CreatorFn pfn) : m_pfnCreate(pfn) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    // Class objects live in the module's cache until Term; their count does
    // not hold the module (LockServer does).
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_cRef); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG c = InterlockedDecrement(&m_cRef);
        if (c == 0) delete this;
        return c;
    }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        return m_pfnCreate(pOuter, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL fLock) override {
        if (fLock)
            g_module.Lock();
        else
            g_module.Unlock();
        return S_OK;
    }

private:
    volatile LONG m_cRef = 0;
    CreatorFn m_pfnCreate;
};

HRESULT CModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (ClassEntry* e = m_pEntries; e && e->pclsid; ++e) {
        if (!IsEqualCLSID(*e->pclsid, rclsid)) continue;
        if (!e->pClassObject) {
            cs_lock lock(m_csObjMap);
            if (!e->pClassObject) {
                CClassFactory* pcf = new (std::nothrow) CClassFactory(e->pfnCreate);
                if (!pcf) return E_OUTOFMEMORY;
                pcf->AddRef();
                e->pClassObject = pcf;
            }
        }
        return e->pClassObject->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CModule::GetModulePath(wchar_t* pszPath, DWORD cch) const {
    DWORD n = GetModuleFileNameW(m_hInstance, pszPath, cch);
    if (n == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (n >= cch) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    return S_OK;
}

HRESULT CModule::UpdateRegistryFromResource(UINT nResId, bool bRegister) {
    com_ptr<IRegistrar> reg;
    HRESULT hr = CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(IRegistrar), reg.put_void());
    if (FAILED(hr)) return hr;

    wchar_t szPath[MAX_PATH] = {};
    wchar_t szShort[MAX_PATH] = {};
    hr = GetModulePath(szPath, MAX_PATH);
    if (FAILED(hr)) return hr;
    DWORD n = GetShortPathNameW(szPath, szShort, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) lstrcpynW(szShort, szPath, MAX_PATH);

    // The registrar's strings are quoted with single quotes; a quote in the
    // path must be doubled or the script breaks off there.
    std::wstring quoted;
    for (const wchar_t* p = szShort; *p; ++p) {
        quoted += *p;
        if (*p == L'\'') quoted += L'\'';
    }
    hr = reg->AddReplacement(L"Module", quoted.c_str());
    if (FAILED(hr)) return hr;
    return bRegister ? reg->ResourceRegister(szShort, nResId, L"REGISTRY")
                     : reg->ResourceUnregister(szShort, nResId, L"REGISTRY");
}

HRESULT CModule::UpdateCategories(const ClassEntry& e, bool bRegister) {
    if (!e.pCategories || e.cCategories == 0) return S_OK;
    com_ptr<ICatRegister> cat;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICatRegister, cat.put_void());
    if (FAILED(hr)) return hr;
    CATID* ids = const_cast<CATID*>(e.pCategories);
    return bRegister ? cat->RegisterClassImplCategories(*e.pclsid, e.cCategories, ids)
                     : cat->UnRegisterClassImplCategories(*e.pclsid, e.cCategories, ids);
}

HRESULT CModule::RegisterTypeLib() {
    wchar_t szPath[MAX_PATH] = {};
    HRESULT hr = GetModulePath(szPath, MAX_PATH);
    if (FAILED(hr)) return hr;
    com_ptr<ITypeLib> tl;
    hr = LoadTypeLib(szPath, tl.put());
    if (FAILED(hr)) {
        // A type library shipped beside the DLL instead of inside it.
        std::wstring tlb(szPath);
        size_t dot = tlb.find_last_of(L'.');
        size_t slash = tlb.find_last_of(L"\\/");
        if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) tlb.resize(dot);
        tlb += L".tlb";
        if (tlb.size() >= MAX_PATH) return hr;
        lstrcpynW(szPath, tlb.c_str(), MAX_PATH);
        hr = LoadTypeLib(szPath, tl.put());
        if (FAILED(hr)) return hr;
    }
    std::wstring dir(szPath);
    size_t slash = dir.find_last_of(L"\\/");
    dir.resize(slash == std::wstring::npos ? 0 : slash);
    return ::RegisterTypeLib(tl.get(), szPath, dir.empty() ? nullptr : const_cast<wchar_t*>(dir.c_str()));
}

HRESULT CModule::UnregisterTypeLib() {
    wchar_t szPath[MAX_PATH] = {};
    HRESULT hr = GetModulePath(szPath, MAX_PATH);
    if (FAILED(hr)) return hr;
    com_ptr<ITypeLib> tl;
    hr = LoadTypeLib(szPath, tl.put());
    if (FAILED(hr)) return hr;
    TLIBATTR* pAttr = nullptr;
    hr = tl->GetLibAttr(&pAttr);
    if (FAILED(hr)) return hr;
    TLIBATTR attr = *pAttr;
    tl->ReleaseTLibAttr(pAttr);
    // Looked up at run time: older automation libraries lack the export.
    using UnRegFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    HMODULE hOleAut = GetModuleHandleW(L"oleaut32.dll");
    auto pfn = hOleAut ? reinterpret_cast<UnRegFn>(
                             reinterpret_cast<void*>(GetProcAddress(hOleAut, "UnRegisterTypeLib")))
                       : nullptr;
    if (!pfn) return E_NOTIMPL;
    return pfn(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
}

HRESULT CModule::RegisterServer() {
    for (ClassEntry* e = m_pEntries; e && e->pclsid; ++e) {
        HRESULT hr = UpdateRegistryFromResource(e->nRegistryResource, true);
        if (FAILED(hr)) return hr;
        hr = UpdateCategories(*e, true);
        if (FAILED(hr)) return hr;
    }
    return RegisterTypeLib();
}

HRESULT CModule::UnregisterServer() {
    for (ClassEntry* e = m_pEntries; e && e->pclsid; ++e) {
        UpdateRegistryFromResource(e->nRegistryResource, false);
        UpdateCategories(*e, false);
        // The class key is ForceRemove in every script, but Wine's registrar
        // only deletes keys without subkeys, and the category manager leaves
        // an empty "Implemented Categories" behind: finish the removal.
        wchar_t szClsid[40] = {};
        if (StringFromGUID2(*e->pclsid, szClsid, 40)) {
            std::wstring key = std::wstring(L"CLSID\\") + szClsid;
            RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
        }
    }
    UnregisterTypeLib();
    return S_OK;
}

HRESULT CModule::GetTypeInfo(REFIID riid, ITypeInfo** ppTI) {
    if (!ppTI) return E_POINTER;
    *ppTI = nullptr;
    cs_lock lock(m_csObjMap);
    for (int i = 0; i < m_cCached; ++i) {
        if (IsEqualIID(m_cachedIids[i], riid)) {
            *ppTI = m_cachedInfos[i];
            (*ppTI)->AddRef();
            return S_OK;
        }
    }
    if (!m_pTypeLib) {
        wchar_t szPath[MAX_PATH] = {};
        HRESULT hr = GetModulePath(szPath, MAX_PATH);
        if (FAILED(hr)) return hr;
        hr = LoadTypeLibEx(szPath, REGKIND_NONE, &m_pTypeLib);
        if (FAILED(hr)) return hr;
    }
    com_ptr<ITypeInfo> ti;
    HRESULT hr = m_pTypeLib->GetTypeInfoOfGuid(riid, ti.put());
    if (FAILED(hr)) return hr;
    // For a dual interface the type library hands out the dispatch view;
    // invoking through the vtable view calls the methods directly.
    TYPEATTR* pAttr = nullptr;
    if (SUCCEEDED(ti->GetTypeAttr(&pAttr))) {
        bool dual = pAttr->typekind == TKIND_DISPATCH && (pAttr->wTypeFlags & TYPEFLAG_FDUAL);
        ti->ReleaseTypeAttr(pAttr);
        HREFTYPE href;
        com_ptr<ITypeInfo> vt;
        if (dual && SUCCEEDED(ti->GetRefTypeOfImplType(-1, &href)) &&
            SUCCEEDED(ti->GetRefTypeInfo(href, vt.put())))
            ti = std::move(vt);
    }
    if (m_cCached < kTypeInfoCache) {
        m_cachedIids[m_cCached] = riid;
        ti.copy_to(&m_cachedInfos[m_cCached]);
        ++m_cCached;
    }
    *ppTI = ti.detach();
    return S_OK;
}

}  // namespace fw
