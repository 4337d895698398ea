#include "TestSupport.h"

#include <ole2.h>

namespace testsupport {

OleSession::OleSession() { OleInitialize(nullptr); }
OleSession::~OleSession() { OleUninitialize(); }

TempDir::TempDir(const wchar_t* pszPrefix) {
    wchar_t szTemp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, szTemp);
    std::wstring base(szTemp, n);
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    static LONG s_counter = 0;
    for (int i = 0; i < 1000; ++i) {
        std::wstring candidate = base + L"\\" + pszPrefix + std::to_wstring(GetCurrentProcessId()) +
                                 L"_" + std::to_wstring(InterlockedIncrement(&s_counter)) + L"_" +
                                 std::to_wstring(GetTickCount());
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            m_path = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    if (!m_path.empty()) RemoveTree(m_path);
}

bool RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = path + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    return RemoveDirectoryW(path.c_str()) != 0;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

bool ReadFileBytes(const std::wstring& path, std::string* bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got) bytes->append(buf, got);
    CloseHandle(h);
    return true;
}

// ---- message boxes ------------------------------------------------------

DialogWatcher::DialogWatcher(int nAnswer, DWORD dwPollMs) : m_nAnswer(nAnswer), m_dwPollMs(dwPollMs) {
    InitializeCriticalSection(&m_cs);
    m_hStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
}

DialogWatcher::~DialogWatcher() {
    SetEvent(m_hStop);
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    CloseHandle(m_hStop);
    DeleteCriticalSection(&m_cs);
}

DWORD WINAPI DialogWatcher::ThreadProc(void* p) {
    auto* self = static_cast<DialogWatcher*>(p);
    while (WaitForSingleObject(self->m_hStop, self->m_dwPollMs) == WAIT_TIMEOUT) self->Poll();
    return 0;
}

