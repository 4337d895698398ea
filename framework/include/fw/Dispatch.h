// IDispatch for a dual interface, driven by the module's type library.
#pragma once

#include "fw/ErrorInfo.h"
#include "fw/Module.h"
#include "fw/Raii.h"

namespace fw {

template <class Itf>
class IDispatchImpl : public Itf {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) return E_POINTER;
        *ppTInfo = nullptr;
        if (iTInfo != 0) return DISP_E_BADINDEX;
        return g_module.GetTypeInfo(__uuidof(Itf), ppTInfo);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                               DISPID* rgDispId) override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        com_ptr<ITypeInfo> ti;
        HRESULT hr = g_module.GetTypeInfo(__uuidof(Itf), ti.put());
        if (FAILED(hr)) return hr;
        return DispGetIDsOfNames(ti.get(), rgszNames, cNames, rgDispId);
    }
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                        DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                        UINT* puArgErr) override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        com_ptr<ITypeInfo> ti;
        HRESULT hr = g_module.GetTypeInfo(__uuidof(Itf), ti.put());
        if (FAILED(hr)) return hr;
        // The type library's Invoke turns a member's failure into
        // DISP_E_EXCEPTION, filling EXCEPINFO from the thread's error object;
        // none may be left from an earlier call, nor from a call the member
        // made and recovered from.
        ClearError();
        hr = ti->Invoke(static_cast<Itf*>(this), dispIdMember, wFlags, pDispParams, pVarResult,
                        pExcepInfo, puArgErr);
        if (SUCCEEDED(hr)) ClearError();
        return hr;
    }
};

}  // namespace fw
