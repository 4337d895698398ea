// Update and server settings in HKEY_CURRENT_USER, their log entries, and
// the control's version.
#include <string>
#include <vector>

#include "LogTail.h"
#include "ServicesTestSupport.h"

using testsupport::LogTail;
using testsupport::RegKeyExists;

namespace {

const wchar_t kFamilyKey[] = L"Software\\Quorvane";
const wchar_t kUpdateInfoKey[] = L"Software\\Quorvane\\Tollan3.0\\UpdateInfo";
const wchar_t kServerInfoKey[] = L"Software\\Quorvane\\Tollan3.0\\ServerInfo\\TCP";
const wchar_t kAutoUpdateKey[] = L"Software\\Quorvane\\Tollan3.0\\AutoUpdate";
// -5240, a failure HRESULT.
const HRESULT kKeyUnavailable = static_cast<HRESULT>(0xFFFFEB88);

struct RegValue {
    bool found = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

RegValue ReadValue(const wchar_t* pszKey, const wchar_t* pszName) {
    RegValue v;
    fw::unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, pszKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return v;
    DWORD cb = 0;
    if (RegQueryValueExW(key.get(), pszName, nullptr, &v.type, nullptr, &cb) != ERROR_SUCCESS) return v;
    v.bytes.resize(cb);
    v.found = RegQueryValueExW(key.get(), pszName, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&v.bytes[0]), &cb) == ERROR_SUCCESS;
    v.bytes.resize(cb);
    return v;
}

// The bytes a string value holds when the control writes text. The control
// counts the characters without their terminator; RegSetValueExW (on NT as in
// Wine) then stores the terminator that follows them in memory, so only an
// empty string stays without one.
std::string StoredString(const std::wstring& text) {
    if (text.empty()) return std::string();
    return std::string(reinterpret_cast<const char*>(text.c_str()),
                       (text.size() + 1) * sizeof(wchar_t));
}

#define EXPECT_REG_SZ(key, name, text)                       \
    do {                                                     \
        RegValue v_ = ReadValue(key, name);                  \
        EXPECT_TRUE(v_.found) << #name;                      \
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), v_.type) << #name; \
        EXPECT_EQ(StoredString(text), v_.bytes) << #name;    \
    } while (0)

#define EXPECT_REG_DWORD(key, name, value)                      \
    do {                                                        \
        RegValue v_ = ReadValue(key, name);                     \
        EXPECT_TRUE(v_.found) << #name;                         \
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), v_.type) << #name; \
        DWORD d_ = static_cast<DWORD>(value);                   \
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d_), 4), v_.bytes) << #name; \
    } while (0)

class SettingsTest : public ServicesTest {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kFamilyKey);
        ServicesTest::SetUp();
    }
    void TearDown() override {
        ServicesTest::TearDown();
        RegDeleteTreeW(HKEY_CURRENT_USER, kFamilyKey);
    }

    // Before its window exists the control logs only once CreateBarCode has
    // opened its logger.
    void OpenControlLog() {
        fw::unique_variant path;
        ASSERT_EQ(S_OK, m_office->CreateBarCode(fw::unique_bstr(L"LOG").get(), path.put()));
    }

    static std::vector<std::wstring> Lines(std::initializer_list<const wchar_t*> lines) {
        return std::vector<std::wstring>(lines.begin(), lines.end());
    }
};

TEST_F(SettingsTest, UpdateInfoIsStoredAsStringsLoggedFirstAndOverwritten) {
    OpenControlLog();
    LogTail log(LogPath());

    fw::unique_bstr ip(L"192.168.10.20"), port(L"8080"), file(L"C:\\更新\\update.xml");
    ASSERT_EQ(S_OK, m_office->SetUpdateInfo(ip.get(), port.get(), file.get()));
    EXPECT_REG_SZ(kUpdateInfoKey, L"IP", L"192.168.10.20");
    EXPECT_REG_SZ(kUpdateInfoKey, L"Port", L"8080");
    EXPECT_REG_SZ(kUpdateInfoKey, L"UpdateFilePath", L"C:\\更新\\update.xml");

    // The key exists now: opened again, its values replaced; an empty and a
    // NULL BSTR both store an empty string.
    fw::unique_bstr empty(L""), file2(L"D:\\u.xml");
    ASSERT_EQ(S_OK, m_office->SetUpdateInfo(empty.get(), nullptr, file2.get()));
    EXPECT_REG_SZ(kUpdateInfoKey, L"IP", L"");
    EXPECT_REG_SZ(kUpdateInfoKey, L"Port", L"");
    EXPECT_REG_SZ(kUpdateInfoKey, L"UpdateFilePath", L"D:\\u.xml");

    EXPECT_EQ(Lines({L"设置更新属性\tIP=192.168.10.20\t端口=8080\t配置文件路径:C:\\更新\\update.xml",
                     L"设置更新属性\tIP=\t端口=\t配置文件路径:D:\\u.xml"}),
              log.entries());
}

