// Documents on a real WebDAV server: the registered control and its web
// session against the private Apache httpd scripts/setup.sh starts (VX_DAV_*
// in the environment), over http and https with a per-run test CA the prefix
// trusts, and against https ports whose certificates are faulty on purpose.
#include <gtest/gtest.h>

#include <windows.h>
#include <iphlpapi.h>
#include <sys/utime.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <string>

#include "EventSink.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"
#include "platform/HelperLibrary.h"
#include "web/WebSession.h"

using namespace testsupport;
using fw::com_ptr;
using fw::unique_bstr;
using fw::unique_variant;

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t sz[1024] = {};
    DWORD n = GetEnvironmentVariableW(name, sz, ARRAYSIZE(sz));
    return n && n < ARRAYSIZE(sz) ? sz : L"";
}

std::string FileText(const std::wstring& path) {
    std::string s;
    ReadFileBytes(path, &s);
    return s;
}

class DavTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = Env(L"VX_DAV_ROOT");
        ASSERT_FALSE(m_root.empty() || Env(L"VX_DAV_HTTPS_PORT").empty())
            << "run through scripts/test.sh: it starts Apache";
        ASSERT_EQ(S_OK, m_host.Create(CLSID_Office));
        ASSERT_EQ(S_OK, m_host.query(m_office.put()));
    }
    void TearDown() override {
        if (m_cp) m_cp->Unadvise(m_cookie);
        m_cp.reset();
        m_office.reset();
        m_host.Release();
    }
    // The control's events from here on, in m_sink.
    void Listen() {
        com_ptr<IConnectionPointContainer> cpc;
        ASSERT_EQ(S_OK, m_office.query(cpc.put()));
        ASSERT_EQ(S_OK, cpc->FindConnectionPoint(DIID__IOfficeEvents, m_cp.put()));
        ASSERT_EQ(S_OK, m_cp->Advise(&m_sink, &m_cookie));
    }
    bool Heard(const std::wstring& event) const {
        return std::find(m_sink.events.begin(), m_sink.events.end(), event) != m_sink.events.end();
    }

    // "http://127.0.0.1:<VX_DAV_HTTP_PORT>/dav/<name>" and the like.
    static std::wstring Url(const wchar_t* pszBase, const wchar_t* pszPortVar, const std::wstring& name) {
        return pszBase + Env(pszPortVar) + L"/dav/" + name;
    }
    std::wstring ServerFile(const std::wstring& name) const { return m_root + L"\\dav\\" + name; }

    HRESULT SetText(const std::wstring& text) {
        com_ptr<IDispatch> doc;
        if (FAILED(m_office->get_OleObject(doc.put())) || !doc) return E_FAIL;
        StringArg arg(text);
        VARIANT v = arg;
        return DispatchInvoke(doc.get(), L"Text", 0, DISPATCH_PROPERTYPUT, 1, &v, nullptr);
    }
    std::wstring Text() {
        com_ptr<IDispatch> doc;
        unique_variant v;
        if (FAILED(m_office->get_OleObject(doc.put())) || !doc ||
            FAILED(DispatchInvoke(doc.get(), L"Text", 0, DISPATCH_PROPERTYGET, 0, nullptr, v.get())))
            return L"<no document>";
        return v->vt == VT_BSTR && v->bstrVal ? v->bstrVal : L"";
    }
    HRESULT Put(const std::wstring& url) {
        unique_bstr response;
        return m_office->SaveToURL(unique_bstr(url.c_str()).get(), Missing(), Missing(), Missing(), StringArg(L"PUT"),
                                   response.put());
    }
    HRESULT Get(const std::wstring& url) {
        return m_office->OpenFromURL(unique_bstr(url.c_str()).get(), Missing(), Missing());
    }
    // What a local save of the open document writes.
    std::string LocalBytes(const wchar_t* pszName) {
        const std::wstring path = m_dir.file(pszName);
        if (FAILED(m_office->Save(StringArg(path), Missing()))) return "<not saved>";
        return FileText(path);
    }
    bool Saved() {
        VARIANT_BOOL b = VARIANT_TRUE;
        m_office->get_Saved(&b);
        return b != VARIANT_FALSE;
    }
    // The thread's error object, read right after the failing call.
    static std::wstring ErrorDescription() {
        com_ptr<IErrorInfo> info;
        unique_bstr text;
        if (GetErrorInfo(0, info.put()) != S_OK || !info || FAILED(info->GetDescription(text.put()))) return L"";
        return text.c_str();
    }

    static long Status(IOffice2* office) {
        long n = 0;
        office->get_LastHTTPStatus(&n);
        return n;
    }
    // A new document with text, put to url as the server's first copy.
    void Publish(const std::wstring& url, const wchar_t* pszText) {
        ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
        ASSERT_EQ(S_OK, SetText(pszText));
        ASSERT_EQ(S_OK, Put(url)) << url;
        ASSERT_EQ(S_OK, m_office->Close());
    }

    OleSession m_ole;
    TempDir m_dir;
    std::wstring m_root;
    TestContainer m_host;
    com_ptr<IOffice2> m_office;
    EventSink m_sink;
    com_ptr<IConnectionPoint> m_cp;
    DWORD m_cookie = 0;
};

