// The control's events as a test sees them.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

#include "module/VellixIdl.h"

// Records every event as "Name(args)".
class EventSink final : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID__IOfficeEvents)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }
    STDMETHODIMP GetTypeInfoCount(UINT* p) override { *p = 0; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT*, EXCEPINFO*, UINT*) override {
        static const wchar_t* kNames[] = {L"?",                 L"DocumentOpened",    L"DocumentSaved",
                                          L"DocumentClosed",    L"TransferProgress",  L"DocumentCheckedOut",
                                          L"DocumentCheckedIn", L"SaveConflict"};
        std::wstring e = (id >= 1 && id <= 7) ? kNames[id] : L"?";
        e += L"(";
        for (UINT i = dp->cArgs; i-- > 0;) {
            const VARIANT& a = dp->rgvarg[i];
            e += a.vt == VT_BSTR ? std::wstring(a.bstrVal) : a.vt == VT_R8 ? std::to_wstring(static_cast<ULONGLONG>(a.dblVal)) : L"?";
            if (i) e += L",";
        }
        e += L")";
        if (id == 4) {
            ++progressCount;
            lastProgress = e;
            if (dp->cArgs == 2 && dp->rgvarg[0].dblVal == dp->rgvarg[1].dblVal) ++wholeCount;
        } else {
            events.push_back(e);
        }
        if (onEvent) onEvent(id);
        return S_OK;
    }

    std::vector<std::wstring> events;  // all but progress
    int progressCount = 0;
    int wholeCount = 0;  // progress events saying all has arrived
    std::wstring lastProgress;
    std::function<void(DISPID)> onEvent;
    ULONG m_cRef = 1;
};
