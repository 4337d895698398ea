// Risky work runs in a child process: the test executable started again
// with --vx-child=<name>. A crash or a hang there is reported to the parent
// test as a failure instead of taking the whole suite down.
#pragma once

#include <windows.h>

#include <string>

namespace hardening {

// What a child run ended with.
struct ChildResult {
    bool bTimedOut = false;
    DWORD dwExitCode = 0;
    std::string output;  // the child's report, UTF-8
};

// Runs the named child with an argument and waits at most dwTimeoutMs.
ChildResult RunChild(const char* pszName, const std::wstring& arg, DWORD dwTimeoutMs = 180000);

// A readable verdict for the parent's assertion: empty when the child ended
// cleanly (exit code 0), otherwise what went wrong and its report.
std::string ChildVerdict(const ChildResult& r);

// ---- inside the child ----

using ChildMain = int (*)(const std::wstring& arg);
bool RegisterChild(const char* pszName, ChildMain fn);

// The step the child is in; crash and hang reports name it. A step that
// runs longer than the watchdog allows is reported as a hang.
void SetStep(const std::wstring& step);

// One line of the child's report. A "FAULT" line fails the run.
void Report(const char* pszKind, const std::wstring& text);
void Fault(const std::wstring& text);
// The same, listing at most a few faults per key (a member) and counting
// the rest, so one broken member does not hide the others.
void Fault(const std::wstring& key, const std::wstring& text);
// Prints how many faults each key had beyond those listed.
void ReportFaultCounts();
int FaultCount();

// Exit code of a child: 0 when no fault was reported.
inline int ChildExitCode() { return FaultCount() ? 1 : 0; }

// Entry point: returns true (and the exit code) when the command line asks
// for a child, false for a normal test run.
bool RunChildFromCommandLine(int* pExitCode);

}  // namespace hardening

// Defines a child entry point: VX_CHILD(office_sweep) { ... return code; }
#define VX_CHILD(name)                                                              \
    static int name##_child(const std::wstring& arg);                               \
    static const bool name##_registered = ::hardening::RegisterChild(#name, name##_child); \
    static int name##_child(const std::wstring& arg)