// What a server holds is never overwritten by a save of an older copy: a
// PUT back to the document's own URL carries what was downloaded, and a
// change in between fails the save, which keeps the document open and
// unsaved. Only OverwriteURL replaces the server's copy regardless.
TEST_F(DavTest, ASaveOverSomeoneElsesChangeIsAConflictNotALoss) {
    DialogWatcher boxes;
    struct {
        const wchar_t* name;
        const wchar_t* base;
        const wchar_t* portVar;
        bool changed;    // someone else saves between the open and the save
        bool overwrite;  // the script insists
        bool savedFirst;  // we saved there just before their change (our tag still weak)
        HRESULT hr;
        long status;
    } cases[] = {
        {L"untouched", L"http://127.0.0.1:", L"VX_DAV_HTTP_PORT", false, false, false, S_OK, 204},
        {L"changed", L"http://127.0.0.1:", L"VX_DAV_HTTP_PORT", true, false, false, static_cast<HRESULT>(0x80041110),
         412},
        {L"changed-https", L"https://localhost:", L"VX_DAV_HTTPS_PORT", true, false, false,
         static_cast<HRESULT>(0x80041110), 412},
        {L"changed-after-save", L"http://127.0.0.1:", L"VX_DAV_HTTP_PORT", true, false, true,
         static_cast<HRESULT>(0x80041110), 412},
        {L"overwritten", L"http://127.0.0.1:", L"VX_DAV_HTTP_PORT", true, true, false, S_OK, 204},
    };
    com_ptr<IOffice3> office3;
    ASSERT_EQ(S_OK, m_office.query(office3.put()));
    Listen();
    for (const auto& c : cases) {
        const std::wstring name = std::wstring(L"conflict-") + c.name + L".vxp";
        const std::wstring url = Url(c.base, c.portVar, name);
        Publish(url, L"first version");
        ASSERT_EQ(S_OK, Get(url)) << c.name;
        if (c.savedFirst) {
            ASSERT_EQ(S_OK, Put(url)) << c.name;
        }
        ASSERT_EQ(S_OK, SetText(L"my edit"));
        std::string theirs;
        if (c.changed) {
            theirs = FileText(ServerFile(name)) + "their change";
            ASSERT_TRUE(WriteFileBytes(ServerFile(name), theirs));
        }
        unique_bstr response;
        const HRESULT hr = c.overwrite ? office3->OverwriteURL(unique_bstr(url.c_str()).get(), response.put())
                                       : Put(url);
        const std::wstring description = ErrorDescription();
        EXPECT_EQ(c.hr, hr) << c.name;
        EXPECT_EQ(c.status, Status(m_office.get())) << c.name;
        EXPECT_EQ(L"my edit", Text()) << c.name << ": the document stays open";
        EXPECT_EQ(SUCCEEDED(c.hr), Saved()) << c.name;
        if (FAILED(c.hr)) {
            EXPECT_NE(std::wstring::npos, description.find(L"changed on the server")) << c.name;
            EXPECT_TRUE(Heard(L"SaveConflict(" + url + L")")) << c.name;
            EXPECT_TRUE(theirs == FileText(ServerFile(name))) << c.name << ": their change is kept";
        } else {
            EXPECT_TRUE(LocalBytes(L"mine.vxp") == FileText(ServerFile(name))) << c.name;
        }
        ASSERT_EQ(S_OK, m_office->Close());
    }
    EXPECT_EQ(0u, boxes.count());
}

