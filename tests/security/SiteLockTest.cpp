// The site lock: the registered control, hosted in a container that presents
// a page URL the way a browser's HTML host does. Zones come from the
// system's security manager and the ZoneMap keys set here; the allow-list
// and the switch are the machine's keys.
#include <gtest/gtest.h>

#include <docobj.h>

#include <functional>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "LogTail.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

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

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}
// Borrows the BSTR of its owner.
VARIANT String(const fw::unique_bstr& b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = b.get();
    return v;
}

void SetRegString(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* value) {
    fw::unique_hkey k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                                             k.put(), nullptr));
    RegSetValueExW(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   (lstrlenW(value) + 1) * sizeof(wchar_t));
}
void SetRegDword(HKEY root, const wchar_t* key, const wchar_t* name, DWORD value) {
    fw::unique_hkey k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                                             k.put(), nullptr));
    RegSetValueExW(k.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}
void DeleteTree(HKEY root, const wchar_t* parent, const wchar_t* child) {
    fw::unique_hkey k;
    if (RegOpenKeyExW(root, parent, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, k.put()) == ERROR_SUCCESS)
        RegDeleteTreeW(k.get(), child);
}

class SiteLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearPolicy();
        SetRegDword(HKEY_CURRENT_USER, (std::wstring(kZoneDomain) + L"\\trusted").c_str(), L"http", 2);
        SetRegDword(HKEY_CURRENT_USER, (std::wstring(kZoneDomain) + L"\\intranet").c_str(), L"http", 1);
        SetRegDword(HKEY_CURRENT_USER, (std::wstring(kZoneDomain) + L"\\restricted").c_str(), L"http", 4);
        SetEnvironmentVariableW(L"VX_PROBE_OUT", ProbeOut().c_str());
    }
    void TearDown() override {
        m_office.reset();
        m_host.Release();
        SetEnvironmentVariableW(L"VX_PROBE_OUT", nullptr);
        ClearPolicy();
        DeleteTree(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains",
                   L"vx.test");
        // File dialogs come only where a test planned them; no box at all.
        for (const DrivenDialog& d : m_dialogs.records())
            EXPECT_TRUE(d.kind == DialogKind::FileDialog && d.error.empty())
                << "unexpected dialog: " << Narrow(d.box.caption) << " / " << Narrow(d.box.text) << Narrow(d.error);
    }
    static void ClearPolicy() {
        DeleteTree(HKEY_LOCAL_MACHINE, L"Software", L"Vellix");
        DeleteTree(HKEY_CURRENT_USER, L"Software", L"Vellix");
        DeleteTree(HKEY_CURRENT_USER, L"Software", L"Quorvane");
    }

    // A fresh control in the container, which presents the page as asked.
    void HostIn(PageSource source, const std::wstring& url) {
        m_office.reset();
        m_host.SetPage(source, url);
        ASSERT_EQ(S_OK, m_host.Create(CLSID_Office));
        ASSERT_EQ(S_OK, m_host.query(m_office.put()));
    }
    bool HasDocument() {
        fw::unique_bstr name;
        return m_office->GetFileName(name.put()) == S_OK;
    }
    HRESULT DeleteProbeFile(bool* pGone) {
        const std::wstring file = m_dir.file(L"victim.txt");
        WriteFileBytes(file, "keep");
        HRESULT hr = m_office->DeleteFile(fw::unique_bstr(file.c_str()).get());
        *pGone = !Exists(file);
        return hr;
    }

    static std::wstring LogPath() { return ExeDir() + L"\\log\\office.log"; }
    std::wstring ProbeOut() const { return m_dir.file(L"probe.txt"); }
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

// One gated member: calls it and reports whether its effect was seen (the
// file gone or written, the object or document made, the key written).
// bWait: the effect is expected and may take a moment to show.
struct GatedMember {
    const wchar_t* name;
    std::function<HRESULT(const std::wstring& doc, bool bWait, bool* pEffect)> call;
};

