// Object roots and interface tables.
//
// A class T derives from its interfaces and from CObjectRoot, declares its
// interface table with FW_BEGIN_INTERFACE_MAP, and leaves IUnknown to the
// outermost wrapper: CObject<T> for a plain instance, CAggObject<T> for an
// instance aggregated by an outer object. Reference counting is
// single-threaded: the classes live in one apartment.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>
#include <new>

namespace fw {

struct InterfaceEntry {
    const IID* piid;   // nullptr ends the table
    ptrdiff_t offset;  // of the interface inside the object
};

// Offset of base Itf inside Class, without an instance.
template <class Itf, class Class>
inline ptrdiff_t offset_of_base() {
    return reinterpret_cast<char*>(static_cast<Itf*>(reinterpret_cast<Class*>(0x1000))) -
           reinterpret_cast<char*>(0x1000);
}

// Module-wide lock count; every live object holds one lock.
void ModuleLock();
void ModuleUnlock();

class CObjectRoot {
public:
    CObjectRoot() = default;
    // Not virtual: CObject<T> and CAggObject<T> delete the most derived
    // type, and a vtable here would come before the class's first interface.
    ~CObjectRoot() = default;
    CObjectRoot(const CObjectRoot&) = delete;
    CObjectRoot& operator=(const CObjectRoot&) = delete;

    // Called once after construction, before the first QueryInterface;
    // a failure destroys the new object and is returned to the creator.
    HRESULT FinalConstruct() { return S_OK; }
    // Called once before destruction, while the object is still whole.
    void FinalRelease() {}

    // The identity: the outer unknown when aggregated, else the object's own.
    IUnknown* ControllingUnknown() const { return m_pOuterUnknown; }
    // True from the last release on: an aggregating outer may be going
    // already, so nothing may count or query through the identity.
    bool InFinalRelease() const { return m_bFinalRelease; }

    // Walks the table in its declared order. IID_IUnknown answers with the
    // first entry.
    static HRESULT InternalQueryInterface(void* pThis, const InterfaceEntry* pEntries, REFIID riid,
                                          void** ppv);

protected:
    ULONG InternalAddRef() { return ++m_cRef; }
    ULONG InternalRelease() { return --m_cRef; }

    ULONG m_cRef = 0;
    IUnknown* m_pOuterUnknown = nullptr;  // set by the wrapper, not counted
    bool m_bFinalRelease = false;

    template <class>
    friend class CObject;
    template <class>
    friend class CAggObject;
};

#define FW_BEGIN_INTERFACE_MAP(Class)                                            \
    using _InterfaceMapClass = Class;                                            \
    HRESULT _InternalQueryInterface(REFIID riid, void** ppv) {                   \
        return ::fw::CObjectRoot::InternalQueryInterface(this, _GetEntries(), riid, ppv); \
    }                                                                            \
    static const ::fw::InterfaceEntry* _GetEntries() {                           \
        static const ::fw::InterfaceEntry entries[] = {
#define FW_INTERFACE_ENTRY(Itf) \
    {&__uuidof(Itf), ::fw::offset_of_base<Itf, _InterfaceMapClass>()},
// An interface reached through an intermediate base (e.g. IDispatch via IOffice).
#define FW_INTERFACE_ENTRY2(Itf, Via)  \
    {&__uuidof(Itf), ::fw::offset_of_base<Itf, Via>() + ::fw::offset_of_base<Via, _InterfaceMapClass>()},
#define FW_INTERFACE_ENTRY_IID(iid, Itf) {&(iid), ::fw::offset_of_base<Itf, _InterfaceMapClass>()},
#define FW_END_INTERFACE_MAP() \
    {nullptr, 0}               \
    }                          \
    ;                          \
    return entries;            \
    }

// A plain, non-aggregated instance of T.
template <class T>
class CObject final : public T {
public:
    CObject() { ModuleLock(); this->m_pOuterUnknown = Identity(); }
    ~CObject() {
        this->m_cRef = 1;  // guard against re-entry while tearing down
        this->m_bFinalRelease = true;
        this->FinalRelease();
        ModuleUnlock();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return this->_InternalQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return this->InternalAddRef(); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG c = this->InternalRelease();
        if (c == 0) delete this;
        return c;
    }

    // New object with no references; *ppv gets the first one.
    static HRESULT CreateInstance(REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        CObject* p = new (std::nothrow) CObject;
        if (!p) return E_OUTOFMEMORY;
        p->InternalAddRef();  // keeps p alive through FinalConstruct
        HRESULT hr = p->FinalConstruct();
        if (SUCCEEDED(hr)) hr = p->QueryInterface(riid, ppv);
        p->Release();
        return hr;
    }

private:
    IUnknown* Identity() {
        void* pv = nullptr;
        // The first table entry is the identity unknown.
        const InterfaceEntry* e = T::_GetEntries();
        pv = reinterpret_cast<char*>(static_cast<T*>(this)) + e->offset;
        return static_cast<IUnknown*>(pv);
    }
};

// An instance of T aggregated by pOuter. The wrapper's own IUnknown is the
// inner, non-delegating unknown that the outer object keeps; T's interfaces
// delegate IUnknown to the outer object.
template <class T>
class CAggObject final : public IUnknown {
public:
    explicit CAggObject(IUnknown* pOuter) : m_contained(pOuter) { ModuleLock(); }
    virtual ~CAggObject() {
        m_cRef = 1;
        m_contained.m_bFinalRelease = true;
        m_contained.FinalRelease();
        ModuleUnlock();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_contained._InternalQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG c = --m_cRef;
        if (c == 0) delete this;
        return c;
    }

    T* Inner() { return &m_contained; }

    // Aggregation hands out only the inner unknown (COM rule).
    static HRESULT CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!pOuter) return E_POINTER;
        if (!IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        CAggObject* p = new (std::nothrow) CAggObject(pOuter);
        if (!p) return E_OUTOFMEMORY;
        p->AddRef();
        HRESULT hr = p->m_contained.FinalConstruct();
        if (SUCCEEDED(hr)) hr = p->QueryInterface(riid, ppv);
        p->Release();
        return hr;
    }

private:
    class CContained final : public T {
    public:
        explicit CContained(IUnknown* pOuter) { this->m_pOuterUnknown = pOuter; }
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
            return this->m_pOuterUnknown->QueryInterface(riid, ppv);
        }
        STDMETHODIMP_(ULONG) AddRef() override { return this->m_pOuterUnknown->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return this->m_pOuterUnknown->Release(); }
    };

    ULONG m_cRef = 0;
    CContained m_contained;
};

// Creation of T, plain or aggregated: the class table's creator function.
template <class T>
struct Creator {
    static HRESULT WINAPI CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) {
        return pOuter ? CAggObject<T>::CreateInstance(pOuter, riid, ppv)
                      : CObject<T>::CreateInstance(riid, ppv);
    }
};

}  // namespace fw
