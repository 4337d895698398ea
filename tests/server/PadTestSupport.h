// Shared set-up of the VellixPad tests: COM, clean switches and trace,
// creation of document objects, late-bound automation, window lookups.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "VellixPadFixture.h"
#include "fw/Raii.h"

namespace padtest {

using vellixpad::fixture::FindEditWindow;
using vellixpad::fixture::ScopedSwitches;
using vellixpad::fixture::WindowText;

class PadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ScopedSwitches::Clear();
        vellixpad::fixture::ResetTrace();
    }
    void TearDown() override { ScopedSwitches::Clear(); }

    testsupport::OleSession m_ole;
};

template <class Itf = IOleObject>
fw::com_ptr<Itf> CreatePad(const CLSID& clsid = vellixpad::CLSID_Document) {
    fw::com_ptr<Itf> sp;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(Itf), sp.put_void());
    EXPECT_EQ(S_OK, hr);
    return sp;
}

inline fw::com_ptr<IStorage> NewMemoryStorage() {
    fw::com_ptr<ILockBytes> bytes;
    fw::com_ptr<IStorage> stg;
    if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()))) return stg;
    StgCreateDocfileOnILockBytes(bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, stg.put());
    return stg;
}

inline HRESULT DispId(IUnknown* punk, const wchar_t* pszName, DISPID* pid) {
    fw::com_ptr<IDispatch> disp;
    HRESULT hr = punk->QueryInterface(IID_IDispatch, disp.put_void());
    if (FAILED(hr)) return hr;
    LPOLESTR name = const_cast<LPOLESTR>(pszName);
    return disp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, pid);
}

// A late-bound property get or put, or a method call, by name.
inline HRESULT Invoke(IUnknown* punk, const wchar_t* pszName, WORD wFlags, VARIANT* pArg, VARIANT* pResult) {
    fw::com_ptr<IDispatch> disp;
    HRESULT hr = punk->QueryInterface(IID_IDispatch, disp.put_void());
    if (FAILED(hr)) return hr;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(pszName);
    hr = disp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPID idPut = DISPID_PROPERTYPUT;
    DISPPARAMS dp = {pArg, nullptr, pArg ? 1u : 0u, 0};
    if (wFlags == DISPATCH_PROPERTYPUT) {
        dp.rgdispidNamedArgs = &idPut;
        dp.cNamedArgs = 1;
    }
    return disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &dp, pResult, nullptr, nullptr);
}

inline std::wstring Text(IUnknown* punk) {
    fw::unique_variant v;
    EXPECT_EQ(S_OK, Invoke(punk, L"Text", DISPATCH_PROPERTYGET, nullptr, v.put()));
    return v->vt == VT_BSTR && v->bstrVal ? std::wstring(v->bstrVal, SysStringLen(v->bstrVal)) : std::wstring();
}

inline void SetText(IUnknown* punk, const std::wstring& text) {
    fw::unique_variant v;
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    EXPECT_EQ(S_OK, Invoke(punk, L"Text", DISPATCH_PROPERTYPUT, v.get(), nullptr));
}

inline bool Saved(IUnknown* punk) {
    fw::unique_variant v;
    EXPECT_EQ(S_OK, Invoke(punk, L"Saved", DISPATCH_PROPERTYGET, nullptr, v.put()));
    return v->vt == VT_BOOL && v->boolVal == VARIANT_TRUE;
}

inline void SetSaved(IUnknown* punk, bool bSaved) {
    fw::unique_variant v;
    v->vt = VT_BOOL;
    v->boolVal = bSaved ? VARIANT_TRUE : VARIANT_FALSE;
    EXPECT_EQ(S_OK, Invoke(punk, L"Saved", DISPATCH_PROPERTYPUT, v.get(), nullptr));
}

// A new document initialised in a storage of its own, holding the text.
inline fw::com_ptr<IOleObject> NewDocument(const std::wstring& text, fw::com_ptr<IStorage>* pstg = nullptr,
                                           const CLSID& clsid = vellixpad::CLSID_Document) {
    fw::com_ptr<IOleObject> obj = CreatePad(clsid);
    fw::com_ptr<IStorage> stg = NewMemoryStorage();
    if (!obj || !stg) return nullptr;
    EXPECT_EQ(S_OK, obj.query<IPersistStorage>()->InitNew(stg.get()));
    if (!text.empty()) SetText(obj.get(), text);
    if (pstg) *pstg = stg;
    return obj;
}

inline std::wstring ClassName(HWND hwnd) {
    wchar_t sz[64] = {};
    GetClassNameW(hwnd, sz, 64);
    return sz;
}

inline std::vector<std::wstring> TopLevelMenuTexts(HMENU hmenu) {
    std::vector<std::wstring> texts;
    for (int i = 0, n = GetMenuItemCount(hmenu); i < n; ++i) {
        wchar_t sz[64] = {};
        GetMenuStringW(hmenu, i, sz, 64, MF_BYPOSITION);
        texts.push_back(sz);
    }
    return texts;
}

inline ULONG RefCount(IUnknown* punk) {
    punk->AddRef();
    return punk->Release();
}

}  // namespace padtest