namespace {

struct EnumCtx {
    std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBoxes(HWND hwnd, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    if (lstrcmpW(cls, L"#32770") == 0) reinterpret_cast<EnumCtx*>(lp)->boxes.push_back(hwnd);
    return TRUE;
}

UINT ReconstructStyle(HWND hBox) {
    UINT style = MB_OK;
    bool ok = GetDlgItem(hBox, IDOK) && IsWindowVisible(GetDlgItem(hBox, IDOK));
    bool cancel = GetDlgItem(hBox, IDCANCEL) && IsWindowVisible(GetDlgItem(hBox, IDCANCEL));
    bool yes = GetDlgItem(hBox, IDYES) && IsWindowVisible(GetDlgItem(hBox, IDYES));
    bool no = GetDlgItem(hBox, IDNO) && IsWindowVisible(GetDlgItem(hBox, IDNO));
    if (yes && no) style = cancel ? MB_YESNOCANCEL : MB_YESNO;
    else if (ok && cancel) style = MB_OKCANCEL;
    // The icon is a static control with SS_ICON holding one of the system icons.
    for (HWND h = GetWindow(hBox, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        wchar_t cls[16] = {};
        GetClassNameW(h, cls, 16);
        LONG s = GetWindowLongW(h, GWL_STYLE);
        if (lstrcmpiW(cls, L"Static") != 0 || (s & SS_TYPEMASK) != SS_ICON || !IsWindowVisible(h)) continue;
        HICON hIcon = reinterpret_cast<HICON>(SendMessageW(h, STM_GETICON, 0, 0));
        if (!hIcon) continue;
        if (hIcon == LoadIconW(nullptr, IDI_INFORMATION)) style |= MB_ICONINFORMATION;
        else if (hIcon == LoadIconW(nullptr, IDI_WARNING)) style |= MB_ICONWARNING;
        else if (hIcon == LoadIconW(nullptr, IDI_ERROR)) style |= MB_ICONERROR;
        else if (hIcon == LoadIconW(nullptr, IDI_QUESTION)) style |= MB_ICONQUESTION;
        else style |= MB_USERICON;
    }
    return style;
}

}  // namespace

std::wstring WindowText(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::wstring s(n + 1, L'\0');
    n = GetWindowTextW(hwnd, &s[0], n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

DialogRecord ReadDialogBox(HWND hBox) {
    DialogRecord r;
    r.caption = WindowText(hBox);
    if (HWND hText = GetDlgItem(hBox, 0xFFFF)) r.text = WindowText(hText);
    r.owner = GetWindow(hBox, GW_OWNER);
    r.style = ReconstructStyle(hBox);
    return r;
}

void DialogWatcher::Poll() {
    EnumCtx ctx;
    EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&ctx));
    for (HWND hBox : ctx.boxes) {
        {
            EnterCriticalSection(&m_cs);
            bool seen = false;
            for (HWND h : m_answered) seen = seen || h == hBox;
            LeaveCriticalSection(&m_cs);
            if (seen) continue;
        }
        DialogRecord r = ReadDialogBox(hBox);
        EnterCriticalSection(&m_cs);
        m_records.push_back(r);
        m_answered.push_back(hBox);
        LeaveCriticalSection(&m_cs);
        PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(m_nAnswer, BN_CLICKED), 0);
    }
}

std::vector<DialogRecord> DialogWatcher::records() {
    EnterCriticalSection(&m_cs);
    std::vector<DialogRecord> r = m_records;
    LeaveCriticalSection(&m_cs);
    return r;
}

size_t DialogWatcher::count() { return records().size(); }

bool DialogWatcher::waitFor(size_t n, DWORD dwTimeoutMs) {
    DWORD start = GetTickCount();
    while (count() < n) {
        if (GetTickCount() - start > dwTimeoutMs) return false;
        // Keep this thread's own windows alive while waiting.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    return true;
}

void DialogWatcher::clear() {
    EnterCriticalSection(&m_cs);
    m_records.clear();
    LeaveCriticalSection(&m_cs);
}

// ---- registry ------------------------------------------------------------

bool RegKeyExists(HKEY root, const std::wstring& subkey) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

bool RegValueExists(HKEY root, const std::wstring& subkey, const wchar_t* pszValue) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    LONG r = RegQueryValueExW(h, pszValue, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

std::wstring RegString(HKEY root, const std::wstring& subkey, const wchar_t* pszValue) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return L"";
    DWORD type = 0, cb = 0;
    std::wstring s;
    if (RegQueryValueExW(h, pszValue, nullptr, &type, nullptr, &cb) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        s.resize(cb / sizeof(wchar_t) + 1);
        if (RegQueryValueExW(h, pszValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&s[0]), &cb) ==
            ERROR_SUCCESS)
            s.resize(lstrlenW(s.c_str()));
        else
            s.clear();
    }
    RegCloseKey(h);
    return s;
}

// ---- processes -----------------------------------------------------------

int RunProcess(const std::wstring& cmdline, std::string* pOutput, DWORD dwTimeoutMs) {
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0)) return -1;
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = cmdline;
    BOOL ok = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                             nullptr, &si, &pi);
    CloseHandle(hWrite);
    if (!ok) {
        CloseHandle(hRead);
        return -1;
    }
    // Read while the child runs and stop when it ends: a process it starts
    // (Wine's own helpers) may inherit the pipe and keep it open for ever.
    std::string out;
    char buf[4096];
    DWORD start = GetTickCount();
    DWORD wait = WAIT_TIMEOUT;
    for (;;) {
        DWORD avail = 0, got = 0;
        while (PeekNamedPipe(hRead, nullptr, 0, nullptr, &avail, nullptr) && avail &&
               ReadFile(hRead, buf, sizeof(buf) < avail ? sizeof(buf) : avail, &got, nullptr) && got)
            out.append(buf, got);
        if (wait == WAIT_OBJECT_0) break;  // drained once more after the exit
        wait = WaitForSingleObject(pi.hProcess, 20);
        if (wait != WAIT_OBJECT_0 && GetTickCount() - start > dwTimeoutMs) break;
    }
    CloseHandle(hRead);
    DWORD code = static_cast<DWORD>(-1);
    if (wait == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    else TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (pOutput) *pOutput = out;
    return wait == WAIT_OBJECT_0 ? static_cast<int>(code) : -1;
}

std::wstring ExeDir() {
    wchar_t sz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, sz, MAX_PATH);
    std::wstring s(sz);
    size_t slash = s.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : s.substr(0, slash);
}

std::wstring Widen(const std::string& s, UINT cp) {
    if (s.empty()) return L"";
    int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string Narrow(const std::wstring& s, UINT cp) {
    if (s.empty()) return "";
    int n = WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string a(n, '\0');
    WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), &a[0], n, nullptr, nullptr);
    return a;
}

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

VARIANT Bool(bool b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

}  // namespace testsupport
