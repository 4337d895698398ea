// The object root, interface tables, aggregation, class objects and the
// module's lock count, on a small class of the test's own.
#include <gtest/gtest.h>

#include <ocidl.h>

#include "fw/Control.h"
#include "fw/Module.h"
#include "fw/Object.h"
#include "fw/Raii.h"

namespace fw {
CModule g_module;
}

namespace {

// {0E2A5C51-7B55-4E0B-9A0D-0D7A6C1A0001}
const CLSID CLSID_Probe = {0x0e2a5c51, 0x7b55, 0x4e0b, {0x9a, 0x0d, 0x0d, 0x7a, 0x6c, 0x1a, 0x00, 0x01}};
const CLSID CLSID_Missing = {0x0e2a5c51, 0x7b55, 0x4e0b, {0x9a, 0x0d, 0x0d, 0x7a, 0x6c, 0x1a, 0x00, 0x02}};

int g_finalReleases = 0;

class CProbe : public fw::CObjectRoot, public IPersistStreamInit, public IOleWindow {
public:
    FW_BEGIN_INTERFACE_MAP(CProbe)
    FW_INTERFACE_ENTRY(IOleWindow)
    FW_INTERFACE_ENTRY(IPersistStreamInit)
    FW_INTERFACE_ENTRY2(IPersist, IPersistStreamInit)
    FW_END_INTERFACE_MAP()

    void FinalRelease() { ++g_finalReleases; }

    STDMETHODIMP GetClassID(CLSID* p) override { *p = CLSID_Probe; return S_OK; }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
    STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP InitNew() override { return S_OK; }
    STDMETHODIMP GetWindow(HWND* p) override { *p = nullptr; return E_FAIL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
};

fw::ClassEntry g_entries[] = {
    {&CLSID_Probe, &fw::Creator<CProbe>::CreateInstance, 0, nullptr, 0, nullptr},
    {nullptr, nullptr, 0, nullptr, 0, nullptr},
};

// An outer object that keeps the inner unknown, the way an aggregator does.
class COuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_inner ? m_inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }

    ULONG m_cRef = 1;
    fw::com_ptr<IUnknown> m_inner;
};

class FrameworkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { fw::g_module.Init(g_entries, GetModuleHandleW(nullptr), &GUID_NULL); }
    static void TearDownTestSuite() { fw::g_module.Term(); }
};

TEST_F(FrameworkTest, QueryInterfaceFollowsTheTableAndIUnknownIsTheFirstEntry) {
    fw::com_ptr<IUnknown> unk;
    ASSERT_EQ(S_OK, fw::Creator<CProbe>::CreateInstance(nullptr, IID_IUnknown, unk.put_void()));

    fw::com_ptr<IOleWindow> window;
    ASSERT_EQ(S_OK, unk.query(window.put()));
    EXPECT_EQ(static_cast<void*>(unk.get()), static_cast<void*>(window.get()));

    fw::com_ptr<IPersist> persist;
    fw::com_ptr<IPersistStreamInit> psi;
    ASSERT_EQ(S_OK, unk.query(persist.put()));
    ASSERT_EQ(S_OK, unk.query(psi.put()));
    EXPECT_EQ(static_cast<void*>(persist.get()), static_cast<void*>(psi.get()));
    CLSID clsid;
    ASSERT_EQ(S_OK, persist->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Probe));

    // Identity holds from every interface.
    fw::com_ptr<IUnknown> fromPsi;
    ASSERT_EQ(S_OK, psi.query(fromPsi.put()));
    EXPECT_EQ(unk.get(), fromPsi.get());

    fw::com_ptr<IDispatch> none;
    EXPECT_EQ(E_NOINTERFACE, unk.query(none.put()));
    EXPECT_FALSE(none);
    EXPECT_EQ(E_POINTER, unk->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(FrameworkTest, ObjectsHoldTheModuleAndAreReleasedOnce) {
    LONG before = fw::g_module.GetLockCount();
    int releases = g_finalReleases;
    {
        fw::com_ptr<IPersist> p;
        ASSERT_EQ(S_OK, fw::Creator<CProbe>::CreateInstance(nullptr, IID_IPersist, p.put_void()));
        EXPECT_EQ(before + 1, fw::g_module.GetLockCount());
        EXPECT_EQ(S_FALSE, fw::g_module.CanUnloadNow());
        p->AddRef();
        EXPECT_EQ(1u, p->Release());
    }
    EXPECT_EQ(before, fw::g_module.GetLockCount());
    EXPECT_EQ(releases + 1, g_finalReleases);
}

TEST_F(FrameworkTest, AggregationHandsOutTheInnerUnknownAndDelegatesToTheOuter) {
    COuter outer;
    LONG before = fw::g_module.GetLockCount();
    ASSERT_EQ(S_OK, fw::Creator<CProbe>::CreateInstance(&outer, IID_IUnknown, outer.m_inner.put_void()));
    EXPECT_EQ(before + 1, fw::g_module.GetLockCount());

    // An interface from the inner object counts against the outer one and
    // leads back to the outer identity.
    ULONG outerRefs = outer.m_cRef;
    fw::com_ptr<IPersist> persist;
    ASSERT_EQ(S_OK, outer.m_inner.query(persist.put()));
    EXPECT_EQ(outerRefs + 1, outer.m_cRef);
    fw::com_ptr<IUnknown> identity;
    ASSERT_EQ(S_OK, persist.query(identity.put()));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.get());
    identity.reset();
    persist.reset();
    EXPECT_EQ(outerRefs, outer.m_cRef);

    // Anything but IUnknown cannot be asked for when aggregating.
    fw::com_ptr<IPersist> direct;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              fw::Creator<CProbe>::CreateInstance(&outer, IID_IPersist, direct.put_void()));
    EXPECT_FALSE(direct);

    outer.m_inner.reset();
    EXPECT_EQ(before, fw::g_module.GetLockCount());
}

