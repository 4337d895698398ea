#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>
#include <oledlg.h>

#include <cstdio>
#include <cwctype>
#include <functional>
#include <string>
#include <thread>

#include "Plinth.h"
#include "TestSupport.h"

namespace {

BOOL CALLBACK FindDialogProc(HWND hwnd, LPARAM lParam)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[16];
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd) || !GetClassNameW(hwnd, cls, 16) ||
        wcscmp(cls, L"#32770") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hwnd;
    return FALSE;
}

// Control by its text, ignoring case and '&' accelerators.
HWND FindChild(HWND dialog, const std::wstring& text)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t buffer[128];
        std::wstring plain;
        for (int i = 0, n = GetWindowTextW(child, buffer, 128); i < n; ++i) {
            if (buffer[i] != L'&')
                plain += static_cast<wchar_t>(towlower(buffer[i]));
        }
        if (plain == text)
            return child;
    }
    return nullptr;
}

// Every visible top-level window of this process is asked to close.
BOOL CALLBACK CancelWindowProc(HWND hwnd, LPARAM)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd)) {
        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

const DWORD kBoundMs = 10000;

// Shows the dialog with a thread that waits for it, notes its caption and
// ends it with the given action. A dialog that does not show, or is still
// open once the action is done, is cancelled so that the test fails
// instead of hanging in the modal loop.
HRESULT RunDialog(const char* pszTitle, DWORD dwFlags, std::function<void(HWND)> action,
                  BSTR* pbstrName, int* pnKind, std::wstring* pCaption = nullptr)
{
    HWND dialog = nullptr;
    bool overdue = false;
    HANDLE returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread driver([&] {
        const DWORD start = GetTickCount();
        HWND found = nullptr;
        while (!found && GetTickCount() - start < kBoundMs &&
               WaitForSingleObject(returned, 20) == WAIT_TIMEOUT)
            EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&found));
        if (found) {
            wchar_t caption[128] = {};
            GetWindowTextW(found, caption, 128);
            if (pCaption)
                *pCaption = caption;
            action(found);
        }
        dialog = found;
        if (WaitForSingleObject(returned, kBoundMs) == WAIT_OBJECT_0)
            return;
        overdue = true;
        while (WaitForSingleObject(returned, 200) == WAIT_TIMEOUT) {
            if (GetTickCount() - start > 4 * kBoundMs) {
                fputs("the Insert Object dialog could not be ended\n", stderr);
                TerminateProcess(GetCurrentProcess(), 3);
            }
            EnumWindows(CancelWindowProc, 0);
        }
    });
    HRESULT hr = GetOleInsertObjectFromUser(nullptr, pszTitle, dwFlags, 1, 0, pbstrName, pnKind);
    SetEvent(returned);
    driver.join();
    CloseHandle(returned);
    EXPECT_NE(nullptr, dialog) << "no dialog shown";
    EXPECT_FALSE(overdue) << "the dialog stayed open and was cancelled";
    return hr;
}

void Choose(HWND dialog, const wchar_t* option)
{
    SendMessageW(FindChild(dialog, option), BM_CLICK, 0, 0);
}

void PressOk(HWND dialog)
{
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

class InsertObjectTest : public ::testing::Test {
protected:
    void TearDown() override { SysFreeString(m_name); }

    testsupport::OleSession m_ole;
    BSTR m_name = nullptr;
    int m_kind = 0;
};

}  // namespace

TEST_F(InsertObjectTest, CancelGivesSFalseAndNoName)
{
    std::wstring caption;
    auto cancel = [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); };
    EXPECT_EQ(S_FALSE, RunDialog("Insert Document", IOF_SELECTCREATENEW, cancel, &m_name, &m_kind,
                                 &caption));
    EXPECT_EQ(L"Insert Document", caption);
    EXPECT_EQ(nullptr, m_name);
}

TEST_F(InsertObjectTest, CreateFromFileGivesThePath)
{
    // A compound document that names its class, as Office documents do.
    testsupport::TempDir folder;
    const std::wstring path = folder.file(L"report.stg");
    IStorage* pStorage = nullptr;
    ASSERT_HRESULT_SUCCEEDED(StgCreateDocfile(
        path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &pStorage));
    CLSID clsid;
    CLSIDFromProgID(L"Scripting.Dictionary", &clsid);
    WriteClassStg(pStorage, clsid);
    pStorage->Release();

    auto chooseFile = [&path](HWND dialog) {
        Choose(dialog, L"create from file");
        SendMessageW(FindWindowExW(dialog, nullptr, L"Edit", nullptr), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(path.c_str()));
        PressOk(dialog);
    };
    ASSERT_EQ(S_OK, RunDialog(nullptr, IOF_SELECTCREATENEW, chooseFile, &m_name, &m_kind));
    EXPECT_EQ(PLINTH_INSERT_FILE, m_kind);
    EXPECT_STREQ(path.c_str(), m_name);
}

TEST_F(InsertObjectTest, CreateNewGivesTheProgIdOfTheChosenType)
{
    auto chooseFirstType = [](HWND dialog) {
        Choose(dialog, L"create new");
        SendMessageW(FindWindowExW(dialog, nullptr, L"ListBox", nullptr), LB_SETCURSEL, 0, 0);
        PressOk(dialog);
    };
    ASSERT_EQ(S_OK, RunDialog("Insert", 0, chooseFirstType, &m_name, &m_kind));
    EXPECT_EQ(PLINTH_INSERT_NEW, m_kind);
    CLSID clsid;
    EXPECT_HRESULT_SUCCEEDED(CLSIDFromProgID(m_name, &clsid)) << m_name;
}

TEST_F(InsertObjectTest, MissingOutPointersAreRejectedWithoutADialog)
{
    EXPECT_EQ(E_POINTER, GetOleInsertObjectFromUser(nullptr, "x", 0, 1, 0, nullptr, &m_kind));
    EXPECT_EQ(E_POINTER, GetOleInsertObjectFromUser(nullptr, "x", 0, 1, 0, &m_name, nullptr));
}
