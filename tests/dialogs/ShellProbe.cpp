// Started through the shell by the dialogs tests: writes what it was given
// (the arguments, its working folder, how its window was to be shown) as
// three UTF-8 lines to the file that VX_PROBE_OUT names, then ends.
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& s) {
    if (s.empty()) return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string a(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &a[0], n, nullptr, nullptr);
    return a;
}

// The command line without the program's own name.
std::wstring Arguments() {
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

}  // namespace

int main() {
    wchar_t szOut[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"VX_PROBE_OUT", szOut, MAX_PATH)) return 2;
    wchar_t szDir[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, szDir);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    GetStartupInfoW(&si);
    const int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1;

    const std::string text = Utf8(Arguments()) + "\n" + Utf8(szDir) + "\n" + std::to_string(show) + "\n";
    // Written to a side name and renamed, so a reader never sees half of it.
    const std::wstring partial = std::wstring(szOut) + L".part";
    HANDLE h = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
    return MoveFileExW(partial.c_str(), szOut, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