// Check-out and check-in between two users: the lock keeps the second one
// out (naming the holder) but lets him read; it goes with a check-in, an
// undo, a Close and the control's final release.
TEST_F(DavTest, ACheckedOutDocumentIsTheHoldersUntilItsLockGoes) {
    DialogWatcher boxes;
    const std::wstring name = L"shared.vxp", url = Url(L"https://localhost:", L"VX_DAV_HTTPS_PORT", name);
    Publish(url, L"shared");
    auto other = std::make_unique<TestContainer>();
    ASSERT_EQ(S_OK, other->Create(CLSID_Office));
    com_ptr<IOffice3> ann, bob;
    ASSERT_EQ(S_OK, m_office.query(ann.put()));
    ASSERT_EQ(S_OK, other->query(bob.put()));
    const unique_bstr bstrUrl(url.c_str());
    auto checkOut = [&](IOffice3* who, const wchar_t* owner) {
        return who->CheckOut(bstrUrl.get(), StringArg(owner), Missing());
    };
    auto checkedOut = [](IOffice3* who) {
        VARIANT_BOOL b = VARIANT_FALSE;
        who->get_CheckedOut(&b);
        return b != VARIANT_FALSE;
    };
    auto lockOwner = [](IOffice3* who) {
        unique_bstr owner;
        who->get_LockOwner(owner.put());
        return std::wstring(owner.c_str());
    };
    const HRESULT kLocked = static_cast<HRESULT>(0x80041111);

    Listen();
    ASSERT_EQ(S_OK, checkOut(ann.get(), L"Ann 安"));
    EXPECT_TRUE(checkedOut(ann.get()));
    EXPECT_TRUE(Heard(L"DocumentCheckedOut(" + url + L")"));
    EXPECT_EQ(L"shared", Text());
    EXPECT_EQ(kLocked, checkOut(bob.get(), L"Bob"));
    EXPECT_NE(std::wstring::npos, ErrorDescription().find(L"Ann 安"));
    EXPECT_EQ(L"Ann 安", lockOwner(bob.get()));
    ASSERT_EQ(S_OK, bob->OpenFromURL(bstrUrl.get(), Bool(true), Missing())) << "read-only is still possible";
    unique_bstr response;
    EXPECT_EQ(kLocked, bob->SaveToURL(bstrUrl.get(), Missing(), Missing(), Missing(), StringArg(L"PUT"),
                                      response.put()));
    EXPECT_EQ(423, Status(bob.get()));
    EXPECT_EQ(L"Ann 安", lockOwner(bob.get()));

    struct {
        const wchar_t* step;
        std::function<HRESULT()> act;
        bool annHolds;  // Ann's control still checked out after the step
    } steps[] = {
        {L"check-in, kept", [&] { SetText(L"Ann's"); return ann->CheckIn(Bool(true)); }, true},
        {L"check-in", [&] { return ann->CheckIn(Missing()); }, false},
        {L"undo", [&] { return checkOut(ann.get(), L"Ann") == S_OK ? ann->UndoCheckOut() : E_FAIL; }, false},
        {L"close", [&] { return checkOut(ann.get(), L"Ann") == S_OK ? ann->Close() : E_FAIL; }, false},
    };
    for (const auto& st : steps) {
        ASSERT_EQ(S_OK, st.act()) << st.step;
        EXPECT_EQ(st.annHolds, checkedOut(ann.get())) << st.step;
        if (st.annHolds) continue;
        // Released: Bob gets it, and gives it back.
        EXPECT_EQ(S_OK, checkOut(bob.get(), L"Bob")) << st.step;
        EXPECT_EQ(S_OK, bob->UndoCheckOut()) << st.step;
    }
    EXPECT_NE(std::string::npos, FileText(ServerFile(name)).find("A\0n\0n\0'\0s\0")) << "the check-in reached the server";
    EXPECT_EQ(static_cast<HRESULT>(0x80041112), ann->CheckIn(Missing())) << "nothing checked out";
    EXPECT_TRUE(Heard(L"DocumentCheckedIn(" + url + L")"));

    // A short lock is refreshed while it is held: after three refreshes
    // (Apache's log shows each LOCK), longer than the lock's own time, it is
    // still Bob's. Five seconds leave a loaded machine room to be late.
    const wchar_t kWebKey[] = L"Software\\Quorvane\\Tollan3.0\\Web";
    const DWORD seconds = 5;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, kWebKey, L"LockTimeoutSeconds", REG_DWORD, &seconds,
                                             sizeof(seconds)));
    const std::wstring accessLog = m_root + L"\\..\\logs\\access.log";
    auto locks = [&] {
        const std::string log = FileText(accessLog);
        size_t n = 0;
        for (size_t at = log.find(" LOCK /dav/shared.vxp 200"); at != std::string::npos;
             at = log.find(" LOCK /dav/shared.vxp 200", at + 1))
            ++n;
        return n;
    };
    ASSERT_EQ(S_OK, checkOut(bob.get(), L"Bob"));
    const size_t taken = locks();
    for (DWORD start = GetTickCount(); locks() < taken + 3 && GetTickCount() - start < 60000;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(50);
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kWebKey, L"LockTimeoutSeconds");
    EXPECT_GE(locks(), taken + 3) << "refreshed";
    EXPECT_EQ(kLocked, checkOut(ann.get(), L"Ann")) << "still Bob's";
    EXPECT_EQ(S_OK, bob->CheckIn(Missing()));

    // The final release of a checked-out control lets go of its lock too.
    ASSERT_EQ(S_OK, checkOut(bob.get(), L"Bob"));
    bob.reset();
    other.reset();
    EXPECT_EQ(S_OK, checkOut(ann.get(), L"Ann"));
    EXPECT_EQ(S_OK, ann->UndoCheckOut());
    EXPECT_EQ(0u, boxes.count());
}

