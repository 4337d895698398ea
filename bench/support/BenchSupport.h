// What every benchmark program shares: a stopwatch, medians, the result
// rows the run script collects, the message pump, and a few file helpers.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// Milliseconds of wall time from QueryPerformanceCounter.
class Stopwatch {
public:
    Stopwatch() { restart(); }
    void restart() { QueryPerformanceCounter(&m_start); }
    double ms() const;

private:
    LARGE_INTEGER m_start;
};

double Median(std::vector<double> samples);

// One line of results.tsv: figure, size_mb, control, baseline, ratio.
// Times are in milliseconds; a growth row has baseline 0 and no ratio.
struct ResultRow {
    const char* figure;
    double sizeMb;
    double control;
    double baseline;
    double ratio;  // 0: none
};

// A timed figure from runs that alternated: control[i] and baseline[i] ran
// next to each other. Control and baseline are the medians; the ratio is the
// median of the pairs' ratios, so that load which comes and goes over
// seconds on a shared machine falls on both sides of each ratio.
ResultRow TimedRow(const char* pszFigure, double sizeMb, const std::vector<double>& control,
                   const std::vector<double>& baseline);
ResultRow GrowthRow(const char* pszFigure, double sizeMb, double growth);

void EmitRow(const ResultRow& row);
void Progress(const char* pszFormat, ...);

// Delivers what is posted to this thread's windows (layout, commands).
void PumpPending();

// Options shared by the programs: "--data <folder>", "--temp <folder>",
// "--reps <n>", "--quick".
struct Options {
    std::wstring dataDir;  // where documents are generated and kept
    std::wstring tempDir;  // this process's temporary folder, when given
    int nReps = 0;         // 0: the program's own default
    bool bQuick = false;   // "--quick": fewer repetitions, for a smoke run
};
Options ParseOptions();

// Files (not folders) below path, at any depth.
long CountFiles(const std::wstring& path);
std::wstring TempFolder();  // no trailing backslash
bool EnsureFolder(const std::wstring& path);
// The folder of this executable, no trailing backslash.
std::wstring ExeFolder();

}  // namespace bench

namespace bench {

// Splits one run into named steps: each Mark records the time since the
// previous one. Accumulates over runs; Report prints medians per step.
class StepClock {
public:
    void Begin() { m_watch.restart(); m_nStep = 0; }
    void Mark(const char* pszStep);
    void Report(const char* pszTitle) const;

private:
    struct Step {
        const char* name;
        std::vector<double> samples;
    };
    Stopwatch m_watch;
    size_t m_nStep = 0;
    std::vector<Step> m_steps;
};

}  // namespace bench
