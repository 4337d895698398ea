// The shared log file "log\office.log" beside the DLL, and HRESULT names.
#pragma once

#include <windows.h>

#include "platform/HelperLibrary.h"

// Opens log on "<folder of hModule>\log\office.log", creating the folder on
// first use; where that folder cannot be made or the file cannot be opened,
// on "%LOCALAPPDATA%\Vellix\log\office.log". S_OK when either is open;
// E_FAIL after telling the user in a message box when neither is.
HRESULT OpenLogFile(CLoger& log, HMODULE hModule);

// The symbolic name of hr from the table of activation results, "其它" for
// any other value.
const wchar_t* ResultName(HRESULT hr);

// Writes hr and its name as two entries. Always S_OK.
HRESULT WriteResultName(CLoger& log, HRESULT hr);
