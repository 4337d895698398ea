// What a process holds, counted in ways that work under Wine too, where
// GetGuiResources and GetProcessHandleCount answer 0 and
// PROCESS_MEMORY_COUNTERS_EX::PrivateUsage stays 0.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

struct ResourceSnapshot {
    double privateMb = 0;  // committed private pages (VirtualQuery over the address space)
    long handles = 0;      // kernel handles (GetHandleInformation over the handle values)
    long gdi = 0;          // GDI objects (GetObjectType over the table slots)
    long windows = 0;      // windows of this process, message-only ones included
    long menus = 0;        // menus of this process (IsMenu over the USER table slots)
    long files = 0;        // files below the watched folders
    long user() const { return windows + menus; }
};

ResourceSnapshot TakeSnapshot(const std::vector<std::wstring>& watchedFolders);

}  // namespace bench