TEST_F(FrameworkTest, ClassObjectsAreCachedAndLockTheServer) {
    fw::com_ptr<IClassFactory> cf1, cf2;
    ASSERT_EQ(S_OK, fw::g_module.GetClassObject(CLSID_Probe, IID_IClassFactory, cf1.put_void()));
    ASSERT_EQ(S_OK, fw::g_module.GetClassObject(CLSID_Probe, IID_IClassFactory, cf2.put_void()));
    EXPECT_EQ(cf1.get(), cf2.get());

    LONG before = fw::g_module.GetLockCount();
    ASSERT_EQ(S_OK, cf1->LockServer(TRUE));
    EXPECT_EQ(before + 1, fw::g_module.GetLockCount());
    ASSERT_EQ(S_OK, cf1->LockServer(FALSE));
    EXPECT_EQ(before, fw::g_module.GetLockCount());

    fw::com_ptr<IOleWindow> w;
    EXPECT_EQ(S_OK, cf1->CreateInstance(nullptr, IID_IOleWindow, w.put_void()));
    EXPECT_EQ(E_NOINTERFACE, cf1->CreateInstance(nullptr, IID_IDispatch, w.put_void()));
    EXPECT_FALSE(w);

    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, fw::g_module.GetClassObject(CLSID_Missing, IID_IClassFactory, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(E_POINTER, fw::g_module.GetClassObject(CLSID_Probe, IID_IClassFactory, nullptr));
}

TEST(RaiiTest, OwnersReleaseWhatTheyHold) {
    fw::unique_bstr b(L"text");
    EXPECT_EQ(4u, b.length());
    BSTR copy = nullptr;
    ASSERT_EQ(S_OK, b.copy_to(&copy));
    EXPECT_STREQ(L"text", copy);
    SysFreeString(copy);
    BSTR raw = b.detach();
    EXPECT_FALSE(b.get());
    EXPECT_STREQ(L"", b.c_str());
    b.attach(raw);
    EXPECT_STREQ(L"text", b.c_str());

    fw::unique_variant v;
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocString(L"x");
    VARIANT out;
    v.detach(&out);
    EXPECT_EQ(VT_EMPTY, v->vt);
    EXPECT_EQ(VT_BSTR, out.vt);
    VariantClear(&out);

    DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 100; ++i) {
        fw::unique_hbrush brush(CreateSolidBrush(RGB(i, 0, 0)));
        fw::unique_hfont font(CreateFontW(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial"));
        ASSERT_TRUE(brush);
        ASSERT_TRUE(font);
    }
    EXPECT_EQ(gdiBefore, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
}

}  // namespace

// HIMETRIC to pixels rounds to the nearest pixel, a half pixel up, and
// does not overflow where the extent times the DPI exceeds 32 bits.
TEST(UnitsTest, HiMetricToPixelsRoundsToTheNearestPixel) {
    HDC dc = GetDC(nullptr);
    const LONG dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    ASSERT_EQ(96, dpi) << "the table below is for 96 DPI";
    // 1 pixel = 26.458 HIMETRIC: 13 is under half a pixel, 14 over it.
    const struct {
        LONG himetric;
        LONG pixels;
    } cases[] = {{0, 0}, {13, 0}, {14, 1}, {2540, 96}, {2553, 96}, {2554, 97}, {30000000, 1133858}};
    for (const auto& c : cases) {
        SIZEL hm = {c.himetric, c.himetric}, px = {-1, -1};
        fw::HiMetricToPixels(&hm, &px);
        EXPECT_EQ(c.pixels, px.cx) << c.himetric;
        EXPECT_EQ(c.pixels, px.cy) << c.himetric;
    }
}
