// A control created through COM on the registered DLL, a temporary path of
// the test's own, and the message-box watcher.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

// Sets an environment variable of this process and puts the old value back.
class EnvOverride {
public:
    EnvOverride(const wchar_t* pszName, const std::wstring& value) : m_name(pszName) {
        DWORD cch = GetEnvironmentVariableW(pszName, nullptr, 0);
        if (cch) {
            m_old.resize(cch);
            cch = GetEnvironmentVariableW(pszName, &m_old[0], cch);
            m_old.resize(cch);
            m_bHadValue = true;
        }
        SetEnvironmentVariableW(pszName, value.c_str());
    }
    ~EnvOverride() { SetEnvironmentVariableW(m_name.c_str(), m_bHadValue ? m_old.c_str() : nullptr); }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    std::wstring m_name;
    std::wstring m_old;
    bool m_bHadValue = false;
};

class ServicesTest : public ::testing::Test {
protected:
    // The control finds its temporary path two levels below a folder of the
    // test's own, so a file written beside or above it would show up there.
    ServicesTest()
        : m_tmp(MakeTmp(m_root)), m_tmpOverride(L"TMP", m_tmp), m_tempOverride(L"TEMP", m_tmp) {}

    void SetUp() override { ASSERT_EQ(S_OK, m_office.create(CLSID_Office)); }
    void TearDown() override {
        m_office.reset();
        EXPECT_EQ(0u, m_boxes.count()) << "unexpected message box: " << Narrow(FirstBoxText());
    }

    // The log file of the registered DLL, beside it (and the tests).
    static std::wstring LogPath() { return testsupport::ExeDir() + L"\\log\\office.log"; }

    std::wstring FirstBoxText() {
        auto records = m_boxes.records();
        return records.empty() ? L"" : records[0].caption + L" / " + records[0].text;
    }
    static std::string Narrow(const std::wstring& s) { return testsupport::Narrow(s); }

    testsupport::OleSession m_ole;
    testsupport::TempDir m_root;
    const std::wstring m_tmp;  // with its final backslash, as GetTempPathW gives it
    EnvOverride m_tmpOverride;
    EnvOverride m_tempOverride;
    testsupport::DialogWatcher m_boxes;
    fw::com_ptr<IOffice> m_office;

private:
    static std::wstring MakeTmp(const testsupport::TempDir& root) {
        const std::wstring tmp = root.path() + L"\\a\\b\\";
        CreateDirectoryW((root.path() + L"\\a").c_str(), nullptr);
        CreateDirectoryW(tmp.c_str(), nullptr);
        return tmp;
    }
};
