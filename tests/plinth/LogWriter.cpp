// Second process for the logger tests: LogWriter <log> <count> <tag> <ready-event> <go-event>
// opens the log, signals ready, waits for go, then writes <count> entries.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

#include "Plinth.h"
#include "LogEntries.h"

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 6)
        return 2;

    CLoger log;
    if (!log.Open(argv[1]))
        return 3;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[4]);
    HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, argv[5]);
    if (!ready || !go)
        return 4;
    SetEvent(ready);
    if (WaitForSingleObject(go, 60000) != WAIT_OBJECT_0)
        return 5;

    const int count = _wtoi(argv[2]);
    for (int i = 0; i < count; ++i) {
        if (!log.Write(L"%s", MakeLogText(argv[3], i).c_str()))
            return 6;
    }
    return 0;
}
