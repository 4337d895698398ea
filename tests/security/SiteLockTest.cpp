// The site lock: the registered control, hosted in a container that presents
// a page URL the way a browser's HTML host does. Zones come from the
// system's security manager and the ZoneMap keys set here; the allow-list
// and the switch are the machine's keys.
#include <gtest/gtest.h>

#include <docobj.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "LogTail.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"
#include "security/GatedMembers.h"

using namespace testsupport;

namespace {

const wchar_t kZoneDomain[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\vx.test";
const wchar_t kPolicyKey[] = L"Software\\Vellix";
const wchar_t kAllowedSitesKey[] = L"Software\\Vellix\\AllowedSites";
const wchar_t kSettingsFamily[] = L"Software\\Quorvane";
const wchar_t kFileSystemObjectClsid[] = L"{0D43FE01-F093-11CF-8940-00A0C9054228}";

// Pages under vx.test; SetUp maps three hosts into the zone they are named
// after, every other host is in the Internet zone.
const wchar_t kFilePage[] = L"file:///C:/pages/page.html";
const wchar_t kTrustedPage[] = L"http://trusted.vx.test/page.html";
const wchar_t kIntranetPage[] = L"http://intranet.vx.test/page.html";
const wchar_t kRestrictedPage[] = L"http://restricted.vx.test/page.html";
const wchar_t kInternetPage[] = L"http://www.vx.test/page.html";

std::string Narrow(const std::wstring& s) { return testsupport::Narrow(s); }
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Borrows the BSTR of its owner.
VARIANT String(const fw::unique_bstr& b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = b.get();
    return v;
}

// The machine's policy keys are read in the native view; the test writes
// them there too.
void SetReg(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* text, DWORD dword = 0) {
    fw::unique_hkey k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                                             k.put(), nullptr));
    if (text)
        RegSetValueExW(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), (lstrlenW(text) + 1) * 2);
    else
        RegSetValueExW(k.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof(dword));
}
void DeleteTree(HKEY root, const wchar_t* key) {
    fw::unique_hkey k;
    if (RegOpenKeyExW(root, key, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, k.put()) != ERROR_SUCCESS) return;
    RegDeleteTreeW(k.get(), nullptr);
    k.reset();
    RegDeleteKeyExW(root, key, KEY_WOW64_64KEY, 0);
}

class SiteLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearPolicy();
        const std::pair<const wchar_t*, DWORD> zones[] = {{L"trusted", 2}, {L"intranet", 1}, {L"restricted", 4}};
        for (const auto& [host, zone] : zones)
            SetReg(HKEY_CURRENT_USER, (std::wstring(kZoneDomain) + L"\\" + host).c_str(), L"http", nullptr, zone);
        SetEnvironmentVariableW(L"VX_PROBE_OUT", m_dir.file(L"probe.txt").c_str());
    }
    void TearDown() override {
        m_office.reset();
        m_host.Release();
        SetEnvironmentVariableW(L"VX_PROBE_OUT", nullptr);
        ClearPolicy();
        DeleteTree(HKEY_CURRENT_USER, kZoneDomain);
        // File dialogs come only where a test planned them; no box at all.
        for (const DrivenDialog& d : m_dialogs.records())
            EXPECT_TRUE(d.kind == DialogKind::FileDialog && d.error.empty())
                << "unexpected dialog: " << Narrow(d.box.caption) << " / " << Narrow(d.box.text) << Narrow(d.error);
    }
    static void ClearPolicy() {
        DeleteTree(HKEY_LOCAL_MACHINE, kPolicyKey);
        DeleteTree(HKEY_CURRENT_USER, kPolicyKey);
        DeleteTree(HKEY_CURRENT_USER, kSettingsFamily);
    }

    // A fresh control in the container, which presents the page as asked.
    void HostIn(PageSource source, const std::wstring& url, DWORD hostZone = kNoZone) {
        m_office.reset();
        m_host.SetPage(source, url, hostZone);
        ASSERT_EQ(S_OK, m_host.Create(CLSID_Office));
        ASSERT_EQ(S_OK, m_host.query(m_office.put()));
    }
    bool HasDocument() {
        fw::unique_bstr name;
        return m_office->GetFileName(name.put()) == S_OK;
    }
    bool SettingsExist(const wchar_t* key, const wchar_t* value) {
        return RegValueExists(HKEY_CURRENT_USER, std::wstring(kSettingsFamily) + L"\\Tollan3.0\\" + key, value);
    }

    static std::wstring LogPath() { return ExeDir() + L"\\log\\office.log"; }
    static std::wstring RefusalLine(const std::wstring& member, const std::wstring& page) {
        return L"站点锁定拒绝\t成员:" + member + L"\t页面:" + page;
    }
    static std::vector<std::wstring> Refusals(const LogTail& tail) {
        std::vector<std::wstring> out;
        for (const std::wstring& e : tail.entries())
            if (e.compare(0, 6, L"站点锁定拒绝") == 0) out.push_back(e);
        return out;
    }

    OleSession m_ole;
    DialogDriver m_dialogs{IDOK};
    TempDir m_dir{L"vxlock"};
    TestContainer m_host;
    fw::com_ptr<IOffice> m_office;
};

