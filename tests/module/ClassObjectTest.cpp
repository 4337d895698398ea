// Class objects, lock counting and the two classes' identities, through the
// DLL's own exports and through COM.
#include <gtest/gtest.h>

#include <objsafe.h>
#include <ocidl.h>

#include <cstring>

#include "ModuleTestSupport.h"
#include "TestContainer.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

using namespace testsupport;
using fw::com_ptr;

namespace {

const CLSID CLSID_Unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

// Keeps the inner unknown, as an aggregating object does.
class COuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
    com_ptr<IUnknown> inner;
};

// An outer object that deletes itself at zero, releasing the inner object
// in its destructor as aggregators do, and poisons its memory: it counts
// every call that reaches it while it is going.
class CSelfDeletingOuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        Touched();
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        Touched();
        return ++m_refs;
    }
    STDMETHODIMP_(ULONG) Release() override {
        Touched();
        const ULONG c = --m_refs;
        if (c == 0) delete this;
        return c;
    }
    static void operator delete(void* p) {
        memset(p, 0xDD, sizeof(CSelfDeletingOuter));
        ::operator delete(p);
    }
    com_ptr<IUnknown> inner;
    static int touchedWhileGoing;

private:
    virtual ~CSelfDeletingOuter() {
        s_going = this;
        inner.reset();
        s_going = nullptr;
    }
    void Touched() {
        if (s_going == this) ++touchedWhileGoing;
    }
    ULONG m_refs = 1;
    static CSelfDeletingOuter* s_going;
};
int CSelfDeletingOuter::touchedWhileGoing = 0;
CSelfDeletingOuter* CSelfDeletingOuter::s_going = nullptr;

class ClassObjectTest : public ::testing::Test {
protected:
    OleSession m_ole;
    VellixDll m_dll;
};

TEST_F(ClassObjectTest, BothClassesAreServedAndOthersAreNot) {
    ASSERT_TRUE(m_dll.loaded());
    for (const CLSID* clsid : {&CLSID_Office, &CLSID_DocObject}) {
        com_ptr<IClassFactory> cf, again;
        ASSERT_EQ(S_OK, m_dll.GetClassObject(*clsid, IID_IClassFactory, cf.put_void()));
        ASSERT_EQ(S_OK, m_dll.GetClassObject(*clsid, IID_IClassFactory, again.put_void()));
        EXPECT_EQ(cf.get(), again.get()) << "cached on first request";
    }
    com_ptr<IClassFactory> office, site;
    m_dll.GetClassObject(CLSID_Office, IID_IClassFactory, office.put_void());
    m_dll.GetClassObject(CLSID_DocObject, IID_IClassFactory, site.put_void());
    EXPECT_NE(office.get(), site.get());

    void* pv = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, m_dll.GetClassObject(CLSID_Unknown, IID_IClassFactory, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(E_POINTER, m_dll.GetClassObject(CLSID_Office, IID_IClassFactory, nullptr));
}

TEST_F(ClassObjectTest, LiveObjectsAndServerLocksKeepTheDllLoaded) {
    ASSERT_EQ(S_OK, m_dll.CanUnloadNow());
    {
        com_ptr<IOffice> control;
        ASSERT_EQ(S_OK, control.create(CLSID_Office));
        EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
        com_ptr<IDocObject> site;
        ASSERT_EQ(S_OK, site.create(CLSID_DocObject));
        control.reset();
        EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
    }
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow());

    com_ptr<IClassFactory> cf;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_Office, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     cf.put_void()));
    ASSERT_EQ(S_OK, cf->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
    ASSERT_EQ(S_OK, cf->LockServer(FALSE));
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

TEST_F(ClassObjectTest, EachClassAnswersOnlyItsInterfaces) {
    com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Office, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     control.put_void()));
    com_ptr<IOffice> office;
    com_ptr<IDispatch> disp;
    ASSERT_EQ(S_OK, control.query(office.put()));
    ASSERT_EQ(S_OK, control.query(disp.put()));
    EXPECT_EQ(static_cast<void*>(office.get()), static_cast<void*>(disp.get())) << "IDispatch is IOffice's";
    EXPECT_EQ(static_cast<void*>(control.get()), static_cast<void*>(office.get())) << "IOffice is the identity";
    com_ptr<IOffice2> office2;
    ASSERT_EQ(S_OK, control.query(office2.put()));
    EXPECT_EQ(static_cast<void*>(office.get()), static_cast<void*>(office2.get())) << "IOffice2 extends IOffice";
    com_ptr<IConnectionPointContainer> events;
    EXPECT_EQ(S_OK, control.query(events.put()));
    for (const IID* iid : {&IID_IObjectSafety, &IID_IDocObject}) {
        com_ptr<IUnknown> none;
        EXPECT_EQ(E_NOINTERFACE, control->QueryInterface(*iid, none.put_void()));
    }

    com_ptr<IUnknown> site;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DocObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     site.put_void()));
    com_ptr<IDocObject> doc;
    ASSERT_EQ(S_OK, site.query(doc.put()));
    EXPECT_EQ(static_cast<void*>(site.get()), static_cast<void*>(doc.get()));
    com_ptr<IOffice> notOffice;
    EXPECT_EQ(E_NOINTERFACE, site.query(notOffice.put()));
}

TEST_F(ClassObjectTest, AnOuterObjectGetsTheInnerUnknown) {
    for (const CLSID* clsid : {&CLSID_Office, &CLSID_DocObject}) {
        COuter outer;
        ASSERT_EQ(S_OK, CoCreateInstance(*clsid, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                         outer.inner.put_void()));
        ASSERT_TRUE(outer.inner);
        EXPECT_NE(static_cast<IUnknown*>(&outer), outer.inner.get());
        // An interface of the inner object answers with the outer identity.
        com_ptr<IDispatch> disp;
        ASSERT_EQ(S_OK, outer.inner.query(disp.put()));
        com_ptr<IUnknown> identity;
        ASSERT_EQ(S_OK, disp.query(identity.put()));
        EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.get());
        identity.reset();
        disp.reset();
        EXPECT_EQ(1u, outer.refs);
        outer.inner.reset();

        com_ptr<IDispatch> refused;
        EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(*clsid, &outer, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                                          refused.put_void()));
    }
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

// The control's last release destroys its window; nothing in that may count
// or query the outer object that is being destroyed.
TEST_F(ClassObjectTest, AnAggregatedControlGoesWithoutTouchingItsDyingOuter) {
    TestContainer host;
    auto* outer = new CSelfDeletingOuter;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Office, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     outer->inner.put_void()));
    ASSERT_EQ(S_OK, host.Host(outer, false));
    com_ptr<IOleWindow> window;
    ASSERT_EQ(S_OK, outer->QueryInterface(IID_IOleWindow, window.put_void()));
    HWND hwnd = nullptr;
    ASSERT_EQ(S_OK, window->GetWindow(&hwnd));
    window.reset();
    host.Release();
    ASSERT_TRUE(IsWindow(hwnd)) << "the window is left to the last release";
    CSelfDeletingOuter::touchedWhileGoing = 0;
    outer->Release();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(0, CSelfDeletingOuter::touchedWhileGoing);
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

}  // namespace
