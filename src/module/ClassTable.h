// The module object and the system's global instance handle.
#pragma once

#include <windows.h>

#include "fw/Module.h"

// The DLL's instance handle (the document site registers its window class
// with it); the module object keeps the same handle.
extern HINSTANCE g_hInstance;

// Initialises fw::g_module with the class table (Office, DocObject).
void InitModule(HINSTANCE hInstance);
void TermModule();