// A gated member: the call, and whether its effect shows afterwards (the
// file gone or written, the object or document made, the value written).
struct GatedMember {
    const wchar_t* name;
    std::function<HRESULT()> call;
    std::function<bool()> effect;
};

// Every gated member on pages that may use them and on one that may not:
// refused members do nothing and each leaves one log line.
TEST_F(SiteLockTest, EachGatedMemberWorksForAllowedPagesAndIsRefusedToAnInternetPage) {
    const std::wstring victim = m_dir.file(L"victim.txt"), doc = m_dir.file(L"doc.vxp"),
                       probe = m_dir.file(L"probe.txt");
    fw::unique_bstr bVictim(victim.c_str()), bDoc(doc.c_str()), bProbe((ExeDir() + L"\\ShellProbe.exe").c_str()),
        bFso(kFileSystemObjectClsid), bPad(L"VellixPad.Document"), bText(L"x");
    fw::com_ptr<IDispatch> object;
    std::string before;
    bool bWait = false;  // the started program is expected: wait for what it writes
    const GatedMember members[] = {
        {L"DeleteFile", [&] { return m_office->DeleteFile(bVictim.get()); }, [&] { return !Exists(victim); }},
        {L"ShellExecute", [&] { return m_office->ShellExecute(bProbe.get(), Missing()); },
         [&] {
             for (DWORD start = GetTickCount(); bWait && !Exists(probe) && GetTickCount() - start < 30000;)
                 { TestContainer::Pump(); Sleep(20); }  // polls a file another process writes
             return Exists(probe);
         }},
        {L"GetWindow", [&] { return m_office->GetWindow(bFso.get(), object.put()); }, [&] { return !!object; }},
        {L"GetFileSystemObject", [&] { return m_office->GetFileSystemObject(object.put()); }, [&] { return !!object; }},
        {L"New", [&] { return m_office->New(bPad.get()); }, [&] { return HasDocument(); }},
        {L"Save", [&] { return m_office->Save(String(bDoc), Missing()); },
         [&] {
             std::string after;
             return ReadFileBytes(doc, &after) && after != before;
         }},
        {L"Open", [&] { m_office->Close(); return m_office->Open(String(bDoc), Missing()); },
         [&] { return HasDocument(); }},
        {L"SetUpdateInfo", [&] { return m_office->SetUpdateInfo(bText.get(), bText.get(), bText.get()); },
         [&] { return SettingsExist(L"UpdateInfo", L"IP"); }},
        {L"SetServerInfo", [&] { return m_office->SetServerInfo(bText.get(), bText.get(), bText.get()); },
         [&] { return SettingsExist(L"ServerInfo\\TCP", L"ServerAddr"); }},
        {L"AutoUpdate", [&] { return m_office->put_AutoUpdate(VARIANT_TRUE); },
         [&] { return SettingsExist(L"AutoUpdate", L"Enable"); }},
        {L"AutoUpdateFile", [&] { return m_office->put_AutoUpdateFile(bText.get()); },
         [&] { return SettingsExist(L"AutoUpdate", L"UpdateFile"); }},
    };
    const struct {
        PageSource source;
        const wchar_t* url;
        bool bAllowed;
    } pages[] = {
        {PageSource::None, L"", true},  // a desktop container: no page at all
        {PageSource::Document, kFilePage, true},
        {PageSource::Browser, kTrustedPage, true},
        {PageSource::Document, kInternetPage, false},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(Narrow(page.url));
        ClearPolicy();
        DeleteFileW(probe.c_str());
        DeleteFileW(doc.c_str());
        ASSERT_TRUE(WriteFileBytes(victim, "keep"));
        // A refused Save must leave an existing file as it was.
        if (!page.bAllowed) {
            ASSERT_TRUE(WriteFileBytes(doc, "original"));
        }
        before.clear();
        ReadFileBytes(doc, &before);
        bWait = page.bAllowed;
        HostIn(page.source, page.url);
        LogTail log(LogPath());
        std::vector<std::wstring> expected;
        for (const GatedMember& member : members) {
            object.reset();
            EXPECT_EQ(page.bAllowed ? S_OK : E_ACCESSDENIED, member.call()) << Narrow(member.name);
            EXPECT_EQ(page.bAllowed, member.effect()) << Narrow(member.name);
            if (!page.bAllowed) expected.push_back(RefusalLine(member.name, page.url));
        }
        EXPECT_EQ(expected, Refusals(log));
    }
}