TEST_F(SettingsTest, ServerInfoGoesUnderTcpWhateverTheProtocol) {
    OpenControlLog();
    LogTail log(LogPath());

    fw::unique_bstr udp(L"UDP"), host(L"srv.example.cn"), port(L"9000");
    ASSERT_EQ(S_OK, m_office->SetServerInfo(udp.get(), host.get(), port.get()));
    EXPECT_REG_SZ(kServerInfoKey, L"ServerAddr", L"srv.example.cn");
    EXPECT_REG_SZ(kServerInfoKey, L"Port", L"9000");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Quorvane\\Tollan3.0\\ServerInfo\\UDP"));

    fw::unique_bstr tcp(L"TCP"), host2(L"10.0.0.1"), empty(L"");
    ASSERT_EQ(S_OK, m_office->SetServerInfo(tcp.get(), host2.get(), empty.get()));
    EXPECT_REG_SZ(kServerInfoKey, L"ServerAddr", L"10.0.0.1");
    EXPECT_REG_SZ(kServerInfoKey, L"Port", L"");

    EXPECT_EQ(Lines({L"设置通信服务器属性\thost=srv.example.cn\t端口=9000\t协议:UDP",
                     L"设置通信服务器属性\thost=10.0.0.1\t端口=\t协议:TCP"}),
              log.entries());
}

TEST_F(SettingsTest, AutoUpdateIsAFourByteDwordBesideItsFile) {
    OpenControlLog();
    LogTail log(LogPath());

    ASSERT_EQ(S_OK, m_office->put_AutoUpdate(VARIANT_TRUE));
    EXPECT_REG_DWORD(kAutoUpdateKey, L"Enable", 1);
    ASSERT_EQ(S_OK, m_office->put_AutoUpdate(VARIANT_FALSE));
    EXPECT_REG_DWORD(kAutoUpdateKey, L"Enable", 0);
    // Any nonzero VARIANT_BOOL counts as true.
    ASSERT_EQ(S_OK, m_office->put_AutoUpdate(1));
    EXPECT_REG_DWORD(kAutoUpdateKey, L"Enable", 1);

    ASSERT_EQ(S_OK, m_office->put_AutoUpdateFile(fw::unique_bstr(L"C:\\cfg\\auto.ini").get()));
    EXPECT_REG_SZ(kAutoUpdateKey, L"UpdateFile", L"C:\\cfg\\auto.ini");
    EXPECT_REG_DWORD(kAutoUpdateKey, L"Enable", 1);
    ASSERT_EQ(S_OK, m_office->put_AutoUpdateFile(nullptr));
    EXPECT_REG_SZ(kAutoUpdateKey, L"UpdateFile", L"");

    EXPECT_EQ(Lines({L"自动更新选项:true", L"自动更新选项:false", L"自动更新选项:true",
                     L"设置自动更新配置文件路径:C:\\cfg\\auto.ini", L"设置自动更新配置文件路径:"}),
              log.entries());
}

TEST_F(SettingsTest, SettersFailWithTheirCodeWhenTheKeyCannotBeCreated) {
    // A volatile key cannot have lasting subkeys: nothing can be created
    // below it.
    fw::unique_hkey family;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kFamilyKey, 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                             family.put(), nullptr));
    OpenControlLog();
    LogTail log(LogPath());

    fw::unique_bstr a(L"a"), b(L"b"), c(L"c");
    EXPECT_EQ(kKeyUnavailable, m_office->SetUpdateInfo(a.get(), b.get(), c.get()));
    EXPECT_EQ(kKeyUnavailable, m_office->SetServerInfo(a.get(), b.get(), c.get()));
    EXPECT_EQ(kKeyUnavailable, m_office->put_AutoUpdate(VARIANT_TRUE));
    EXPECT_EQ(kKeyUnavailable, m_office->put_AutoUpdateFile(c.get()));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Quorvane\\Tollan3.0"));
    // The caller's error object names the key.
    fw::com_ptr<IErrorInfo> error;
    ASSERT_EQ(S_OK, GetErrorInfo(0, error.put()));
    fw::unique_bstr description;
    error->GetDescription(description.put());
    EXPECT_STREQ(L"写入注册表失败: 无法创建注册表项 HKEY_CURRENT_USER\\Software\\Quorvane\\Tollan3.0\\AutoUpdate",
                 description.c_str());

    // SetUpdateInfo logs only what it was asked; the others name the key.
    EXPECT_EQ(Lines({L"设置更新属性\tIP=a\t端口=b\t配置文件路径:c",
                     L"设置通信服务器属性\thost=b\t端口=c\t协议:a",
                     L"创建注册表项失败,无法设置通信服务器属性,注册表项:"
                     L"Software\\Quorvane\\Tollan3.0\\ServerInfo\\TCP",
                     L"自动更新选项:true",
                     L"创建注册表项失败,无法起用自动更新,注册表项:Software\\Quorvane\\Tollan3.0\\AutoUpdate",
                     L"设置自动更新配置文件路径:c",
                     L"创建注册表项失败,无法设置自动更新配置文件路径,注册表项:"
                     L"Software\\Quorvane\\Tollan3.0\\AutoUpdate"}),
              log.entries());
}

TEST_F(SettingsTest, SettingsOfAControlWithoutLogAreWrittenButNotLogged) {
    LogTail log(LogPath());
    fw::unique_bstr proto(L"TCP"), host(L"h"), port(L"1");
    ASSERT_EQ(S_OK, m_office->SetServerInfo(proto.get(), host.get(), port.get()));
    ASSERT_EQ(S_OK, m_office->put_AutoUpdate(VARIANT_TRUE));
    EXPECT_REG_SZ(kServerInfoKey, L"ServerAddr", L"h");
    EXPECT_REG_DWORD(kAutoUpdateKey, L"Enable", 1);
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(SettingsTest, VersionIsTheProductVersionOfTheDll) {
    fw::unique_bstr version;
    ASSERT_EQ(S_OK, m_office->get_Version(version.put()));
    EXPECT_STREQ(L"3.0.3.34", version.get());
    EXPECT_EQ(E_POINTER, m_office->get_Version(nullptr));
}

}  // namespace
