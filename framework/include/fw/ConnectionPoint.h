// Connection points: outgoing dispinterfaces of an object.
//
// The object derives from CConnectionPointContainer (which answers
// IConnectionPointContainer) and holds one CConnectionPoint per source
// interface as a member, each registered with the container. The points
// live inside the object and borrow its reference count, so a sink's hold on
// a point keeps the whole object alive, as COM expects.
#pragma once

#include <ocidl.h>
#include <ole2.h>

#include <vector>

#include "fw/Object.h"
#include "fw/Raii.h"

namespace fw {

class CConnectionPoint final : public IConnectionPoint {
public:
    // pOwner's controlling unknown carries the point's lifetime; pContainer
    // is what GetConnectionPointContainer answers. Neither is counted here.
    CConnectionPoint(CObjectRoot* pOwner, IConnectionPointContainer* pContainer, REFIID iid)
        : m_pOwner(pOwner), m_pContainer(pContainer), m_iid(iid) {}
    CConnectionPoint(const CConnectionPoint&) = delete;
    CConnectionPoint& operator=(const CConnectionPoint&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* pIID) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    STDMETHODIMP Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    STDMETHODIMP Unadvise(DWORD dwCookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) override;

    const IID& iid() const { return m_iid; }
    bool HasSinks() const { return !m_sinks.empty(); }

    // Calls method dispid on every sink. rgArgs are in call order (the first
    // argument first); a sink's failure does not stop the others. The sink
    // list is copied first: a sink may advise or unadvise from its handler.
    void Fire(DISPID dispid, const VARIANT* rgArgs, UINT cArgs);

    // Lets go of every sink (the object is going away).
    void UnadviseAll();

private:
    struct Connection {
        DWORD cookie;
        com_ptr<IUnknown> sink;  // the sink as the source interface
    };

    CObjectRoot* m_pOwner;
    IConnectionPointContainer* m_pContainer;
    IID m_iid;
    std::vector<Connection> m_sinks;
    DWORD m_nextCookie = 1;
};

class CConnectionPointContainer : public IConnectionPointContainer {
public:
    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

protected:
    // Points are registered once, at construction, and live as long as the
    // object.
    void RegisterConnectionPoint(CConnectionPoint* pPoint) { m_points.push_back(pPoint); }
    void UnadviseAllConnectionPoints() {
        for (CConnectionPoint* p : m_points) p->UnadviseAll();
    }

private:
    std::vector<CConnectionPoint*> m_points;
};

}  // namespace fw
