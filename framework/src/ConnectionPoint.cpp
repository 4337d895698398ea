#include "fw/ConnectionPoint.h"

#include <olectl.h>

#include <algorithm>
#include <new>
#include <utility>

namespace fw {

namespace {

// An enumerator over a snapshot taken when it was made: later advises and
// unadvises do not disturb a client walking it.
template <class IEnum, class Elem, class Item>
class CEnumSnapshot final : public IEnum {
public:
    CEnumSnapshot(std::vector<Item> items, size_t pos) : m_items(std::move(items)), m_pos(pos) { ModuleLock(); }
    ~CEnumSnapshot() { ModuleUnlock(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, __uuidof(IEnum))) return E_NOINTERFACE;
        *ppv = static_cast<IEnum*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG c = --m_cRef;
        if (c == 0) delete this;
        return c;
    }

    STDMETHODIMP Next(ULONG cElems, Elem* rgElems, ULONG* pcFetched) override {
        if (pcFetched) *pcFetched = 0;
        if (!rgElems) return E_POINTER;
        if (cElems != 1 && !pcFetched) return E_INVALIDARG;
        ULONG n = 0;
        for (; n < cElems && m_pos < m_items.size(); ++n) CopyOut(m_items[m_pos++], &rgElems[n]);
        if (pcFetched) *pcFetched = n;
        return n == cElems ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG cElems) override {
        size_t left = m_items.size() - m_pos;
        if (cElems > left) {
            m_pos = m_items.size();
            return S_FALSE;
        }
        m_pos += cElems;
        return S_OK;
    }
    STDMETHODIMP Reset() override {
        m_pos = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnum** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = nullptr;
        *ppEnum = new (std::nothrow) CEnumSnapshot(m_items, m_pos);
        return *ppEnum ? S_OK : E_OUTOFMEMORY;
    }

private:
    static void CopyOut(const std::pair<com_ptr<IUnknown>, DWORD>& item, CONNECTDATA* pcd) {
        pcd->pUnk = item.first.get();
        pcd->pUnk->AddRef();
        pcd->dwCookie = item.second;
    }
    static void CopyOut(const com_ptr<IConnectionPoint>& item, IConnectionPoint** ppcp) {
        *ppcp = item.get();
        (*ppcp)->AddRef();
    }

    ULONG m_cRef = 1;
    std::vector<Item> m_items;
    size_t m_pos;
};

using CEnumConnections = CEnumSnapshot<IEnumConnections, CONNECTDATA, std::pair<com_ptr<IUnknown>, DWORD>>;
using CEnumConnectionPoints = CEnumSnapshot<IEnumConnectionPoints, IConnectionPoint*, com_ptr<IConnectionPoint>>;

}  // namespace

STDMETHODIMP CConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint)) return E_NOINTERFACE;
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CConnectionPoint::AddRef() { return m_pOwner->ControllingUnknown()->AddRef(); }
STDMETHODIMP_(ULONG) CConnectionPoint::Release() { return m_pOwner->ControllingUnknown()->Release(); }

STDMETHODIMP CConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID) return E_POINTER;
    *pIID = m_iid;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC) return E_POINTER;
    *ppCPC = m_pContainer;
    m_pContainer->AddRef();
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (pdwCookie) *pdwCookie = 0;
    if (!pUnkSink || !pdwCookie) return E_POINTER;
    // A dispinterface sink must at least be an IDispatch; a sink that answers
    // the source interface itself is taken as that.
    com_ptr<IUnknown> sink;
    if (FAILED(pUnkSink->QueryInterface(m_iid, sink.put_void())) &&
        FAILED(pUnkSink->QueryInterface(IID_IDispatch, sink.put_void())))
        return CONNECT_E_CANNOTCONNECT;
    DWORD cookie = m_nextCookie++;
    m_sinks.push_back({cookie, std::move(sink)});
    *pdwCookie = cookie;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Unadvise(DWORD dwCookie) {
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if (it->cookie == dwCookie) {
            // Released after leaving the list: the sink's Release may call back.
            com_ptr<IUnknown> gone = std::move(it->sink);
            m_sinks.erase(it);
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP CConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (!ppEnum) return E_POINTER;
    std::vector<std::pair<com_ptr<IUnknown>, DWORD>> items;
    for (const Connection& c : m_sinks) items.emplace_back(c.sink, c.cookie);
    *ppEnum = new (std::nothrow) CEnumConnections(std::move(items), 0);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

void CConnectionPoint::Fire(DISPID dispid, const VARIANT* rgArgs, UINT cArgs) {
    std::vector<com_ptr<IDispatch>> sinks;
    for (const Connection& c : m_sinks) sinks.emplace_back(static_cast<IDispatch*>(c.sink.get()));
    if (sinks.empty()) return;
    // DISPPARAMS holds the arguments last first.
    std::vector<VARIANT> reversed(rgArgs, rgArgs + cArgs);
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS dp = {reversed.empty() ? nullptr : reversed.data(), nullptr, cArgs, 0};
    for (const com_ptr<IDispatch>& sink : sinks) {
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO ei = {};
        UINT argErr = 0;
        sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, &result, &ei, &argErr);
        VariantClear(&result);
        SysFreeString(ei.bstrSource);
        SysFreeString(ei.bstrDescription);
        SysFreeString(ei.bstrHelpFile);
    }
}

void CConnectionPoint::UnadviseAll() {
    std::vector<Connection> gone = std::move(m_sinks);
    m_sinks.clear();
}

STDMETHODIMP CConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (!ppEnum) return E_POINTER;
    std::vector<com_ptr<IConnectionPoint>> items;
    for (CConnectionPoint* p : m_points) items.emplace_back(p);
    *ppEnum = new (std::nothrow) CEnumConnectionPoints(std::move(items), 0);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CConnectionPointContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    for (CConnectionPoint* p : m_points) {
        if (IsEqualIID(p->iid(), riid)) {
            *ppCP = p;
            p->AddRef();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

}  // namespace fw
