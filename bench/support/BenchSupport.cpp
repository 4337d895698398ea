#include "BenchSupport.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cwchar>

namespace bench {

double Stopwatch::ms() const {
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return 1000.0 * static_cast<double>(now.QuadPart - m_start.QuadPart) / static_cast<double>(freq.QuadPart);
}

double Median(std::vector<double> samples) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

ResultRow TimedRow(const char* pszFigure, double sizeMb, const std::vector<double>& control,
                   const std::vector<double>& baseline) {
    std::vector<double> ratios;
    for (size_t i = 0; i < control.size() && i < baseline.size(); ++i)
        if (baseline[i] > 0) ratios.push_back(control[i] / baseline[i]);
    return {pszFigure, sizeMb, Median(control), Median(baseline), Median(ratios)};
}

ResultRow GrowthRow(const char* pszFigure, double sizeMb, double growth) {
    return {pszFigure, sizeMb, growth, 0, 0};
}

void EmitRow(const ResultRow& row) {
    char szRatio[32] = "-";
    if (row.ratio > 0) snprintf(szRatio, sizeof(szRatio), "%.3f", row.ratio);
    printf("%s\t%g\t%.4g\t%.4g\t%s\n", row.figure, row.sizeMb, row.control, row.baseline, szRatio);
    fflush(stdout);
}

void Progress(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    vfprintf(stderr, pszFormat, args);
    va_end(args);
    fputc('\n', stderr);
    fflush(stderr);
}

void PumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

Options ParseOptions() {
    Options options;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i) {
        if (wcscmp(argv[i], L"--data") == 0 && i + 1 < argc)
            options.dataDir = argv[++i];
        else if (wcscmp(argv[i], L"--reps") == 0 && i + 1 < argc)
            options.nReps = _wtoi(argv[++i]);
        else if (wcscmp(argv[i], L"--quick") == 0)
            options.bQuick = true;
        else if (wcscmp(argv[i], L"--temp") == 0 && i + 1 < argc)
            options.tempDir = argv[++i];
    }
    LocalFree(argv);
    // Temporary docfiles (StgCreateDocfile without a name) follow TMP.
    if (!options.tempDir.empty() && EnsureFolder(options.tempDir)) {
        SetEnvironmentVariableW(L"TMP", options.tempDir.c_str());
        SetEnvironmentVariableW(L"TEMP", options.tempDir.c_str());
    }
    if (options.dataDir.empty()) options.dataDir = TempFolder() + L"\\vellix-bench";
    while (!options.dataDir.empty() && options.dataDir.back() == L'\\') options.dataDir.pop_back();
    return options;
}

long CountFiles(const std::wstring& path) {
    long n = 0;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        if (wcscmp(fd.cFileName, L".") == 0 || wcscmp(fd.cFileName, L"..") == 0) continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            n += CountFiles(path + L"\\" + fd.cFileName);
        else
            ++n;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return n;
}

std::wstring TempFolder() {
    wchar_t sz[MAX_PATH] = {};
    DWORD n = GetTempPathW(MAX_PATH, sz);
    std::wstring path(sz, n < MAX_PATH ? n : 0);
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

bool EnsureFolder(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    DWORD attr = GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ExeFolder() {
    wchar_t sz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, sz, MAX_PATH);
    std::wstring path(sz);
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

}  // namespace bench

namespace bench {

void StepClock::Mark(const char* pszStep) {
    double ms = m_watch.ms();
    m_watch.restart();
    if (m_nStep == m_steps.size()) m_steps.push_back({pszStep, {}});
    m_steps[m_nStep++].samples.push_back(ms);
}

void StepClock::Report(const char* pszTitle) const {
    double total = 0;
    for (const Step& s : m_steps) total += Median(s.samples);
    Progress("  %s (median ms per step, %zu runs)", pszTitle, m_steps.empty() ? size_t(0) : m_steps[0].samples.size());
    for (const Step& s : m_steps) Progress("    %-34s %9.2f", s.name, Median(s.samples));
    Progress("    %-34s %9.2f", "sum", total);
}

}  // namespace bench
