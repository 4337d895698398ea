// Test support: temporary folders, the message-box watcher, registry
// readers, COM set-up and child processes.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace testsupport {

// OleInitialize for the lifetime of the object (the calling thread becomes
// the single-threaded apartment the classes live in).
class OleSession {
public:
    OleSession();
    ~OleSession();
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;
};

// A new empty folder under %TEMP%, removed with its contents afterwards.
class TempDir {
public:
    explicit TempDir(const wchar_t* pszPrefix = L"vx");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return m_path; }  // no trailing backslash
    std::wstring file(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

bool RemoveTree(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool ReadFileBytes(const std::wstring& path, std::string* bytes);

// A top-level dialog box ("#32770") seen by the watcher.
struct DialogRecord {
    std::wstring caption;
    std::wstring text;      // the message (static control 0xFFFF) of a message box
    HWND owner = nullptr;
    UINT style = 0;         // reconstructed MB_* buttons and icon
};

// The caption, message, owner and reconstructed style of a dialog box.
DialogRecord ReadDialogBox(HWND hBox);
std::wstring WindowText(HWND hwnd);

// Watches for message boxes of this process, records them and answers each
// with the button the test chose (IDOK by default). Anything the test did
// not expect is a failure it can check with expectNone/count.
class DialogWatcher {
public:
    // dwPollMs: how often it looks; a test that shows thousands of boxes
    // looks more often.
    explicit DialogWatcher(int nAnswer = IDOK, DWORD dwPollMs = 20);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    std::vector<DialogRecord> records();
    size_t count();
    // Waits until at least n boxes were seen (true) or the time is up.
    bool waitFor(size_t n, DWORD dwTimeoutMs = 10000);
    void clear();

private:
    static DWORD WINAPI ThreadProc(void* p);
    void Poll();

    HANDLE m_hThread = nullptr;
    HANDLE m_hStop = nullptr;
    int m_nAnswer;
    DWORD m_dwPollMs;
    CRITICAL_SECTION m_cs;
    std::vector<DialogRecord> m_records;
    std::vector<HWND> m_answered;
};

// Registry readers (HKEY_CLASSES_ROOT and friends).
bool RegKeyExists(HKEY root, const std::wstring& subkey);
bool RegValueExists(HKEY root, const std::wstring& subkey, const wchar_t* pszValue);
// The string value (nullptr name = default value); empty when missing.
std::wstring RegString(HKEY root, const std::wstring& subkey, const wchar_t* pszValue = nullptr);

// Runs a command line, waits (with a generous bound) and captures stdout.
// Returns the exit code, or -1 when it could not start or timed out.
int RunProcess(const std::wstring& cmdline, std::string* pOutput, DWORD dwTimeoutMs = 120000);

// The folder holding the test executable (the build's bin folder), no
// trailing backslash.
std::wstring ExeDir();

// A VARIANT that stands for a left-out optional argument.
VARIANT Missing();
// A VT_BOOL argument.
VARIANT Bool(bool b);

// A VT_BSTR VARIANT that owns its string for the length of a call.
class StringArg {
public:
    explicit StringArg(const std::wstring& s) {
        VariantInit(&m_v);
        m_v.vt = VT_BSTR;
        m_v.bstrVal = SysAllocString(s.c_str());
    }
    ~StringArg() { VariantClear(&m_v); }
    StringArg(const StringArg&) = delete;
    StringArg& operator=(const StringArg&) = delete;
    operator VARIANT() const { return m_v; }

private:
    VARIANT m_v;
};

std::wstring Widen(const std::string& s, UINT cp = CP_UTF8);
std::string Narrow(const std::wstring& s, UINT cp = CP_UTF8);

}  // namespace testsupport
