// The product version of a module, from its version resource.
#pragma once

#include <windows.h>

#include <string>

// "major.minor.build.revision", or empty when the module has no readable
// version resource.
std::wstring ModuleProductVersion(HMODULE hModule);