TEST_F(DavTest, ADocumentMakesAByteExactRoundTripThroughApacheOverHttpAndHttps) {
    DialogWatcher boxes;
    struct {
        const wchar_t* base;
        const wchar_t* portVar;
    } servers[] = {{L"http://127.0.0.1:", L"VX_DAV_HTTP_PORT"}, {L"https://localhost:", L"VX_DAV_HTTPS_PORT"}};
    for (const auto& s : servers) {
        const std::wstring name = std::wstring(L"rt-") + (s.base[4] == L's' ? L"https" : L"http") + L".vxp";
        const std::wstring url = Url(s.base, s.portVar, name);
        ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
        ASSERT_EQ(S_OK, SetText(L"to Apache, 到服务器"));
        ASSERT_EQ(S_OK, Put(url)) << url;
        EXPECT_EQ(201, [&] { long n = 0; m_office->get_LastHTTPStatus(&n); return n; }()) << url << ": created";
        const std::string sent = LocalBytes(L"sent.vxp");
        EXPECT_TRUE(sent == FileText(ServerFile(name))) << url << ": the server holds what a local save writes";

        ASSERT_EQ(S_OK, m_office->Close());
        ASSERT_EQ(S_OK, Get(url)) << url;
        EXPECT_EQ(L"to Apache, 到服务器", Text()) << url;
        ASSERT_EQ(S_OK, SetText(L"edited, 已编辑")) << url;
        ASSERT_EQ(S_OK, Put(url)) << url << ": replaces it";
        EXPECT_TRUE(Saved()) << url;
        EXPECT_TRUE(LocalBytes(L"edited.vxp") == FileText(ServerFile(name))) << url;
        ASSERT_EQ(S_OK, m_office->Close());
    }
    EXPECT_EQ(0u, boxes.count());
}