class SiteLockMembers : public SiteLockTest {
protected:
    std::vector<GatedMember> Members() {
        return {
            {L"DeleteFile", [this](const std::wstring&, bool, bool* pEffect) { return DeleteProbeFile(pEffect); }},
            {L"ShellExecute", [this](const std::wstring&, bool bWait, bool* pEffect) {
                 HRESULT hr = m_office->ShellExecute(fw::unique_bstr((ExeDir() + L"\\ShellProbe.exe").c_str()).get(),
                                                     Missing());
                 const DWORD start = GetTickCount();
                 while (bWait && !Exists(ProbeOut()) && GetTickCount() - start < 30000) TestContainer::Pump(50);
                 *pEffect = Exists(ProbeOut());
                 return hr;
             }},
            {L"GetWindow", [this](const std::wstring&, bool, bool* pEffect) {
                 fw::com_ptr<IDispatch> object;
                 HRESULT hr = m_office->GetWindow(fw::unique_bstr(kFileSystemObjectClsid).get(), object.put());
                 *pEffect = static_cast<bool>(object);
                 return hr;
             }},
            {L"GetFileSystemObject", [this](const std::wstring&, bool, bool* pEffect) {
                 fw::com_ptr<IDispatch> object;
                 HRESULT hr = m_office->GetFileSystemObject(object.put());
                 *pEffect = static_cast<bool>(object);
                 return hr;
             }},
            {L"New", [this](const std::wstring&, bool, bool* pEffect) {
                 HRESULT hr = m_office->New(fw::unique_bstr(L"VellixPad.Document").get());
                 *pEffect = HasDocument();
                 return hr;
             }},
            {L"Save", [this](const std::wstring& doc, bool, bool* pEffect) {
                 std::string before;
                 ReadFileBytes(doc, &before);
                 fw::unique_bstr name(doc.c_str());
                 HRESULT hr = m_office->Save(String(name), Missing());
                 std::string after;
                 *pEffect = ReadFileBytes(doc, &after) && after != before;
                 return hr;
             }},
            {L"Open", [this](const std::wstring& doc, bool, bool* pEffect) {
                 m_office->Close();
                 fw::unique_bstr name(doc.c_str());
                 HRESULT hr = m_office->Open(String(name), Missing());
                 *pEffect = HasDocument();
                 return hr;
             }},
            {L"SetUpdateInfo", [this](const std::wstring&, bool, bool* pEffect) {
                 fw::unique_bstr value(L"x");
                 HRESULT hr = m_office->SetUpdateInfo(value.get(), value.get(), value.get());
                 *pEffect = RegKeyExists(HKEY_CURRENT_USER, L"Software\\Quorvane\\Tollan3.0\\UpdateInfo");
                 return hr;
             }},
            {L"SetServerInfo", [this](const std::wstring&, bool, bool* pEffect) {
                 fw::unique_bstr value(L"x");
                 HRESULT hr = m_office->SetServerInfo(value.get(), value.get(), value.get());
                 *pEffect = RegKeyExists(HKEY_CURRENT_USER, L"Software\\Quorvane\\Tollan3.0\\ServerInfo\\TCP");
                 return hr;
             }},
            {L"AutoUpdate", [this](const std::wstring&, bool, bool* pEffect) {
                 HRESULT hr = m_office->put_AutoUpdate(VARIANT_TRUE);
                 *pEffect = RegValueExists(HKEY_CURRENT_USER, L"Software\\Quorvane\\Tollan3.0\\AutoUpdate", L"Enable");
                 return hr;
             }},
            {L"AutoUpdateFile", [this](const std::wstring&, bool, bool* pEffect) {
                 fw::unique_bstr value(L"x");
                 HRESULT hr = m_office->put_AutoUpdateFile(value.get());
                 *pEffect = RegValueExists(HKEY_CURRENT_USER, L"Software\\Quorvane\\Tollan3.0\\AutoUpdate",
                                           L"UpdateFile");
                 return hr;
             }},
        };
    }
};

