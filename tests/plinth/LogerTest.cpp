#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "LogEntries.h"
#include "Plinth.h"
#include "TestSupport.h"

using testsupport::Narrow;
using testsupport::TempDir;

namespace {

const std::string kBom = "\xEF\xBB\xBF";

// pid -> texts of a log that must start with one byte-order mark and hold
// only lines shaped "YYYY-MM-DD hh:mm:ss.mmm\t<pid>\t<text>".
std::vector<std::pair<DWORD, std::string>> ParseLog(const std::wstring& path)
{
    std::string bytes;
    EXPECT_TRUE(testsupport::ReadFileBytes(path, &bytes));
    std::vector<std::pair<DWORD, std::string>> entries;
    EXPECT_EQ(0u, bytes.find(kBom));
    EXPECT_EQ(std::string::npos, bytes.find(kBom, 3));
    EXPECT_TRUE(bytes.size() > 5 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0);
    const std::string shape = "dddd-dd-dd dd:dd:dd.ddd\td";
    for (size_t pos = 3, end; (end = bytes.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
        const std::string line = bytes.substr(pos, end - pos);
        bool ok = line.size() > shape.size();
        for (size_t i = 0; ok && i < shape.size(); ++i)
            ok = shape[i] == 'd' ? isdigit(static_cast<unsigned char>(line[i]))
                                 : line[i] == shape[i];
        size_t tab = line.find('\t', shape.size());
        EXPECT_TRUE(ok && tab != std::string::npos) << "malformed: " << line.substr(0, 80);
        if (ok && tab != std::string::npos)
            entries.emplace_back(strtoul(&line[shape.size() - 1], nullptr, 10),
                                 line.substr(tab + 1));
    }
    return entries;
}

}  // namespace

TEST(Loger, WritesWideFormattedUtf8EntriesAfterOneByteOrderMark)
{
    TempDir folder;
    const std::wstring path = folder.file(L"app.log");
    std::wstring longText(100000, L'ü');
    for (size_t i = 0; i < longText.size(); i += 7)
        longText[i] = L'0' + i % 10;
    {
        CLoger log;
        ASSERT_TRUE(log.Open(path.c_str()));
        EXPECT_GT(log.Write(L"%s=%d", L"answer", 42), 0);
        EXPECT_GT(log.Write(L"Grüße %s", L"日本"), 0);
        EXPECT_GT(log.Write(L"line\r\nbreak"), 0);
        EXPECT_GT(log.Write(L"[%s]", longText.c_str()), 100000);
    }
    CLoger again;  // a new session on the now non-empty file
    ASSERT_TRUE(again.Open(path.c_str()));
    EXPECT_GT(again.Write(L"later"), 0);

    const auto entries = ParseLog(path);
    ASSERT_EQ(5u, entries.size());
    EXPECT_EQ("answer=42", entries[0].second);
    EXPECT_EQ(u8"Grüße 日本", entries[1].second);
    EXPECT_EQ("line  break", entries[2].second);
    EXPECT_EQ("[" + Narrow(longText) + "]", entries[3].second);
    EXPECT_EQ("later", entries[4].second);
    EXPECT_EQ(GetCurrentProcessId(), entries[0].first);
}

TEST(Loger, ClosedLoggerIgnoresWritesAndOpenAgainSwitchesFiles)
{
    TempDir folder;
    CLoger log;
    EXPECT_EQ(0, log.Write(L"nowhere %d", 1));
    EXPECT_FALSE(log.Open(folder.file(L"missing\\app.log").c_str()));
    EXPECT_EQ(0, log.Write(L"nowhere %d", 2));

    // An existing file keeps its content and gets no byte-order mark.
    const std::wstring first = folder.file(L"first.log");
    ASSERT_TRUE(testsupport::WriteFileBytes(first, "old\r\n"));
    ASSERT_TRUE(log.Open(first.c_str()));
    log.Write(L"one");
    const std::wstring second = folder.file(L"second.log");
    ASSERT_TRUE(log.Open(second.c_str()));
    log.Write(L"two");

    std::string firstBytes;
    testsupport::ReadFileBytes(first, &firstBytes);
    EXPECT_EQ(0u, firstBytes.find("old\r\n"));
    EXPECT_NE(std::string::npos, firstBytes.find("\tone\r\n"));
    EXPECT_EQ(std::string::npos, firstBytes.find("two"));
    const auto entries = ParseLog(second);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("two", entries[0].second);
}

// Two loggers on two threads and one in another process write at the same
// time; every entry must come out whole, on its own line, exactly once.
TEST(Loger, ConcurrentWritersInThreadsAndProcessesKeepEveryEntryWhole)
{
    const int kCount = 1000;
    TempDir folder;
    const std::wstring path = folder.file(L"shared.log");
    const std::wstring ready = L"Local\\PlinthLogReady" + std::to_wstring(GetCurrentProcessId());
    const std::wstring go = L"Local\\PlinthLogGo" + std::to_wstring(GetCurrentProcessId());
    HANDLE hReady = CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
    HANDLE hGo = CreateEventW(nullptr, TRUE, FALSE, go.c_str());

    std::wstring commandLine = L"\"" + testsupport::ExeDir() + L"\\PlinthLogWriter.exe\" \"" +
                               path + L"\" " + std::to_wstring(kCount) + L" process " + ready +
                               L" " + go;
    STARTUPINFOW si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));

    auto writer = [&](const wchar_t* tag) {
        CLoger log;
        log.Open(path.c_str());
        WaitForSingleObject(hGo, 60000);
        for (int i = 0; i < kCount; ++i)
            log.Write(L"%s", MakeLogText(tag, i).c_str());
    };
    std::thread first(writer, L"first");
    std::thread second(writer, L"second");
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hReady, 60000));
    SetEvent(hGo);
    first.join();
    second.join();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 120000));
    DWORD exitCode = 1;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    EXPECT_EQ(0u, exitCode);
    for (HANDLE h : {pi.hThread, pi.hProcess, hReady, hGo})
        CloseHandle(h);

    std::map<std::string, DWORD> seen;
    for (const auto& entry : ParseLog(path))
        EXPECT_TRUE(seen.emplace(entry.second, entry.first).second) << "twice: " << entry.second;
    EXPECT_EQ(3u * kCount, seen.size());
    for (const wchar_t* tag : {L"first", L"second", L"process"}) {
        for (int i = 0; i < kCount; ++i) {
            auto it = seen.find(Narrow(MakeLogText(tag, i)));
            ASSERT_NE(seen.end(), it) << "missing or damaged entry " << i;
            EXPECT_EQ(tag == std::wstring(L"process"), it->second != GetCurrentProcessId());
        }
    }
}