// Nothing ignores a certificate fault: the transfer ends in the handshake,
// before the request (and so any byte of the document) reaches the server.
TEST_F(DavTest, ACertificateFaultEndsTheTransferBeforeTheServerSeesARequest) {
    DialogWatcher boxes;
    const std::wstring accessLog = m_root + L"\\..\\logs\\access.log";
    struct {
        const wchar_t* portVar;
        HRESULT hr;
    } faults[] = {
        {L"VX_DAV_UNTRUSTED_PORT", HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_CA)},
        {L"VX_DAV_WRONGNAME_PORT", HRESULT_FROM_WIN32(ERROR_INTERNET_SEC_CERT_CN_INVALID)},
        {L"VX_DAV_EXPIRED_PORT", HRESULT_FROM_WIN32(ERROR_INTERNET_SEC_CERT_DATE_INVALID)},
    };
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
    ASSERT_EQ(S_OK, SetText(L"the server's copy"));
    const std::string before = LocalBytes(L"before.vxp");
    ASSERT_EQ(S_OK, SetText(L"must not leave this machine"));
    std::set<HRESULT> distinct;
    for (const auto& f : faults) {
        const std::wstring name = std::wstring(L"cert-") + f.portVar + L".vxp";
        ASSERT_TRUE(WriteFileBytes(ServerFile(name), before));
        const std::string log = FileText(accessLog);
        const std::wstring url = Url(L"https://localhost:", f.portVar, name);

        EXPECT_EQ(f.hr, Put(url)) << url;
        EXPECT_NE(std::wstring::npos, ErrorDescription().find(url)) << url << ": the error object names the URL";
        EXPECT_FALSE(Saved()) << url;
        EXPECT_EQ(f.hr, Get(url)) << url;
        EXPECT_NE(L"", ErrorDescription()) << url;
        EXPECT_EQ(L"must not leave this machine", Text()) << url << ": the open document stays";

        EXPECT_TRUE(before == FileText(ServerFile(name))) << url << ": the server's file is unchanged";
        EXPECT_TRUE(log == FileText(accessLog)) << url << ": no request reached the server";
        distinct.insert(f.hr);
    }
    EXPECT_EQ(ARRAYSIZE(faults), distinct.size()) << "each fault has its own HRESULT";
    EXPECT_EQ(0u, boxes.count());
}

// The web session itself, which the control's script members build on.
class DavSessionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, m_session.Open()); }
    std::wstring Url(bool bHttps, const std::wstring& path) const { return m_base[bHttps] + path; }
    static std::wstring ServerFile(const std::wstring& path) { return Env(L"VX_DAV_ROOT") + L"\\" + path; }
    // The server's file changed behind its back, dated hours back (ahead: a weak ETag).
    static void Seed(const std::wstring& path, const std::string& text, int hours) {
        ASSERT_TRUE(WriteFileBytes(ServerFile(path), text));
        _utimbuf t = {time(nullptr) - hours * 3600, time(nullptr) - hours * 3600};
        ASSERT_EQ(0, _wutime(ServerFile(path).c_str(), &t));
    }
    HRESULT Put(const std::wstring& url, const std::string& text, const web::PutConditions& c, web::TransferResult* p) {
        WriteFileBytes(m_dir.file(L"put.txt"), text);
        return m_session.PutFile(url, m_dir.file(L"put.txt"), nullptr, p, c);
    }
    HRESULT Get(const std::wstring& url, web::TransferResult* p) { return m_session.Download(url, m_got, nullptr, p); }

    const std::wstring m_base[2] = {L"http://127.0.0.1:" + Env(L"VX_DAV_HTTP_PORT") + L"/",
                                    L"https://localhost:" + Env(L"VX_DAV_HTTPS_PORT") + L"/"};
    TempDir m_dir;
    const std::wstring m_got = m_dir.file(L"got.txt");
    web::CWebSession m_session;
};