// Every gated member on pages that may use them and on one that may not:
// refused members do nothing and each leaves one log line.
TEST_F(SiteLockMembers, EachGatedMemberWorksForAllowedPagesAndIsRefusedToAnInternetPage) {
    struct Page {
        PageSource source;
        const wchar_t* url;
        bool bAllowed;
    } pages[] = {
        {PageSource::None, L"", true},  // a desktop container: no page at all
        {PageSource::Document, kFilePage, true},
        {PageSource::Browser, kTrustedPage, true},
        {PageSource::Document, kInternetPage, false},
    };
    for (const Page& page : pages) {
        SCOPED_TRACE(Narrow(page.url));
        ClearPolicy();
        DeleteFileW(ProbeOut().c_str());
        const std::wstring doc = m_dir.file(L"doc.vxp");
        DeleteFileW(doc.c_str());
        // A refused Save must leave an existing file as it was.
        if (!page.bAllowed) {
            ASSERT_TRUE(WriteFileBytes(doc, "original"));
        }
        HostIn(page.source, page.url);
        LogTail log(LogPath());
        std::vector<std::wstring> expected;
        for (const GatedMember& member : Members()) {
            bool bEffect = false;
            HRESULT hr = member.call(doc, page.bAllowed, &bEffect);
            if (page.bAllowed) {
                EXPECT_EQ(S_OK, hr) << Narrow(member.name);
                EXPECT_TRUE(bEffect) << Narrow(member.name);
            } else {
                EXPECT_EQ(E_ACCESSDENIED, hr) << Narrow(member.name);
                EXPECT_FALSE(bEffect) << Narrow(member.name);
                expected.push_back(RefusalLine(member.name, page.url));
            }
        }
        EXPECT_EQ(expected, Refusals(log));
        if (!page.bAllowed) {
            std::string bytes;
            EXPECT_TRUE(ReadFileBytes(doc, &bytes) && bytes == "original");
            EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kSettingsFamily));
        }
    }
}

// Which pages the policy lets through, shown with one gated member; the
// members share the one decision above.
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
        {"other host listed", PageSource::Document, kInternetPage, L"vx.test", false, false, false},
        {"https entry, http page", PageSource::Document, kInternetPage, L"https://www.vx.test", false, false, false},
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
        if (c.allowEntry) SetRegString(root, kAllowedSitesKey, L"site", c.allowEntry);
        if (c.bSwitchOff) SetRegDword(root, kPolicyKey, L"SiteLock", 0);
        HostIn(c.source, c.url);
        bool bGone = false;
        HRESULT hr = DeleteProbeFile(&bGone);
        EXPECT_EQ(c.bAllowed ? S_OK : E_ACCESSDENIED, hr);
        EXPECT_EQ(c.bAllowed, bGone);
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
    EXPECT_EQ(S_OK, m_office->Save(String(bOwn), Missing()));
    EXPECT_EQ(S_OK, m_office->Save(Missing(), Missing()));
    m_dialogs.CancelFileDialog();
    EXPECT_EQ(S_FALSE, m_office->Open(Missing(), Missing()));
    ASSERT_EQ(1u, m_dialogs.count());
    m_dialogs.SelectFiles(m_dir.path(), {L"chosen.vxp"});
    fw::com_ptr<IOleCommandTarget> commands;
    ASSERT_EQ(S_OK, m_office.query(commands.put()));
    ASSERT_EQ(S_OK, commands->Exec(nullptr, OLECMDID_SAVEAS, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr));
    const DWORD start = GetTickCount();
    while (!Exists(chosen) && GetTickCount() - start < 30000) TestContainer::Pump(50);
    EXPECT_TRUE(Exists(chosen));
    EXPECT_EQ(std::vector<std::wstring>{RefusalLine(L"Save", kInternetPage)}, Refusals(log));

    m_host.SetPage(PageSource::Document, kTrustedPage);
    EXPECT_EQ(S_OK, m_office->Save(String(bNamed), Missing()));
    EXPECT_TRUE(Exists(named));
    EXPECT_EQ(2u, m_dialogs.count());
}

}  // namespace
