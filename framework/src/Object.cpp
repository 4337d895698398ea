#include "fw/Object.h"

namespace fw {

HRESULT CObjectRoot::InternalQueryInterface(void* pThis, const InterfaceEntry* pEntries,
                                            REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!pEntries || !pEntries->piid) return E_NOINTERFACE;
    const InterfaceEntry* hit = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
        hit = pEntries;
    } else {
        for (const InterfaceEntry* e = pEntries; e->piid; ++e) {
            if (IsEqualIID(*e->piid, riid)) {
                hit = e;
                break;
            }
        }
    }
    if (!hit) return E_NOINTERFACE;
    IUnknown* p = reinterpret_cast<IUnknown*>(static_cast<char*>(pThis) + hit->offset);
    p->AddRef();
    *ppv = p;
    return S_OK;
}

}  // namespace fw