// Waits until the server has closed every connection to its port (Apache closes an idle kept-alive
// one after a second): a request after that must not die on the connection WinINet kept.
bool ServerClosedConnections(bool bHttps) {
    const DWORD n = _wtoi(Env(bHttps ? L"VX_DAV_HTTPS_PORT" : L"VX_DAV_HTTP_PORT").c_str());
    const DWORD netPort = ((n & 0xFF) << 8) | (n >> 8);
    std::vector<char> buf(1 << 20);
    auto* t = reinterpret_cast<MIB_TCPTABLE*>(buf.data());
    auto open = [&](const MIB_TCPROW& r) { return r.dwRemotePort == netPort && r.dwState == MIB_TCP_STATE_ESTAB; };
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(50)) {
        ULONG cb = static_cast<ULONG>(buf.size());
        if (GetTcpTable(t, &cb, FALSE) == NO_ERROR && std::none_of(t->table, t->table + t->dwNumEntries, open))
            return true;
    }
    return false;
}

TEST_F(DavSessionTest, AConditionalSaveReplacesOnlyTheCopyItStartedFrom) {
    const std::string kOld = "the server's copy", kTheirs = "someone else's, longer", kMine = "mine";
    struct {
        bool https, changed, validators, idle;  // idle: saved once the server closed the kept-alive connection
        int age;               // hours; negative: a weak ETag
        const wchar_t* since;  // in place of the download's date
        HRESULT hr;
        DWORD status;
    } rows[] = {
        {false, false, true, false, 2, nullptr, S_OK, 204},
        {true, true, true, false, 2, nullptr, web::E_HTTP_CONFLICT, 412},
        {false, false, true, false, -1, nullptr, S_OK, 204},  // If-Match would refuse a weak ETag
        {true, false, true, false, -1, L"Sat, 01 Jan 2000 00:00:00 GMT", web::E_HTTP_CONFLICT, 412},
        {false, true, false, false, 2, nullptr, S_OK, 204},
        {true, false, true, true, 2, nullptr, S_OK, 204},
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        const auto& r = rows[i];
        const std::wstring path = L"dav/cond" + std::to_wstring(i) + L".txt";
        Seed(path, kOld, r.age);
        web::TransferResult got, put;
        ASSERT_EQ(S_OK, Get(Url(r.https, path), &got)) << i;
        EXPECT_EQ(r.age < 0, got.etag.rfind(L"W/\"", 0) == 0) << i << ": " << Narrow(got.etag);
        EXPECT_NE(L"", got.lastModified) << i;
        if (r.changed) Seed(path, kTheirs, 1);
        ASSERT_TRUE(!r.idle || ServerClosedConnections(r.https)) << i;
        web::PutConditions c;
        if (r.validators) c = {got.etag, r.since ? r.since : got.lastModified, L""};
        EXPECT_EQ(r.hr, Put(Url(r.https, path), kMine, c, &put)) << i;
        EXPECT_EQ(r.status, put.status) << i;
        EXPECT_EQ(SUCCEEDED(r.hr) ? kMine : r.changed ? kTheirs : kOld, FileText(ServerFile(path))) << i;
    }
}

TEST_F(DavSessionTest, ALockKeepsOthersOutUntilItsTokenComesOrItIsUnlocked) {
    // Locks outlive a run: a file of this run's own.
    const std::wstring path = L"dav/locked" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    const std::wstring owner = L"Alice & Co <QA>, 张";
    Seed(path, "v1", 2);
    enum { kLock, kPut, kRefresh, kUnlock };
    struct {
        const char* step;
        int act;
        bool https, token, held;
        const wchar_t* who;  // the lock's owner text
        HRESULT hr;
        DWORD status, seconds;
    } steps[] = {
        {"lock", kLock, false, false, true, owner.c_str(), S_OK, 200, 600},
        {"another's lock", kLock, true, false, true, L"bob", web::E_HTTP_LOCKED, 423, 0},
        {"save without the token", kPut, true, false, true, nullptr, web::E_HTTP_LOCKED, 423, 0},
        {"save with it", kPut, false, true, true, nullptr, S_OK, 204, 0},
        {"refresh", kRefresh, true, true, true, nullptr, S_OK, 200, 300},
        {"unlock", kUnlock, false, true, false, nullptr, S_OK, 204, 0},
        {"save without a token after", kPut, true, false, false, nullptr, S_OK, 204, 0},
    };
    std::wstring token, holder;
    for (const auto& s : steps) {
        const std::wstring url = Url(s.https, path);
        web::LockInfo info;
        const HRESULT hr = s.act == kPut      ? Put(url, s.step, {L"", L"", s.token ? token : L""}, &info)
                           : s.act == kUnlock  ? m_session.Unlock(url, token, &info)
                           : s.act == kRefresh ? m_session.RefreshLock(url, token, 300, &info)
                                               : m_session.Lock(url, s.who, 600, &info);
        EXPECT_EQ(s.hr, hr) << s.step;
        EXPECT_EQ(s.status, info.status) << s.step;
        EXPECT_EQ(s.seconds, info.timeoutSeconds) << s.step;
        EXPECT_EQ(hr == web::E_HTTP_LOCKED && s.act == kLock ? owner : L"", info.owner) << s.step;
        EXPECT_EQ(s.held ? S_OK : S_FALSE, m_session.QueryLockOwner(url, &holder)) << s.step;
        EXPECT_EQ(s.held ? owner : L"", holder) << s.step;
        if (s.act == kLock && hr == S_OK) token = L"<" + info.lockToken + L">";  // brackets or none: both serve
    }
    EXPECT_EQ("save without a token after", FileText(ServerFile(path)));
}

