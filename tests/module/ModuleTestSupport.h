// The registered Vellix.DLL, loaded by path beside the tests, with its exports.
#pragma once

#include <windows.h>

#include <string>

#include "TestSupport.h"

class VellixDll {
public:
    explicit VellixDll(const std::wstring& path = testsupport::ExeDir() + L"\\Vellix.DLL")
        : m_path(path), m_h(LoadLibraryW(path.c_str())) {}
    ~VellixDll() {
        if (m_h) FreeLibrary(m_h);
    }
    VellixDll(const VellixDll&) = delete;
    VellixDll& operator=(const VellixDll&) = delete;

    bool loaded() const { return m_h != nullptr; }
    const std::wstring& path() const { return m_path; }

    HRESULT Register() const { return Call<HRESULT(WINAPI*)()>("DllRegisterServer")(); }
    HRESULT Unregister() const { return Call<HRESULT(WINAPI*)()>("DllUnregisterServer")(); }
    HRESULT CanUnloadNow() const { return Call<HRESULT(WINAPI*)()>("DllCanUnloadNow")(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const {
        return Call<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, iid, ppv);
    }

private:
    template <class Fn>
    Fn Call(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m_h, name)));
    }

    std::wstring m_path;
    HMODULE m_h;
};
