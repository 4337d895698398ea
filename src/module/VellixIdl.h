// The interfaces and class identities of the type library, as widl writes
// them. Windows headers that rename members through macros (DeleteFile,
// ShellExecute, GetFileName...) come first so every unit sees one spelling.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <shellapi.h>

#include "Vellix_h.h"
