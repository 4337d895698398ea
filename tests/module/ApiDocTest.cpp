// The script reference (docs/api.md) against the type library built into
// Vellix.DLL: every interface has its section and every member is named in
// it, so that neither can change without the other.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ModuleTestSupport.h"
#include "fw/Raii.h"

using namespace testsupport;
using fw::com_ptr;

namespace {

// The members every dispatch interface inherits; the reference leaves them out.
const std::set<std::wstring> kInherited = {L"QueryInterface", L"AddRef",      L"Release",
                                           L"GetTypeInfoCount", L"GetTypeInfo", L"GetIDsOfNames",
                                           L"Invoke"};

// An interface of the library and the names of its own members.
struct Described {
    std::wstring name;
    std::set<std::wstring> members;
};

// The vtable view of a dual interface (its dispatch view repeats the
// inherited members); a dispinterface as it is.
com_ptr<ITypeInfo> OwnView(ITypeInfo* ti, const TYPEATTR& attr) {
    com_ptr<ITypeInfo> view(ti);
    HREFTYPE href;
    if (attr.typekind == TKIND_DISPATCH && (attr.wTypeFlags & TYPEFLAG_FDUAL) &&
        SUCCEEDED(ti->GetRefTypeOfImplType(-1, &href)))
        ti->GetRefTypeInfo(href, view.put());
    return view;
}

std::vector<Described> InterfacesOf(ITypeLib* tl) {
    std::vector<Described> result;
    for (UINT i = 0; i < tl->GetTypeInfoCount(); ++i) {
        com_ptr<ITypeInfo> ti;
        if (FAILED(tl->GetTypeInfo(i, ti.put()))) continue;
        TYPEATTR* attr = nullptr;
        ti->GetTypeAttr(&attr);
        const bool isInterface = attr->typekind == TKIND_INTERFACE || attr->typekind == TKIND_DISPATCH;
        com_ptr<ITypeInfo> view = isInterface ? OwnView(ti.get(), *attr) : com_ptr<ITypeInfo>();
        ti->ReleaseTypeAttr(attr);
        if (!view) continue;

        Described d;
        fw::unique_bstr name;
        ti->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
        d.name = name.c_str();
        view->GetTypeAttr(&attr);
        for (UINT f = 0; f < attr->cFuncs; ++f) {
            FUNCDESC* fd = nullptr;
            if (FAILED(view->GetFuncDesc(f, &fd))) continue;
            fw::unique_bstr member;
            UINT got = 0;
            view->GetNames(fd->memid, member.put(), 1, &got);
            if (!kInherited.count(member.c_str())) d.members.insert(member.c_str());
            view->ReleaseFuncDesc(fd);
        }
        view->ReleaseTypeAttr(attr);
        result.push_back(d);
    }
    return result;
}

TEST(ApiDocTest, TheReferenceHasASectionForEveryInterfaceAndNamesEveryMember) {
    OleSession ole;
    com_ptr<ITypeLib> tl;
    ASSERT_EQ(S_OK, LoadTypeLibEx((ExeDir() + L"\\Vellix.DLL").c_str(), REGKIND_NONE, tl.put()));
    std::string doc;
    ASSERT_TRUE(ReadFileBytes(ExeDir() + L"\\docs\\api.md", &doc));

    std::vector<Described> interfaces = InterfacesOf(tl.get());
    ASSERT_GE(interfaces.size(), 2u);  // the control's and the document site's at least
    size_t members = 0;
    for (const Described& itf : interfaces) {
        const std::string name = Narrow(itf.name);
        EXPECT_NE(std::string::npos, doc.find("\n## " + name + "\n")) << "no section for " << name;
        for (const std::wstring& member : itf.members) {
            ++members;
            EXPECT_NE(std::string::npos, doc.find("`" + Narrow(member) + "`")) << name << "::" << Narrow(member);
        }
    }
    EXPECT_GE(members, 29u + 28u);
}

}  // namespace
