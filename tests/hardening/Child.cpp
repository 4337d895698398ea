#include "Child.h"

#include <ole2.h>
#include <shellapi.h>

#include <map>
#include <memory>

#include "TestSupport.h"

namespace hardening {

namespace {

const wchar_t kChildSwitch[] = L"--vx-child=";
const wchar_t kArgSwitch[] = L"--vx-arg=";
// One call that runs this long is stuck: no step of a sweep needs a
// fraction of it, modal dialogs included (they are answered at once).
const DWORD kStepLimitMs = 30000;
const DWORD kHangExitCode = 0xDEAD0001;
// A run that finds thousands of faults still reports a readable amount.
const int kMaxFaultLines = 150;

std::map<std::string, ChildMain>& Children() {
    static std::map<std::string, ChildMain> children;
    return children;
}

CRITICAL_SECTION g_cs;
std::wstring g_step;
DWORD g_stepTick = 0;
LONG g_faults = 0;
LONG g_faultLines = 0;

void WriteLine(const std::string& line) {
    HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    std::string s = line + "\n";
    WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

std::wstring CurrentStep() {
    EnterCriticalSection(&g_cs);
    std::wstring step = g_step;
    LeaveCriticalSection(&g_cs);
    return step;
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* ep) {
    char sz[96];
    wsprintfA(sz, "CRASH: exception 0x%08lX at %p during: ", ep->ExceptionRecord->ExceptionCode,
              ep->ExceptionRecord->ExceptionAddress);
    WriteLine(sz + testsupport::Narrow(CurrentStep()));
    TerminateProcess(GetCurrentProcess(), ep->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

DWORD WINAPI Watchdog(void*) {
    for (;;) {
        Sleep(500);
        EnterCriticalSection(&g_cs);
        DWORD elapsed = GetTickCount() - g_stepTick;
        std::wstring step = g_step;
        LeaveCriticalSection(&g_cs);
        if (elapsed > kStepLimitMs) {
            WriteLine("HANG: no progress for " + std::to_string(elapsed / 1000) +
                      " s during: " + testsupport::Narrow(step));
            TerminateProcess(GetCurrentProcess(), kHangExitCode);
        }
    }
}

std::wstring ExePath() {
    wchar_t sz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, sz, MAX_PATH);
    return sz;
}

// Children run with the heap filling freed blocks (and checking block
// tails): an object used after its release then reads a pattern instead of
// stale values, and the call through its vtable crashes where it happens.
const wchar_t kImageOptionsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";
const DWORD kHeapCheckFlags = 0x10 | 0x20;  // FLG_HEAP_ENABLE_TAIL_CHECK | FLG_HEAP_ENABLE_FREE_CHECK

class ScopedHeapChecking {
public:
    ScopedHeapChecking() {
        std::wstring exe = ExePath();
        m_key = kImageOptionsKey + exe.substr(exe.find_last_of(L"\\/") + 1);
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, m_key.c_str(), L"GlobalFlag", REG_DWORD, &kHeapCheckFlags,
                        sizeof(kHeapCheckFlags));
    }
    ~ScopedHeapChecking() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_key.c_str()); }
    ScopedHeapChecking(const ScopedHeapChecking&) = delete;
    ScopedHeapChecking& operator=(const ScopedHeapChecking&) = delete;

private:
    std::wstring m_key;
};

}  // namespace

bool RegisterChild(const char* pszName, ChildMain fn) {
    Children()[pszName] = fn;
    return true;
}

void SetStep(const std::wstring& step) {
    EnterCriticalSection(&g_cs);
    g_step = step;
    g_stepTick = GetTickCount();
    LeaveCriticalSection(&g_cs);
}

void Report(const char* pszKind, const std::wstring& text) {
    EnterCriticalSection(&g_cs);
    WriteLine(std::string(pszKind) + ": " + testsupport::Narrow(text));
    LeaveCriticalSection(&g_cs);
}

void Fault(const std::wstring& text) {
    InterlockedIncrement(&g_faults);
    LONG n = InterlockedIncrement(&g_faultLines);
    if (n <= kMaxFaultLines) Report("FAULT", text);
    else if (n == kMaxFaultLines + 1) Report("FAULT", L"(further faults counted, not listed)");
}

namespace {
const int kMaxFaultsPerKey = 4;
std::map<std::wstring, int> g_faultsByKey;
}  // namespace

void Fault(const std::wstring& key, const std::wstring& text) {
    EnterCriticalSection(&g_cs);
    int n = ++g_faultsByKey[key];
    LeaveCriticalSection(&g_cs);
    if (n <= kMaxFaultsPerKey) {
        Fault(text);
    } else {
        InterlockedIncrement(&g_faults);
    }
}

void ReportFaultCounts() {
    EnterCriticalSection(&g_cs);
    std::map<std::wstring, int> counts = g_faultsByKey;
    LeaveCriticalSection(&g_cs);
    for (const auto& kv : counts)
        if (kv.second > kMaxFaultsPerKey)
            Report("FAULT", kv.first + L": " + std::to_wstring(kv.second - kMaxFaultsPerKey) + L" more");
}

int FaultCount() { return static_cast<int>(g_faults); }

bool RunChildFromCommandLine(int* pExitCode) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring name, arg;
    bool bChild = false;
    for (int i = 1; argv && i < argc; ++i) {
        std::wstring a = argv[i];
        if (a.compare(0, wcslen(kChildSwitch), kChildSwitch) == 0) {
            name = a.substr(wcslen(kChildSwitch));
            bChild = true;
        } else if (a.compare(0, wcslen(kArgSwitch), kArgSwitch) == 0) {
            arg = a.substr(wcslen(kArgSwitch));
        }
    }
    LocalFree(argv);
    if (!bChild) return false;

    InitializeCriticalSection(&g_cs);
    SetStep(L"start");
    SetUnhandledExceptionFilter(CrashFilter);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));

    auto it = Children().find(testsupport::Narrow(name));
    if (it == Children().end()) {
        Report("FAULT", L"no child named " + name);
        *pExitCode = 2;
        return true;
    }
    {
        // Relative names that a sweep hands to the control land here, not
        // beside the test executable.
        testsupport::TempDir cwd(L"vxcwd");
        SetCurrentDirectoryW(cwd.path().c_str());
        testsupport::OleSession ole;
        *pExitCode = it->second(arg);
        ReportFaultCounts();
        SetStep(L"OleUninitialize");
        SetCurrentDirectoryW(testsupport::ExeDir().c_str());
    }
    SetStep(L"exit");
    return true;
}

ChildResult RunChild(const char* pszName, const std::wstring& arg, DWORD dwTimeoutMs) {
    std::wstring cmd = L"\"" + ExePath() + L"\" " + kChildSwitch + testsupport::Widen(pszName) + L" \"" +
                       kArgSwitch + arg + L"\"";
    ChildResult r;
    ScopedHeapChecking heapChecking;
    int code = testsupport::RunProcess(cmd, &r.output, dwTimeoutMs);
    r.bTimedOut = code == -1;
    r.dwExitCode = static_cast<DWORD>(code);
    return r;
}

std::string ChildVerdict(const ChildResult& r) {
    if (r.bTimedOut) return "child did not finish in time (hang, or could not start)\n" + r.output;
    if (r.dwExitCode == 0) return std::string();
    char sz[64];
    wsprintfA(sz, "child exit code 0x%08lX\n", r.dwExitCode);
    return sz + r.output;
}

}  // namespace hardening