// Answers the system's sign-in dialogs as a user would, until stopped: the
// passwords in turn, an empty one by Cancel. The prefix is the tests' own: no
// other process shows a dialog in it.
size_t AnswerSignIns(const std::vector<std::wstring>& passwords, const std::atomic<bool>& stop) {
    const int kUser = 1027, kPassword = 1028;  // the edit fields of Wine's dialog
    size_t n = 0;
    for (HWND box = nullptr, last = nullptr; !stop; Sleep(20)) {
        box = FindWindowW(L"#32770", nullptr);
        if (!box || box == last || !IsWindowVisible(box) || !GetDlgItem(box, kPassword)) continue;
        const std::wstring answer = n < passwords.size() ? passwords[n] : L"";
        SetDlgItemTextW(box, kUser, Env(L"VX_DAV_USER").c_str());
        SetDlgItemTextW(box, kPassword, answer.c_str());
        PostMessageW(box, WM_COMMAND, answer.empty() ? IDCANCEL : IDOK, 0);
        last = box;
        ++n;
    }
    return n;
}

TEST_F(DavSessionTest, ASignInIsAskedOfTheUserOnlyWhereAPromptWindowIsGiven) {
    const std::wstring password = Env(L"VX_DAV_PASSWORD");
    const std::wstring path = L"auth/signed" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    HWND owner = CreateWindowW(L"STATIC", L"page", WS_OVERLAPPEDWINDOW, 0, 0, 200, 90, nullptr, nullptr, nullptr, 0);
    struct {
        bool https, prompt, put;
        std::vector<std::wstring> answers;
        HRESULT hr;
        DWORD status;
    } rows[] = {
        {true, false, false, {}, web::E_HTTP_SIGNIN_REQUIRED, 401},
        {true, true, true, {L""}, web::E_HTTP_SIGNIN_CANCELLED, 401},
        {true, true, false, {L"wrong", L"wrong", L"wrong"}, web::E_HTTP_SIGNIN_REQUIRED, 401},
        {true, true, true, {L"wrong", password}, S_OK, 201},  // the body goes again, from the file
        {true, false, false, {}, S_OK, 200},                  // remembered for the process
        {false, true, false, {password}, S_OK, 200},          // another server asks again
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        const auto& r = rows[i];
        m_session.SetPromptWindow(r.prompt ? owner : nullptr);
        web::TransferResult result;
        std::atomic<bool> stop{false};
        auto answered = std::async(std::launch::async, AnswerSignIns, std::cref(r.answers), std::cref(stop));
        EXPECT_EQ(r.hr, r.put ? Put(Url(r.https, path), "signed", {}, &result) : Get(Url(r.https, path), &result)) << i;
        stop = true;
        EXPECT_EQ(r.answers.size(), answered.get()) << i;
        EXPECT_EQ(r.status, result.status) << i;
        EXPECT_EQ(r.status == 201 || i > 3 ? "signed" : "", FileText(ServerFile(path))) << i;
    }
    DestroyWindow(owner);
}

}  // namespace