// Which pages the policy lets through, shown with one gated member; the
// members share the one decision above. Each way of naming the page has a
// refused row, so a look-up that found nothing would show.
TEST_F(SiteLockTest, ThePageIsDecidedByItsZoneTheMachinesAllowListAndTheSwitch) {
    struct Case {
        const char* what;
        PageSource source;
        const wchar_t* url;
        const wchar_t* allowEntry;  // in the machine's allow-list
        bool bSwitchOff;            // the machine's switch set to 0
        bool bUserPolicy;           // the entry and the switch in HKCU instead
        bool bAllowed;
    } cases[] = {
        {"intranet zone", PageSource::Moniker, kIntranetPage, nullptr, false, false, true},
        {"internet host listed", PageSource::Moniker, kInternetPage, L"www.vx.test", false, false, true},
        {"listed in another case, with a slash", PageSource::Browser, kInternetPage, L"http://WWW.vx.test/", false,
         false, true},
        {"listed by suffix", PageSource::Document, L"http://a.b.vx.test/", L"*.vx.test", false, false, true},
        {"suffix is no mere ending", PageSource::Document, L"http://notvx.test/", L"*.vx.test", false, false, false},
        {"suffix is not the domain itself", PageSource::Document, L"http://vx.test/", L"*.vx.test", false, false,
         false},
        {"other host listed", PageSource::Browser, kInternetPage, L"vx.test", false, false, false},
        {"https entry, http page", PageSource::Moniker, kInternetPage, L"https://www.vx.test", false, false, false},
        {"https entry, https page", PageSource::Document, L"https://www.vx.test/", L"https://www.vx.test", false,
         false, true},
        {"host in the user part", PageSource::Document, L"http://www.vx.test@evil.example/", L"www.vx.test", false,
         false, false},
        {"restricted zone while listed", PageSource::Document, kRestrictedPage, L"restricted.vx.test", false, false,
         false},
        {"switch off", PageSource::Document, kRestrictedPage, nullptr, true, false, true},
        {"policy in HKCU is not read", PageSource::Document, kInternetPage, L"www.vx.test", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearPolicy();
        const HKEY root = c.bUserPolicy ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        if (c.allowEntry) SetReg(root, kAllowedSitesKey, L"site", c.allowEntry);
        if (c.bSwitchOff) SetReg(root, kPolicyKey, L"SiteLock", nullptr, 0);
        HostIn(c.source, c.url);
        const std::wstring victim = m_dir.file(L"victim.txt");
        ASSERT_TRUE(WriteFileBytes(victim, "keep"));
        EXPECT_EQ(c.bAllowed ? S_OK : E_ACCESSDENIED, m_office->DeleteFile(fw::unique_bstr(victim.c_str()).get()));
        EXPECT_NE(c.bAllowed, Exists(victim));
    }
}

// On a page that is refused the user's own choices still work: the open
// dialog, saving back to the document's file, Save As from the File menu's
// command; and the page is decided again when the browser navigates.
TEST_F(SiteLockTest, ARefusedPageKeepsTheUsersChoicesAndNavigationIsDecidedAgain) {
    HostIn(PageSource::Document, kTrustedPage);
    const std::wstring own = m_dir.file(L"own.vxp"), named = m_dir.file(L"named.vxp"),
                       chosen = m_dir.file(L"chosen.vxp");
    fw::unique_bstr bOwn(own.c_str()), bNamed(named.c_str());
    ASSERT_EQ(S_OK, m_office->New(fw::unique_bstr(L"VellixPad.Document").get()));
    ASSERT_EQ(S_OK, m_office->Save(String(bOwn), Missing()));

    m_host.SetPage(PageSource::Document, kInternetPage);
    LogTail log(LogPath());
    EXPECT_EQ(E_ACCESSDENIED, m_office->Save(String(bNamed), Missing()));
    EXPECT_FALSE(Exists(named));
    const std::wstring lookalike = m_dir.file(L"own\u200b.vxp");  // not its own file, however alike
    EXPECT_EQ(E_ACCESSDENIED, m_office->Save(String(fw::unique_bstr(lookalike.c_str())), Missing()));
    EXPECT_FALSE(Exists(lookalike));
    fw::unique_bstr shown;
    ASSERT_EQ(S_OK, m_office->GetFileName(shown.put()));
    EXPECT_STREQ(L"own.vxp", shown.c_str()) << "a refused page learns no folder";
    EXPECT_EQ(S_OK, m_office->Save(String(bOwn), Missing()));
    EXPECT_EQ(S_OK, m_office->Save(Missing(), Missing()));
    m_dialogs.CancelFileDialog();
    EXPECT_EQ(S_FALSE, m_office->Open(Missing(), Missing()));
    ASSERT_EQ(1u, m_dialogs.count());
    m_dialogs.CancelFileDialog();
    EXPECT_EQ(S_FALSE, m_office->ShowFileDialog(VARIANT_TRUE, Missing(), String(fw::unique_bstr(L"\\\\vx\\share\\a.vxp")),
                                                Missing(), Missing(), shown.put()));
    ASSERT_EQ(2u, m_dialogs.count());
    EXPECT_EQ(L"a.vxp", m_dialogs.records()[1].fileName) << "the dialog gets the leaf alone";
    m_dialogs.SelectFiles(m_dir.path(), {L"chosen.vxp"});
    fw::com_ptr<IOleCommandTarget> commands;
    ASSERT_EQ(S_OK, m_office.query(commands.put()));
    ASSERT_EQ(S_OK, commands->Exec(nullptr, OLECMDID_SAVEAS, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr));
    const DWORD start = GetTickCount();
    while (!Exists(chosen) && GetTickCount() - start < 30000) { TestContainer::Pump(); Sleep(20); }  // polls a file another process writes
    EXPECT_TRUE(Exists(chosen));
    EXPECT_EQ(std::vector<std::wstring>(2, RefusalLine(L"Save", kInternetPage)), Refusals(log));

    m_host.SetPage(PageSource::Document, kTrustedPage);
    EXPECT_EQ(S_OK, m_office->Save(String(bNamed), Missing()));
    EXPECT_TRUE(Exists(named));
    EXPECT_EQ(3u, m_dialogs.count());
}

// However the control was made (an object tag's client site, a script's
// ActiveXObject told its page only through SetSite, or both) and wherever
// the zone comes from (urlmon by the URL, or the host's security manager),
// a refused page reaches nothing and no box comes.
TEST_F(SiteLockTest, AControlMadeByScriptIsLockedLikeOnePlacedOnThePage) {
    enum How { Tag, SetSite, Both };
    const struct { How how; PageSource source; const wchar_t* url; DWORD hostZone; bool bAllowed; } cases[] = {
        {SetSite, PageSource::Browser, kInternetPage, kNoZone, false},
        {SetSite, PageSource::Browser, kTrustedPage, kNoZone, true},
        {SetSite, PageSource::None, L"", kNoZone, true},  // no page: a desktop program's site
        {SetSite, PageSource::Browser, L"javascript:void(0)", kNoZone, false},
        {SetSite, PageSource::Browser, L"about:blank", 2, true},  // the host vouches for its maker's page
        {SetSite, PageSource::Browser, kTrustedPage, 3, false},   // the host knows better than the URL
        {Tag, PageSource::Document, kFilePage, 3, false},
        {Tag, PageSource::None, L"", 4, false},
        {Both, PageSource::Browser, kInternetPage, kNoZone, false},
        {Both, PageSource::Moniker, kIntranetPage, kNoZone, true},
    };
    const std::wstring victim = m_dir.file(L"victim.txt"), doc = m_dir.file(L"doc.vxp");
    fw::unique_bstr bVictim(victim.c_str()), bDoc(doc.c_str()), bFso(kFileSystemObjectClsid);
    fw::com_ptr<IDispatch> object;
    const GatedMember members[] = {
        {L"DeleteFile", [&] { return m_office->DeleteFile(bVictim.get()); }, [&] { return !Exists(victim); }},
        {L"GetFileSystemObject", [&] { return m_office->GetFileSystemObject(object.put()); }, [&] { return !!object; }},
        // Only refused: allowed, these would start a window or a program.
        {L"GetWindow", [&] { return m_office->GetWindow(bFso.get(), object.put()); }, [&] { return !!object; }},
        {L"Open", [&] { return m_office->Open(String(bDoc), Missing()); }, [&] { return HasDocument(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        ASSERT_TRUE(WriteFileBytes(victim, "keep") && WriteFileBytes(doc, "not opened"));
        HostIn(c.source, c.url, c.hostZone);
        // Made by script: no client site at all.
        ASSERT_TRUE(c.how != SetSite || S_OK == CoCreateInstance(CLSID_Office, nullptr, CLSCTX_INPROC_SERVER,
                                                                 IID_IOffice, m_office.put_void()));
        fw::com_ptr<IObjectWithSite> withSite;
        fw::com_ptr<IUnknown> got;
        ASSERT_EQ(S_OK, m_office.query(withSite.put()));
        EXPECT_TRUE(withSite->GetSite(IID_IUnknown, got.put_void()) == E_FAIL && !got) << "no site yet";
        ASSERT_TRUE(c.how == Tag || S_OK == withSite->SetSite(m_host.site()));
        LogTail log(LogPath());
        for (size_t i = 0; i < (c.bAllowed ? 2 : ARRAYSIZE(members)); ++i) {
            object.reset();
            EXPECT_EQ(c.bAllowed ? S_OK : E_ACCESSDENIED, members[i].call()) << Narrow(members[i].name);
            EXPECT_EQ(c.bAllowed, members[i].effect()) << Narrow(members[i].name);
        }
        EXPECT_EQ(c.bAllowed ? 0u : ARRAYSIZE(members), Refusals(log).size());
        withSite->SetSite(nullptr);
    }
}

// An Internet page the allow-list lets in transfers to its own origin and
// the listed hosts only, at every redirect; a refused hop gets no request
// (and no byte of the document), its refusal is logged and described.
TEST_F(SiteLockTest, APagesTransfersGoOnlyWhereItMaySendThemAtEveryHop) {
    wchar_t port[16] = {}, root[MAX_PATH] = {};
    GetEnvironmentVariableW(L"VX_WEB_PORT", port, ARRAYSIZE(port));
    GetEnvironmentVariableW(L"VX_WEB_ROOT", root, ARRAYSIZE(root));
    ASSERT_TRUE(*port && *root) << "run through scripts/test.sh: it starts the local web server";
    auto url = [&](const wchar_t* host, const std::wstring& path) {
        return std::wstring(L"http://") + host + L":" + port + L"/" + path;
    };
    const std::wstring page = url(L"127.0.0.1", L"page.html"), doc = L"files/lock.vxp",
                       requests = std::wstring(root) + L"\\requests.log";
    wchar_t httpsPort[16] = {};
    GetEnvironmentVariableW(L"VX_DAV_HTTPS_PORT", httpsPort, ARRAYSIZE(httpsPort));
    ASSERT_TRUE(*httpsPort) << "run through scripts/test.sh: it starts Apache";
    const std::wstring https = std::wstring(L"https://localhost:") + httpsPort, httpsPage = https + L"/page.html";
    HostIn(PageSource::None, L"");
    ASSERT_EQ(S_OK, m_office->New(fw::unique_bstr(L"VellixPad.Document").get()));
    ASSERT_EQ(S_OK, m_office->Save(String(fw::unique_bstr((std::wstring(root) + L"\\lock.vxp").c_str())), Missing()));
    // refusedHop: what the refusal names; null where the transfer is allowed.
    const struct { const wchar_t* page; const wchar_t* alsoListed; std::wstring target; const wchar_t* refusedHop; } cases[] = {
        {page.c_str(), nullptr, url(L"127.0.0.1", doc), nullptr},
        {page.c_str(), nullptr, url(L"localhost", doc), L"localhost"},
        {page.c_str(), nullptr, url(L"127.0.0.1@localhost", doc), L"localhost"},
        {page.c_str(), nullptr, url(L"127.0.0.1", L"to/302?" + url(L"localhost", doc)), L"localhost"},
        {page.c_str(), L"localhost", url(L"127.0.0.1", L"to/302?" + url(L"localhost", doc)), nullptr},
        // An upload the server sends on, body and all (307): a POST.
        {page.c_str(), nullptr, url(L"127.0.0.1", L"to/307?" + url(L"localhost", L"upload/lock.vxp")), L"localhost"},
        {kTrustedPage, nullptr, url(L"localhost", doc), nullptr},
        // From https, never on over http, even to a listed host.
        {httpsPage.c_str(), L"localhost", https + L"/tohttp/lock.vxp", L"http://localhost"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.target));
        ClearPolicy();
        SetReg(HKEY_LOCAL_MACHINE, kAllowedSitesKey, L"own", L"127.0.0.1");
        if (c.alsoListed) SetReg(HKEY_LOCAL_MACHINE, kAllowedSitesKey, L"also", c.alsoListed);
        HostIn(PageSource::Document, c.page);
        fw::com_ptr<IOffice2> office;
        ASSERT_EQ(S_OK, m_office.query(office.put()));
        std::string before, after;
        ReadFileBytes(requests, &before);
        LogTail log(LogPath());
        fw::unique_bstr target(c.target.c_str()), response, text;
        const bool bPost = c.target.find(L"/upload/") != std::wstring::npos;
        ASSERT_TRUE(!bPost || S_OK == office->New(fw::unique_bstr(L"VellixPad.Document").get()));
        EXPECT_EQ(c.refusedHop ? E_ACCESSDENIED : S_OK,
                  bPost ? office->SaveToURL(target.get(), Missing(), Missing(), Missing(), Missing(), response.put())
                        : office->OpenFromURL(target.get(), Missing(), Missing()));
        if (!c.refusedHop) continue;
        fw::com_ptr<IErrorInfo> info;
        ASSERT_EQ(S_OK, GetErrorInfo(0, info.put()));
        info->GetDescription(text.put());
        EXPECT_NE(std::wstring::npos, std::wstring(text.c_str()).find(c.refusedHop)) << Narrow(text.c_str());
        EXPECT_EQ(1u, Refusals(log).size());
        ReadFileBytes(requests, &after);
        after.erase(0, before.size());
        EXPECT_TRUE(after.find(" /files/") == std::string::npos && after.find(" /upload/") == std::string::npos) << after;
    }
}

// Every member the type library gives IOffice3 and its bases is a row of the
// lock's table or listed as harmless beside it, by the same DISPID and name:
// a member added without a decision, or a row that names no member, fails.
TEST(SiteLockTable, EveryScriptMemberIsEitherGatedOrListedAsHarmless) {
    OleSession ole;
    fw::com_ptr<IDispatch> office;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Office, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, office.put_void()));
    fw::com_ptr<ITypeInfo> info, next;
    ASSERT_EQ(S_OK, office->GetTypeInfo(0, 0, info.put()));
    HREFTYPE ref = 0;
    // The interface half of the dual interface lists each member once.
    if (SUCCEEDED(info->GetRefTypeOfImplType(-1, &ref)) && SUCCEEDED(info->GetRefTypeInfo(ref, next.put())))
        info = next;
    std::map<DISPID, std::wstring> members;
    for (;;) {
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
        const bool bScriptMembers = !IsEqualIID(attr->guid, IID_IDispatch) && !IsEqualIID(attr->guid, IID_IUnknown);
        const UINT cFuncs = attr->cFuncs;
        info->ReleaseTypeAttr(attr);
        if (!bScriptMembers) break;
        for (UINT i = 0; i < cFuncs; ++i) {
            FUNCDESC* func = nullptr;
            ASSERT_EQ(S_OK, info->GetFuncDesc(i, &func));
            fw::unique_bstr name;
            info->GetDocumentation(func->memid, name.put(), nullptr, nullptr, nullptr);
            // IUnknown's and IDispatch's own, where a view lists them: no script calls them.
            if (!(func->wFuncFlags & FUNCFLAG_FRESTRICTED)) members[func->memid] = name.c_str();
            info->ReleaseFuncDesc(func);
        }
        next.reset();
        ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(0, &ref));
        ASSERT_EQ(S_OK, info->GetRefTypeInfo(ref, next.put()));
        info = next;
    }
    std::map<DISPID, std::wstring> decided;
    for (const security::GatedMember& m : security::kGatedMembers) decided[m.dispid] = m.name;
    for (const security::HarmlessMember& m : security::kHarmlessMembers)
        EXPECT_TRUE(decided.emplace(m.dispid, m.name).second) << "gated and harmless: " << Narrow(m.name);
    auto notIn = [](const std::map<DISPID, std::wstring>& a, const std::map<DISPID, std::wstring>& b) {
        std::wstring out;
        for (const auto& [dispid, name] : a)
            if (b.count(dispid) == 0 || b.at(dispid) != name) out += std::to_wstring(dispid) + L" " + name + L"; ";
        return Narrow(out);
    };
    EXPECT_EQ("", notIn(members, decided)) << "members without a decision";
    EXPECT_EQ("", notIn(decided, members)) << "rows that name no member";
}

}  // namespace
