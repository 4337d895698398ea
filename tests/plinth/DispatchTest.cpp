#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include "Plinth.h"
#include "TestSupport.h"

namespace {

VARIANT Var(const wchar_t* s)
{
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(s);
    return v;
}

VARIANT Var(long n)
{
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
    return v;
}

// Wine's Scripting.Dictionary (scrrun.dll) is a real automation object with
// methods, indexed properties and settable properties.
class DispatchInvokeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CLSID clsid;
        ASSERT_HRESULT_SUCCEEDED(CLSIDFromProgID(L"Scripting.Dictionary", &clsid));
        ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IDispatch,
                                                  reinterpret_cast<void**>(&m_pDict)));
    }
    void TearDown() override
    {
        for (VARIANT& v : m_args)
            VariantClear(&v);
        VariantClear(&m_result);
        if (m_pDict)
            m_pDict->Release();
    }

    HRESULT Call(const wchar_t* name, WORD flags, int cArgs)
    {
        VariantClear(&m_result);
        return DispatchInvoke(m_pDict, name, 0, flags, cArgs, m_args, &m_result);
    }

    testsupport::OleSession m_ole;
    IDispatch* m_pDict = nullptr;
    VARIANT m_args[2] = {};
    VARIANT m_result = {};
};

}  // namespace

TEST_F(DispatchInvokeTest, CallsMethodsAndPropertiesWithArgumentsInNaturalOrder)
{
    // CompareMode must be set while the dictionary is empty: 1 = text compare.
    m_args[0] = Var(1);
    EXPECT_EQ(S_OK, Call(L"CompareMode", DISPATCH_PROPERTYPUT, 1));
    EXPECT_EQ(S_OK, Call(L"CompareMode", DISPATCH_PROPERTYGET, 0));
    EXPECT_EQ(1, V_I4(&m_result));

    m_args[0] = Var(L"alpha");
    m_args[1] = Var(7);
    EXPECT_EQ(S_OK, Call(L"Add", DISPATCH_METHOD, 2));
    EXPECT_EQ(S_OK, Call(L"Count", DISPATCH_PROPERTYGET, 0));
    EXPECT_EQ(1, V_I4(&m_result));
    EXPECT_EQ(S_OK, Call(L"Item", DISPATCH_PROPERTYGET, 1));
    EXPECT_EQ(7, V_I4(&m_result));

    // Indexed put: the key first, the new value last; lookup ignores case.
    VariantClear(&m_args[0]);
    m_args[0] = Var(L"ALPHA");
    m_args[1] = Var(42);
    EXPECT_EQ(S_OK, Call(L"Item", DISPATCH_PROPERTYPUT, 2));
    EXPECT_EQ(S_OK, Call(L"Exists", DISPATCH_METHOD, 1));
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(&m_result));
    EXPECT_EQ(S_OK, Call(L"Item", DISPATCH_PROPERTYGET, 1));
    EXPECT_EQ(42, V_I4(&m_result));
    EXPECT_STREQ(L"ALPHA", V_BSTR(&m_args[0])) << "arguments stay the caller's";
}

TEST_F(DispatchInvokeTest, ReportsMissingObjectNameOrMember)
{
    EXPECT_EQ(E_POINTER,
              DispatchInvoke(nullptr, L"Count", 0, DISPATCH_PROPERTYGET, 0, nullptr, &m_result));
    EXPECT_EQ(E_POINTER, Call(nullptr, DISPATCH_PROPERTYGET, 0));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, Call(L"NoSuchMember", DISPATCH_METHOD, 0));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(L"CompareMode", DISPATCH_PROPERTYPUT, 0));
    EXPECT_EQ(VT_EMPTY, V_VT(&m_result));
}
